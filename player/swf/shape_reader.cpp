// Shapes: their fill and line styles and the edge records, sorted into edges per fill style and per
// line style as the drawing needs them.
#include "player/swf/tag_readers.h"

namespace tarpon::swf {

Rect read_rect(ByteReader& in) {
    in.align();
    unsigned bits = in.ub(5);
    Rect r;
    r.x_min = in.sb(bits);
    r.x_max = in.sb(bits);
    r.y_min = in.sb(bits);
    r.y_max = in.sb(bits);
    in.align();
    return r;
}

Matrix read_matrix(ByteReader& in) {
    in.align();
    Matrix m;
    if (in.ub(1)) {
        unsigned bits = in.ub(5);
        m.a = in.fb(bits);
        m.d = in.fb(bits);
    }
    if (in.ub(1)) {
        unsigned bits = in.ub(5);
        m.b = in.fb(bits);
        m.c = in.fb(bits);
    }
    unsigned bits = in.ub(5);
    m.tx = in.sb(bits);
    m.ty = in.sb(bits);
    in.align();
    return m;
}

ColorTransform read_color_transform(ByteReader& in, bool with_alpha) {
    in.align();
    ColorTransform cx;
    bool has_add = in.ub(1);
    bool has_mul = in.ub(1);
    unsigned bits = in.ub(4);
    int channels = with_alpha ? 4 : 3;
    if (has_mul)
        for (int i = 0; i < channels; ++i)
            cx.mul[i] = in.sb(bits) / 256.0;
    if (has_add)
        for (int i = 0; i < channels; ++i)
            cx.add[i] = in.sb(bits);
    in.align();
    return cx;
}

Rgba read_rgb(ByteReader& in) {
    Rgba c;
    c.r = in.u8();
    c.g = in.u8();
    c.b = in.u8();
    return c;
}

Rgba read_rgba(ByteReader& in) {
    Rgba c = read_rgb(in);
    c.a = in.u8();
    return c;
}

namespace {

size_t read_style_count(ByteReader& in, int shape_version) {
    size_t count = in.u8();
    if (count == 0xFF && shape_version >= 2)
        count = in.u16();
    return count;
}

bool read_fill_styles(ByteReader& in, int shape_version, std::vector<FillStyle>& fills) {
    size_t count = read_style_count(in, shape_version);
    for (size_t i = 0; i < count && !in.failed(); ++i) {
        FillStyle fill;
        uint8_t type = in.u8();
        switch (type) {
        case 0x00:
            fill.colour = shape_version >= 3 ? read_rgba(in) : read_rgb(in);
            break;
        case 0x10:
        case 0x12: {
            fill.kind = type == 0x10 ? FillStyle::Kind::LinearGradient : FillStyle::Kind::RadialGradient;
            fill.matrix = read_matrix(in);
            uint8_t head = in.u8();
            unsigned stops = head & 0x0F;
            for (unsigned s = 0; s < stops; ++s) {
                GradientStop stop;
                stop.ratio = in.u8();
                stop.colour = shape_version >= 3 ? read_rgba(in) : read_rgb(in);
                fill.stops.push_back(stop);
            }
            if (fill.stops.empty())
                fill.kind = FillStyle::Kind::Solid;
            else
                fill.colour = fill.stops.front().colour;
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            fill.kind = FillStyle::Kind::Bitmap;
            fill.bitmap_id = in.u16();
            fill.matrix = read_matrix(in);
            fill.repeat = type == 0x40 || type == 0x42;
            break;
        default:
            // Focal gradients and anything later belong to shape versions we do not read.
            in.fail();
            return false;
        }
        fills.push_back(std::move(fill));
    }
    return !in.failed();
}

bool read_line_styles(ByteReader& in, int shape_version, std::vector<LineStyle>& lines) {
    size_t count = read_style_count(in, shape_version);
    for (size_t i = 0; i < count && !in.failed(); ++i) {
        LineStyle line;
        line.width = in.u16();
        line.colour = shape_version >= 3 ? read_rgba(in) : read_rgb(in);
        lines.push_back(line);
    }
    return !in.failed();
}

} // namespace

bool read_shape(ByteReader& in, int shape_version, Shape& shape) {
    shape.bounds = read_rect(in);
    if (!read_fill_styles(in, shape_version, shape.fills) || !read_line_styles(in, shape_version, shape.lines))
        return false;
    // Style indices of the records count from 1 within the most recent style arrays.
    size_t fill_base = 0, fill_count = shape.fills.size();
    size_t line_base = 0, line_count = shape.lines.size();
    unsigned fill_bits = in.ub(4);
    unsigned line_bits = in.ub(4);
    size_t fill0 = 0, fill1 = 0, line = 0; // 1-based indices into shape's arrays, 0 = none
    double x = 0, y = 0;
    shape.fill_edges.assign(shape.fills.size(), {});
    shape.line_edges.assign(shape.lines.size(), {});

    auto add_edge = [&](const Segment& s) {
        if (fill1)
            shape.fill_edges[fill1 - 1].push_back(s);
        if (fill0) {
            Segment reversed{s.x1, s.y1, s.cx, s.cy, s.x0, s.y0, s.curve};
            shape.fill_edges[fill0 - 1].push_back(reversed);
        }
        if (line)
            shape.line_edges[line - 1].push_back(s);
    };
    auto style_index = [](uint32_t index, size_t base, size_t count) -> size_t {
        return index >= 1 && index <= count ? base + index : 0;
    };

    for (size_t records = 0; records < max_shape_records; ++records) {
        if (in.failed())
            return false;
        if (in.ub(1) == 0) {
            uint32_t flags = in.ub(5);
            if (flags == 0)
                return !in.failed();
            bool new_styles = flags & 0x10, has_line = flags & 0x08, has_fill1 = flags & 0x04,
                 has_fill0 = flags & 0x02, move_to = flags & 0x01;
            if (move_to) {
                unsigned bits = in.ub(5);
                x = in.sb(bits);
                y = in.sb(bits);
            }
            // The indices of a record that also brings new styles refer to the new arrays.
            uint32_t raw_fill0 = has_fill0 ? in.ub(fill_bits) : 0;
            uint32_t raw_fill1 = has_fill1 ? in.ub(fill_bits) : 0;
            uint32_t raw_line = has_line ? in.ub(line_bits) : 0;
            if (new_styles) {
                if (shape_version < 2)
                    return false;
                fill_base = shape.fills.size();
                line_base = shape.lines.size();
                if (!read_fill_styles(in, shape_version, shape.fills) ||
                    !read_line_styles(in, shape_version, shape.lines))
                    return false;
                fill_count = shape.fills.size() - fill_base;
                line_count = shape.lines.size() - line_base;
                shape.fill_edges.resize(shape.fills.size());
                shape.line_edges.resize(shape.lines.size());
                fill_bits = in.ub(4);
                line_bits = in.ub(4);
                fill0 = fill1 = line = 0;
            }
            if (has_fill0)
                fill0 = style_index(raw_fill0, fill_base, fill_count);
            if (has_fill1)
                fill1 = style_index(raw_fill1, fill_base, fill_count);
            if (has_line)
                line = style_index(raw_line, line_base, line_count);
            continue;
        }
        bool straight = in.ub(1);
        unsigned bits = in.ub(4) + 2;
        Segment s;
        s.x0 = x;
        s.y0 = y;
        if (straight) {
            int32_t dx = 0, dy = 0;
            if (in.ub(1)) {
                dx = in.sb(bits);
                dy = in.sb(bits);
            } else if (in.ub(1)) {
                dy = in.sb(bits);
            } else {
                dx = in.sb(bits);
            }
            x += dx;
            y += dy;
        } else {
            s.curve = true;
            s.cx = x + in.sb(bits);
            s.cy = y + in.sb(bits);
            x = s.cx + in.sb(bits);
            y = s.cy + in.sb(bits);
        }
        s.x1 = x;
        s.y1 = y;
        if (in.failed())
            return false;
        add_edge(s);
    }
    return false;
}

} // namespace tarpon::swf
