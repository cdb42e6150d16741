#include "host/system/registry_path.h"

#include "host/common/text.h"

namespace tarpon::host {

namespace {

struct RootName {
    const char* name;
    HKEY key;
};

const RootName root_names[] = {
    {"HKCR", HKEY_CLASSES_ROOT},  {"HKCC", HKEY_CURRENT_CONFIG}, {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE}, {"HKU", HKEY_USERS},           {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
};

}  // namespace

KeyPath split_key_path(std::string_view path) {
    const size_t slash = path.find('\\');
    if (slash != std::string_view::npos) {
        const std::string_view head = path.substr(0, slash);
        for (const RootName& root : root_names) {
            if (equal_ignoring_ascii_case(head, root.name)) {
                return KeyPath{root.key, std::string(path.substr(slash + 1))};
            }
        }
    }
    return KeyPath{nullptr, std::string(path)};
}

bool is_predefined_key(HKEY key) {
    static const HKEY predefined[] = {
        HKEY_CLASSES_ROOT,
        HKEY_CURRENT_USER,
        HKEY_LOCAL_MACHINE,
        HKEY_USERS,
        HKEY_PERFORMANCE_DATA,
        HKEY_PERFORMANCE_TEXT,
        HKEY_PERFORMANCE_NLSTEXT,
        HKEY_CURRENT_CONFIG,
        HKEY_DYN_DATA,
        HKEY_CURRENT_USER_LOCAL_SETTINGS,
    };
    for (HKEY root : predefined) {
        if (key == root) {
            return true;
        }
    }
    return false;
}

}  // namespace tarpon::host
