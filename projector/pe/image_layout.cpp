#include "projector/pe/image_layout.h"

#include <algorithm>

namespace tarpon::pe {

namespace {

constexpr size_t dos_lfanew = 0x3C;
constexpr size_t coff_size = 20;
constexpr size_t coff_section_count = 2;
constexpr size_t coff_optional_size = 16;

bool is_power_of_two(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

} // namespace

uint16_t get_u16(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t get_u32(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void put_u16(std::span<uint8_t> bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void put_u32(std::span<uint8_t> bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t Section::mapped_raw_size() const {
    // A zero virtual size means the raw size; otherwise the loader maps no more than the virtual size.
    return virtual_size == 0 ? raw_size : std::min(virtual_size, raw_size);
}

uint64_t Section::virtual_end() const {
    return uint64_t{virtual_address} + (virtual_size == 0 ? raw_size : virtual_size);
}

size_t ImageLayout::directory_offset(uint32_t index) const {
    return optional_offset +
           (pe32_plus ? optional_field::directories_pe32_plus : optional_field::directories_pe32) +
           size_t{index} * 8;
}

uint64_t ImageLayout::raw_end() const {
    uint64_t end = size_of_headers;
    for (const Section& section : sections) {
        if (section.raw_size != 0) {
            end = std::max(end, uint64_t{section.raw_pointer} + section.raw_size);
        }
    }
    return end;
}

std::string parse_layout(std::span<const uint8_t> image, ImageLayout& layout) {
    layout = ImageLayout{};
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        return "not an executable (no MZ header)";
    }
    const uint64_t pe_offset = get_u32(image, dos_lfanew);
    if (pe_offset + 4 + coff_size > image.size()) {
        return "the PE header lies outside the file";
    }
    if (image[pe_offset] != 'P' || image[pe_offset + 1] != 'E' || image[pe_offset + 2] != 0 ||
        image[pe_offset + 3] != 0) {
        return "not a PE image (no PE signature)";
    }
    layout.coff_offset = static_cast<size_t>(pe_offset + 4);
    layout.optional_offset = layout.coff_offset + coff_size;
    layout.optional_size = get_u16(image, layout.coff_offset + coff_optional_size);
    const uint32_t section_count = get_u16(image, layout.coff_offset + coff_section_count);
    if (layout.optional_offset + layout.optional_size > image.size() || layout.optional_size < 2) {
        return "the optional header lies outside the file";
    }
    const uint16_t magic = get_u16(image, layout.optional_offset);
    if (magic != optional_magic_pe32 && magic != optional_magic_pe32_plus) {
        return "unknown optional header magic";
    }
    layout.pe32_plus = magic == optional_magic_pe32_plus;
    const size_t directories =
        layout.pe32_plus ? optional_field::directories_pe32_plus : optional_field::directories_pe32;
    const size_t count_field =
        layout.pe32_plus ? optional_field::directory_count_pe32_plus : optional_field::directory_count_pe32;
    if (layout.optional_size < directories) {
        return "the optional header is too short";
    }
    const auto optional = image.subspan(layout.optional_offset, layout.optional_size);
    layout.section_alignment = get_u32(optional, optional_field::section_alignment);
    layout.file_alignment = get_u32(optional, optional_field::file_alignment);
    layout.size_of_headers = get_u32(optional, optional_field::size_of_headers);
    // The directories actually present: the count the header declares, as far as the header holds them.
    const uint32_t declared = get_u32(optional, count_field);
    layout.directory_count =
        static_cast<uint32_t>(std::min<uint64_t>({declared, 16, (layout.optional_size - directories) / 8}));
    if (!is_power_of_two(layout.file_alignment) || !is_power_of_two(layout.section_alignment) ||
        layout.section_alignment < layout.file_alignment) {
        return "invalid section or file alignment";
    }

    layout.section_table_offset = layout.optional_offset + layout.optional_size;
    if (layout.section_table_offset + uint64_t{section_count} * section_header_size > image.size()) {
        return "the section table lies outside the file";
    }
    layout.sections.reserve(section_count);
    for (uint32_t i = 0; i < section_count; ++i) {
        Section section;
        section.header_offset = layout.section_table_offset + size_t{i} * section_header_size;
        const auto header = image.subspan(section.header_offset, section_header_size);
        section.virtual_size = get_u32(header, section_field::virtual_size);
        section.virtual_address = get_u32(header, section_field::virtual_address);
        section.raw_size = get_u32(header, section_field::raw_size);
        section.raw_pointer = get_u32(header, section_field::raw_pointer);
        layout.sections.push_back(section);
    }
    return {};
}

const Section* section_at_rva(const ImageLayout& layout, uint32_t rva) {
    for (const Section& section : layout.sections) {
        if (rva >= section.virtual_address && rva - section.virtual_address < section.mapped_raw_size()) {
            return &section;
        }
    }
    return nullptr;
}

std::optional<std::span<const uint8_t>> bytes_at_rva(std::span<const uint8_t> image,
                                                     const ImageLayout& layout, uint32_t rva, uint32_t size) {
    const Section* section = section_at_rva(layout, rva);
    if (section == nullptr) {
        return std::nullopt;
    }
    const uint64_t within = rva - section->virtual_address;
    if (within + size > section->mapped_raw_size()) {
        return std::nullopt;
    }
    const uint64_t offset = section->raw_pointer + within;
    if (offset + size > image.size()) {
        return std::nullopt;
    }
    return image.subspan(static_cast<size_t>(offset), size);
}

uint32_t image_checksum(std::span<const uint8_t> image, size_t check_sum_offset) {
    // The checksum field itself counts as zero, wherever it falls among the 16-bit words.
    const auto byte = [&](size_t i) -> uint32_t {
        if (i >= image.size() || (i >= check_sum_offset && i < check_sum_offset + 4)) {
            return 0;
        }
        return image[i];
    };
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        sum += byte(i) | byte(i + 1) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

} // namespace tarpon::pe
