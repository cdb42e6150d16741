// Resource names, lookup as the loader does it, and the data appended after an image's sections.
#include "projector/pe/resources.h"

#include <algorithm>
#include <optional>

#include "projector/pe/image_layout.h"

namespace tarpon::pe {

namespace {

// "#123" names resource 123, as it does for FindResource.
std::optional<uint16_t> number_in_text(const std::u16string& text) {
    if (text.size() < 2 || text.size() > 6 || text[0] != u'#') {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - u'0');
    }
    if (value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

ResourceName as_looked_up(const ResourceName& name) {
    if (name.text.empty()) {
        return name;
    }
    if (const auto number = number_in_text(name.text)) {
        return ResourceName::number(*number);
    }
    return ResourceName::named(name.text);
}

} // namespace

ResourceName ResourceName::number(uint16_t id) {
    ResourceName name;
    name.id = id;
    return name;
}

ResourceName ResourceName::named(std::u16string_view text) {
    ResourceName name;
    name.text.assign(text);
    for (char16_t& unit : name.text) {
        if (unit >= u'a' && unit <= u'z') {
            unit = static_cast<char16_t>(unit - u'a' + u'A');
        }
    }
    return name;
}

const Resource* find_resource(std::span<const Resource> resources, const ResourceName& type,
                              const ResourceName& name) {
    // The loader upper-cases the names it is asked for and compares them with the stored ones exactly.
    const ResourceName wanted_type = as_looked_up(type);
    const ResourceName wanted_name = as_looked_up(name);
    const auto found = std::find_if(resources.begin(), resources.end(), [&](const Resource& resource) {
        return resource.type == wanted_type && resource.name == wanted_name;
    });
    return found == resources.end() ? nullptr : &*found;
}

std::span<const uint8_t> overlay(std::span<const uint8_t> image) {
    ImageLayout layout;
    if (!parse_layout(image, layout).empty()) {
        return {};
    }
    const uint64_t end = layout.raw_end();
    if (end >= image.size()) {
        return {};
    }
    return image.subspan(static_cast<size_t>(end));
}

std::vector<uint8_t> with_overlay(std::span<const uint8_t> image, std::span<const uint8_t> appended) {
    const size_t kept = image.size() - overlay(image).size();
    std::vector<uint8_t> result;
    result.reserve(kept + appended.size());
    result.insert(result.end(), image.begin(), image.begin() + static_cast<std::ptrdiff_t>(kept));
    result.insert(result.end(), appended.begin(), appended.end());
    return result;
}

} // namespace tarpon::pe
