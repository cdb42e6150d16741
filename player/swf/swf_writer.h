// Writes SWF movies: backgrounds, shapes with fills and lines, bitmaps, sprites, buttons with
// actions, frame labels and frame actions, plain or compressed. Tests, the authoring tool and the
// demo make their movies with it. Coordinates are twips (20 to a pixel) unless said otherwise.
#pragma once

#include "player/swf/movie_data.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::swf {

// Colours are 0xAARRGGBB; opaque(0xRRGGBB) gives the opaque colour.
constexpr uint32_t opaque(uint32_t rgb) { return 0xFF000000u | (rgb & 0xFFFFFF); }

struct Point32 {
    int32_t x = 0, y = 0;
};

// A block of actions. Jumps go to named places in the block, resolved by bytes().
class ActionWriter {
public:
    ActionWriter& play() { return op(0x06); }
    ActionWriter& stop() { return op(0x07); }
    ActionWriter& next_frame() { return op(0x04); }
    ActionWriter& previous_frame() { return op(0x05); }
    ActionWriter& goto_frame(int frame); // 0-based
    ActionWriter& goto_label(std::string_view label);
    ActionWriter& get_url(std::string_view url, std::string_view target);
    // fscommand(command, argument), as a GetURL of "FSCommand:" + command.
    ActionWriter& fscommand(std::string_view command, std::string_view argument);
    // Pops the target, then the URL.
    ActionWriter& get_url2(uint8_t flags = 0);
    // Pops a frame (1-based number or label) and goes there, playing or stopped.
    ActionWriter& goto_frame2(bool play);
    ActionWriter& push(std::string_view text);
    ActionWriter& push(double number);
    ActionWriter& push_int(int32_t number);
    ActionWriter& push_bool(bool value);
    ActionWriter& push_null();
    ActionWriter& push_undefined();
    ActionWriter& push_register(uint8_t reg);
    ActionWriter& push_constant(uint16_t index);
    ActionWriter& constant_pool(const std::vector<std::string>& strings);
    ActionWriter& store_register(uint8_t reg);
    // name = value (both literals).
    ActionWriter& set_variable(std::string_view name, std::string_view value);
    // Pushes the value of the variable.
    ActionWriter& get_variable(std::string_view name);
    ActionWriter& set_target(std::string_view target);
    ActionWriter& label(std::string_view name);
    ActionWriter& jump(std::string_view label);
    // Pops a condition and jumps when it is true.
    ActionWriter& branch_if(std::string_view label);
    // An action without payload (the arithmetic, comparison, string and stack actions).
    ActionWriter& op(uint8_t code);
    // An action with a payload, as it stands.
    ActionWriter& raw(uint8_t code, std::span<const uint8_t> payload);

    // The records followed by the end byte.
    std::vector<uint8_t> bytes() const;

private:
    struct Fixup {
        size_t at;         // offset of the 16-bit jump operand
        std::string label; // where it goes
    };
    std::vector<uint8_t> m_code;
    std::vector<std::pair<std::string, size_t>> m_labels;
    std::vector<Fixup> m_fixups;
};

class ShapeWriter {
public:
    // Styles of the current group; the returned index (from 1) is what style() takes.
    int solid_fill(uint32_t argb);
    int bitmap_fill(uint16_t bitmap_id, const Matrix& matrix, bool repeat);
    int linear_gradient(const Matrix& matrix, uint32_t from_argb, uint32_t to_argb);
    int line_style(uint16_t width, uint32_t argb);
    // Starts a new group of styles for the edges that follow (shape version 2 and later).
    ShapeWriter& new_styles();

    // Fill on the left and right of the edges that follow, and their line; 0 for none.
    ShapeWriter& style(int fill0, int fill1, int line);
    ShapeWriter& move_to(int32_t x, int32_t y);
    ShapeWriter& line_to(int32_t x, int32_t y);
    ShapeWriter& curve_to(int32_t control_x, int32_t control_y, int32_t x, int32_t y);

