// The main window's geometry and frame computed from the settings record, without touching a
// window: the frame style, the size and position for a movie, the mapping of a window mask onto the
// client area, and the size that keeps the client aspect ratio. window_rules.h applies them.
//
// The window-style bits are the Win32 values, named here so that this file needs no <windows.h>.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarpon::projector::layout {

namespace style {
constexpr uint32_t popup = 0x80000000;
constexpr uint32_t caption = 0x00C00000;  // border and title bar
constexpr uint32_t system_menu = 0x00080000;
constexpr uint32_t sizing_border = 0x00040000;
constexpr uint32_t minimize_box = 0x00020000;
constexpr uint32_t maximize_box = 0x00010000;
}  // namespace style

namespace ex_style {
constexpr uint32_t transparent = 0x00000020;
constexpr uint32_t tool_window = 0x00000080;
constexpr uint32_t client_edge = 0x00000200;
constexpr uint32_t context_help = 0x00000400;
constexpr uint32_t app_window = 0x00040000;  // forces a task-bar button
}  // namespace ex_style

// Frame flags (settings field 9) and caption buttons (field 10).
namespace frame {
constexpr uint32_t no_border = 0x1;
constexpr uint32_t single = 0x10;
constexpr uint32_t resizable = 0x100;
constexpr uint32_t tool_caption = 0x1000;
constexpr uint32_t no_task_bar_button = 0x10000;
}  // namespace frame
namespace button {
constexpr uint32_t maximize = 0x1;
constexpr uint32_t minimize = 0x10;
constexpr uint32_t system_menu = 0x100;
constexpr uint32_t context_help = 0x1000;
}  // namespace button

struct FrameStyle {
    uint32_t remove = 0, add = 0;          // window styles
    uint32_t remove_ex = 0, add_ex = 0;    // extended window styles

    uint32_t apply(uint32_t current) const { return (current & ~remove) | add; }
    uint32_t apply_ex(uint32_t current) const { return (current & ~remove_ex) | add_ex; }
};

FrameStyle frame_style(uint32_t frame_flags, uint32_t caption_buttons);

struct Size {
    int32_t width = 0, height = 0;
    bool operator==(const Size&) const = default;
};
struct Rect {
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// The settings fields placement reads (14-19).
struct PlacementSettings {
    uint32_t size_mode = 0;
    uint16_t width = 0, height = 0;  // custom size; height is the percentage in size mode 4
    uint32_t position = 0;
    uint16_t x = 0, y = 0;           // custom position: pixels (9) or percent of the screen (10)
};

enum class PlacementMove {
    Repaint,    // move to the rectangle, repainting, then show normally (size modes 0, 3, 4)
    FullScreen, // move to the whole screen, then show normally (size mode 1)
    NoRepaint,  // move without repainting, then show maximized (size mode 2)
    ShowOnly,   // leave the rectangle, only show (any other size mode)
};

struct Placement {
    PlacementMove move = PlacementMove::ShowOnly;
    Rect rect;  // where the window goes (the whole screen for FullScreen)
};

// `window` is the window's rectangle now, `non_client` the window size less the client size, and
// `movie_frame` the movie's frame size when it could be measured.
Placement compute_placement(const PlacementSettings& settings, Size screen, Rect window, Size non_client,
                            std::optional<Size> movie_frame);

// A window put by a custom position (absolute or a percentage of the screen) may land where no
// screen is; such a window is moved onto the screen nearest to it, as far inside it as its size
// allows, so the user can still reach it. A window that shows on any screen at all stays put.
Rect keep_reachable(Rect window, std::span<const Rect> screens);

// How mask coordinates (movie pixels) become window coordinates: x' = x * scale_x + offset_x.
struct MaskTransform {
    float scale_x = 1, scale_y = 1;
    float offset_x = 0, offset_y = 0;
    bool operator==(const MaskTransform&) const = default;
};

// By the control's ScaleMode (0 show all, 1 no border, 2 exact fit, 3 no scale), the movie size,
// the client size and the client area's origin within the window. A movie without a size, or an
// unknown ScaleMode, maps unscaled onto the client origin.
MaskTransform mask_transform(int scale_mode, Size movie, Size client, Size client_origin);

// The window size that keeps `ratio` (client width / client height) at the end of a move or
// resize: when the width is what it was before, the width follows the new client height; otherwise
// the height follows the new client width. No change without a usable ratio.
Size keep_ratio(float ratio, int32_t width_before, Size window, Size client);

// A mask file: a u32 byte count N and N bytes of region data (a 32-byte header and N's rectangles)
// in movie pixels.
struct MaskRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const MaskRect&) const = default;
};

// The rectangles of a well-formed mask file: the count is the rest of the file, the header is the
// rectangles kind with a 32-byte size, its rectangles fill the data exactly (and its own byte count
// of them, when not zero, agrees), and every rectangle is non-empty and within the coordinate range
// regions can hold. Nothing for anything else, and for a mask of no rectangles (which would make
// the window vanish).
std::optional<std::vector<MaskRect>> read_mask_file(std::span<const uint8_t> file);

// Region data for the rectangles: the header (its bounds computed from the rectangles) followed by
// them, as the system's region functions take it.
std::vector<uint8_t> region_data(std::span<const MaskRect> rects);

}  // namespace tarpon::projector::layout
