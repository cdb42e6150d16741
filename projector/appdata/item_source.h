// Where the application data's items come from. The projector reads its own resources (on Windows
// through the system's resource functions); the authoring tool and the tests read them from a list
// taken out of an executable file. Both answer the same way: an item is found by type and name (both
// compared without regard to ASCII case, as the resource loader does), and a missing or empty item
// is absent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::appdata {

// The items' types and names.
namespace item {
constexpr const char* tarpon_type = "TARPON";
constexpr const char* support_type = "SUPPORT";
constexpr const char* script_type = "QUILL";
constexpr const char* identity = "ID";
constexpr const char* settings = "ST";
constexpr const char* stamp = "CS";
constexpr const char* masks = "RG";
constexpr const char* movies = "ML";
constexpr const char* player = "FP";
constexpr const char* about_picture = "BK";
}  // namespace item

class ItemSource {
public:
    virtual ~ItemSource() = default;
    // The item's bytes as stored, or nothing when it is missing or empty.
    virtual std::optional<std::vector<uint8_t>> raw_item(std::string_view type, std::string_view name) const = 0;
};

// An item's unpacked content (its SM container opened), or the failure's text.
struct LoadedItem {
    std::vector<uint8_t> bytes;
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};
LoadedItem load_item(const ItemSource& source, std::string_view type, std::string_view name);

// Loads the item and writes its content to the file, replacing any file of that name. The
// failure's text, or empty.
std::string extract_item(const ItemSource& source, std::string_view type, std::string_view name,
                         const std::string& path);

// Items held in memory, in order; the first of a type and name is the one found.
struct Item {
    std::string type;
    std::string name;
    std::vector<uint8_t> bytes;
};
class ItemList : public ItemSource {
public:
    ItemList() = default;
    explicit ItemList(std::vector<Item> items) : m_items(std::move(items)) {}
    void add(std::string type, std::string name, std::vector<uint8_t> bytes);
    const std::vector<Item>& items() const { return m_items; }
    std::optional<std::vector<uint8_t>> raw_item(std::string_view type, std::string_view name) const override;

private:
    std::vector<Item> m_items;
};

#ifdef _WIN32
// The resources of the running executable, read with FindResource.
class ModuleItemSource : public ItemSource {
public:
    std::optional<std::vector<uint8_t>> raw_item(std::string_view type, std::string_view name) const override;
};
#endif

// Writes the bytes to the file, replacing it; false when it cannot be written whole (a partly
// written file is removed).
bool write_file(const std::string& path, std::span<const uint8_t> bytes);
// The whole file, or nothing when it cannot be read.
std::optional<std::vector<uint8_t>> read_file(const std::string& path);

}  // namespace tarpon::appdata
