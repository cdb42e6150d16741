#include "player/swf/byte_reader.h"

#include <cstring>

namespace tarpon::swf {

uint8_t ByteReader::u8() {
    m_bit = 0;
    if (m_failed || m_pos >= m_data.size()) {
        m_failed = true;
        return 0;
    }
    return m_data[m_pos++];
}

uint16_t ByteReader::u16() {
    auto b = bytes(2);
    return b.empty() ? 0 : static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t ByteReader::u32() {
    auto b = bytes(4);
    return b.empty() ? 0 : uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

float ByteReader::f32() {
    uint32_t bits = u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double ByteReader::f64_swapped() {
    uint64_t high = u32();
    uint64_t low = u32();
    uint64_t bits = high << 32 | low;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::span<const uint8_t> ByteReader::bytes(size_t count) {
    m_bit = 0;
    if (m_failed || count > m_data.size() - m_pos) {
        m_failed = true;
        return {};
    }
    auto result = m_data.subspan(m_pos, count);
    m_pos += count;
    return result;
}

std::string ByteReader::string() {
    m_bit = 0;
    if (m_failed)
        return {};
    const uint8_t* start = m_data.data() + m_pos;
    const void* nul = std::memchr(start, 0, m_data.size() - m_pos);
    if (!nul) {
        m_failed = true;
        return {};
    }
    size_t length = static_cast<const uint8_t*>(nul) - start;
    m_pos += length + 1;
    return std::string(reinterpret_cast<const char*>(start), length);
}

void ByteReader::seek(size_t position) {
    m_bit = 0;
    if (position > m_data.size())
        m_failed = true;
    else
        m_pos = position;
}

uint32_t ByteReader::ub(unsigned bits) {
    if (bits > 32) {
        m_failed = true;
        return 0;
    }
    uint32_t value = 0;
    for (unsigned i = 0; i < bits; ++i) {
        if (m_bit == 0) {
            if (m_failed || m_pos >= m_data.size()) {
                m_failed = true;
                return 0;
            }
            ++m_pos;
        }
        unsigned bit = (m_data[m_pos - 1] >> (7 - m_bit)) & 1;
        value = value << 1 | bit;
        m_bit = (m_bit + 1) & 7;
    }
    return value;
}

int32_t ByteReader::sb(unsigned bits) {
    uint32_t value = ub(bits);
    if (bits == 0 || bits >= 32)
        return static_cast<int32_t>(value);
    if (value & (uint32_t(1) << (bits - 1)))
        value |= ~((uint32_t(1) << bits) - 1);
    return static_cast<int32_t>(value);
}

} // namespace tarpon::swf
