#include "projector/appdata/saved_options.h"

#include "platform/owners.h"
#include "platform/windows.h"

namespace tarpon::appdata {

namespace {

// Saved options larger than this are not the projector's and are not read.
constexpr DWORD largest_value = 16u << 20;

}  // namespace

RegistryOptionsStore::RegistryOptionsStore(std::string registry_key, std::string profile_name)
    : m_key_path("Software\\" + registry_key + "\\" + profile_name + "\\" + options_section) {}

std::optional<std::vector<uint8_t>> RegistryOptionsStore::get(std::string_view name) {
    platform::RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, m_key_path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::string value_name(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), value_name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY || size > largest_value) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size);
    if (RegQueryValueExA(key.get(), value_name.c_str(), nullptr, &type, bytes.empty() ? nullptr : bytes.data(),
                         &size) != ERROR_SUCCESS ||
        type != REG_BINARY) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}

void RegistryOptionsStore::set(std::string_view name, std::span<const uint8_t> bytes) {
    platform::RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    std::string value_name(name);
    RegSetValueExA(key.get(), value_name.c_str(), 0, REG_BINARY, bytes.data(), DWORD(bytes.size()));
}

}  // namespace tarpon::appdata
