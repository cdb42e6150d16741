// Writing a complete resource tree into a new last section of a copy of an image.
//
// The tree is laid out as the loader searches it: in every directory the named entries come first,
// sorted by their upper-case UTF-16 text unit by unit (a shorter prefix first), then the numbered
// entries in ascending order. The section holds, in this order: the root directory, the name
// directories of every type, the language directories of every name, the data entries, the name
// strings, and the resources' bytes, each starting on an 8-byte boundary. docs/formats/resources.md
// draws the layout.
//
// The section replaces the tree the image had: the old resource section stays where it is,
// unreferenced. When the image's tree already sits in a last section of its own (an image this
// writer made), that section is replaced instead of adding another. Data appended after the
// sections (the overlay) follows the new section.
#include <algorithm>
#include <map>
#include <type_traits>

#include "projector/pe/image_layout.h"
#include "projector/pe/resources.h"

namespace tarpon::pe {

namespace {

constexpr uint32_t high_bit = 0x80000000;
constexpr size_t directory_size = 16;
constexpr size_t entry_size = 8;
constexpr size_t data_entry_size = 16;
constexpr uint32_t section_characteristics = 0x40000040; // initialized data, readable
constexpr char section_name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
constexpr uint16_t directory_major_version = 4;
constexpr size_t certificate_directory_index = 4;
constexpr size_t coff_section_count = 2;
constexpr size_t coff_symbol_table = 8;

uint64_t align_up(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// The loader's order of names within a directory.
struct LoaderOrder {
    bool operator()(const ResourceName& a, const ResourceName& b) const {
        const bool a_named = !a.text.empty();
        const bool b_named = !b.text.empty();
        if (a_named != b_named) {
            return a_named;
        }
        return a_named ? a.text < b.text : a.id < b.id;
    }
};

using Languages = std::map<uint16_t, const Resource*>;
using Names = std::map<ResourceName, Languages, LoaderOrder>;
using Types = std::map<ResourceName, Names, LoaderOrder>;

ResourceName stored_name(const ResourceName& name) {
    return name.text.empty() ? ResourceName::number(name.id) : ResourceName::named(name.text);
}

// Lays out the tree's directories, entries, strings and data, then writes its bytes for a section
// at a given address.
class TreeWriter {
  public:
    explicit TreeWriter(const Types& types) : m_types(types) {}

    // The tree's size; an error text when it cannot be addressed.
    std::string lay_out() {
        uint64_t offset = directory_size + entry_size * m_types.size();
        for (const auto& [type, names] : m_types) {
            m_name_directories.push_back(offset);
            offset += directory_size + entry_size * names.size();
        }
        for (const auto& [type, names] : m_types) {
            for (const auto& [name, languages] : names) {
                m_language_directories.push_back(offset);
                offset += directory_size + entry_size * languages.size();
                m_leaf_count += languages.size();
            }
        }
        m_data_entries = offset;
        offset += data_entry_size * m_leaf_count;
        const auto add_string = [&](const ResourceName& name) {
            if (!name.text.empty()) {
                m_strings.push_back(offset);
                offset += 2 + 2 * name.text.size();
            }
        };
        for (const auto& [type, names] : m_types) {
            add_string(type);
            for (const auto& [name, languages] : names) {
                add_string(name);
            }
        }
        for (const auto& [type, names] : m_types) {
            for (const auto& [name, languages] : names) {
                for (const auto& [language, resource] : languages) {
                    offset = align_up(offset, 8);
                    m_data.push_back(offset);
                    offset += resource->data.size();
                }
            }
        }
        m_size = offset;
        const auto too_many = [](size_t count) { return count > 0xFFFF; };
        if (too_many(m_types.size())) {
            return "too many resources in one directory";
        }
        for (const auto& [type, names] : m_types) {
            if (too_many(names.size())) {
                return "too many resources in one directory";
            }
            for (const auto& [name, languages] : names) {
                if (too_many(languages.size())) {
                    return "too many resources in one directory";
                }
            }
        }
        // Offsets inside the tree keep their top bit for flags.
        if (m_size >= high_bit) {
            return "the resources are too large for one image";
        }
        return {};
    }

    uint64_t size() const { return m_size; }

    std::vector<uint8_t> write(uint32_t section_rva) const {
        std::vector<uint8_t> tree(static_cast<size_t>(m_size));
        size_t next_string = 0;
        const auto name_field = [&](const ResourceName& name) -> uint32_t {
            if (name.text.empty()) {
                return name.id;
            }
            const size_t offset = static_cast<size_t>(m_strings[next_string++]);
            put_u16(tree, offset, static_cast<uint16_t>(name.text.size()));
            for (size_t i = 0; i < name.text.size(); ++i) {
                put_u16(tree, offset + 2 + 2 * i, name.text[i]);
            }
            return high_bit | static_cast<uint32_t>(offset);
        };
        const auto directory = [&](uint64_t offset, const auto& entries) {
            const size_t named =
                static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [](const auto& entry) {
                    if constexpr (std::is_same_v<std::decay_t<decltype(entry.first)>, ResourceName>) {
                        return !entry.first.text.empty();
                    } else {
                        return false;
                    }
                }));
            put_u16(tree, static_cast<size_t>(offset) + 8, directory_major_version);
            put_u16(tree, static_cast<size_t>(offset) + 12, static_cast<uint16_t>(named));
            put_u16(tree, static_cast<size_t>(offset) + 14, static_cast<uint16_t>(entries.size() - named));
        };
        // Strings are numbered in the order lay_out() gave them: each type, then its names.
        size_t name_directory = 0;
        size_t language_directory = 0;
        size_t leaf = 0;
        directory(0, m_types);
        size_t type_entry = directory_size;
        for (const auto& [type, names] : m_types) {
            const uint64_t names_offset = m_name_directories[name_directory++];
            put_u32(tree, type_entry, name_field(type));
            put_u32(tree, type_entry + 4, high_bit | static_cast<uint32_t>(names_offset));
            type_entry += entry_size;
            directory(names_offset, names);
            size_t name_entry = static_cast<size_t>(names_offset) + directory_size;
            for (const auto& [name, languages] : names) {
                const uint64_t languages_offset = m_language_directories[language_directory++];
                put_u32(tree, name_entry, name_field(name));
                put_u32(tree, name_entry + 4, high_bit | static_cast<uint32_t>(languages_offset));
                name_entry += entry_size;
                directory(languages_offset, languages);
                size_t language_entry = static_cast<size_t>(languages_offset) + directory_size;
                for (const auto& [language, resource] : languages) {
                    const size_t data_entry = static_cast<size_t>(m_data_entries) + leaf * data_entry_size;
                    const size_t data = static_cast<size_t>(m_data[leaf]);
                    put_u32(tree, language_entry, language);
                    put_u32(tree, language_entry + 4, static_cast<uint32_t>(data_entry));
                    language_entry += entry_size;
                    put_u32(tree, data_entry, section_rva + static_cast<uint32_t>(data));
                    put_u32(tree, data_entry + 4, static_cast<uint32_t>(resource->data.size()));
                    put_u32(tree, data_entry + 8, resource->code_page);
                    std::copy(resource->data.begin(), resource->data.end(),
                              tree.begin() + static_cast<std::ptrdiff_t>(data));
                    ++leaf;
                }
            }
        }
        return tree;
    }

