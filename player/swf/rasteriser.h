// A scanline polygon filler for the canvas: edges in canvas pixels, the non-zero or even-odd rule,
// four sub-scanlines per pixel row with exact horizontal coverage, and source-over blending onto
// the opaque canvas.
#pragma once

#include "player/swf/movie_player.h"

#include <functional>
#include <span>
#include <vector>

namespace tarpon::swf {

struct Point {
    double x = 0, y = 0;
};

struct Edge {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

enum class FillRule { NonZero, EvenOdd };

// What a fill puts down: one colour, or a colour per pixel from `sample` (given the pixel's centre).
// Colours are non-premultiplied 0xAARRGGBB.
struct Paint {
    uint32_t colour = 0xFF000000;
    std::function<uint32_t(double x, double y)> sample;
};

inline Point transform(const Matrix& m, double x, double y) {
    return {m.a * x + m.c * y + m.tx, m.b * x + m.d * y + m.ty};
}

void fill_canvas(const Canvas& canvas, uint32_t rgb);
void fill_edges(const Canvas& canvas, std::span<const Edge> edges, FillRule rule, const Paint& paint);

// Appends a quadratic curve as line edges, fine enough that no point strays a quarter pixel.
void add_quadratic(std::vector<Edge>& edges, Point p0, Point control, Point p1);
// Appends the outline of a stroke of the width (pixels) along p0-p1, with round ends when wide.
// All strokes wind the same way, so filling them together with NonZero draws their union.
void add_stroke(std::vector<Edge>& edges, Point p0, Point p1, double width);

} // namespace tarpon::swf
