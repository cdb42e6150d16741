#include "host/system/path_normalisation.h"

#include "platform/owners.h"
#include "platform/windows.h"

namespace tarpon::host {

namespace {

constexpr size_t none = std::string_view::npos;

// The length of the character at `at`: two bytes for a lead byte of the ANSI code page with its
// trail byte present, else one.
size_t char_length(std::string_view text, size_t at) {
    return IsDBCSLeadByte(static_cast<BYTE>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

bool is_separator_at(std::string_view text, size_t at) { return text[at] == '\\'; }

// Whether `at` falls on a character boundary (or at the end).
bool is_boundary(std::string_view text, size_t at) {
    size_t i = 0;
    while (i < at) {
        i += char_length(text, i);
    }
    return i == at;
}

size_t last_separator(std::string_view text) {
    size_t last = none;
    for (size_t i = 0; i < text.size(); i += char_length(text, i)) {
        if (is_separator_at(text, i)) {
            last = i;
        }
    }
    return last;
}

bool ends_with_separator(std::string_view text) {
    return !text.empty() && last_separator(text) == text.size() - 1;
}

// The next separator at or after `from`, or the end.
size_t next_separator(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); i += char_length(text, i)) {
        if (is_separator_at(text, i)) {
            return i;
        }
    }
    return text.size();
}

std::string with_backslashes(std::string_view path) {
    std::string result(path);
    for (size_t i = 0; i < result.size(); i += char_length(result, i)) {
        if (result[i] == '/') {
            result[i] = '\\';
        }
    }
    return result;
}

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// How much of a full path (ending in "\") is kept as written: "C:\" for a drive path,
// "\\server\share\" for a UNC path; `none` for any other form, which is kept whole.
size_t kept_prefix_length(std::string_view full) {
    if (full.size() >= 3 && is_ascii_letter(full[0]) && full[1] == ':' && full[2] == '\\') {
        return 3;
    }
    if (full.size() < 2 || full[0] != '\\' || full[1] != '\\') {
        return none;
    }
    if (full.size() >= 4 && (full[2] == '?' || full[2] == '.') && full[3] == '\\') {
        return none; // device and literal paths are the caller's own business
    }
    const size_t server_end = next_separator(full, 2);
    if (server_end == 2 || server_end >= full.size()) {
        return none;
    }
    const size_t share_end = next_separator(full, server_end + 1);
    if (share_end == server_end + 1 || share_end >= full.size()) {
        return none;
    }
    return share_end + 1;
}

// Characters that make FindFirstFile match a pattern instead of the name.
bool has_wildcard(std::string_view component) { return component.find_first_of("*?<>\"") != none; }

} // namespace

std::optional<std::string> normalised_full_path(std::string_view path) {
    if (path.empty() || path.find('\0') != none) {
        return std::nullopt;
    }
    const std::string slashed = with_backslashes(path);
    char full[max_path_bytes];
    const DWORD length = GetFullPathNameA(slashed.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) {
        return std::nullopt;
    }
    std::string whole(full, length);
    const size_t prefix = kept_prefix_length(ends_with_separator(whole) ? whole : whole + '\\');
    if (prefix == none) {
        return whole;
    }
    if (!ends_with_separator(whole)) {
        whole += '\\';
    }

    std::string result = whole.substr(0, prefix);
    for (size_t start = prefix; start < whole.size();) {
        const size_t end = next_separator(whole, start);
        const std::string_view component = std::string_view(whole).substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            continue;
        }
        std::string candidate = result;
        candidate += component;
        if (candidate.size() >= max_path_bytes) {
            return std::nullopt;
        }
        WIN32_FIND_DATAA found{};
        platform::FindHandle search;
        if (!has_wildcard(component)) {
            search.reset(FindFirstFileA(candidate.c_str(), &found));
        }
        if (search) {
            result += found.cFileName;
        } else {
            result += component;
        }
        result += '\\';
    }
    if (!is_drive_root(result)) {
        result.pop_back();
    }
    if (result.size() >= max_path_bytes) {
        return std::nullopt;
    }
    return result;
}

bool is_drive_root(std::string_view path) {
    return path.size() == 3 && is_ascii_letter(path[0]) && path[1] == ':' && path[2] == '\\';
}

std::string_view path_drive(std::string_view path) {
    const std::string whole = ends_with_separator(path) ? std::string(path) : std::string(path) + '\\';
    const size_t prefix = kept_prefix_length(whole);
    return prefix == none ? std::string_view() : path.substr(0, prefix - 1);
}

std::string join_path(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && !ends_with_separator(joined)) {
        joined += '\\';
    }
    joined += name;
    return joined;
}

std::string_view path_name(std::string_view path) {
    const size_t at = last_separator(path);
    return at == none ? path : path.substr(at + 1);
}

std::string_view path_parent(std::string_view path) {
    const size_t at = last_separator(path);
    return at == none ? path : path.substr(0, at);
}

std::optional<std::string> short_path_of(const std::string& path) {
    DWORD needed = GetShortPathNameA(path.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 2 && needed != 0; ++attempt) {
        std::string buffer(needed, '\0');
        const DWORD length = GetShortPathNameA(path.c_str(), buffer.data(), needed);
        if (length < needed) {
            buffer.resize(length);
            return length != 0 ? std::optional<std::string>(buffer) : std::nullopt;
        }
        needed = length; // grew in between: once more with the new size
    }
    return std::nullopt;
}

bool path_within(std::string_view inner, std::string_view outer) {
    if (outer.empty() || inner.size() < outer.size() || !is_boundary(inner, outer.size())) {
        return false;
    }
    const int length = static_cast<int>(outer.size());
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, inner.data(), length, outer.data(), length) !=
        CSTR_EQUAL) {
        return false;
    }
    return inner.size() == outer.size() || ends_with_separator(outer) || is_separator_at(inner, outer.size());
}

} // namespace tarpon::host
