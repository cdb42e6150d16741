// The parts of a PE32 or PE32+ image's headers that resources depend on: where the optional header,
// the data directories and the section table are, the alignments, and the sections themselves.
// Every field is read with its offset checked against the image; nothing here trusts the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarpon::pe {

inline constexpr uint16_t optional_magic_pe32 = 0x10B;
inline constexpr uint16_t optional_magic_pe32_plus = 0x20B;
inline constexpr size_t section_header_size = 40;
inline constexpr uint32_t resource_directory_index = 2;

// Offsets inside the optional header, the same in PE32 and PE32+ unless two are given.
namespace optional_field {
inline constexpr size_t size_of_initialized_data = 8;
inline constexpr size_t section_alignment = 32;
inline constexpr size_t file_alignment = 36;
inline constexpr size_t size_of_image = 56;
inline constexpr size_t size_of_headers = 60;
inline constexpr size_t check_sum = 64;
inline constexpr size_t directory_count_pe32 = 92;
inline constexpr size_t directory_count_pe32_plus = 108;
inline constexpr size_t directories_pe32 = 96;
inline constexpr size_t directories_pe32_plus = 112;
} // namespace optional_field

// Offsets inside a 40-byte section header.
namespace section_field {
inline constexpr size_t virtual_size = 8;
inline constexpr size_t virtual_address = 12;
inline constexpr size_t raw_size = 16;
inline constexpr size_t raw_pointer = 20;
inline constexpr size_t characteristics = 36;
} // namespace section_field

struct Section {
    size_t header_offset = 0; // file offset of its 40-byte header
    uint32_t virtual_size = 0;
    uint32_t virtual_address = 0;
    uint32_t raw_size = 0;
    uint32_t raw_pointer = 0;

    // Bytes of the section the loader maps from the file.
    uint32_t mapped_raw_size() const;
    // End of the section in memory (before rounding to the section alignment).
    uint64_t virtual_end() const;
};

struct ImageLayout {
    bool pe32_plus = false;
    size_t coff_offset = 0;     // the 20-byte file header, after "PE\0\0"
    size_t optional_offset = 0; // the optional header
    size_t optional_size = 0;
    size_t section_table_offset = 0;
    uint32_t section_alignment = 0;
    uint32_t file_alignment = 0;
    uint32_t size_of_headers = 0;
    uint32_t directory_count = 0; // data directories present in the optional header (at most 16)
    std::vector<Section> sections;

    // File offset of data directory `index` ({RVA, size}), which must be below directory_count.
    size_t directory_offset(uint32_t index) const;
    // Where the bytes the sections occupy in the file end: appended data (the overlay) starts here.
    uint64_t raw_end() const;
};

// Reads the headers; an error text when the image is not a PE32 or PE32+ image this code can use.
std::string parse_layout(std::span<const uint8_t> image, ImageLayout& layout);

// The `size` bytes at `rva`, when they lie wholly inside one section's data in the file.
std::optional<std::span<const uint8_t>> bytes_at_rva(std::span<const uint8_t> image,
                                                     const ImageLayout& layout, uint32_t rva, uint32_t size);

// The section whose mapped bytes hold `rva`, or null.
const Section* section_at_rva(const ImageLayout& layout, uint32_t rva);

// Little-endian fields; the caller has checked that the bytes are there.
uint16_t get_u16(std::span<const uint8_t> bytes, size_t offset);
uint32_t get_u32(std::span<const uint8_t> bytes, size_t offset);
void put_u16(std::span<uint8_t> bytes, size_t offset, uint16_t value);
void put_u32(std::span<uint8_t> bytes, size_t offset, uint32_t value);

// The image's checksum as the system computes it: 16-bit one's-complement sum of the file with the
// checksum field taken as zero, plus the file's length.
uint32_t image_checksum(std::span<const uint8_t> image, size_t check_sum_offset);

} // namespace tarpon::pe
