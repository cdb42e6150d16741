// How the settings record turns into the main window's frame style, size, position, shape and
// placement flags. The computations are portable (window_layout.h); these apply them to a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/windows.h"
#include "projector/appdata/settings.h"

namespace tarpon::projector {

// Hides the window, removes its menu bar, changes its styles by the frame flags and caption
// buttons, sets the caption, and sends the scale-mode message (0x87D1) with field 11. Placement
// shows the window again.
void apply_style(HWND window, const appdata::Settings& settings);

// Sizes and places the window for the movie by the size mode and position, and shows it as the
// size mode says. `movie_frame` is the movie's frame size when the file exists and could be
// measured.
void place_window(HWND window, const appdata::Settings& settings, std::optional<SIZE> movie_frame);

// Shape mode 2: the region of the mask file <run folder><mask>.msk mapped onto the client area by
// the control's ScaleMode and the movie size; any other mode (or no such file) removes the region.
void apply_shape(HWND window, const appdata::Settings& settings, const std::string& run_folder, int scale_mode,
                 SIZE movie_size);

// Repaints the window and the control at once, so that a transparent shape (modes 1 and 3) is
// built again from the control's drawing.
void redraw_for_shape(HWND window);

// Window flag 0x10 minimizes; flag 0x100 makes the window top-most, else not top-most, keeping its
// rectangle; without redrawing at start-up (`show` false) or showing it (after the options sheet).
void apply_placement_flags(HWND window, uint32_t window_flags, bool show);

// At the end of a user's move or resize: the window's size changed so that the client area keeps
// `ratio` again (see layout::keep_ratio), `before` being the window rectangle when it began. A
// window whose size did not change, or no ratio, is left alone.
void keep_ratio_after_sizing(HWND window, const RECT& before, float ratio);

// Width / height of the window's client area.
float client_aspect_ratio(HWND window);

}  // namespace tarpon::projector
