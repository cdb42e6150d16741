// Drawing the display lists onto the canvas and finding the button under the pointer.
#include "player/swf/player_state.h"
#include "player/swf/rasteriser.h"

#include <algorithm>
#include <cmath>

namespace tarpon::swf {

namespace {

uint32_t pack(Rgba c) { return uint32_t(c.a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

Rgba unpack(uint32_t v) {
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v),
            static_cast<uint8_t>(v >> 24)};
}

void flatten(const Segment& s, const Matrix& m, std::vector<Edge>& out) {
    Point p0 = transform(m, s.x0, s.y0), p1 = transform(m, s.x1, s.y1);
    if (s.curve)
        add_quadratic(out, p0, transform(m, s.cx, s.cy), p1);
    else
        out.push_back({p0.x, p0.y, p1.x, p1.y});
}

Rgba gradient_colour(const FillStyle& fill, double t) {
    int ratio = static_cast<int>(std::clamp(t, 0.0, 1.0) * 255 + 0.5);
    const auto& stops = fill.stops;
    if (ratio <= stops.front().ratio)
        return stops.front().colour;
    for (size_t i = 1; i < stops.size(); ++i) {
        if (ratio <= stops[i].ratio) {
            const GradientStop &a = stops[i - 1], &b = stops[i];
            double f = b.ratio == a.ratio ? 1 : double(ratio - a.ratio) / (b.ratio - a.ratio);
            auto mix = [f](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * f)); };
            return {mix(a.colour.r, b.colour.r), mix(a.colour.g, b.colour.g), mix(a.colour.b, b.colour.b),
                    mix(a.colour.a, b.colour.a)};
        }
    }
    return stops.back().colour;
}

struct Renderer {
    const MoviePlayer::State& state;
    const Canvas& canvas;

    Paint paint_for(const FillStyle& fill, const Matrix& m, const ColorTransform& cx) const {
        Paint paint;
        paint.colour = pack(apply(cx, fill.colour));
        if (fill.kind == FillStyle::Kind::Solid)
            return paint;
        Matrix inverse = invert(multiply(fill.matrix, m));
        if (fill.kind == FillStyle::Kind::Bitmap) {
            const Character* c = state.movie.character(fill.bitmap_id);
            if (!c || c->kind != Character::Kind::Bitmap) {
                paint.colour = 0; // a missing bitmap draws nothing
                return paint;
            }
            const Bitmap* bitmap = &c->bitmap;
            bool repeat = fill.repeat;
            paint.sample = [bitmap, inverse, repeat, cx](double x, double y) {
                Point p = transform(inverse, x, y);
                double u = std::floor(p.x), v = std::floor(p.y);
                long w = bitmap->width, h = bitmap->height;
                long iu, iv;
                if (repeat) {
                    iu = static_cast<long>(std::fmod(std::clamp(u, -1e9, 1e9), double(w)));
                    iv = static_cast<long>(std::fmod(std::clamp(v, -1e9, 1e9), double(h)));
                    if (iu < 0)
                        iu += w;
                    if (iv < 0)
                        iv += h;
                } else {
                    iu = static_cast<long>(std::clamp(u, 0.0, double(w - 1)));
                    iv = static_cast<long>(std::clamp(v, 0.0, double(h - 1)));
                }
                return pack(apply(cx, unpack(bitmap->pixels[size_t(iv) * w + iu])));
            };
            return paint;
        }
        const FillStyle* style = &fill;
        bool radial = fill.kind == FillStyle::Kind::RadialGradient;
        paint.sample = [style, inverse, radial, cx](double x, double y) {
            Point p = transform(inverse, x, y);
            double t = radial ? std::sqrt(p.x * p.x + p.y * p.y) / 16384 : (p.x + 16384) / 32768;
            return pack(apply(cx, gradient_colour(*style, t)));
        };
        return paint;
    }

    void draw_shape(const Shape& shape, const Matrix& m, const ColorTransform& cx) const {
        std::vector<Edge> edges;
        for (size_t i = 0; i < shape.fills.size(); ++i) {
            edges.clear();
            for (const Segment& s : shape.fill_edges[i])
                flatten(s, m, edges);
            fill_edges(canvas, edges, FillRule::NonZero, paint_for(shape.fills[i], m, cx));
        }
        double scale = std::sqrt(std::abs(m.a * m.d - m.b * m.c));
        for (size_t i = 0; i < shape.lines.size(); ++i) {
            if (shape.line_edges[i].empty())
                continue;
            edges.clear();
            std::vector<Edge> path;
            double width = shape.lines[i].width * scale;
            for (const Segment& s : shape.line_edges[i]) {
                path.clear();
                flatten(s, m, path);
                for (const Edge& e : path)
                    add_stroke(edges, {e.x0, e.y0}, {e.x1, e.y1}, width);
            }
            Paint paint;
            paint.colour = pack(apply(cx, shape.lines[i].colour));
            fill_edges(canvas, edges, FillRule::NonZero, paint);
        }
    }

