// Bounded reading of SWF data: little-endian integers, NUL-terminated strings and the MSB-first bit
// fields of records. A read past the end yields zeros and marks the reader failed, so a parser can
// check once after a record instead of after every field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarpon::swf {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : m_data(data) {}

    bool failed() const { return m_failed; }
    void fail() { m_failed = true; }
    size_t position() const { return m_pos; }
    size_t size() const { return m_data.size(); }
    size_t remaining() const { return m_failed ? 0 : m_data.size() - m_pos; }
    bool at_end() const { return remaining() == 0; }

    uint8_t u8();
    uint16_t u16();
    int16_t s16() { return static_cast<int16_t>(u16()); }
    uint32_t u32();
    int32_t s32() { return static_cast<int32_t>(u32()); }
    float f32();
    // The double of an action's Push: two 32-bit halves, the high half first.
    double f64_swapped();
    // The next `count` bytes, or an empty span (and failed) when fewer remain.
    std::span<const uint8_t> bytes(size_t count);
    // Bytes up to a NUL, which is consumed; failed when no NUL follows.
    std::string string();
    void skip(size_t count) { bytes(count); }
    // Moves to an absolute position within the data; failed when outside it.
    void seek(size_t position);

    // Bit fields. Byte reads align to the next byte first.
    uint32_t ub(unsigned bits);
    int32_t sb(unsigned bits);
    // Signed 16.16 fixed point of the given width.
    double fb(unsigned bits) { return sb(bits) / 65536.0; }
    void align() { m_bit = 0; }

private:
    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    unsigned m_bit = 0; // bits of m_data[m_pos - 1] already used when non-zero
    bool m_failed = false;
};

} // namespace tarpon::swf
