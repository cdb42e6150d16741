// The control's child window: double-buffered painting, the frame timer, the queued run of the
// movie's actions, mouse input for buttons and the player menu.
#include "player/control/player_control.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <exception>

namespace tarpon::player {

namespace {

const wchar_t window_class_name[] = L"TarponPlayerControl";
constexpr UINT_PTR frame_timer = 1;
// Posted to the window to run the movie's queued actions outside the container's call.
constexpr UINT message_run_actions = WM_APP + 0x2A1;

// Frame timer bounds: movies that give no usable rate play at 12 frames per second.
constexpr double default_frame_rate = 12;
constexpr UINT min_interval_ms = 10;
constexpr UINT max_interval_ms = 60000;

bool ensure_window_class() {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(module_instance(), window_class_name, &existing)) {
        return true;
    }
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = PlayerControl::window_procedure;
    window_class.hInstance = module_instance();
    window_class.lpszClassName = window_class_name;
    return RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

void unregister_control_window_class() { UnregisterClassW(window_class_name, module_instance()); }

LRESULT CALLBACK PlayerControl::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        auto* control = static_cast<PlayerControl*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
        control->m_window = window;
    }
    auto* control = reinterpret_cast<PlayerControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (control == nullptr) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    // Whatever a container does in an event fired from here, the control lives until the message
    // is handled; nothing thrown in the player crosses into the system.
    ControlHold hold(static_cast<IShockwaveFlash*>(control));
    try {
        return control->handle_message(message, wparam, lparam);
    } catch (const std::exception&) {
        return 0;
    }
}

LRESULT PlayerControl::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND window = m_window;
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_PRINTCLIENT: {
        RECT client{};
        GetClientRect(window, &client);
        if (m_buffer.resize(client.right, client.bottom)) {
            draw_frame(m_buffer, background_override());
            BitBlt(reinterpret_cast<HDC>(wparam), 0, 0, client.right, client.bottom, m_buffer.dc(), 0, 0,
                   SRCCOPY);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        invalidate();
        return 0;
    case WM_TIMER:
        if (wparam == frame_timer) {
            run_actions(true);
        }
        return 0;
    case message_run_actions:
        m_actions_posted = false;
        run_actions(false);
        return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
        on_pointer(message, lparam);
        return 0;
    case WM_CAPTURECHANGED:
        m_pointer_down = false;
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lparam) == HTCLIENT) {
            SetCursor(LoadCursorA(nullptr, m_over_button ? IDC_HAND : IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_CONTEXTMENU:
        if (m_menu) {
            POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            if (at.x == -1 && at.y == -1) { // from the keyboard: the middle of the window
                RECT client{};
                GetClientRect(window, &client);
                at = {client.right / 2, client.bottom / 2};
                ClientToScreen(window, &at);
            }
            show_player_menu(at);
        }
        return 0;
    case WM_COMMAND:
        if (lparam == 0 && HIWORD(wparam) == 0) {
            run_player_command(LOWORD(wparam));
            return 0;
        }
        break;
    case WM_DESTROY:
        KillTimer(window, frame_timer);
        m_timer_interval = 0;
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        m_window = nullptr;
        m_buffer.reset();
        m_actions_posted = false;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

bool PlayerControl::create_window(HWND parent, const RECT& position) {
    if (!ensure_window_class()) {
        return false;
    }
    const int width = std::max<LONG>(0, position.right - position.left);
    const int height = std::max<LONG>(0, position.bottom - position.top);
    HWND window = CreateWindowExW(0, window_class_name, L"", WS_CHILD | WS_CLIPSIBLINGS, position.left,
                                  position.top, width, height, parent, nullptr, module_instance(), this);
    if (window == nullptr) {
        m_window = nullptr;
        return false;
    }
    update_timer();
    if (m_player.loaded()) {
        schedule_actions();
    }
    return true;
}

void PlayerControl::destroy_window() {
    if (m_window == nullptr) {
        return;
    }
    HWND window = m_window;
    KillTimer(window, frame_timer);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    m_window = nullptr;
    m_timer_interval = 0;
    m_actions_posted = false;
    m_pointer_down = false;
    m_buffer.reset();
    DestroyWindow(window);
}

void PlayerControl::paint() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_window, &paint);
    RECT client{};
    GetClientRect(m_window, &client);
    if (dc != nullptr && m_buffer.resize(client.right, client.bottom)) {
        draw_frame(m_buffer, background_override());
        BitBlt(dc, 0, 0, client.right, client.bottom, m_buffer.dc(), 0, 0, SRCCOPY);
    }
    EndPaint(m_window, &paint);
}

void PlayerControl::invalidate() {
    if (m_window != nullptr) {
        InvalidateRect(m_window, nullptr, FALSE);
    }
}

void PlayerControl::update_timer() {
    UINT interval = 0;
    if (m_window != nullptr && m_player.loaded()) {
        double rate = m_player.frame_rate();
        if (!(rate > 0) || !std::isfinite(rate)) {
            rate = default_frame_rate;
        }
        interval = static_cast<UINT>(
            std::clamp(std::lround(1000.0 / rate), long(min_interval_ms), long(max_interval_ms)));
    }
    if (interval == m_timer_interval) {
        return;
    }
    m_timer_interval = interval;
    if (m_window == nullptr) {
        return;
    }
    if (interval == 0) {
        KillTimer(m_window, frame_timer);
    } else {
        SetTimer(m_window, frame_timer, interval, nullptr);
    }
}

void PlayerControl::schedule_actions() {
    if (m_window != nullptr && !m_actions_posted && m_player.loaded()) {
        m_actions_posted = PostMessageW(m_window, message_run_actions, 0, 0) != FALSE;
    }
}

void PlayerControl::run_actions(bool tick) {
    if (!m_player.loaded()) {
        return;
    }
    ControlHold hold(static_cast<IShockwaveFlash*>(this));
    ++m_action_depth;
    try {
        if (tick) {
            m_player.tick();
        } else {
            m_player.run_actions();
        }
    } catch (...) {
        --m_action_depth;
        throw;
    }
    --m_action_depth;
    if (m_action_depth == 0 && m_pending_movie) {
        std::wstring location = std::move(*m_pending_movie);
        m_pending_movie.reset();
        load_movie(location);
    }
    invalidate();
}

void PlayerControl::on_pointer(UINT message, LPARAM lparam) {
    if (!m_player.loaded()) {
        return;
    }
    RECT client{};
    GetClientRect(m_window, &client);
    const swf::Matrix view = view_for(client.right, client.bottom);
    const bool over = m_player.pointer_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), view);
    if (over != m_over_button) {
        m_over_button = over;
        SetCursor(LoadCursorA(nullptr, over ? IDC_HAND : IDC_ARROW));
    }
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
        // Only a press on a button needs its release wherever the pointer goes; a press elsewhere
        // leaves the mouse to the container (which may drag its window with it).
        if (over) {
            SetCapture(m_window);
            m_pointer_down = true;
        }
        m_player.pointer_down();
    } else if (message == WM_LBUTTONUP) {
        m_player.pointer_up();
        if (m_pointer_down) {
            m_pointer_down = false;
            ReleaseCapture();
        }
    }
    run_actions(false);
}

} // namespace tarpon::player
