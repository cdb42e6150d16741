#include "projector/appdata/item_source.h"

#include <cstdio>

#include "projector/appdata/file_system.h"
#include "projector/appdata/messages.h"
#include "projector/appdata/sm_container.h"

namespace tarpon::appdata {

namespace {

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

LoadedItem load_item(const ItemSource& source, std::string_view type, std::string_view name) {
    auto raw = source.raw_item(type, name);
    if (!raw) {
        return LoadedItem{{}, message_text(Message::MissingItem)};
    }
    Unpacked unpacked = unpack_sm(*raw);
    return LoadedItem{std::move(unpacked.bytes), std::move(unpacked.error)};
}

std::string extract_item(const ItemSource& source, std::string_view type, std::string_view name,
                         const std::string& path) {
    LoadedItem loaded = load_item(source, type, name);
    if (!loaded.ok()) {
        return loaded.error;
    }
    if (!write_file(path, loaded.bytes)) {
        return message_text(Message::WriteFailed);
    }
    return {};
}

void ItemList::add(std::string type, std::string name, std::vector<uint8_t> bytes) {
    m_items.push_back(Item{std::move(type), std::move(name), std::move(bytes)});
}

std::optional<std::vector<uint8_t>> ItemList::raw_item(std::string_view type, std::string_view name) const {
    for (const Item& entry : m_items) {
        if (same_name(entry.type, type) && same_name(entry.name, name)) {
            if (entry.bytes.empty()) {
                return std::nullopt;
            }
            return entry.bytes;
        }
    }
    return std::nullopt;
}

bool write_file(const std::string& path, std::span<const uint8_t> bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        remove_file(path);
    }
    return ok;
}

std::optional<std::vector<uint8_t>> read_file(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace tarpon::appdata
