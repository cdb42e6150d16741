#include "projector/appdata/record_stream.h"

#include "engine/values/text_codec.h"

namespace tarpon::appdata {

uint8_t RecordReader::u8() {
    auto b = bytes(1);
    return b.empty() ? 0 : b[0];
}

uint16_t RecordReader::u16() {
    auto b = bytes(2);
    return b.empty() ? 0 : uint16_t(b[0] | b[1] << 8);
}

uint32_t RecordReader::u32() {
    auto b = bytes(4);
    return b.empty() ? 0 : uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

std::span<const uint8_t> RecordReader::bytes(size_t length) {
    if (!m_ok || length > m_bytes.size() - m_offset) {
        m_ok = false;
        return {};
    }
    auto result = m_bytes.subspan(m_offset, length);
    m_offset += length;
    return result;
}

std::optional<std::u16string> RecordReader::raw_string() {
    uint32_t count = u32();
    if (!m_ok || count == 0) {
        return std::nullopt;
    }
    // The count is checked against what is left before anything is allocated.
    if (count > remaining() / 2) {
        m_ok = false;
        return std::nullopt;
    }
    auto b = bytes(size_t(count) * 2);
    std::u16string units(count, u'\0');
    for (uint32_t i = 0; i < count; ++i) {
        units[i] = char16_t(b[2 * i] | b[2 * i + 1] << 8);
    }
    return units;
}

std::optional<std::string> RecordReader::text() {
    auto units = raw_string();
    if (!units) {
        return std::nullopt;
    }
    return ansi_from_units(*units);
}

std::string RecordReader::path(size_t capacity) {
    auto units = raw_string();
    if (!units) {
        return {};
    }
    std::u16string_view text(*units);
    text = text.substr(0, text.find(u'\0'));
    std::string value = quill::utf16_to_narrow(text);
    // Too long for its buffer: cut whole characters, never inside a multi-byte sequence or a
    // surrogate pair, so that what is kept converts back to the same units.
    while (capacity > 0 && value.size() > capacity - 1) {
        // Each unit takes at least one byte: drop at least as many units as there are bytes too many.
        size_t excess = value.size() - (capacity - 1);
        size_t cut = text.size() > excess ? text.size() - excess : 0;
        bool splits_pair = cut > 0 && text[cut] >= 0xDC00 && text[cut] <= 0xDFFF && text[cut - 1] >= 0xD800 &&
                           text[cut - 1] <= 0xDBFF;
        if (splits_pair) {
            --cut;
        }
        text = text.substr(0, cut);
        value = quill::utf16_to_narrow(text);
    }
    return value;
}

void RecordWriter::u16(uint16_t value) {
    m_bytes.push_back(uint8_t(value));
    m_bytes.push_back(uint8_t(value >> 8));
}

void RecordWriter::u32(uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        m_bytes.push_back(uint8_t(value >> (8 * i)));
    }
}

void RecordWriter::raw_string(const std::optional<std::u16string>& units) {
    if (!units) {
        u32(0);
        return;
    }
    u32(uint32_t(units->size()));
    for (char16_t unit : *units) {
        u16(uint16_t(unit));
    }
}

void RecordWriter::text(const std::optional<std::string>& value) {
    if (!value) {
        u32(0);
        return;
    }
    raw_string(terminated_utf16(*value));
}

void RecordWriter::path(std::string_view value) { raw_string(terminated_utf16(value)); }

std::u16string terminated_utf16(std::string_view ansi) {
    std::u16string units = quill::narrow_to_utf16(ansi.substr(0, ansi.find('\0')));
    units.push_back(u'\0');
    return units;
}

std::string ansi_from_units(std::u16string_view units) {
    return quill::utf16_to_narrow(units.substr(0, units.find(u'\0')));
}

}  // namespace tarpon::appdata
