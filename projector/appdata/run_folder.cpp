#include "projector/appdata/run_folder.h"

#include <cctype>
#include <cstdlib>

#include "projector/appdata/file_system.h"
#include "projector/appdata/safe_name.h"

namespace tarpon::appdata {

namespace {

constexpr size_t longest_base = 259;

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace

std::string run_folder_base(const std::optional<std::string>& tmp, const std::optional<std::string>& temp,
                            const std::string& windows_directory) {
    std::string base;
    if (tmp && !tmp->empty() && tmp->size() <= longest_base) {
        base = *tmp;
    } else if (temp && !temp->empty() && temp->size() <= longest_base) {
        base = *temp;
    } else if (!windows_directory.empty() && windows_directory.size() <= longest_base) {
        base = windows_directory;
    } else {
        return {};
    }
    if (base.back() == '/' || base.back() == '\\') {
        base.back() = path_separator;
    } else {
        base += path_separator;
    }
    return base;
}

std::string create_run_folder() {
    std::string base = run_folder_base(environment("TMP"), environment("TEMP"), windows_directory());
    if (base.empty()) {
        return {};
    }
    std::string folder = base + new_guid_text() + path_separator;
    if (!make_folder(folder)) {
        return {};
    }
    return folder;
}

bool is_run_folder_name(std::string_view name) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    constexpr std::string_view form = "{........-....-....-....-............}";
    if (name.size() != form.size()) {
        return false;
    }
    for (size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '.' ? !std::isxdigit(static_cast<unsigned char>(name[i])) : name[i] != form[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace tarpon::appdata
