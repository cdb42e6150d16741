#include "projector/appdata/safe_name.h"

#include <cctype>

namespace tarpon::appdata {

namespace {

bool equal_upper(std::string_view a, std::string_view upper) {
    if (a.size() != upper.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != upper[i]) {
            return false;
        }
    }
    return true;
}

bool is_device_name(std::string_view name) {
    // The device is named by the part before the first dot ("nul.txt" opens NUL too).
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (equal_upper(stem, device)) {
            return true;
        }
    }
    if (stem.size() == 4 && (equal_upper(stem.substr(0, 3), "COM") || equal_upper(stem.substr(0, 3), "LPT")) &&
        stem[3] >= '1' && stem[3] <= '9') {
        return true;
    }
    return false;
}

}  // namespace

bool is_safe_component(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|') {
            return false;
        }
    }
    if (name.back() == '.' || name.back() == ' ') {
        return false;
    }
    return !is_device_name(name);
}

bool is_safe_relative_path(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    size_t start = 0;
    while (true) {
        size_t end = path.find_first_of("\\/", start);
        std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!is_safe_component(part)) {
            return false;
        }
        if (end == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::string join_path(std::string_view folder, std::string_view name) {
    std::string result(folder);
    if (!result.empty() && result.back() != '\\' && result.back() != '/') {
        result += path_separator;
    }
    for (char c : name) {
        result += (c == '\\' || c == '/') ? path_separator : c;
    }
    return result;
}

std::string_view bare_name(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace tarpon::appdata
