// Key paths of the registry classes: a root-key name, a backslash and the subkey path below it, or
// a path relative to a key already open.
#pragma once

#include <string>
#include <string_view>

#include "platform/windows.h"

namespace tarpon::host {

struct KeyPath {
    HKEY root = nullptr;  // the predefined key named before the first backslash; null: relative
    std::string subkey;   // below the root, or below the key the path is relative to
};

// Splits at the first backslash. When the part before it names a root key ("HKCR", "HKCC", "HKCU",
// "HKLM", "HKU", "HKPD", "HKDD", in any case), that root is the base and the rest the subkey path;
// otherwise, and always for a path without a backslash, the whole path is relative.
KeyPath split_key_path(std::string_view path);

// Whether the handle is one of the predefined keys, which are the system's and never closed by us.
bool is_predefined_key(HKEY key);

}  // namespace tarpon::host
