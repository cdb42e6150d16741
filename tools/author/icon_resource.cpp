// An .ico file is an ICONDIR (reserved, type 1, count) and count 16-byte entries (width, height,
// colours, reserved, planes, bit count, u32 bytes, u32 offset) followed by the images. A group
// icon resource is the same header with 14-byte entries whose last field is the u16 image id.
#include "tools/author/icon_resource.h"

#include <algorithm>
#include <set>

#include "projector/appdata/record_stream.h"

namespace tarpon::author {

namespace {

constexpr uint16_t icon_type = 3;
constexpr uint16_t group_icon_type = 14;

bool is(const pe::ResourceName& name, uint16_t id) { return name.text.empty() && name.id == id; }

// The image ids a group names.
std::set<uint16_t> group_images(std::span<const uint8_t> group) {
    std::set<uint16_t> ids;
    appdata::RecordReader in(group);
    in.u16();
    in.u16();
    uint16_t count = in.u16();
    for (uint16_t i = 0; i < count && in.ok(); ++i) {
        in.bytes(12);
        uint16_t id = in.u16();
        if (in.ok()) {
            ids.insert(id);
        }
    }
    return ids;
}

}  // namespace

std::string replace_icon(std::vector<pe::Resource>& resources, std::span<const uint8_t> ico) {
    appdata::RecordReader in(ico);
    uint16_t reserved = in.u16(), type = in.u16(), count = in.u16();
    if (!in.ok() || reserved != 0 || type != 1 || count == 0) {
        return "not an icon file";
    }
    struct Image {
        std::span<const uint8_t> entry;  // the first 12 bytes of the directory entry
        std::span<const uint8_t> bytes;
    };
    std::vector<Image> images;
    for (uint16_t i = 0; i < count; ++i) {
        auto entry = in.bytes(12);
        uint32_t offset = in.u32();
        if (!in.ok()) {
            return "the icon file is cut short";
        }
        uint32_t size = uint32_t(entry[8] | entry[9] << 8 | entry[10] << 16) | uint32_t(entry[11]) << 24;
        if (offset > ico.size() || size > ico.size() - offset || size == 0) {
            return "an image of the icon file lies outside it";
        }
        images.push_back(Image{entry, ico.subspan(offset, size)});
    }

    // The stub's group 128 goes, with its images; its language is kept for ours.
    uint16_t language = 0;
    std::set<uint16_t> old_images;
    for (const pe::Resource& r : resources) {
        if (is(r.type, group_icon_type) && is(r.name, application_icon)) {
            language = r.language;
            old_images = group_images(r.data);
        }
    }
    std::erase_if(resources, [&](const pe::Resource& r) {
        return (is(r.type, group_icon_type) && is(r.name, application_icon)) ||
               (is(r.type, icon_type) && r.name.text.empty() && old_images.count(r.name.id));
    });
    uint16_t next_id = 1;
    for (const pe::Resource& r : resources) {
        if (is(r.type, icon_type) && r.name.text.empty()) {
            next_id = std::max<uint16_t>(next_id, uint16_t(r.name.id + 1));
        }
    }
    if (uint32_t(next_id) + images.size() > 0xFFFF) {
        return "no free icon numbers are left";
    }
    appdata::RecordWriter group;
    group.u16(0);
    group.u16(1);
    group.u16(uint16_t(images.size()));
    for (const Image& image : images) {
        group.bytes(image.entry);
        group.u16(next_id);
        pe::Resource resource;
        resource.type = pe::ResourceName::number(icon_type);
        resource.name = pe::ResourceName::number(next_id++);
        resource.language = language;
        resource.data.assign(image.bytes.begin(), image.bytes.end());
        resources.push_back(std::move(resource));
    }
    pe::Resource resource;
    resource.type = pe::ResourceName::number(group_icon_type);
    resource.name = pe::ResourceName::number(application_icon);
    resource.language = language;
    resource.data = group.take();
    resources.push_back(std::move(resource));
    return {};
}

std::vector<uint8_t> icon_file(std::span<const pe::Resource> resources) {
    const pe::Resource* group = pe::find_resource(resources, pe::ResourceName::number(group_icon_type),
                                                  pe::ResourceName::number(application_icon));
    if (!group) {
        return {};
    }
    appdata::RecordReader in(group->data);
    in.u16();
    in.u16();
    uint16_t count = in.u16();
    struct Image {
        std::vector<uint8_t> entry;
        const pe::Resource* resource;
    };
    std::vector<Image> images;
    for (uint16_t i = 0; i < count && in.ok(); ++i) {
        auto entry = in.bytes(12);
        uint16_t id = in.u16();
        const pe::Resource* image =
            pe::find_resource(resources, pe::ResourceName::number(icon_type), pe::ResourceName::number(id));
        if (!in.ok() || !image) {
            return {};
        }
        images.push_back(Image{std::vector<uint8_t>(entry.begin(), entry.end()), image});
    }
    appdata::RecordWriter out;
    out.u16(0);
    out.u16(1);
    out.u16(uint16_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (Image& image : images) {
        uint32_t size = uint32_t(image.resource->data.size());
        for (int b = 0; b < 4; ++b) {
            image.entry[8 + b] = uint8_t(size >> (8 * b));
        }
        out.bytes(image.entry);
        out.u32(offset);
        offset += size;
    }
    for (const Image& image : images) {
        out.bytes(image.resource->data);
    }
    return out.take();
}

}  // namespace tarpon::author
