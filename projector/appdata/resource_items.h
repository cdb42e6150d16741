// The items of an executable's resource list (as the PE reader gives it): the same answers the
// projector gets from its own resources on Windows.
#pragma once

#include <span>
#include <string>

#include "projector/appdata/item_source.h"
#include "projector/pe/resources.h"

namespace tarpon::appdata {

// Every resource with a text type and a text name, in order ("#<number>" for numbers).
ItemList items_of(std::span<const pe::Resource> resources);
// A resource name or type as the item functions name it.
std::string resource_name_text(const pe::ResourceName& name);

}  // namespace tarpon::appdata
