// The settings at start-up: the ST item, replaced by the saved options of an earlier run when
// those were saved for the same settings (the CS stamp equals the registry's "crc" value).
// Saved options that are missing, malformed or saved for other settings are written afresh.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "projector/appdata/item_source.h"
#include "projector/appdata/settings.h"

namespace tarpon::appdata {

constexpr const char* options_section = "Settings";
constexpr const char* stamp_value = "crc";
constexpr const char* options_value = "Options";

// Binary values of the application's "Settings" section.
class OptionsStore {
public:
    virtual ~OptionsStore() = default;
    // The REG_BINARY value, or nothing when it is missing or of another type.
    virtual std::optional<std::vector<uint8_t>> get(std::string_view name) = 0;
    virtual void set(std::string_view name, std::span<const uint8_t> bytes) = 0;
};

// What start-up did with the saved options.
enum class SavedOptions { Used, Written };

// Compares and stores the stamp, reads ST, and reads the saved options over it or writes the
// record as the saved options. The record stays zero-filled when ST is absent or malformed.
SavedOptions load_settings(const ItemSource& items, OptionsStore& store, Settings& settings);

#ifdef _WIN32
// The section in the registry: HKEY_CURRENT_USER\Software\<key>\<profile>\Settings.
class RegistryOptionsStore : public OptionsStore {
public:
    RegistryOptionsStore(std::string registry_key, std::string profile_name);
    std::optional<std::vector<uint8_t>> get(std::string_view name) override;
    void set(std::string_view name, std::span<const uint8_t> bytes) override;

private:
    std::string m_key_path;
};
#endif

}  // namespace tarpon::appdata