  private:
    const Types& m_types;
    std::vector<uint64_t> m_name_directories;
    std::vector<uint64_t> m_language_directories;
    uint64_t m_data_entries = 0;
    size_t m_leaf_count = 0;
    std::vector<uint64_t> m_strings;
    std::vector<uint64_t> m_data;
    uint64_t m_size = 0;
};

std::string sort_resources(std::span<const Resource> resources, Types& types) {
    for (const Resource& resource : resources) {
        if (resource.type.text.size() > 0xFFFF || resource.name.text.size() > 0xFFFF) {
            return "a resource name is longer than 65535 characters";
        }
        if (resource.data.size() >= high_bit) {
            return "a resource is too large for one image";
        }
        Languages& languages = types[stored_name(resource.type)][stored_name(resource.name)];
        if (!languages.emplace(resource.language, &resource).second) {
            // Upper-casing can make two names one; the loader would find only one of them.
            return "two resources have the same type, name and language";
        }
    }
    return {};
}

// Whether the section holds nothing but the resource tree the data directories point at, so that a
// new tree may take its place.
bool holds_only_the_tree(std::span<const uint8_t> image, const ImageLayout& layout, const Section& section) {
    const uint32_t root = get_u32(image, layout.directory_offset(resource_directory_index));
    if (root != section.virtual_address || section.raw_size == 0) {
        return false;
    }
    for (uint32_t i = 0; i < layout.directory_count; ++i) {
        if (i == resource_directory_index || i == certificate_directory_index) {
            continue;
        }
        const uint32_t rva = get_u32(image, layout.directory_offset(i));
        if (rva != 0 && rva >= section.virtual_address && rva < section.virtual_end()) {
            return false;
        }
    }
    // Every other section lies before it, in memory and in the file.
    for (const Section& other : layout.sections) {
        if (&other == &section) {
            continue;
        }
        if (other.virtual_end() > section.virtual_address ||
            (other.raw_size != 0 && uint64_t{other.raw_pointer} + other.raw_size > section.raw_pointer)) {
            return false;
        }
    }
    return uint64_t{section.raw_pointer} + section.raw_size == layout.raw_end();
}

// Room for one more section header inside the headers, where nothing else lies.
bool has_room_for_section_header(std::span<const uint8_t> image, const ImageLayout& layout) {
    const uint64_t begin = layout.section_table_offset + layout.sections.size() * section_header_size;
    uint64_t limit = layout.size_of_headers;
    for (const Section& section : layout.sections) {
        if (section.raw_size != 0) {
            limit = std::min<uint64_t>(limit, section.raw_pointer);
        }
    }
    if (begin + section_header_size > limit || begin + section_header_size > image.size() ||
        layout.sections.size() >= 0xFFFF) {
        return false;
    }
    return std::all_of(image.begin() + static_cast<std::ptrdiff_t>(begin),
                       image.begin() + static_cast<std::ptrdiff_t>(begin + section_header_size),
                       [](uint8_t byte) { return byte == 0; });
}

// A file offset that pointed into the moved overlay, moved with it.
void move_file_offset(std::vector<uint8_t>& out, size_t field, uint64_t old_overlay, int64_t shift) {
    const uint32_t offset = get_u32(out, field);
    if (offset != 0 && offset >= old_overlay) {
        put_u32(out, field, static_cast<uint32_t>(static_cast<int64_t>(offset) + shift));
    }
}

} // namespace

