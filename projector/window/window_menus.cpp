#include "projector/window/window_menus.h"

#include "projector/window/main_window.h"

namespace tarpon::projector {

void show_system_menu_popup(MainWindow&, POINT) {}

}  // namespace tarpon::projector
