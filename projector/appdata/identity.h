// The identity item (ID, stored raw) and the settings stamp (CS, 16 raw bytes).
//
//   identity := UTF-16LE text, NUL, free bytes, reserved (16 bytes), code (16 bytes)
//   code     := HMAC-MD5 under the key shared with the authoring tool, over every byte before it
//   text     := registry key [ "/" profile name ]
//   stamp    := MD5 of the ST item's bytes as stored
//
// The code shows that the item was written by our tool; it is an integrity check, not a secret:
// the key is in every projector.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::appdata {

constexpr size_t identity_trailer_size = 32;

struct Identity {
    std::string registry_key;
    std::string profile_name;
};

// The item's key and profile, or nothing when it is not longer than its trailer, its text is not
// terminated before the trailer, or its code does not match. Without a "/" the profile is
// `application_name`.
std::optional<Identity> read_identity(std::span<const uint8_t> item, std::string_view application_name);

class ItemSource;
// The identity check of start-up: the ID item read and checked, or nothing (start-up then ends
// with "Invalid application data").
std::optional<Identity> load_identity(const ItemSource& items, std::string_view application_name);

// The item's text ("key" or "key/profile") when its code matches, or nothing.
std::optional<std::string> identity_text(std::span<const uint8_t> item);

// An identity item for the text ("key" or "key/profile").
std::vector<uint8_t> identity_item(std::string_view text);

using Stamp = std::array<uint8_t, 16>;
// The stamp of a settings item: the MD5 of its bytes.
Stamp settings_stamp(std::span<const uint8_t> settings_item);

}  // namespace tarpon::appdata
