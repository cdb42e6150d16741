// The main window's menus: the player pop-up and its commands, the system menu's additions, state
// and commands, the help file, and the tray icon with its menu.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/windows.h"

namespace tarpon::projector {

class MainWindow;
class PlayerHost;

// The main window's system menu as a pop-up at `screen_point` (the right button on the control):
// a chosen player command goes to the player host, any other choice to the main window as a system
// command.
void show_system_menu_popup(MainWindow& window, POINT screen_point);

// --- The player pop-up -------------------------------------------------------------------------

// Ids 20025-20046: the player pop-up's commands.
bool is_player_command(UINT id);
// Runs a player command on the control: the zoom steps, the scale modes, quality, play, loop and
// the frame steps; the player's own About command goes to the control's window unchanged. Other
// ids and a host without a control do nothing.
void run_player_command(PlayerHost& player, UINT id);
// Sets the checks of the player commands in `menu` (its sub-menus included) from the control, and
// enables Zoom Out only while the view is zoomed in.
void update_player_items(HMENU menu, PlayerHost& player);

// --- The system menu ---------------------------------------------------------------------------

// Cuts the system menu back to `base_count` items, dropping every earlier addition, then adds what
// `additions` (settings field 28) asks for after a separator: 0x10 a copy of the player pop-up,
// 0x1 the options sheet, 0x1000 help, 0x100 the About box (after a separator of its own unless it
// is the only one). The texts come from the projector's pop-up menu resource.
void build_system_menu(HWND window, uint32_t additions, int base_count);
// Enables "Restore" only when the window is maximized or minimized, "Size" only with frame flag
// 0x100, "Maximize" only with caption button 0x1 and without frame flag 0x1, "Minimize" only with
// caption button 0x10.
void update_system_menu_items(HMENU menu, HWND window, uint32_t frame_flags, uint32_t caption_buttons);

// --- Commands ----------------------------------------------------------------------------------

// WM_SYSCOMMAND: player commands, the options sheet, help and the About box are handled here, and
// the screen-saver command is refused while kiosk flag 0x100 is applied. False: default handling.
bool on_system_command(MainWindow& window, WPARAM command);
// WM_COMMAND from a menu: true when it was a player command (run on the player host).
bool on_menu_command(MainWindow& window, WPARAM wparam, LPARAM lparam);
// WM_INITMENUPOPUP: the system menu's state and the player items of whatever menu opens.
void on_init_menu_popup(MainWindow& window, HMENU menu, bool window_menu);

// How a help file is shown: a name ending in "chm" (any letter case) by the HTML-help viewer, any
// other name by the Windows help index, no name not at all.
enum class HelpViewer { none, html_help, win_help };
HelpViewer help_viewer_for(std::string_view name);
// Opens the application's help file over `owner`. A missing name or an HTML-help library that does
// not load does nothing.
void show_help(HWND owner, const std::string& name);

// --- The tray icon -----------------------------------------------------------------------------

// The tray menu's first item: show, restore or hide the window.
constexpr UINT tray_toggle_command = 32784;

// A hidden window is shown (restored when it was hidden minimized); a minimized one is restored;
// any other is minimized and hidden.
void toggle_visibility(HWND window);
// The tray menu for the window as it is now: "Show ", "Restore " or "Hide " and the caption (the
// default item), a separator, the additions of `additions` as the system menu has them and a
// separator after them, and "&Close". The caller destroys it.
HMENU build_tray_menu(HWND window, uint32_t additions, PlayerHost* player);
// The tray icon's notification (id 128 only): a double click toggles the window, a right-button
// release opens the tray menu at the cursor and carries out the choice.
void on_tray_notify(MainWindow& window, WPARAM id, LPARAM mouse_message);

}  // namespace tarpon::projector
