// Matrices, colour transforms and the mapping of the movie onto a window.
#include "player/swf/movie_data.h"

#include <algorithm>
#include <cmath>

namespace tarpon::swf {

Matrix multiply(const Matrix& first, const Matrix& second) {
    Matrix r;
    r.a = second.a * first.a + second.c * first.b;
    r.b = second.b * first.a + second.d * first.b;
    r.c = second.a * first.c + second.c * first.d;
    r.d = second.b * first.c + second.d * first.d;
    r.tx = second.a * first.tx + second.c * first.ty + second.tx;
    r.ty = second.b * first.tx + second.d * first.ty + second.ty;
    return r;
}

Matrix invert(const Matrix& m) {
    double det = m.a * m.d - m.b * m.c;
    if (det == 0 || !std::isfinite(det))
        return Matrix{};
    Matrix r;
    r.a = m.d / det;
    r.b = -m.b / det;
    r.c = -m.c / det;
    r.d = m.a / det;
    r.tx = -(r.a * m.tx + r.c * m.ty);
    r.ty = -(r.b * m.tx + r.d * m.ty);
    return r;
}

Matrix view_matrix(const Rect& movie, int width, int height, ScaleMode mode, int align, const Rect* zoom) {
    // The part of the movie on show, in twips.
    double left = movie.x_min, top = movie.y_min;
    double movie_w = std::max(1, movie.x_max - movie.x_min), movie_h = std::max(1, movie.y_max - movie.y_min);
    double view_w = movie_w, view_h = movie_h, view_x = left, view_y = top;
    if (zoom && zoom->x_max > zoom->x_min && zoom->y_max > zoom->y_min) {
        view_x = zoom->x_min;
        view_y = zoom->y_min;
        view_w = zoom->x_max - zoom->x_min;
        view_h = zoom->y_max - zoom->y_min;
    }
    double w = std::max(width, 1), h = std::max(height, 1);
    double sx = w / view_w, sy = h / view_h;
    switch (mode) {
    case ScaleMode::ShowAll:
        sx = sy = std::min(sx, sy);
        break;
    case ScaleMode::NoBorder:
        sx = sy = std::max(sx, sy);
        break;
    case ScaleMode::ExactFit:
        break;
    case ScaleMode::NoScale:
        // One twip is a twentieth of a pixel, whatever the window; a zoom still magnifies.
        sx = sy = movie_w / view_w / 20.0;
        break;
    }
    double shown_w = view_w * sx, shown_h = view_h * sy;
    double ox = (align & AlignLeft) ? 0 : (align & AlignRight) ? w - shown_w : (w - shown_w) / 2;
    double oy = (align & AlignTop) ? 0 : (align & AlignBottom) ? h - shown_h : (h - shown_h) / 2;
    Matrix m;
    m.a = sx;
    m.d = sy;
    m.tx = ox - view_x * sx;
    m.ty = oy - view_y * sy;
    return m;
}

ColorTransform combine(const ColorTransform& outer, const ColorTransform& inner) {
    ColorTransform r;
    for (int i = 0; i < 4; ++i) {
        r.mul[i] = outer.mul[i] * inner.mul[i];
        r.add[i] = outer.mul[i] * inner.add[i] + outer.add[i];
    }
    return r;
}

Rgba apply(const ColorTransform& cx, Rgba c) {
    auto channel = [&](int i, uint8_t v) {
        double x = v * cx.mul[i] + cx.add[i];
        if (!(x > 0))
            return uint8_t(0);
        return static_cast<uint8_t>(std::min(255.0, std::round(x)));
    };
    return {channel(0, c.r), channel(1, c.g), channel(2, c.b), channel(3, c.a)};
}

} // namespace tarpon::swf
