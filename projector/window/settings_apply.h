// Applying the settings record to the main window: the steps start-up, the open-movie command and
// a confirmed options sheet share, and the whole round after the options sheet.
#pragma once

namespace tarpon::projector {

class MainWindow;

// Places the window for the movie now in the control: its frame size when it was measured at
// loading, else the window's current size, by the size mode and position.
void place_for_current_movie(MainWindow& window);
// The shape for the movie now in the control: a mask mapped by the control's ScaleMode, or a
// transparent shape built again by a full repaint.
void shape_for_current_movie(MainWindow& window);
// Records the client area's width / height for keeping the ratio.
void record_aspect_ratio(MainWindow& window);

// Style, placement for the current movie, shape, kiosk (undone, then applied), placement flags
// (showing the window), the system menu, the help file, the background colour and mute, in that
// order; then the ratio is recorded again and the tray icon added or removed by window flag 0x1000.
void reapply_settings(MainWindow& window);

}  // namespace tarpon::projector