    // Closed outlines with `fill` on their inside (as fill 1), clockwise on screen; a line style
    // outlines them when given.
    ShapeWriter& rectangle(int32_t x, int32_t y, int32_t width, int32_t height, int fill, int line = 0);
    ShapeWriter& polygon(std::span<const Point32> points, int fill, int line = 0);
    ShapeWriter& circle(int32_t centre_x, int32_t centre_y, int32_t radius, int fill, int line = 0);

    // The DefineShape version the shape needs: 3 with transparent colours, 2 with several
    // style groups or more than 255 styles, else 1.
    int version() const;
    // The tag body after the character id.
    std::vector<uint8_t> body() const;

private:
    struct Group {
        std::vector<FillStyle> fills;
        std::vector<LineStyle> lines;
    };
    struct Record {
        enum class Kind { Style, Line, Curve } kind;
        bool move = false;
        int32_t x = 0, y = 0, cx = 0, cy = 0;
        bool set_styles = false;
        int fill0 = 0, fill1 = 0, line = 0;
        int group = -1; // a new style group begins here
    };
    std::vector<Group> m_groups{1};
    std::vector<Record> m_records;
    int32_t m_x = 0, m_y = 0;
    int32_t m_min_x = 0, m_min_y = 0, m_max_x = 0, m_max_y = 0;
    bool m_any_point = false;
    bool m_alpha = false;
    void extend(int32_t x, int32_t y);
};

class ButtonWriter {
public:
    // A character shown in the states (ButtonRecord::Up | Over | Down | Hit).
    ButtonWriter& record(uint8_t states, uint16_t character, uint16_t depth, const Matrix& matrix = {});
    // Actions on the transitions (ButtonAction::OverDownToOverUp is a release).
    ButtonWriter& on(uint16_t conditions, const ActionWriter& actions);
    // DefineButton (version 1) runs one block on release; DefineButton2 has condition actions.
    ButtonWriter& version(int v) {
        m_version = v;
        return *this;
    }

    int version() const { return m_version; }
    std::vector<uint8_t> body() const; // after the character id

private:
    struct Record {
        uint8_t states;
        uint16_t character, depth;
        Matrix matrix;
    };
    std::vector<Record> m_records;
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> m_actions;
    int m_version = 2;
};

// Control tags of one timeline (the movie's or a sprite's).
class TimelineWriter {
public:
    // A new object at the depth (PlaceObject2), optionally named and colour transformed.
    void place(uint16_t depth, uint16_t character, const Matrix& matrix = {}, std::string_view name = {},
               const ColorTransform* color = nullptr);
    // Moves the object at the depth.
    void move(uint16_t depth, const Matrix& matrix, const ColorTransform* color = nullptr);
    void remove(uint16_t depth);
    void label(std::string_view name);
    void actions(const ActionWriter& actions);
    void show_frame();
    // Any tag, as it stands; long_header writes the 32-bit length form whatever the size.
    void tag(uint16_t code, std::span<const uint8_t> body, bool long_header = false);

    int frames() const { return m_frames; }
    const std::vector<uint8_t>& tags() const { return m_tags; }

private:
    std::vector<uint8_t> m_tags;
    int m_frames = 0;
};

class MovieWriter : public TimelineWriter {
public:
    MovieWriter(int width_pixels, int height_pixels, double frames_per_second = 12, int version = 6);

    void background(uint32_t rgb);
    uint16_t define_shape(const ShapeWriter& shape);
    // DefineBitsLossless2 of 0xAARRGGBB pixels, row by row.
    uint16_t define_bitmap(int width, int height, std::span<const uint32_t> argb);
    uint16_t define_sprite(const TimelineWriter& sprite);
    uint16_t define_button(const ButtonWriter& button);

    // The whole file: header, the tags written, End. The frame count is the frames shown.
    std::vector<uint8_t> finish(bool compressed = false) const;

private:
    uint16_t next_id() { return m_next_id++; }
    int m_version;
    Rect m_frame;
    double m_rate;
    uint16_t m_next_id = 1;
};

} // namespace tarpon::swf
