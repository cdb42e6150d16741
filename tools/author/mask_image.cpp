#include "tools/author/mask_image.h"

#include "projector/appdata/record_stream.h"

// The image decoder: only the two formats a mask is made from.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wtype-limits"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace tarpon::author {

namespace {

constexpr int largest_side = 16384;

struct Rect {
    int32_t left, top, right, bottom;
};

}  // namespace

std::vector<uint8_t> mask_from_pixels(int width, int height, const std::function<bool(int x, int y)>& inside) {
    // Runs of inside pixels per row; a row with the same runs as the one above extends its
    // rectangles down instead of adding new ones.
    std::vector<Rect> rects;
    std::vector<std::pair<int, int>> previous;
    size_t previous_first = 0;
    for (int y = 0; y < height; ++y) {
        std::vector<std::pair<int, int>> runs;
        for (int x = 0; x < width;) {
            if (!inside(x, y)) {
                ++x;
                continue;
            }
            int start = x;
            while (x < width && inside(x, y)) {
                ++x;
            }
            runs.emplace_back(start, x);
        }
        if (!runs.empty() && runs == previous) {
            for (size_t i = 0; i < runs.size(); ++i) {
                rects[previous_first + i].bottom = y + 1;
            }
            continue;
        }
        previous_first = rects.size();
        for (auto [left, right] : runs) {
            rects.push_back(Rect{left, y, right, y + 1});
        }
        previous = std::move(runs);
    }
    Rect bound{0, 0, 0, 0};
    if (!rects.empty()) {
        bound = rects.front();
        for (const Rect& r : rects) {
            bound.left = std::min(bound.left, r.left);
            bound.top = std::min(bound.top, r.top);
            bound.right = std::max(bound.right, r.right);
            bound.bottom = std::max(bound.bottom, r.bottom);
        }
    }
    appdata::RecordWriter region;
    region.u32(32);  // dwSize
    region.u32(1);   // iType: RDH_RECTANGLES
    region.u32(uint32_t(rects.size()));
    region.u32(uint32_t(rects.size() * 16));
    for (int32_t v : {bound.left, bound.top, bound.right, bound.bottom}) {
        region.i32(v);
    }
    for (const Rect& r : rects) {
        for (int32_t v : {r.left, r.top, r.right, r.bottom}) {
            region.i32(v);
        }
    }
    appdata::RecordWriter file;
    file.u32(uint32_t(region.data().size()));
    file.bytes(region.data());
    return file.take();
}

MaskResult mask_from_image(std::span<const uint8_t> image, std::optional<uint32_t> key_colour) {
    int width = 0, height = 0, channels = 0;
    if (image.size() > uint64_t(INT32_MAX) ||
        !stbi_info_from_memory(image.data(), int(image.size()), &width, &height, &channels)) {
        return {{}, "not a PNG or BMP image"};
    }
    if (width > largest_side || height > largest_side) {
        return {{}, "the image is larger than " + std::to_string(largest_side) + " pixels a side"};
    }
    stbi_uc* pixels = stbi_load_from_memory(image.data(), int(image.size()), &width, &height, &channels, 4);
    if (!pixels) {
        return {{}, std::string("the image cannot be read: ") + stbi_failure_reason()};
    }
    bool has_alpha = channels == 2 || channels == 4;
    auto at = [&](int x, int y) { return pixels + (size_t(y) * size_t(width) + size_t(x)) * 4; };
    std::vector<uint8_t> mask;
    if (has_alpha && !key_colour) {
        mask = mask_from_pixels(width, height, [&](int x, int y) { return at(x, y)[3] >= 128; });
    } else {
        uint8_t key[3];
        if (key_colour) {
            key[0] = uint8_t(*key_colour), key[1] = uint8_t(*key_colour >> 8), key[2] = uint8_t(*key_colour >> 16);
        } else {
            key[0] = at(0, 0)[0], key[1] = at(0, 0)[1], key[2] = at(0, 0)[2];
        }
        mask = mask_from_pixels(width, height, [&](int x, int y) {
            const stbi_uc* p = at(x, y);
            return p[0] != key[0] || p[1] != key[1] || p[2] != key[2];
        });
    }
    stbi_image_free(pixels);
    return {std::move(mask), {}};
}

std::string check_mask_file(std::span<const uint8_t> mask) {
    appdata::RecordReader in(mask);
    uint32_t length = in.u32();
    if (!in.ok() || length != in.remaining() || length < 32) {
        return "not a mask file (a byte count and region data)";
    }
    uint32_t header = in.u32(), type = in.u32(), count = in.u32();
    if (header != 32 || type != 1 || uint64_t(count) * 16 + 32 > length) {
        return "not a mask file (the region data's header is wrong)";
    }
    return {};
}

}  // namespace tarpon::author
