#include "projector/appdata/resource_items.h"

#include "engine/values/text_codec.h"

namespace tarpon::appdata {

std::string resource_name_text(const pe::ResourceName& name) {
    if (name.text.empty()) {
        return "#" + std::to_string(name.id);
    }
    return quill::utf16_to_narrow(name.text);
}

ItemList items_of(std::span<const pe::Resource> resources) {
    ItemList items;
    for (const pe::Resource& resource : resources) {
        items.add(resource_name_text(resource.type), resource_name_text(resource.name), resource.data);
    }
    return items;
}

}  // namespace tarpon::appdata
