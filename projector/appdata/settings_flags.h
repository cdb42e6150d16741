// The meanings of the settings record's flag and choice fields (settings.h) that are not part of
// the window's frame: the frame flags and caption buttons (fields 9 and 10) are named with the
// frame style they make, in projector/window/window_layout.h.
#pragma once

#include <cstdint>

namespace tarpon::appdata {

// Field 8.
namespace shape_mode {
constexpr uint32_t plain = 0;
constexpr uint32_t transparent_background = 1;
constexpr uint32_t mask = 2;
constexpr uint32_t double_drawing = 3;  // set by scripts only
}  // namespace shape_mode

// Field 11: the projector's own codes, not the control's ScaleMode numbers.
namespace scale_mode {
constexpr uint32_t show_all = 0x1;
constexpr uint32_t no_border = 0x2;
constexpr uint32_t no_scale = 0x10;
constexpr uint32_t exact_fit = 0x100;
}  // namespace scale_mode

// Field 14.
namespace size_mode {
constexpr uint32_t movie = 0;
constexpr uint32_t full_screen = 1;
constexpr uint32_t maximized = 2;
constexpr uint32_t custom = 3;
constexpr uint32_t percentage = 4;
}  // namespace size_mode

// Field 17: 0-8 the corners, edges and centre of the screen, then the two custom ones.
namespace position {
constexpr uint32_t count = 11;
constexpr uint32_t custom_absolute = 9;
constexpr uint32_t custom_relative = 10;
}  // namespace position

// Fields 21 and 22.
namespace mouse_button {
constexpr uint32_t to_movie = 0;
constexpr uint32_t projector = 1;  // left: drags the window; right: the projector's menu
constexpr uint32_t ignored = 2;
}  // namespace mouse_button

// Field 23.
namespace key_flag {
constexpr uint32_t keep_from_movie = 0x10;
}  // namespace key_flag

// Field 24.
namespace exit_key {
constexpr uint32_t escape = 0x1;
constexpr uint32_t hot_key = 0x10;
}  // namespace exit_key

// Field 25.
namespace kiosk {
constexpr uint32_t block_task_switching = 0x1;
constexpr uint32_t hide_cursor = 0x10;
constexpr uint32_t no_screen_saver = 0x100;
}  // namespace kiosk

// Field 27.
namespace hot_key_modifier {
constexpr uint16_t shift = 0x1;
constexpr uint16_t control = 0x2;
constexpr uint16_t alt = 0x4;
}  // namespace hot_key_modifier

// Field 28: what the system menu and the tray menu gain.
namespace menu_addition {
constexpr uint32_t options = 0x1;
constexpr uint32_t player_menu = 0x10;
constexpr uint32_t about = 0x100;
constexpr uint32_t help = 0x1000;
}  // namespace menu_addition

// Field 29.
namespace window_flag {
constexpr uint32_t start_playing = 0x1;
constexpr uint32_t application_tray_icon = 0x2;
constexpr uint32_t start_minimized = 0x10;
constexpr uint32_t always_on_top = 0x100;
constexpr uint32_t tray_icon = 0x1000;
}  // namespace window_flag

// Field 30.
namespace misc_flag {
constexpr uint32_t custom_background = 0x1;
constexpr uint32_t about_as_splash = 0x10;  // offered by the options sheet, no action taken
constexpr uint32_t mute = 0x100;
constexpr uint32_t help_file = 0x1000;
}  // namespace misc_flag

}  // namespace tarpon::appdata
