// The MD5 message digest (RFC 1321) and the HMAC-MD5 keyed code (RFC 2104), as used by mail
// authentication and by the identity item of the application data. Portable, no system calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarpon::host {

using Md5Digest = std::array<uint8_t, 16>;

// Incremental MD5: update with the message in pieces of any size, then finish once.
class Md5 {
public:
    Md5();
    void update(std::span<const uint8_t> bytes);
    void update(std::string_view text);
    // The digest of everything given so far. The object must not be updated afterwards.
    Md5Digest finish();

private:
    void block(const uint8_t* bytes);

    std::array<uint32_t, 4> m_state;
    std::array<uint8_t, 64> m_buffer{};
    uint64_t m_length = 0;  // bytes given so far
};

Md5Digest md5(std::span<const uint8_t> bytes);
Md5Digest md5(std::string_view text);

// HMAC-MD5 of the message under the key; keys longer than 64 bytes are first hashed, as RFC 2104
// says.
Md5Digest hmac_md5(std::span<const uint8_t> key, std::span<const uint8_t> message);
Md5Digest hmac_md5(std::string_view key, std::string_view message);

}  // namespace tarpon::host
