// What the reader makes of a movie: the dictionary of characters (shapes, bitmaps, sprites,
// buttons) and the timelines as frames of control tags. Everything here is plain data that the
// player reads while it plays; nothing points back into the file.
#pragma once

#include "player/swf/movie_player.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarpon::swf {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// Colour transform: each channel c' = c * mul + add, with add in channel units (0-255).
struct ColorTransform {
    double mul[4] = {1, 1, 1, 1}; // r g b a
    double add[4] = {0, 0, 0, 0};
};

// The transform "inner, then outer".
ColorTransform combine(const ColorTransform& outer, const ColorTransform& inner);
Rgba apply(const ColorTransform& cx, Rgba colour);

// A bitmap as non-premultiplied 0xAARRGGBB pixels.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

struct GradientStop {
    uint8_t ratio = 0;
    Rgba colour;
};

struct FillStyle {
    enum class Kind { Solid, LinearGradient, RadialGradient, Bitmap };
    Kind kind = Kind::Solid;
    Rgba colour;
    Matrix matrix; // gradient square or bitmap pixels to shape twips
    std::vector<GradientStop> stops;
    uint16_t bitmap_id = 0;
    bool repeat = false; // bitmap tiles; otherwise the edge pixels extend
};

struct LineStyle {
    uint16_t width = 0; // twips
    Rgba colour;
};

// One edge in shape twips; a curve has its control point in (cx, cy).
struct Segment {
    double x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
    bool curve = false;
};

struct Shape {
    Rect bounds;
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    // Per fill style: its edges turned so that the fill lies on their right, which makes the
    // edges of each fill a set of closed outlines.
    std::vector<std::vector<Segment>> fill_edges;
    // Per line style: the edges it strokes.
    std::vector<std::vector<Segment>> line_edges;
};

// One control tag of a frame.
struct PlaceCommand {
    enum class Kind { Place, Remove };
    Kind kind = Kind::Place;
    int depth = 0;
    bool move = false; // modifies the object at the depth
    bool has_character = false;
    uint16_t character = 0;
    bool has_matrix = false;
    Matrix matrix;
    bool has_color = false;
    ColorTransform color;
    bool has_ratio = false;
    uint16_t ratio = 0;
    bool has_name = false;
    std::string name;
    bool has_clip_depth = false;
    uint16_t clip_depth = 0;
};

// A block of actions; `code` holds the action records.
using ActionBlock = std::vector<uint8_t>;

struct Frame {
    std::vector<PlaceCommand> commands;
    std::vector<ActionBlock> actions;
    std::string label;
};

struct TimelineDef {
    std::vector<Frame> frames; // at least one once read
    std::map<std::string, int> labels; // lower-case label -> frame
    int declared_frames = 0;
};

struct ButtonRecord {
    enum State : uint8_t { Up = 1, Over = 2, Down = 4, Hit = 8 };
    uint8_t states = 0;
    uint16_t character = 0;
    int depth = 0;
    Matrix matrix;
    ColorTransform color;
};

struct ButtonAction {
    enum Condition : uint16_t {
        IdleToOverUp = 0x0001,
        OverUpToIdle = 0x0002,
        OverUpToOverDown = 0x0004, // press
        OverDownToOverUp = 0x0008, // release
        OverDownToOutDown = 0x0010,
        OutDownToOverDown = 0x0020,
        OutDownToIdle = 0x0040,
        IdleToOverDown = 0x0080,
        OverDownToIdle = 0x0100,
    };
    uint16_t conditions = 0;
    ActionBlock code;
};

struct Button {
    std::vector<ButtonRecord> records;
    std::vector<ButtonAction> actions;
};

struct Character {
    enum class Kind { Shape, Bitmap, Sprite, Button };
    Kind kind = Kind::Shape;
    Shape shape;
    Bitmap bitmap;
    TimelineDef sprite;
    Button button;
};

struct MovieData {
    int version = 0;
    Rect frame_rect;
    double frame_rate = 12;
    int frame_count = 0;
    bool has_background = false;
    uint32_t background = 0xFFFFFF;
    TimelineDef root;
    std::map<uint16_t, std::unique_ptr<Character>> characters;

    const Character* character(uint16_t id) const {
        auto it = characters.find(id);
        return it == characters.end() ? nullptr : it->second.get();
    }
};

// Reads a movie file. False with `error` set when the header is refused; a tag stream that breaks
// off keeps what was read before the break.
bool read_movie(std::span<const uint8_t> file, MovieData& movie, std::string& error);

// Limits that keep a hostile file from making the reader or player work without end.
inline constexpr size_t max_movie_bytes = 64u << 20;  // uncompressed movie
inline constexpr size_t max_bitmap_pixels = 16u << 20;
inline constexpr size_t max_frames = 16000;
inline constexpr size_t max_shape_records = 1u << 20;

} // namespace tarpon::swf
