#include "projector/window/window_menus.h"

#include "projector/app/resource_ids.h"
#include "projector/window/main_window.h"

namespace tarpon::projector {

void show_system_menu_popup(MainWindow& window, POINT screen_point) {
    HWND main = window.handle();
    HMENU menu = GetSystemMenu(main, FALSE);
    if (menu == nullptr) {
        return;
    }
    // The menu closes properly only when its owner is in the foreground.
    SetForegroundWindow(main);
    const UINT choice = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                         screen_point.x, screen_point.y, 0, main, nullptr));
    PostMessageA(main, WM_NULL, 0, 0);
    if (choice == 0) {
        return;
    }
    if (choice >= TARPON_CMD_REWIND && choice <= TARPON_CMD_ONE_TO_ONE) {
        if (HWND player = window.player().window()) {
            PostMessageA(player, WM_COMMAND, choice, 0);
        }
        return;
    }
    PostMessageA(main, WM_SYSCOMMAND, choice, 0);
}

}  // namespace tarpon::projector