    void draw_character(const Character& character, const Instance* instance, const Matrix& m,
                        const ColorTransform& cx, int nesting) const {
        if (nesting > max_nesting)
            return;
        switch (character.kind) {
        case Character::Kind::Shape:
            draw_shape(character.shape, m, cx);
            break;
        case Character::Kind::Bitmap:
            break; // bitmaps are drawn through the fills of shapes
        case Character::Kind::Sprite:
            if (instance && instance->timeline)
                draw_list(instance->timeline->display, m, cx, nesting + 1);
            else if (!character.sprite.frames.empty())
                draw_first_frame(character.sprite, m, cx, nesting + 1);
            break;
        case Character::Kind::Button: {
            uint8_t state_flag = instance ? instance->button_state : uint8_t(ButtonRecord::Up);
            for (const ButtonRecord& record : sorted_records(character.button))
                if (record.states & state_flag)
                    if (const Character* c = state.movie.character(record.character))
                        draw_character(*c, nullptr, multiply(record.matrix, m), combine(cx, record.color),
                                       nesting + 1);
            break;
        }
        }
    }

    static std::vector<ButtonRecord> sorted_records(const Button& button) {
        std::vector<ButtonRecord> records = button.records;
        std::stable_sort(records.begin(), records.end(),
                         [](const ButtonRecord& l, const ButtonRecord& r) { return l.depth < r.depth; });
        return records;
    }

    // A sprite with no instance of its own (inside a button state) shows its first frame.
    void draw_first_frame(const TimelineDef& def, const Matrix& m, const ColorTransform& cx, int nesting) const {
        std::map<int, const PlaceCommand*> placed;
        for (const PlaceCommand& command : def.frames.front().commands) {
            if (command.kind == PlaceCommand::Kind::Remove)
                placed.erase(command.depth);
            else if (command.has_character)
                placed[command.depth] = &command;
        }
        for (auto& [depth, command] : placed)
            if (const Character* c = state.movie.character(command->character))
                draw_character(*c, nullptr, multiply(command->matrix, m), combine(cx, command->color), nesting);
    }

    void draw_list(const DisplayList& list, const Matrix& m, const ColorTransform& cx, int nesting) const {
        for (auto& [depth, instance] : list) {
            // Masks are not drawn themselves; what they would clip is drawn whole.
            if (!instance->visible || instance->clip_depth > 0)
                continue;
            draw_character(*instance->character, instance.get(), multiply(instance->matrix, m),
                           combine(cx, instance->color), nesting);
        }
    }
};

bool point_in_shape(const Shape& shape, double x, double y) {
    for (size_t i = 0; i < shape.fills.size(); ++i) {
        std::vector<Edge> edges;
        for (const Segment& s : shape.fill_edges[i])
            flatten(s, Matrix{}, edges);
        int winding = 0;
        for (const Edge& e : edges) {
            if ((e.y0 <= y) == (e.y1 <= y))
                continue;
            double cross_x = e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0);
            if (cross_x > x)
                winding += e.y1 > e.y0 ? 1 : -1;
        }
        if (winding != 0)
            return true;
    }
    for (size_t i = 0; i < shape.lines.size(); ++i) {
        double half = std::max<double>(shape.lines[i].width, 20) / 2;
        for (const Segment& s : shape.line_edges[i]) {
            double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
            double length2 = dx * dx + dy * dy;
            double t = length2 > 0 ? std::clamp(((x - s.x0) * dx + (y - s.y0) * dy) / length2, 0.0, 1.0) : 0;
            double px = s.x0 + t * dx - x, py = s.y0 + t * dy - y;
            if (px * px + py * py <= half * half)
                return true;
        }
    }
    return false;
}

struct HitTester {
    const MoviePlayer::State& state;

