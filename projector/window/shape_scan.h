// The transparent window shapes from pictures of the movie: which pixels are opaque, gathered into
// the rectangles of a region. Each pixel row is scanned left to right; every run of at least two
// opaque pixels becomes a rectangle, and rows whose runs are the same as the row above extend the
// rectangles above instead of adding new ones (the rectangles come out in bands, top to bottom,
// left to right, as region data wants them). A lone opaque pixel is dropped.
//
// Pictures are 32-bit pixels 0x??RRGGBB, rows top to bottom; only the low 24 bits are compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "projector/window/window_layout.h"

namespace tarpon::projector::shape {

struct Picture {
    const uint32_t* pixels = nullptr;
    int32_t width = 0, height = 0;
    ptrdiff_t stride = 0;  // pixels from one row to the next
};

// The part of the picture to scan (cut to the picture); rectangles are in picture coordinates.
struct Area {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Shape mode 1: a pixel is transparent when it has the key colour (0xRRGGBB).
std::vector<layout::MaskRect> keyed_rectangles(const Picture& picture, uint32_t key, Area area);

// Shape mode 3: the movie drawn once on white and once on black; a pixel is transparent when it
// is white in the first and black in the second (the background showed through in both). The two
// pictures must be the same size.
std::vector<layout::MaskRect> double_drawn_rectangles(const Picture& on_white, const Picture& on_black, Area area);

}  // namespace tarpon::projector::shape