WriteResult write_resources(std::span<const uint8_t> image, std::span<const Resource> resources) {
    WriteResult result;
    ImageLayout layout;
    result.error = parse_layout(image, layout);
    if (!result.error.empty()) {
        return result;
    }
    if (layout.directory_count <= resource_directory_index) {
        result.error = "the image has no resource directory entry";
        return result;
    }
    const uint64_t old_raw_end = layout.raw_end();
    if (old_raw_end > image.size()) {
        result.error = "the sections' data runs past the end of the file";
        return result;
    }

    Types types;
    result.error = sort_resources(resources, types);
    if (!result.error.empty()) {
        return result;
    }
    TreeWriter tree(types);
    result.error = tree.lay_out();
    if (!result.error.empty()) {
        return result;
    }

    // Where the new section goes: in place of a section of our own at the end, or after every other.
    const Section* replaced = nullptr;
    if (!layout.sections.empty() && holds_only_the_tree(image, layout, layout.sections.back())) {
        replaced = &layout.sections.back();
    } else if (!has_room_for_section_header(image, layout)) {
        result.error = "the image's headers have no room for another section";
        return result;
    }
    uint64_t rva = 0;
    uint64_t raw_pointer = 0;
    if (replaced != nullptr) {
        rva = replaced->virtual_address;
        raw_pointer = replaced->raw_pointer;
    } else {
        uint64_t virtual_end = layout.size_of_headers;
        for (const Section& section : layout.sections) {
            virtual_end = std::max(virtual_end, section.virtual_end());
        }
        rva = align_up(virtual_end, layout.section_alignment);
        raw_pointer = align_up(old_raw_end, layout.file_alignment);
    }
    const uint64_t raw_size = align_up(tree.size(), layout.file_alignment);
    const uint64_t size_of_image =
        align_up(rva + std::max<uint64_t>(tree.size(), 1), layout.section_alignment);
    if (size_of_image > 0xFFFFFFFF || raw_pointer + raw_size > 0xFFFFFFFF) {
        result.error = "the resources are too large for one image";
        return result;
    }

    const auto appended = image.subspan(static_cast<size_t>(old_raw_end));
    const uint64_t kept = replaced != nullptr ? replaced->raw_pointer : old_raw_end;
    std::vector<uint8_t>& out = result.image;
    out.reserve(static_cast<size_t>(raw_pointer + raw_size + appended.size()));
    out.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(kept));
    out.resize(static_cast<size_t>(raw_pointer), 0);
    const std::vector<uint8_t> bytes = tree.write(static_cast<uint32_t>(rva));
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize(static_cast<size_t>(raw_pointer + raw_size), 0);
    out.insert(out.end(), appended.begin(), appended.end());

    // The section header.
    size_t header = 0;
    uint32_t initialized_data =
        get_u32(out, layout.optional_offset + optional_field::size_of_initialized_data);
    if (replaced != nullptr) {
        header = replaced->header_offset;
        initialized_data -= replaced->raw_size;
    } else {
        header = layout.section_table_offset + layout.sections.size() * section_header_size;
        put_u16(out, layout.coff_offset + coff_section_count,
                static_cast<uint16_t>(layout.sections.size() + 1));
    }
    initialized_data += static_cast<uint32_t>(raw_size);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(header),
              out.begin() + static_cast<std::ptrdiff_t>(header + section_header_size), 0);
    std::copy(std::begin(section_name), std::end(section_name),
              out.begin() + static_cast<std::ptrdiff_t>(header));
    put_u32(out, header + section_field::virtual_size, static_cast<uint32_t>(tree.size()));
    put_u32(out, header + section_field::virtual_address, static_cast<uint32_t>(rva));
    put_u32(out, header + section_field::raw_size, static_cast<uint32_t>(raw_size));
    put_u32(out, header + section_field::raw_pointer, static_cast<uint32_t>(raw_pointer));
    put_u32(out, header + section_field::characteristics, section_characteristics);

    // The optional header and the directories.
    put_u32(out, layout.optional_offset + optional_field::size_of_initialized_data, initialized_data);
    put_u32(out, layout.optional_offset + optional_field::size_of_image,
            static_cast<uint32_t>(size_of_image));
    put_u32(out, layout.directory_offset(resource_directory_index), static_cast<uint32_t>(rva));
    put_u32(out, layout.directory_offset(resource_directory_index) + 4, static_cast<uint32_t>(tree.size()));

    // File offsets into the appended data move with it: the symbol table of an unstripped image and
    // the certificate table.
    const int64_t shift = static_cast<int64_t>(raw_pointer + raw_size) - static_cast<int64_t>(old_raw_end);
    move_file_offset(out, layout.coff_offset + coff_symbol_table, old_raw_end, shift);
    if (layout.directory_count > certificate_directory_index) {
        move_file_offset(out, layout.directory_offset(certificate_directory_index), old_raw_end, shift);
    }

    const size_t check_sum = layout.optional_offset + optional_field::check_sum;
    put_u32(out, check_sum, image_checksum(out, check_sum));
    return result;
}

} // namespace tarpon::pe
