// MD5 after RFC 1321, section 3: 64-byte blocks, four rounds of sixteen steps each.
#include "host/common/md5.h"

#include <algorithm>
#include <cstring>

namespace tarpon::host {

namespace {

// Per-step shift amounts, four per round.
constexpr uint32_t shifts[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

// The sine table: floor(abs(sin(i + 1)) * 2^32).
constexpr uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

uint32_t rotate_left(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

Md5::Md5() : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5::block(const uint8_t* bytes) {
    uint32_t words[16];
    for (int i = 0; i < 16; ++i) {
        words[i] = uint32_t(bytes[i * 4]) | uint32_t(bytes[i * 4 + 1]) << 8 | uint32_t(bytes[i * 4 + 2]) << 16 |
                   uint32_t(bytes[i * 4 + 3]) << 24;
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        switch (i / 16) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        uint32_t next = b + rotate_left(a + f + sines[i] + words[g], shifts[(i / 16) * 4 + i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void Md5::update(std::span<const uint8_t> bytes) {
    size_t used = size_t(m_length % 64);
    m_length += bytes.size();
    size_t offset = 0;
    if (used != 0) {
        size_t take = std::min(bytes.size(), 64 - used);
        std::memcpy(m_buffer.data() + used, bytes.data(), take);
        offset = take;
        if (used + take < 64) {
            return;
        }
        block(m_buffer.data());
    }
    for (; offset + 64 <= bytes.size(); offset += 64) {
        block(bytes.data() + offset);
    }
    if (offset < bytes.size()) {
        std::memcpy(m_buffer.data(), bytes.data() + offset, bytes.size() - offset);
    }
}

void Md5::update(std::string_view text) {
    update(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

Md5Digest Md5::finish() {
    // A one bit, zeros up to 56 bytes modulo 64, then the message length in bits, little-endian.
    uint64_t bits = m_length * 8;
    uint8_t padding[72] = {0x80};
    size_t used = size_t(m_length % 64);
    size_t pad = used < 56 ? 56 - used : 120 - used;
    for (int i = 0; i < 8; ++i) {
        padding[pad + i] = uint8_t(bits >> (8 * i));
    }
    update(std::span<const uint8_t>(padding, pad + 8));
    Md5Digest digest;
    for (int i = 0; i < 16; ++i) {
        digest[i] = uint8_t(m_state[i / 4] >> (8 * (i % 4)));
    }
    return digest;
}

Md5Digest md5(std::span<const uint8_t> bytes) {
    Md5 hash;
    hash.update(bytes);
    return hash.finish();
}

Md5Digest md5(std::string_view text) {
    Md5 hash;
    hash.update(text);
    return hash.finish();
}

Md5Digest hmac_md5(std::span<const uint8_t> key, std::span<const uint8_t> message) {
    uint8_t padded[64] = {};
    if (key.size() > 64) {
        Md5Digest short_key = md5(key);
        std::memcpy(padded, short_key.data(), short_key.size());
    } else if (!key.empty()) {
        std::memcpy(padded, key.data(), key.size());
    }
    uint8_t inner_pad[64], outer_pad[64];
    for (int i = 0; i < 64; ++i) {
        inner_pad[i] = padded[i] ^ 0x36;
        outer_pad[i] = padded[i] ^ 0x5c;
    }
    Md5 inner;
    inner.update(inner_pad);
    inner.update(message);
    Md5Digest inner_digest = inner.finish();
    Md5 outer;
    outer.update(outer_pad);
    outer.update(inner_digest);
    return outer.finish();
}

Md5Digest hmac_md5(std::string_view key, std::string_view message) {
    return hmac_md5(std::span(reinterpret_cast<const uint8_t*>(key.data()), key.size()),
                    std::span(reinterpret_cast<const uint8_t*>(message.data()), message.size()));
}

}  // namespace tarpon::host
