// The steps of provision_player() (player_host.h) that can be asked for on their own.
#pragma once

#include <cstdint>
#include <string>

namespace tarpon::projector {

// The file version (most significant half in the high 32 bits) of the player the system has
// registered, read from its in-process server's version resource; 0 when the class cannot be
// created or any step of reading fails.
uint64_t installed_player_version();

// Whether an installed player of that file version is used as it is: 6.0.79.0 or newer.
constexpr bool installed_player_suffices(uint64_t file_version) {
    const uint32_t most = static_cast<uint32_t>(file_version >> 32);
    const uint32_t least = static_cast<uint32_t>(file_version);
    return most > 0x00060000u || (most == 0x00060000u && least >= 0x004F0000u);
}

// Appends ";" and the folder to the process's "path" variable, whatever its length. False when the
// variable cannot be set.
bool append_to_path(const std::string& folder);

}  // namespace tarpon::projector
