#include "player/swf/swf_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <zlib.h>

namespace tarpon::swf {

namespace {

class BitWriter {
public:
    void ub(uint32_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            if (m_bit == 0)
                m_out.push_back(0);
            if ((value >> i) & 1)
                m_out.back() |= static_cast<uint8_t>(0x80 >> m_bit);
            m_bit = (m_bit + 1) & 7;
        }
    }
    void sb(int32_t value, unsigned bits) { ub(static_cast<uint32_t>(value), bits); }
    void align() { m_bit = 0; }
    void u8(uint8_t v) {
        align();
        m_out.push_back(v);
    }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void bytes(std::span<const uint8_t> b) {
        align();
        m_out.insert(m_out.end(), b.begin(), b.end());
    }
    void string(std::string_view s) {
        align();
        m_out.insert(m_out.end(), s.begin(), s.end());
        m_out.push_back(0);
    }
    std::vector<uint8_t>& out() { return m_out; }

private:
    std::vector<uint8_t> m_out;
    unsigned m_bit = 0;
};

// Bits a signed field needs to hold every value.
unsigned signed_bits(std::initializer_list<int32_t> values) {
    unsigned bits = 1;
    for (int32_t v : values) {
        int64_t x = v;
        unsigned n = 1;
        while (n < 32 && (x < -(int64_t(1) << (n - 1)) || x >= (int64_t(1) << (n - 1))))
            ++n;
        bits = std::max(bits, n);
    }
    return bits;
}

unsigned unsigned_bits(uint32_t v) {
    unsigned n = 0;
    while (n < 32 && (v >> n) != 0)
        ++n;
    return n;
}

void write_rect(BitWriter& w, const Rect& r) {
    unsigned bits = signed_bits({r.x_min, r.x_max, r.y_min, r.y_max});
    w.align();
    w.ub(bits, 5);
    w.sb(r.x_min, bits);
    w.sb(r.x_max, bits);
    w.sb(r.y_min, bits);
    w.sb(r.y_max, bits);
    w.align();
}

int32_t fixed(double v) { return static_cast<int32_t>(std::lround(v * 65536)); }

void write_matrix(BitWriter& w, const Matrix& m) {
    w.align();
    bool scale = m.a != 1 || m.d != 1;
    w.ub(scale, 1);
    if (scale) {
        unsigned bits = signed_bits({fixed(m.a), fixed(m.d)});
        w.ub(bits, 5);
        w.sb(fixed(m.a), bits);
        w.sb(fixed(m.d), bits);
    }
    bool rotate = m.b != 0 || m.c != 0;
    w.ub(rotate, 1);
    if (rotate) {
        unsigned bits = signed_bits({fixed(m.b), fixed(m.c)});
        w.ub(bits, 5);
        w.sb(fixed(m.b), bits);
        w.sb(fixed(m.c), bits);
    }
    int32_t tx = static_cast<int32_t>(std::lround(m.tx)), ty = static_cast<int32_t>(std::lround(m.ty));
    unsigned bits = tx == 0 && ty == 0 ? 0 : signed_bits({tx, ty});
    w.ub(bits, 5);
    w.sb(tx, bits);
    w.sb(ty, bits);
    w.align();
}

void write_color_transform(BitWriter& w, const ColorTransform& cx) {
    int32_t mul[4], add[4];
    bool has_mul = false, has_add = false;
    for (int i = 0; i < 4; ++i) {
        mul[i] = static_cast<int32_t>(std::lround(cx.mul[i] * 256));
        add[i] = static_cast<int32_t>(std::lround(cx.add[i]));
        has_mul |= mul[i] != 256;
        has_add |= add[i] != 0;
    }
    unsigned bits = std::max(has_mul ? signed_bits({mul[0], mul[1], mul[2], mul[3]}) : 1u,
                             has_add ? signed_bits({add[0], add[1], add[2], add[3]}) : 1u);
    bits = std::min(bits, 15u);
    w.align();
    w.ub(has_add, 1);
    w.ub(has_mul, 1);
    w.ub(bits, 4);
    if (has_mul)
        for (int32_t v : mul)
            w.sb(v, bits);
    if (has_add)
        for (int32_t v : add)
            w.sb(v, bits);
    w.align();
}

void write_colour(BitWriter& w, uint32_t argb, bool alpha) {
    w.u8(static_cast<uint8_t>(argb >> 16));
    w.u8(static_cast<uint8_t>(argb >> 8));
    w.u8(static_cast<uint8_t>(argb));
    if (alpha)
        w.u8(static_cast<uint8_t>(argb >> 24));
}

uint32_t argb_of(Rgba c) { return uint32_t(c.a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

Rgba rgba_of(uint32_t argb) {
    return {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb),
            static_cast<uint8_t>(argb >> 24)};
}

void append_tag(std::vector<uint8_t>& out, uint16_t code, std::span<const uint8_t> body, bool force_long = false) {
    auto u16 = [&out](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    if (body.size() < 0x3F && !force_long) {
        u16(static_cast<uint16_t>(code << 6 | body.size()));
    } else {
        u16(static_cast<uint16_t>(code << 6 | 0x3F));
        uint32_t n = static_cast<uint32_t>(body.size());
        u16(static_cast<uint16_t>(n));
        u16(static_cast<uint16_t>(n >> 16));
    }
    out.insert(out.end(), body.begin(), body.end());
}

} // namespace

// ---- actions ----

ActionWriter& ActionWriter::op(uint8_t code) {
    m_code.push_back(code);
    return *this;
}

ActionWriter& ActionWriter::raw(uint8_t code, std::span<const uint8_t> payload) {
    m_code.push_back(code);
    if (code >= 0x80) {
        m_code.push_back(static_cast<uint8_t>(payload.size()));
        m_code.push_back(static_cast<uint8_t>(payload.size() >> 8));
    }
    m_code.insert(m_code.end(), payload.begin(), payload.end());
    return *this;
}

ActionWriter& ActionWriter::goto_frame(int frame) {
    uint8_t p[2] = {static_cast<uint8_t>(frame), static_cast<uint8_t>(frame >> 8)};
    return raw(0x81, p);
}

ActionWriter& ActionWriter::goto_label(std::string_view label) {
    std::vector<uint8_t> p(label.begin(), label.end());
    p.push_back(0);
    return raw(0x8C, p);
}

ActionWriter& ActionWriter::get_url(std::string_view url, std::string_view target) {
    std::vector<uint8_t> p(url.begin(), url.end());
    p.push_back(0);
    p.insert(p.end(), target.begin(), target.end());
    p.push_back(0);
    return raw(0x83, p);
}

ActionWriter& ActionWriter::fscommand(std::string_view command, std::string_view argument) {
    return get_url("FSCommand:" + std::string(command), argument);
}

ActionWriter& ActionWriter::get_url2(uint8_t flags) { return raw(0x9A, std::span<const uint8_t>(&flags, 1)); }

ActionWriter& ActionWriter::goto_frame2(bool play) {
    uint8_t flags = play ? 1 : 0;
    return raw(0x9F, std::span<const uint8_t>(&flags, 1));
}

ActionWriter& ActionWriter::push(std::string_view text) {
    std::vector<uint8_t> p{0};
    p.insert(p.end(), text.begin(), text.end());
    p.push_back(0);
    return raw(0x96, p);
}

ActionWriter& ActionWriter::push(double number) {
    uint64_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    uint32_t high = static_cast<uint32_t>(bits >> 32), low = static_cast<uint32_t>(bits);
    std::vector<uint8_t> p{6};
    for (uint32_t half : {high, low})
        for (int i = 0; i < 4; ++i)
            p.push_back(static_cast<uint8_t>(half >> (8 * i)));
    return raw(0x96, p);
}

ActionWriter& ActionWriter::push_int(int32_t number) {
    uint32_t v = static_cast<uint32_t>(number);
    uint8_t p[5] = {7, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    return raw(0x96, p);
}

ActionWriter& ActionWriter::push_bool(bool value) {
    uint8_t p[2] = {5, static_cast<uint8_t>(value)};
    return raw(0x96, p);
}

ActionWriter& ActionWriter::push_null() {
    uint8_t p[1] = {2};
    return raw(0x96, p);
}

ActionWriter& ActionWriter::push_undefined() {
    uint8_t p[1] = {3};
    return raw(0x96, p);
}

ActionWriter& ActionWriter::push_register(uint8_t reg) {
    uint8_t p[2] = {4, reg};
    return raw(0x96, p);
}

ActionWriter& ActionWriter::push_constant(uint16_t index) {
    if (index < 256) {
        uint8_t p[2] = {8, static_cast<uint8_t>(index)};
        return raw(0x96, p);
    }
    uint8_t p[3] = {9, static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8)};
    return raw(0x96, p);
}

ActionWriter& ActionWriter::constant_pool(const std::vector<std::string>& strings) {
    std::vector<uint8_t> p{static_cast<uint8_t>(strings.size()), static_cast<uint8_t>(strings.size() >> 8)};
    for (const std::string& s : strings) {
        p.insert(p.end(), s.begin(), s.end());
        p.push_back(0);
    }
    return raw(0x88, p);
}

ActionWriter& ActionWriter::store_register(uint8_t reg) { return raw(0x87, std::span<const uint8_t>(&reg, 1)); }

ActionWriter& ActionWriter::set_variable(std::string_view name, std::string_view value) {
    return push(name).push(value).op(0x1D);
}

ActionWriter& ActionWriter::get_variable(std::string_view name) { return push(name).op(0x1C); }

ActionWriter& ActionWriter::set_target(std::string_view target) {
    std::vector<uint8_t> p(target.begin(), target.end());
    p.push_back(0);
    return raw(0x8B, p);
}

ActionWriter& ActionWriter::label(std::string_view name) {
    m_labels.emplace_back(std::string(name), m_code.size());
    return *this;
}

ActionWriter& ActionWriter::jump(std::string_view label) {
    uint8_t p[2] = {0, 0};
    raw(0x99, p);
    m_fixups.push_back({m_code.size() - 2, std::string(label)});
    return *this;
}

ActionWriter& ActionWriter::branch_if(std::string_view label) {
    uint8_t p[2] = {0, 0};
    raw(0x9D, p);
    m_fixups.push_back({m_code.size() - 2, std::string(label)});
    return *this;
}

std::vector<uint8_t> ActionWriter::bytes() const {
    std::vector<uint8_t> out = m_code;
    for (const Fixup& f : m_fixups) {
        auto it = std::find_if(m_labels.begin(), m_labels.end(), [&](const auto& l) { return l.first == f.label; });
        if (it == m_labels.end())
            throw std::logic_error("jump to an unknown label: " + f.label);
        int32_t offset = static_cast<int32_t>(it->second) - static_cast<int32_t>(f.at + 2);
        out[f.at] = static_cast<uint8_t>(offset);
        out[f.at + 1] = static_cast<uint8_t>(offset >> 8);
    }
    out.push_back(0);
    return out;
}

// ---- shapes ----

int ShapeWriter::solid_fill(uint32_t argb) {
    FillStyle fill;
    fill.colour = rgba_of(argb);
    m_alpha |= (argb >> 24) != 0xFF;
    m_groups.back().fills.push_back(fill);
    return static_cast<int>(m_groups.back().fills.size());
}

int ShapeWriter::bitmap_fill(uint16_t bitmap_id, const Matrix& matrix, bool repeat) {
    FillStyle fill;
    fill.kind = FillStyle::Kind::Bitmap;
    fill.bitmap_id = bitmap_id;
    fill.matrix = matrix;
    fill.repeat = repeat;
    m_groups.back().fills.push_back(fill);
    return static_cast<int>(m_groups.back().fills.size());
}

int ShapeWriter::linear_gradient(const Matrix& matrix, uint32_t from_argb, uint32_t to_argb) {
    FillStyle fill;
    fill.kind = FillStyle::Kind::LinearGradient;
    fill.matrix = matrix;
    fill.stops = {{0, rgba_of(from_argb)}, {255, rgba_of(to_argb)}};
    m_alpha |= (from_argb >> 24) != 0xFF || (to_argb >> 24) != 0xFF;
    m_groups.back().fills.push_back(fill);
    return static_cast<int>(m_groups.back().fills.size());
}

int ShapeWriter::line_style(uint16_t width, uint32_t argb) {
    m_alpha |= (argb >> 24) != 0xFF;
    m_groups.back().lines.push_back({width, rgba_of(argb)});
    return static_cast<int>(m_groups.back().lines.size());
}

ShapeWriter& ShapeWriter::new_styles() {
    m_groups.emplace_back();
    Record r{Record::Kind::Style};
    r.group = static_cast<int>(m_groups.size()) - 1;
    m_records.push_back(r);
    return *this;
}

void ShapeWriter::extend(int32_t x, int32_t y) {
    if (!m_any_point) {
        m_min_x = m_max_x = x;
        m_min_y = m_max_y = y;
        m_any_point = true;
    }
    m_min_x = std::min(m_min_x, x);
    m_max_x = std::max(m_max_x, x);
    m_min_y = std::min(m_min_y, y);
    m_max_y = std::max(m_max_y, y);
}

ShapeWriter& ShapeWriter::style(int fill0, int fill1, int line) {
    Record r{Record::Kind::Style};
    r.set_styles = true;
    r.fill0 = fill0;
    r.fill1 = fill1;
    r.line = line;
    m_records.push_back(r);
    return *this;
}

ShapeWriter& ShapeWriter::move_to(int32_t x, int32_t y) {
    Record r{Record::Kind::Style};
    r.move = true;
    r.x = x;
    r.y = y;
    m_records.push_back(r);
    m_x = x;
    m_y = y;
    extend(x, y);
    return *this;
}

ShapeWriter& ShapeWriter::line_to(int32_t x, int32_t y) {
    Record r{Record::Kind::Line};
    r.x = x - m_x;
    r.y = y - m_y;
    m_records.push_back(r);
    m_x = x;
    m_y = y;
    extend(x, y);
    return *this;
}

ShapeWriter& ShapeWriter::curve_to(int32_t control_x, int32_t control_y, int32_t x, int32_t y) {
    Record r{Record::Kind::Curve};
    r.cx = control_x - m_x;
    r.cy = control_y - m_y;
    r.x = x - control_x;
    r.y = y - control_y;
    m_records.push_back(r);
    m_x = x;
    m_y = y;
    extend(control_x, control_y);
    extend(x, y);
    return *this;
}

ShapeWriter& ShapeWriter::rectangle(int32_t x, int32_t y, int32_t width, int32_t height, int fill, int line) {
    style(0, fill, line).move_to(x, y);
    return line_to(x + width, y).line_to(x + width, y + height).line_to(x, y + height).line_to(x, y);
}

ShapeWriter& ShapeWriter::polygon(std::span<const Point32> points, int fill, int line) {
    if (points.empty())
        return *this;
    style(0, fill, line).move_to(points[0].x, points[0].y);
    for (size_t i = 1; i < points.size(); ++i)
        line_to(points[i].x, points[i].y);
    return line_to(points[0].x, points[0].y);
}

ShapeWriter& ShapeWriter::circle(int32_t cx, int32_t cy, int32_t radius, int fill, int line) {
    // Eight quadratic arcs; each control point lies on the tangents at the arc's ends.
    constexpr double pi = 3.14159265358979323846;
    double control_radius = radius / std::cos(pi / 8);
    style(0, fill, line).move_to(cx + radius, cy);
    for (int i = 1; i <= 8; ++i) {
        double mid = (i - 0.5) * pi / 4, end = i * pi / 4;
        auto round = [](double v) { return static_cast<int32_t>(std::lround(v)); };
        int32_t ex = i == 8 ? cx + radius : round(cx + radius * std::cos(end));
        int32_t ey = i == 8 ? cy : round(cy + radius * std::sin(end));
        curve_to(round(cx + control_radius * std::cos(mid)), round(cy + control_radius * std::sin(mid)), ex, ey);
    }
    return *this;
}

int ShapeWriter::version() const {
    if (m_alpha)
        return 3;
    if (m_groups.size() > 1)
        return 2;
    for (const Group& g : m_groups)
        if (g.fills.size() > 254 || g.lines.size() > 254)
            return 2;
    return 1;
}

std::vector<uint8_t> ShapeWriter::body() const {
    int shape_version = version();
    bool alpha = shape_version >= 3;
    BitWriter w;
    Rect bounds{m_min_x, m_max_x, m_min_y, m_max_y};
    // Strokes reach half their width beyond the outline.
    int32_t widest = 0;
    for (const Group& g : m_groups)
        for (const LineStyle& l : g.lines)
            widest = std::max<int32_t>(widest, l.width);
    bounds.x_min -= widest / 2;
    bounds.x_max += widest / 2;
    bounds.y_min -= widest / 2;
    bounds.y_max += widest / 2;
    write_rect(w, bounds);

    auto write_styles = [&](const Group& g) {
        auto count = [&](size_t n) {
            if (n >= 0xFF && shape_version >= 2) {
                w.u8(0xFF);
                w.u16(static_cast<uint16_t>(n));
            } else {
                w.u8(static_cast<uint8_t>(n));
            }
        };
        count(g.fills.size());
        for (const FillStyle& f : g.fills) {
            switch (f.kind) {
            case FillStyle::Kind::Solid:
                w.u8(0x00);
                write_colour(w, argb_of(f.colour), alpha);
                break;
            case FillStyle::Kind::LinearGradient:
            case FillStyle::Kind::RadialGradient:
                w.u8(f.kind == FillStyle::Kind::LinearGradient ? 0x10 : 0x12);
                write_matrix(w, f.matrix);
                w.u8(static_cast<uint8_t>(std::min<size_t>(f.stops.size(), 15)));
                for (size_t i = 0; i < f.stops.size() && i < 15; ++i) {
                    w.u8(f.stops[i].ratio);
                    write_colour(w, argb_of(f.stops[i].colour), alpha);
                }
                break;
            case FillStyle::Kind::Bitmap:
                w.u8(f.repeat ? 0x40 : 0x41);
                w.u16(f.bitmap_id);
                write_matrix(w, f.matrix);
                break;
            }
        }
        count(g.lines.size());
        for (const LineStyle& l : g.lines) {
            w.u16(l.width);
            write_colour(w, argb_of(l.colour), alpha);
        }
        unsigned fill_bits = unsigned_bits(static_cast<uint32_t>(g.fills.size()));
        unsigned line_bits = unsigned_bits(static_cast<uint32_t>(g.lines.size()));
        w.ub(fill_bits, 4);
        w.ub(line_bits, 4);
        return std::pair{fill_bits, line_bits};
    };
    auto [fill_bits, line_bits] = write_styles(m_groups[0]);

    for (size_t i = 0; i < m_records.size(); ++i) {
        const Record& r = m_records[i];
        if (r.kind == Record::Kind::Style) {
            // Consecutive style records of one kind merge into one change record.
            bool move = r.move, set = r.set_styles;
            int32_t x = r.x, y = r.y;
            int fill0 = r.fill0, fill1 = r.fill1, line = r.line, group = r.group;
            while (i + 1 < m_records.size() && m_records[i + 1].kind == Record::Kind::Style &&
                   m_records[i + 1].group < 0 && group < 0) {
                const Record& n = m_records[++i];
                if (n.move) {
                    move = true;
                    x = n.x;
                    y = n.y;
                }
                if (n.set_styles) {
                    set = true;
                    fill0 = n.fill0;
                    fill1 = n.fill1;
                    line = n.line;
                }
            }
            w.ub(0, 1);
            if (group >= 0) {
                w.ub(0x10, 5);
                auto bits = write_styles(m_groups[group]);
                fill_bits = bits.first;
                line_bits = bits.second;
                continue;
            }
            uint32_t flags = (set ? 0x0E : 0) | (move ? 0x01 : 0);
            if (flags == 0)
                flags = 0x01; // a style record with nothing in it would end the shape
            w.ub(flags, 5);
            if (flags & 0x01) {
                unsigned bits = signed_bits({x, y});
                w.ub(bits, 5);
                w.sb(x, bits);
                w.sb(y, bits);
            }
            if (set) {
                w.ub(static_cast<uint32_t>(fill0), fill_bits);
                w.ub(static_cast<uint32_t>(fill1), fill_bits);
                w.ub(static_cast<uint32_t>(line), line_bits);
            }
            continue;
        }
        w.ub(1, 1);
        if (r.kind == Record::Kind::Line) {
            unsigned bits = std::max(2u, signed_bits({r.x, r.y}));
            w.ub(1, 1);
            w.ub(bits - 2, 4);
            w.ub(1, 1); // general line
            w.sb(r.x, bits);
            w.sb(r.y, bits);
        } else {
            unsigned bits = std::max(2u, signed_bits({r.cx, r.cy, r.x, r.y}));
            w.ub(0, 1);
            w.ub(bits - 2, 4);
            w.sb(r.cx, bits);
            w.sb(r.cy, bits);
            w.sb(r.x, bits);
            w.sb(r.y, bits);
        }
    }
    w.ub(0, 6); // end of shape
    w.align();
    return std::move(w.out());
}

// ---- buttons ----

ButtonWriter& ButtonWriter::record(uint8_t states, uint16_t character, uint16_t depth, const Matrix& matrix) {
    m_records.push_back({states, character, depth, matrix});
    return *this;
}

ButtonWriter& ButtonWriter::on(uint16_t conditions, const ActionWriter& actions) {
    m_actions.emplace_back(conditions, actions.bytes());
    return *this;
}

std::vector<uint8_t> ButtonWriter::body() const {
    BitWriter w;
    size_t offset_at = 0;
    if (m_version >= 2) {
        w.u8(0);
        offset_at = w.out().size();
        w.u16(0);
    }
    for (const Record& r : m_records) {
        w.u8(r.states & 0x0F);
        w.u16(r.character);
        w.u16(r.depth);
        write_matrix(w, r.matrix);
        if (m_version >= 2)
            write_color_transform(w, ColorTransform{});
    }
    w.u8(0);
    if (m_version < 2) {
        // The one block of a first-version button runs on release.
        for (const auto& [conditions, code] : m_actions)
            if (conditions & ButtonAction::OverDownToOverUp) {
                w.bytes(code);
                return std::move(w.out());
            }
        w.u8(0);
        return std::move(w.out());
    }
    if (!m_actions.empty()) {
        size_t offset = w.out().size() - offset_at;
        w.out()[offset_at] = static_cast<uint8_t>(offset);
        w.out()[offset_at + 1] = static_cast<uint8_t>(offset >> 8);
    }
    for (size_t i = 0; i < m_actions.size(); ++i) {
        const auto& [conditions, code] = m_actions[i];
        uint16_t size = i + 1 == m_actions.size() ? 0 : static_cast<uint16_t>(4 + code.size());
        w.u16(size);
        w.u8(static_cast<uint8_t>(conditions));
        w.u8(static_cast<uint8_t>((conditions >> 8) & 1));
        w.bytes(code);
    }
    return std::move(w.out());
}

// ---- timelines ----

void TimelineWriter::tag(uint16_t code, std::span<const uint8_t> body, bool long_header) {
    append_tag(m_tags, code, body, long_header);
}

void TimelineWriter::place(uint16_t depth, uint16_t character, const Matrix& matrix, std::string_view name,
                           const ColorTransform* color) {
    BitWriter w;
    uint8_t flags = 0x02 | 0x04 | (color ? 0x08 : 0) | (name.empty() ? 0 : 0x20);
    w.u8(flags);
    w.u16(depth);
    w.u16(character);
    write_matrix(w, matrix);
    if (color)
        write_color_transform(w, *color);
    if (!name.empty())
        w.string(name);
    tag(26, w.out());
}

void TimelineWriter::move(uint16_t depth, const Matrix& matrix, const ColorTransform* color) {
    BitWriter w;
    w.u8(static_cast<uint8_t>(0x01 | 0x04 | (color ? 0x08 : 0)));
    w.u16(depth);
    write_matrix(w, matrix);
    if (color)
        write_color_transform(w, *color);
    tag(26, w.out());
}

void TimelineWriter::remove(uint16_t depth) {
    uint8_t body[2] = {static_cast<uint8_t>(depth), static_cast<uint8_t>(depth >> 8)};
    tag(28, body);
}

void TimelineWriter::label(std::string_view name) {
    std::vector<uint8_t> body(name.begin(), name.end());
    body.push_back(0);
    tag(43, body);
}

void TimelineWriter::actions(const ActionWriter& actions) { tag(12, actions.bytes()); }

void TimelineWriter::show_frame() {
    tag(1, {});
    ++m_frames;
}

// ---- movies ----

MovieWriter::MovieWriter(int width_pixels, int height_pixels, double frames_per_second, int version)
    : m_version(version), m_frame{0, width_pixels * 20, 0, height_pixels * 20}, m_rate(frames_per_second) {}

void MovieWriter::background(uint32_t rgb) {
    uint8_t body[3] = {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)};
    tag(9, body);
}

uint16_t MovieWriter::define_shape(const ShapeWriter& shape) {
    uint16_t id = next_id();
    std::vector<uint8_t> body{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
    auto rest = shape.body();
    body.insert(body.end(), rest.begin(), rest.end());
    int v = shape.version();
    tag(v == 1 ? 2 : v == 2 ? 22 : 32, body);
    return id;
}

uint16_t MovieWriter::define_bitmap(int width, int height, std::span<const uint32_t> argb) {
    uint16_t id = next_id();
    std::vector<uint8_t> pixels;
    pixels.reserve(argb.size() * 4);
    for (size_t i = 0; i < size_t(width) * height && i < argb.size(); ++i) {
        // Stored premultiplied, alpha first.
        uint32_t p = argb[i], a = p >> 24;
        pixels.push_back(static_cast<uint8_t>(a));
        pixels.push_back(static_cast<uint8_t>(((p >> 16) & 0xFF) * a / 255));
        pixels.push_back(static_cast<uint8_t>(((p >> 8) & 0xFF) * a / 255));
        pixels.push_back(static_cast<uint8_t>((p & 0xFF) * a / 255));
    }
    pixels.resize(size_t(width) * height * 4, 0);
    uLongf packed_size = compressBound(static_cast<uLong>(pixels.size()));
    std::vector<uint8_t> packed(packed_size);
    compress2(packed.data(), &packed_size, pixels.data(), static_cast<uLong>(pixels.size()), Z_BEST_COMPRESSION);
    packed.resize(packed_size);
    std::vector<uint8_t> body{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 5,
                              static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                              static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
    body.insert(body.end(), packed.begin(), packed.end());
    tag(36, body, true);
    return id;
}

uint16_t MovieWriter::define_sprite(const TimelineWriter& sprite) {
    uint16_t id = next_id();
    std::vector<uint8_t> body{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                              static_cast<uint8_t>(sprite.frames()), static_cast<uint8_t>(sprite.frames() >> 8)};
    body.insert(body.end(), sprite.tags().begin(), sprite.tags().end());
    body.push_back(0);
    body.push_back(0);
    tag(39, body);
    return id;
}

uint16_t MovieWriter::define_button(const ButtonWriter& button) {
    uint16_t id = next_id();
    std::vector<uint8_t> body{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
    auto rest = button.body();
    body.insert(body.end(), rest.begin(), rest.end());
    tag(button.version() >= 2 ? 34 : 7, body);
    return id;
}

std::vector<uint8_t> MovieWriter::finish(bool compressed) const {
    BitWriter w;
    write_rect(w, m_frame);
    int rate = static_cast<int>(std::lround(m_rate * 256));
    w.u8(static_cast<uint8_t>(rate));
    w.u8(static_cast<uint8_t>(rate >> 8));
    w.u16(static_cast<uint16_t>(frames()));
    std::vector<uint8_t> rest = std::move(w.out());
    rest.insert(rest.end(), tags().begin(), tags().end());
    rest.push_back(0);
    rest.push_back(0);
    uint32_t length = static_cast<uint32_t>(rest.size() + 8);
    std::vector<uint8_t> file{static_cast<uint8_t>(compressed ? 'C' : 'F'), 'W', 'S', static_cast<uint8_t>(m_version),
                              static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                              static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
    if (!compressed) {
        file.insert(file.end(), rest.begin(), rest.end());
        return file;
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rest.size()));
    std::vector<uint8_t> packed(packed_size);
    compress2(packed.data(), &packed_size, rest.data(), static_cast<uLong>(rest.size()), Z_BEST_COMPRESSION);
    file.insert(file.end(), packed.begin(), packed.begin() + packed_size);
    return file;
}

} // namespace tarpon::swf