    bool character_hit(const Character& character, const Matrix& m, double x, double y, int nesting) const {
        if (nesting > max_nesting)
            return false;
        switch (character.kind) {
        case Character::Kind::Shape: {
            Point p = transform(invert(m), x, y);
            return point_in_shape(character.shape, p.x, p.y);
        }
        case Character::Kind::Sprite:
            if (character.sprite.frames.empty())
                return false;
            for (const PlaceCommand& command : character.sprite.frames.front().commands)
                if (command.kind == PlaceCommand::Kind::Place && command.has_character)
                    if (const Character* c = state.movie.character(command.character))
                        if (character_hit(*c, multiply(command.matrix, m), x, y, nesting + 1))
                            return true;
            return false;
        case Character::Kind::Button:
            for (const ButtonRecord& record : character.button.records)
                if (record.states & ButtonRecord::Hit)
                    if (const Character* c = state.movie.character(record.character))
                        if (character_hit(*c, multiply(record.matrix, m), x, y, nesting + 1))
                            return true;
            return false;
        default:
            return false;
        }
    }

    Instance* find(const DisplayList& list, const Matrix& m, double x, double y) const {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            Instance& instance = *it->second;
            if (!instance.visible || instance.clip_depth > 0)
                continue;
            Matrix world = multiply(instance.matrix, m);
            if (instance.timeline) {
                if (Instance* found = find(instance.timeline->display, world, x, y))
                    return found;
            } else if (instance.character->kind == Character::Kind::Button) {
                if (character_hit(*instance.character, world, x, y, instance.nesting))
                    return &instance;
            }
        }
        return nullptr;
    }
};

bool shape_bounds(const MoviePlayer::State& state, const Character& character, const Matrix& m, Rect& out,
                  bool& any, int nesting);

void add_box(const Rect& r, const Matrix& m, Rect& out, bool& any) {
    for (int corner = 0; corner < 4; ++corner) {
        Point p = transform(m, corner & 1 ? r.x_max : r.x_min, corner & 2 ? r.y_max : r.y_min);
        int32_t x = static_cast<int32_t>(std::clamp(p.x, -1e9, 1e9)), y = static_cast<int32_t>(std::clamp(p.y, -1e9, 1e9));
        if (!any) {
            out = {x, x, y, y};
            any = true;
        }
        out.x_min = std::min(out.x_min, x);
        out.x_max = std::max(out.x_max, x);
        out.y_min = std::min(out.y_min, y);
        out.y_max = std::max(out.y_max, y);
    }
}

void list_bounds(const MoviePlayer::State& state, const DisplayList& list, const Matrix& m, Rect& out, bool& any,
                 int nesting) {
    for (auto& [depth, child] : list) {
        Matrix world = multiply(child->matrix, m);
        if (child->timeline)
            list_bounds(state, child->timeline->display, world, out, any, nesting + 1);
        else
            shape_bounds(state, *child->character, world, out, any, nesting + 1);
    }
}

bool shape_bounds(const MoviePlayer::State& state, const Character& character, const Matrix& m, Rect& out,
                  bool& any, int nesting) {
    if (nesting > max_nesting)
        return any;
    if (character.kind == Character::Kind::Shape)
        add_box(character.shape.bounds, m, out, any);
    else if (character.kind == Character::Kind::Button)
        for (const ButtonRecord& record : character.button.records)
            if (record.states & ButtonRecord::Up)
                if (const Character* c = state.movie.character(record.character))
                    shape_bounds(state, *c, multiply(record.matrix, m), out, any, nesting + 1);
    return any;
}

} // namespace

void MoviePlayer::State::render(const Canvas& canvas, const Matrix& view, uint32_t background) const {
    if (!canvas.pixels || canvas.width <= 0 || canvas.height <= 0 || canvas.stride < canvas.width)
        return;
    fill_canvas(canvas, background);
    if (!root || !root->timeline)
        return;
    Renderer renderer{*this, canvas};
    renderer.draw_list(root->timeline->display, view, ColorTransform{}, 0);
}

Instance* MoviePlayer::State::button_at(double x, double y, const Matrix& view) const {
    if (!root || !root->timeline)
        return nullptr;
    HitTester tester{*this};
    return tester.find(root->timeline->display, view, x, y);
}

bool MoviePlayer::State::bounds(const Instance& instance, Rect& out) const {
    bool any = false;
    out = Rect{};
    if (instance.timeline)
        list_bounds(*this, instance.timeline->display, instance.matrix, out, any, instance.nesting);
    else
        shape_bounds(*this, *instance.character, instance.matrix, out, any, instance.nesting);
    return any;
}

} // namespace tarpon::swf
