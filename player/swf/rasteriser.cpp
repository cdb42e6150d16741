#include "player/swf/rasteriser.h"

#include <algorithm>
#include <cmath>

namespace tarpon::swf {

namespace {

constexpr int sub_scanlines = 4;
// Coordinates beyond this are pulled in: far outside any canvas, and safe to do arithmetic on.
constexpr double coordinate_limit = 1e7;

double clamp_coordinate(double v) {
    if (!std::isfinite(v))
        return v > 0 ? coordinate_limit : -coordinate_limit;
    return std::clamp(v, -coordinate_limit, coordinate_limit);
}

void blend(uint32_t& pixel, uint32_t colour, double coverage) {
    double alpha = coverage * ((colour >> 24) & 0xFF) / 255.0;
    if (alpha <= 0)
        return;
    if (alpha > 1)
        alpha = 1;
    auto mix = [alpha](uint32_t src, uint32_t dst) {
        return static_cast<uint32_t>(std::lround(src * alpha + dst * (1 - alpha)));
    };
    uint32_t r = mix((colour >> 16) & 0xFF, (pixel >> 16) & 0xFF);
    uint32_t g = mix((colour >> 8) & 0xFF, (pixel >> 8) & 0xFF);
    uint32_t b = mix(colour & 0xFF, pixel & 0xFF);
    pixel = 0xFF000000u | r << 16 | g << 8 | b;
}

void add_span(std::vector<float>& coverage, double xa, double xb, int width, float weight) {
    xa = std::max(xa, 0.0);
    xb = std::min(xb, static_cast<double>(width));
    if (xb <= xa)
        return;
    int ia = static_cast<int>(xa);
    int ib = static_cast<int>(xb);
    if (ia == ib) {
        coverage[ia] += static_cast<float>((xb - xa) * weight);
        return;
    }
    coverage[ia] += static_cast<float>((ia + 1 - xa) * weight);
    for (int i = ia + 1; i < ib; ++i)
        coverage[i] += weight;
    if (ib < width)
        coverage[ib] += static_cast<float>((xb - ib) * weight);
}

} // namespace

void fill_canvas(const Canvas& canvas, uint32_t rgb) {
    uint32_t value = 0xFF000000u | (rgb & 0xFFFFFF);
    for (int y = 0; y < canvas.height; ++y)
        std::fill_n(canvas.pixels + size_t(y) * canvas.stride, canvas.width, value);
}

void fill_edges(const Canvas& canvas, std::span<const Edge> input, FillRule rule, const Paint& paint) {
    if (canvas.width <= 0 || canvas.height <= 0 || input.empty())
        return;
    struct Active {
        double x0, y0, x1, y1;
        int direction;
    };
    std::vector<Active> edges;
    edges.reserve(input.size());
    double top = coordinate_limit, bottom = -coordinate_limit;
    for (const Edge& e : input) {
        Active a{clamp_coordinate(e.x0), clamp_coordinate(e.y0), clamp_coordinate(e.x1), clamp_coordinate(e.y1), 1};
        if (a.y0 == a.y1)
            continue;
        if (a.y0 > a.y1) {
            std::swap(a.x0, a.x1);
            std::swap(a.y0, a.y1);
            a.direction = -1;
        }
        top = std::min(top, a.y0);
        bottom = std::max(bottom, a.y1);
        edges.push_back(a);
    }
    if (edges.empty())
        return;
    std::sort(edges.begin(), edges.end(), [](const Active& l, const Active& r) { return l.y0 < r.y0; });
    int row_first = std::max(0, static_cast<int>(std::floor(top)));
    int row_last = std::min(canvas.height - 1, static_cast<int>(std::ceil(bottom)));
    std::vector<float> coverage(canvas.width + 1, 0.0f);
    std::vector<const Active*> active;
    std::vector<std::pair<double, int>> crossings;
    size_t next = 0;
    for (int row = row_first; row <= row_last; ++row) {
        // Edges that reach into this row; those that ended above it leave.
        while (next < edges.size() && edges[next].y0 < row + 1)
            active.push_back(&edges[next++]);
        std::erase_if(active, [row](const Active* a) { return a->y1 <= row; });
        if (active.empty())
            continue;
        int min_x = canvas.width, max_x = -1;
        for (int s = 0; s < sub_scanlines; ++s) {
            double y = row + (s + 0.5) / sub_scanlines;
            crossings.clear();
            for (const Active* a : active) {
                if (y < a->y0 || y >= a->y1)
                    continue;
                double x = a->x0 + (y - a->y0) * (a->x1 - a->x0) / (a->y1 - a->y0);
                crossings.emplace_back(x, a->direction);
            }
            std::sort(crossings.begin(), crossings.end());
            int winding = 0;
            for (size_t i = 0; i < crossings.size(); ++i) {
                winding += crossings[i].second;
                bool inside = rule == FillRule::NonZero ? winding != 0 : (winding & 1) != 0;
                if (!inside || i + 1 >= crossings.size())
                    continue;
                double xa = crossings[i].first, xb = crossings[i + 1].first;
                if (xb <= xa)
                    continue;
                add_span(coverage, xa, xb, canvas.width, 1.0f / sub_scanlines);
                min_x = std::min(min_x, std::max(0, static_cast<int>(xa)));
                max_x = std::max(max_x, std::min(canvas.width - 1, static_cast<int>(xb)));
            }
        }
        uint32_t* line = canvas.pixels + size_t(row) * canvas.stride;
        for (int x = min_x; x <= max_x; ++x) {
            float c = coverage[x];
            coverage[x] = 0;
            if (c <= 0.001f)
                continue;
            uint32_t colour = paint.sample ? paint.sample(x + 0.5, row + 0.5) : paint.colour;
            blend(line[x], colour, std::min(c, 1.0f));
        }
    }
}

void add_quadratic(std::vector<Edge>& edges, Point p0, Point c, Point p1) {
    // The curve strays from its chord by at most a quarter of |p0 - 2c + p1|.
    double dx = p0.x - 2 * c.x + p1.x, dy = p0.y - 2 * c.y + p1.y;
    double deviation = std::sqrt(dx * dx + dy * dy) / 4;
    int steps = 1;
    if (std::isfinite(deviation))
        steps = std::clamp(static_cast<int>(std::ceil(std::sqrt(deviation / 0.25))), 1, 64);
    Point previous = p0;
    for (int i = 1; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps, u = 1 - t;
        Point p{u * u * p0.x + 2 * u * t * c.x + t * t * p1.x, u * u * p0.y + 2 * u * t * c.y + t * t * p1.y};
        if (i == steps)
            p = p1;
        edges.push_back({previous.x, previous.y, p.x, p.y});
        previous = p;
    }
}

void add_stroke(std::vector<Edge>& edges, Point p0, Point p1, double width) {
    double half = std::max(width, 1.0) / 2;
    double dx = p1.x - p0.x, dy = p1.y - p0.y;
    double length = std::sqrt(dx * dx + dy * dy);
    double ux = 1, uy = 0;
    if (length > 1e-9 && std::isfinite(length)) {
        ux = dx / length;
        uy = dy / length;
    }
    bool round = half >= 1.5;
    double extend = round ? 0 : half;
    double nx = -uy * half, ny = ux * half;
    Point a{p0.x - ux * extend + nx, p0.y - uy * extend + ny};
    Point b{p1.x + ux * extend + nx, p1.y + uy * extend + ny};
    Point c{p1.x + ux * extend - nx, p1.y + uy * extend - ny};
    Point d{p0.x - ux * extend - nx, p0.y - uy * extend - ny};
    edges.push_back({a.x, a.y, b.x, b.y});
    edges.push_back({b.x, b.y, c.x, c.y});
    edges.push_back({c.x, c.y, d.x, d.y});
    edges.push_back({d.x, d.y, a.x, a.y});
    if (!round)
        return;
    // Round ends, wound the same way as the quadrilateral above.
    constexpr int sides = 16;
    for (Point centre : {p0, p1}) {
        Point previous{centre.x + half, centre.y};
        for (int i = 1; i <= sides; ++i) {
            double angle = -2 * 3.14159265358979323846 * i / sides;
            Point p{centre.x + half * std::cos(angle), centre.y + half * std::sin(angle)};
            edges.push_back({previous.x, previous.y, p.x, p.y});
            previous = p;
        }
    }
}

} // namespace tarpon::swf
