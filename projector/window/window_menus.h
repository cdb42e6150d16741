// The main window's menus: the player pop-up and its commands, the system menu's state and
// commands, and the tray icon's menu.
#pragma once

#include "platform/windows.h"

namespace tarpon::projector {

class MainWindow;

// The main window's system menu as a pop-up at `screen_point` (the right button on the control):
// a chosen player command goes to the player host, any other choice to the main window as a system
// command.
void show_system_menu_popup(MainWindow& window, POINT screen_point);

}  // namespace tarpon::projector
