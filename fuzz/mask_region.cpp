// Mask files through the reader: whatever the bytes, it stays inside them, and what it accepts is
// region data the system can take (rectangles non-empty and in range, the count matching the data,
// nothing after them in the file) that reads back as the same rectangles.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "projector/window/window_layout.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarpon::projector::layout;
    const auto rects = read_mask_file(std::span<const uint8_t>(data, size));
    if (!rects) {
        return 0;
    }
    if (rects->empty()) {
        finding("a mask of no rectangles accepted");
    }
    if (size != 4 + 32 + rects->size() * 16) {
        finding("a file with bytes beyond its rectangles accepted");
    }
    for (const MaskRect& r : *rects) {
        if (r.left >= r.right || r.top >= r.bottom) {
            finding("an empty or inverted rectangle accepted");
        }
    }
    const std::vector<uint8_t> region = region_data(*rects);
    if (region.size() != 32 + rects->size() * 16) {
        finding("region data of the wrong size");
    }
    std::vector<uint8_t> file;
    for (int i = 0; i < 4; ++i) {
        file.push_back(uint8_t(region.size() >> (8 * i)));
    }
    file.insert(file.end(), region.begin(), region.end());
    const auto again = read_mask_file(file);
    if (!again || *again != *rects) {
        finding("region data that does not read back");
    }
    // The mapping stays finite for any movie and client size the file could be shown at.
    if (size >= 8) {
        int32_t sizes[2];
        std::memcpy(sizes, data + size - 8, 8);
        const Size movie{sizes[0] & 0xFFFF, sizes[0] >> 16 & 0xFFFF}, client{sizes[1] & 0xFFFF, sizes[1] >> 16 & 0xFFFF};
        for (int mode = 0; mode < 4; ++mode) {
            MaskTransform t = mask_transform(mode, movie, client, Size{8, 31});
            if (!(t.scale_x == t.scale_x) || !(t.offset_x == t.offset_x) || !(t.scale_y == t.scale_y) ||
                !(t.offset_y == t.offset_y)) {
                finding("a mapping that is not a number");
            }
        }
    }
    return 0;
}
