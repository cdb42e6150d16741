// Reading and writing the fields of the application data's records: little-endian integers, raw
// bytes and strings (a u32 count of UTF-16 units including the terminating NUL, 0 for absent, then
// the units). Every read is bounds-checked: a field that would run past the end of the item fails
// the reader, which then stays failed; nothing is read past the item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::appdata {

// Characters a path field holds, the terminating NUL included (the fixed buffers of the records).
constexpr size_t path_capacity = 260;

class RecordReader {
public:
    explicit RecordReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    // False once any read ran past the end; every later read then gives zeros and empty values.
    bool ok() const { return m_ok; }
    size_t offset() const { return m_offset; }
    size_t remaining() const { return m_ok ? m_bytes.size() - m_offset : 0; }
    bool at_end() const { return remaining() == 0; }
    // Marks the reader failed (a value the caller found impossible).
    void fail() { m_ok = false; }

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    int32_t i32() { return int32_t(u32()); }
    // `length` bytes, or an empty span (and a failed reader) when fewer remain.
    std::span<const uint8_t> bytes(size_t length);

    // The string's units exactly as stored (count and all), or nothing for a count of 0.
    std::optional<std::u16string> raw_string();
    // A text field: the units up to the first NUL, in the ANSI code page; nothing when absent.
    std::optional<std::string> text();
    // A path field: the same, cut to fit a buffer of `capacity` characters; absent gives "".
    std::string path(size_t capacity = path_capacity);

private:
    std::span<const uint8_t> m_bytes;
    size_t m_offset = 0;
    bool m_ok = true;
};

class RecordWriter {
public:
    void u8(uint8_t value) { m_bytes.push_back(value); }
    void u16(uint16_t value);
    void u32(uint32_t value);
    void i32(int32_t value) { u32(uint32_t(value)); }
    void bytes(std::span<const uint8_t> data) { m_bytes.insert(m_bytes.end(), data.begin(), data.end()); }

    // The units exactly as given (their count first), or a count of 0 for nothing.
    void raw_string(const std::optional<std::u16string>& units);
    // A text field: nothing is a count of 0; text is converted from the ANSI code page and ends in
    // a NUL that the count includes.
    void text(const std::optional<std::string>& value);
    // A path field: always present, so "" is a count of 1 (the NUL alone).
    void path(std::string_view value);

    const std::vector<uint8_t>& data() const { return m_bytes; }
    std::vector<uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};

// A text's ANSI form as UTF-16 with a terminating NUL, and back (units up to the first NUL).
std::u16string terminated_utf16(std::string_view ansi);
std::string ansi_from_units(std::u16string_view units);

}  // namespace tarpon::appdata
