// Small PE images made in memory for the resource tests: a header, one code section and room in the
// headers for more sections, as a linker lays them out.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarpon::pe::test {

struct ImageShape {
    bool pe32_plus = true;
    uint32_t section_alignment = 0x1000;
    uint32_t file_alignment = 0x200;
    uint32_t size_of_headers = 0x400;
};

// Field offsets the tests poke at.
inline constexpr size_t pe_offset = 0x80;
inline constexpr size_t coff_offset = pe_offset + 4;
inline constexpr size_t optional_offset = coff_offset + 20;

inline void put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
    }
}
inline void put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}
inline uint32_t get32(const std::vector<uint8_t>& bytes, size_t offset) {
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
           uint32_t{bytes[offset + 3]} << 24;
}
inline uint16_t get16(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

inline size_t optional_size(bool pe32_plus) { return pe32_plus ? 0xF0 : 0xE0; }
inline size_t directory_offset(bool pe32_plus, size_t index) {
    return optional_offset + (pe32_plus ? 112 : 96) + index * 8;
}
inline size_t section_table(bool pe32_plus) { return optional_offset + optional_size(pe32_plus); }

// An image with a ".text" section of one file-alignment block at the first section address.
inline std::vector<uint8_t> make_image(const ImageShape& shape = {}) {
    std::vector<uint8_t> image(shape.size_of_headers + shape.file_alignment, 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, pe_offset);
    image[pe_offset] = 'P';
    image[pe_offset + 1] = 'E';
    put16(image, coff_offset, shape.pe32_plus ? 0x8664 : 0x14C);
    put16(image, coff_offset + 2, 1);
    put16(image, coff_offset + 16, static_cast<uint16_t>(optional_size(shape.pe32_plus)));
    put16(image, coff_offset + 18, 0x22);
    put16(image, optional_offset, shape.pe32_plus ? 0x20B : 0x10B);
    put32(image, optional_offset + 32, shape.section_alignment);
    put32(image, optional_offset + 36, shape.file_alignment);
    put32(image, optional_offset + 56, 2 * shape.section_alignment);
    put32(image, optional_offset + 60, shape.size_of_headers);
    put32(image, optional_offset + (shape.pe32_plus ? 108 : 92), 16);
    const size_t text = section_table(shape.pe32_plus);
    for (size_t i = 0; i < 5; ++i) {
        image[text + i] = static_cast<uint8_t>(".text"[i]);
    }
    put32(image, text + 8, 0x10);
    put32(image, text + 12, shape.section_alignment);
    put32(image, text + 16, shape.file_alignment);
    put32(image, text + 20, shape.size_of_headers);
    put32(image, text + 36, 0x60000020);
    image[shape.size_of_headers] = 0xC3;
    return image;
}

inline std::vector<uint8_t> bytes_of(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace tarpon::pe::test
