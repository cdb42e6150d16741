// Reading the resource tree: the root directory lists types, each type's directory lists names, each
// name's directory lists languages, and each language entry points at a data entry whose RVA and
// size give the resource's bytes. Every directory, string and data entry offset is relative to the
// root and is checked against the bytes of the section that holds it; the tree is exactly three
// levels deep, and no directory or data entry may be reached twice, so a hostile tree can neither
// loop nor multiply its resources.
#include <algorithm>
#include <unordered_set>

#include "projector/pe/image_layout.h"
#include "projector/pe/resources.h"

namespace tarpon::pe {

namespace {

constexpr uint32_t high_bit = 0x80000000;
constexpr size_t directory_size = 16;
constexpr size_t entry_size = 8;
constexpr size_t data_entry_size = 16;

enum class Level { Type, Name, Language };

class TreeReader {
  public:
    TreeReader(std::span<const uint8_t> image, const ImageLayout& layout, std::span<const uint8_t> tree,
               std::vector<Resource>& out)
        : m_image(image), m_layout(layout), m_tree(tree), m_out(out) {}

    std::string read() {
        Resource path;
        read_directory(0, Level::Type, path);
        return m_error;
    }

  private:
    bool fail(const char* text) {
        if (m_error.empty()) {
            m_error = text;
        }
        return false;
    }

    bool fits(uint64_t offset, uint64_t size) const {
        return offset <= m_tree.size() && size <= m_tree.size() - offset;
    }

    // Each directory and data entry may be reached once only.
    bool first_visit(uint32_t offset) { return m_visited.insert(offset).second; }

    bool read_name(uint32_t field, ResourceName& name) {
        name = ResourceName{};
        if ((field & high_bit) == 0) {
            name.id = static_cast<uint16_t>(field);
            return true;
        }
        const uint32_t offset = field & ~high_bit;
        if (!fits(offset, 2)) {
            return fail("a resource name lies outside the resource section");
        }
        const uint16_t length = get_u16(m_tree, offset);
        if (!fits(uint64_t{offset} + 2, uint64_t{length} * 2)) {
            return fail("a resource name lies outside the resource section");
        }
        if (length == 0) {
            return fail("a resource name is empty");
        }
        name.text.resize(length);
        for (uint16_t i = 0; i < length; ++i) {
            name.text[i] = static_cast<char16_t>(get_u16(m_tree, offset + 2 + size_t{i} * 2));
        }
        return true;
    }

    bool read_directory(uint32_t offset, Level level, Resource& path) {
        if (!fits(offset, directory_size)) {
            return fail("a resource directory lies outside the resource section");
        }
        if (!first_visit(offset)) {
            return fail("a resource directory is reached twice");
        }
        const size_t count = size_t{get_u16(m_tree, offset + 12)} + get_u16(m_tree, offset + 14);
        if (!fits(uint64_t{offset} + directory_size, uint64_t{count} * entry_size)) {
            return fail("a resource directory's entries lie outside the resource section");
        }
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = offset + directory_size + i * entry_size;
            const uint32_t name_field = get_u32(m_tree, entry);
            const uint32_t target = get_u32(m_tree, entry + 4);
            const bool is_directory = (target & high_bit) != 0;
            switch (level) {
            case Level::Type:
                if (!read_name(name_field, path.type)) {
                    return false;
                }
                break;
            case Level::Name:
                if (!read_name(name_field, path.name)) {
                    return false;
                }
                break;
            case Level::Language:
                if ((name_field & high_bit) != 0) {
                    return fail("a resource language is given as a name");
                }
                path.language = static_cast<uint16_t>(name_field);
                break;
            }
            if (level == Level::Language) {
                if (is_directory) {
                    return fail("the resource tree is more than three levels deep");
                }
                if (!read_data(target, path)) {
                    return false;
                }
                continue;
            }
            if (!is_directory) {
                return fail("a resource type or name entry does not lead to a directory");
            }
            if (!read_directory(target & ~high_bit, level == Level::Type ? Level::Name : Level::Language,
                                path)) {
                return false;
            }
        }
        return true;
    }

    bool read_data(uint32_t offset, const Resource& path) {
        if (!fits(offset, data_entry_size)) {
            return fail("a resource data entry lies outside the resource section");
        }
        if (!first_visit(offset)) {
            return fail("a resource data entry is reached twice");
        }
        const uint32_t rva = get_u32(m_tree, offset);
        const uint32_t size = get_u32(m_tree, offset + 4);
        // The resources of a well-formed image never share bytes, so all of them together fit in the file;
        // more would only come from entries that point at the same bytes over and over.
        m_data_total += size;
        if (m_data_total > m_image.size()) {
            return fail("the resources hold more bytes than the file");
        }
        // An empty resource's address is never used (the writer puts it where the data would start,
        // which may be the end of the section).
        const auto bytes =
            size == 0 ? std::span<const uint8_t>{} : bytes_at_rva(m_image, m_layout, rva, size);
        if (!bytes) {
            return fail("a resource's data lies outside the image");
        }
        Resource& resource = m_out.emplace_back();
        resource.type = path.type;
        resource.name = path.name;
        resource.language = path.language;
        resource.code_page = get_u32(m_tree, offset + 8);
        resource.data.assign(bytes->begin(), bytes->end());
        return true;
    }

    std::span<const uint8_t> m_image;
    const ImageLayout& m_layout;
    std::span<const uint8_t> m_tree; // from the root directory to the end of its section's data
    std::vector<Resource>& m_out;
    std::unordered_set<uint32_t> m_visited;
    uint64_t m_data_total = 0;
    std::string m_error;
};

} // namespace

ReadResult read_resources(std::span<const uint8_t> image) {
    ReadResult result;
    ImageLayout layout;
    result.error = parse_layout(image, layout);
    if (!result.error.empty()) {
        return result;
    }
    if (layout.directory_count <= resource_directory_index) {
        return result;
    }
    const uint32_t root = get_u32(image, layout.directory_offset(resource_directory_index));
    if (root == 0) {
        return result;
    }
    // The loader goes by the directory's address alone (its size is left stale by some editors).
    const Section* section = section_at_rva(layout, root);
    if (section == nullptr) {
        result.error = "the resource directory lies outside the sections";
        return result;
    }
    const uint64_t begin = uint64_t{section->raw_pointer} + (root - section->virtual_address);
    const uint64_t end =
        std::min<uint64_t>(uint64_t{section->raw_pointer} + section->mapped_raw_size(), image.size());
    if (begin >= end) {
        result.error = "the resource directory lies outside the file";
        return result;
    }
    const auto tree = image.subspan(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
    result.error = TreeReader(image, layout, tree, result.resources).read();
    if (!result.error.empty()) {
        result.resources.clear();
    }
    return result;
}

} // namespace tarpon::pe
