// Applying the settings record to the main window again once the options sheet was confirmed.
#pragma once

namespace tarpon::projector {

class MainWindow;

// Style, placement for the current movie, shape, kiosk (undone, then applied), placement flags
// (showing the window), the system menu, the help file, the background colour and mute, in that
// order; then the ratio is recorded again and the tray icon added or removed by window flag 0x1000.
void reapply_settings(MainWindow& window);

}  // namespace tarpon::projector
