#include "projector/window/control_events.h"

#include "projector/app/projector_state.h"
#include "projector/window/control_input.h"
#include "projector/window/main_window.h"
#include "projector/window/window_menus.h"

namespace tarpon::projector {

namespace {

// The drag going on, shared by every window of the process: where the cursor and the window were
// when the button went down.
struct DragState {
    bool dragging = false;
    POINT cursor{};
    RECT window{};
};
DragState drag;

input::InputSettings input_settings(const appdata::Settings& settings) {
    input::InputSettings result;
    result.left_button = settings.left_button;
    result.right_button = settings.right_button;
    result.key_flags = settings.key_flags;
    result.exit_keys = settings.exit_keys;
    result.hot_key = settings.hot_key;
    result.hot_key_modifiers = settings.hot_key_modifiers;
    return result;
}

uint16_t modifiers_down() {
    uint16_t result = 0;
    if (GetKeyState(VK_SHIFT) < 0) result |= input::modifier::shift;
    if (GetKeyState(VK_CONTROL) < 0) result |= input::modifier::control;
    if (GetKeyState(VK_MENU) < 0) result |= input::modifier::alt;
    return result;
}

bool aimed_at(HWND control, HWND target) {
    return target != nullptr && (target == control || IsChild(control, target));
}

}  // namespace

bool handle_control_input(MainWindow& window, const MSG& message) {
    HWND control = window.player().window();
    if (control == nullptr || !aimed_at(control, message.hwnd)) {
        return false;
    }
    const bool mouse = message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST;
    const bool key = message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
    if (!mouse && !key) {
        return false;
    }
    input::InputState state;
    state.dragging = drag.dragging;
    state.left_held = mouse && (message.wParam & MK_LBUTTON) != 0;
    state.control_has_capture = aimed_at(control, GetCapture());
    state.modifiers_down = key ? modifiers_down() : 0;
    const input::Action action = input::decide(message.message, static_cast<uint32_t>(message.wParam),
                                               input_settings(projector_state().settings), state);
    HWND main = window.handle();
    switch (action) {
    case input::Action::DragStart:
        drag.dragging = true;
        GetCursorPos(&drag.cursor);
        GetWindowRect(main, &drag.window);
        break;
    case input::Action::DragMove: {
        POINT cursor{};
        GetCursorPos(&cursor);
        SetWindowPos(main, nullptr, drag.window.left + cursor.x - drag.cursor.x,
                     drag.window.top + cursor.y - drag.cursor.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    case input::Action::DragEnd:
        drag.dragging = false;
        break;
    case input::Action::Menu:
        show_system_menu_popup(window, message.pt);
        break;
    case input::Action::Close:
        window.close_routine();
        break;
    case input::Action::Pass:
    case input::Action::Swallow:
        break;
    }
    return !input::reaches_movie(action);
}

}  // namespace tarpon::projector
