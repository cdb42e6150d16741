#include "projector/window/shape_scan.h"

#include <algorithm>

namespace tarpon::projector::shape {

namespace {

constexpr uint32_t colour_bits = 0xFFFFFF;

struct Run {
    int32_t left, right;
    bool operator==(const Run&) const = default;
};

Area clipped(Area area, int32_t width, int32_t height) {
    area.left = std::max(area.left, 0);
    area.top = std::max(area.top, 0);
    area.right = std::min(area.right, width);
    area.bottom = std::min(area.bottom, height);
    return area;
}

// The banded rectangles of the area, `row_test(y)` giving the transparency test for row y.
template <typename RowTest>
std::vector<layout::MaskRect> scan(Area area, RowTest row_test) {
    std::vector<layout::MaskRect> rects;
    if (area.left >= area.right || area.top >= area.bottom) {
        return rects;
    }
    std::vector<Run> band, row;  // the runs of the band being built, of the row being scanned
    int32_t band_top = area.top;
    auto close_band = [&](int32_t bottom) {
        for (const Run& run : band) {
            rects.push_back(layout::MaskRect{run.left, band_top, run.right, bottom});
        }
    };
    for (int32_t y = area.top; y < area.bottom; ++y) {
        auto transparent = row_test(y);
        row.clear();
        int32_t x = area.left;
        while (x < area.right) {
            while (x < area.right && transparent(x)) {
                ++x;
            }
            const int32_t start = x;
            while (x < area.right && !transparent(x)) {
                ++x;
            }
            if (x - start >= 2) {
                row.push_back(Run{start, x});
            }
        }
        if (row != band) {
            close_band(y);
            band.swap(row);
            band_top = y;
        }
    }
    close_band(area.bottom);
    return rects;
}

}  // namespace

std::vector<layout::MaskRect> keyed_rectangles(const Picture& picture, uint32_t key, Area area) {
    if (picture.pixels == nullptr) {
        return {};
    }
    key &= colour_bits;
    return scan(clipped(area, picture.width, picture.height), [&](int32_t y) {
        const uint32_t* pixels = picture.pixels + y * picture.stride;
        return [pixels, key](int32_t x) { return (pixels[x] & colour_bits) == key; };
    });
}

std::vector<layout::MaskRect> double_drawn_rectangles(const Picture& on_white, const Picture& on_black, Area area) {
    if (on_white.pixels == nullptr || on_black.pixels == nullptr) {
        return {};
    }
    const int32_t width = std::min(on_white.width, on_black.width);
    const int32_t height = std::min(on_white.height, on_black.height);
    return scan(clipped(area, width, height), [&](int32_t y) {
        const uint32_t* white = on_white.pixels + y * on_white.stride;
        const uint32_t* black = on_black.pixels + y * on_black.stride;
        return [white, black](int32_t x) {
            return (white[x] & colour_bits) == colour_bits && (black[x] & colour_bits) == 0;
        };
    });
}

}  // namespace tarpon::projector::shape
