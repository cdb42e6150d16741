// What the mouse and the keyboard on the player control do, by the interaction settings: passed to
// the movie, kept from it, dragging the main window, the main window's menu, or closing it. This
// part only decides; control_events.h acts on the decision.
//
// Messages and key codes are the Win32 values, named here so that this file needs no <windows.h>.
#pragma once

#include <cstdint>

#include "projector/appdata/settings_flags.h"

namespace tarpon::projector::input {

namespace msg {
constexpr uint32_t key_down = 0x0100;
constexpr uint32_t key_up = 0x0101;
constexpr uint32_t character = 0x0102;
constexpr uint32_t sys_key_down = 0x0104;
constexpr uint32_t sys_key_up = 0x0105;
constexpr uint32_t sys_character = 0x0106;
constexpr uint32_t mouse_move = 0x0200;
constexpr uint32_t left_down = 0x0201;
constexpr uint32_t left_up = 0x0202;
constexpr uint32_t left_double = 0x0203;
constexpr uint32_t right_down = 0x0204;
constexpr uint32_t right_up = 0x0205;
constexpr uint32_t right_double = 0x0206;
}  // namespace msg

constexpr uint32_t escape_key = 0x1B;

// The modifier bits of the hot key (settings field 27).
namespace modifier = appdata::hot_key_modifier;

// The settings fields read here (21-24, 26, 27).
struct InputSettings {
    uint32_t left_button = 0;   // 0 to the movie, 1 drags the window, 2 kept from the movie
    uint32_t right_button = 0;  // 0 to the movie, 1 the main window's menu, 2 kept from the movie
    uint32_t key_flags = 0;     // 0x10: key presses are kept from the movie
    uint32_t exit_keys = 0;     // 0x1 Escape closes, 0x10 the hot key closes
    uint16_t hot_key = 0;       // a virtual-key code
    uint16_t hot_key_modifiers = 0;
};

// What the situation is when the message comes.
struct InputState {
    bool dragging = false;             // a drag has started and not ended
    bool left_held = false;            // the left button is down (the move's key state)
    bool control_has_capture = false;  // the control holds the mouse capture for itself
    uint16_t modifiers_down = 0;       // of the modifier bits above
};

enum class Action {
    Pass,       // the movie gets the message
    Swallow,    // the movie does not get it
    DragStart,  // record the cursor and window rectangle; the movie gets it
    DragMove,   // move the window by the cursor's travel; the movie gets it
    DragEnd,    // the movie gets it
    Menu,       // the main window's menu at the cursor; the movie does not get it
    Close,      // the main window closes; the movie does not get it
};

// `key` is the message's virtual-key code (its wParam) for key messages.
Action decide(uint32_t message, uint32_t key, const InputSettings& settings, const InputState& state);

// Whether the movie still gets the message after the action.
constexpr bool reaches_movie(Action action) {
    return action == Action::Pass || action == Action::DragStart || action == Action::DragMove ||
           action == Action::DragEnd;
}

}  // namespace tarpon::projector::input
