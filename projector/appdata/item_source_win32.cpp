// The running executable's own resources, as the system's resource loader finds them.
#include "projector/appdata/item_source.h"

#include "platform/windows.h"

namespace tarpon::appdata {

std::optional<std::vector<uint8_t>> ModuleItemSource::raw_item(std::string_view type, std::string_view name) const {
    std::string type_text(type), name_text(name);
    HRSRC found = FindResourceA(nullptr, name_text.c_str(), type_text.c_str());
    if (!found) {
        return std::nullopt;
    }
    DWORD size = SizeofResource(nullptr, found);
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) {
        return std::nullopt;
    }
    const auto* first = static_cast<const uint8_t*>(bytes);
    return std::vector<uint8_t>(first, first + size);
}

}  // namespace tarpon::appdata
