// Resources of a Windows executable, read and written from the file's bytes, without the system's
// resource functions: the authoring tool packs a projector with them on any platform, and on Linux
// they give the answers FindResource gives on Windows.
//
// The reader walks the resource tree of a PE32 or PE32+ image (types, then names, then languages)
// and copies every data entry out. The writer builds a complete new tree in a new last section of a
// copy of the image; the layout it writes is described in docs/formats/resources.md.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::pe {

// A resource type or name: a number, or a text (stored upper-case by the writer, as the loader
// compares them). Text is UTF-16 as in the file.
struct ResourceName {
    uint16_t id = 0; // used when text is empty
    std::u16string text;

    static ResourceName number(uint16_t id);
    static ResourceName named(std::u16string_view text); // upper-cases ASCII letters
    bool operator==(const ResourceName&) const = default;
};

struct Resource {
    ResourceName type;
    ResourceName name;
    uint16_t language = 0; // 0 = neutral
    uint32_t code_page = 0;
    std::vector<uint8_t> data;
};

struct ReadResult { // resources in the file's order; error empty on success
    std::vector<Resource> resources;
    std::string error;
};

// Every resource of a PE32 or PE32+ image. Malformed input gives an error text, never a crash;
// an image without a resource section gives an empty list.
ReadResult read_resources(std::span<const uint8_t> image);

// The first resource of the type and name, as FindResource finds it (any language), or null.
const Resource* find_resource(std::span<const Resource> resources, const ResourceName& type,
                              const ResourceName& name);

struct WriteResult {
    std::vector<uint8_t> image;
    std::string error;
};

// A copy of the executable with its resource tree replaced by exactly `resources` (the caller keeps
// the stub's own by passing them back in), in a new last section; headers updated; appended data
// (overlay) moved to the new end; a stale .rsrc section left in place is fine.
WriteResult write_resources(std::span<const uint8_t> image, std::span<const Resource> resources);

// The bytes appended after the last section (the overlay): empty when there are none or the image's
// headers cannot be read.
std::span<const uint8_t> overlay(std::span<const uint8_t> image);

// A copy of the image with its overlay replaced by `appended` (an empty span drops it).
std::vector<uint8_t> with_overlay(std::span<const uint8_t> image, std::span<const uint8_t> appended);

} // namespace tarpon::pe
