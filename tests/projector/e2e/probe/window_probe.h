// Looks at another program's windows from outside, and drives them as a person would: finds a
// top-level window by process, class and caption; reads its class, styles, rectangles, region,
// top-most state and caption; clicks, presses keys, asks it to close or ends the session; and takes
// screenshots into 32-bit pixel buffers that can be checked and saved as BMP files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows.h"

namespace tarpon::probe {

// What a window must match; empty texts and a zero process id match anything.
struct WindowQuery {
    DWORD process_id = 0;
    std::string process_name;  // the program's file name, such as "show.exe", ignoring letter case
    std::string class_name;  // compared whole, ignoring letter case
    std::string caption;     // compared whole, letter case counts
    bool visible_only = true;
};

struct WindowInfo {
    HWND handle = nullptr;
    DWORD process_id = 0;
    std::string process_name;  // the program's file name, such as "show.exe", ignoring letter case
    std::string class_name;
    std::string caption;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT window_rect{};   // screen coordinates
    RECT client_rect{};   // screen coordinates of the client area
    bool visible = false;
    bool enabled = false;
    bool minimized = false;
    bool maximized = false;
    bool topmost = false;
    bool has_region = false;
    std::vector<RECT> region;  // the window region's rectangles, window coordinates
};

// The first top-level window that matches, or null.
HWND find_window(const WindowQuery& query);
// Every top-level window that matches, in Z order.
std::vector<HWND> find_windows(const WindowQuery& query);
// Looks again every 50 ms until a window matches or `timeout_ms` has passed.
HWND wait_for_window(const WindowQuery& query, int timeout_ms);
// Waits until the window no longer exists; true when it went in time.
bool wait_until_gone(HWND window, int timeout_ms);

// Everything above about one window; the handle stays null when the window does not exist.
WindowInfo window_info(HWND window);
// The region's rectangles (window coordinates), or nothing when the window has no region.
std::optional<std::vector<RECT>> window_region(HWND window);
// One line per field, "name: value", as tarpon-probe prints it.
std::string describe(const WindowInfo& info);

// The deepest visible child under a point given in the window's client coordinates (the window
// itself when no child is there); `child_point` receives the point in that child's coordinates.
HWND child_at(HWND window, POINT client_point, POINT* child_point);

// The first descendant of `parent` with this class (ignoring letter case; empty for any) and
// caption (exact; empty for any), in the order EnumChildWindows gives.
HWND find_child(HWND parent, const std::string& class_name, const std::string& caption);
// Sets a window's text (an edit field's content) as typing it would leave it.
bool set_text(HWND window, const std::string& text);
// Posts WM_COMMAND with the command id, as a menu item, accelerator or dialog button sends it.
bool post_command(HWND window, UINT id);
// Posts WM_SYSCOMMAND with the command id, as a choice in the window's system menu sends it.
bool post_system_command(HWND window, UINT id);

// True when the notification area holds icon `id` of the window (the shell accepts a change of
// it, which it refuses for an icon it does not have).
bool tray_icon_present(HWND window, UINT id);

// A left click at client coordinates, posted to the window under the point as button-down and
// button-up messages (no real pointer moves, so other programs and the user are not disturbed).
bool click(HWND window, int x, int y);
// A left click through the system's input queue (SendInput): the pointer really moves there and
// the window must be in front.
bool click_with_input(HWND window, int x, int y);
// The same with the right button.
bool right_click_with_input(HWND window, int x, int y);
// A key press (down and up) posted to the window's focus child, or to the window.
bool press_key(HWND window, UINT virtual_key);
// A left-button drag through the system's input queue: the pointer goes to client coordinates
// (x, y), the button goes down, the pointer travels (dx, dy) in `steps` moves, and the button
// comes up. The window must be in front.
bool drag_with_input(HWND window, int x, int y, int dx, int dy, int steps = 8);
// Keys through the system's input queue, as a person presses a combination: each key goes down in
// order, then they come up in reverse order, so a key state read on the way sees the modifiers.
// The window is brought to the front first.
bool press_keys_with_input(HWND window, const std::vector<UINT>& virtual_keys);
// Posts WM_CLOSE.
bool request_close(HWND window);
// Sends WM_QUERYENDSESSION and then WM_ENDSESSION with the answer, as the system does when the
// user logs off. `agreed` receives the window's answer to the query.
bool end_session(HWND window, int timeout_ms, bool* agreed = nullptr);

// A 32-bit picture, rows top down, pixels 0x00RRGGBB.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // How many pixels of the rectangle (clipped to the picture) have this colour.
    size_t count(uint32_t rgb, RECT area) const;
    // Writes a 32-bit BMP file; false when it cannot be written.
    bool save_bmp(const std::string& path) const;
};

// The window as it is on the screen now (the screen's pixels under it, so it should be in front),
// the whole window or only its client area. Falls back to PrintWindow when the screen cannot be read.
std::optional<Image> screenshot(HWND window, bool client_only);

}  // namespace tarpon::probe
