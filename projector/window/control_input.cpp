#include "projector/window/control_input.h"

namespace tarpon::projector::input {

namespace {

Action left_button(uint32_t message, const InputSettings& settings, const InputState& state) {
    switch (settings.left_button) {
    case appdata::mouse_button::projector:
        switch (message) {
        case msg::left_down:
        case msg::left_double:
            return Action::DragStart;
        case msg::left_up:
            return state.dragging ? Action::DragEnd : Action::Pass;
        default:
            // While the control holds the capture the press is the movie's (a button of it).
            return state.dragging && state.left_held && !state.control_has_capture ? Action::DragMove : Action::Pass;
        }
    case appdata::mouse_button::ignored:
        return Action::Swallow;
    default:
        return Action::Pass;
    }
}

Action right_button(uint32_t message, const InputSettings& settings) {
    switch (settings.right_button) {
    case appdata::mouse_button::projector:
        return message == msg::right_down ? Action::Menu : Action::Swallow;
    case appdata::mouse_button::ignored:
        return Action::Swallow;
    default:
        return Action::Pass;
    }
}

Action keyboard(uint32_t message, uint32_t key, const InputSettings& settings, const InputState& state) {
    if (message == msg::key_up || message == msg::sys_key_up) {
        if ((settings.exit_keys & appdata::exit_key::escape) != 0 && key == escape_key) {
            return Action::Close;
        }
        const uint16_t required = settings.hot_key_modifiers & (modifier::shift | modifier::control | modifier::alt);
        const bool hot_key_closes = (settings.exit_keys & appdata::exit_key::hot_key) != 0;
        if (hot_key_closes && settings.hot_key != 0 && key == settings.hot_key &&
            (state.modifiers_down & required) == required) {
            return Action::Close;
        }
    }
    return (settings.key_flags & appdata::key_flag::keep_from_movie) != 0 ? Action::Swallow : Action::Pass;
}

}  // namespace

Action decide(uint32_t message, uint32_t key, const InputSettings& settings, const InputState& state) {
    switch (message) {
    case msg::mouse_move:
    case msg::left_down:
    case msg::left_up:
    case msg::left_double:
        return left_button(message, settings, state);
    case msg::right_down:
    case msg::right_up:
    case msg::right_double:
        return right_button(message, settings);
    case msg::key_down:
    case msg::key_up:
    case msg::character:
    case msg::sys_key_down:
    case msg::sys_key_up:
    case msg::sys_character:
        return keyboard(message, key, settings, state);
    default:
        return Action::Pass;
    }
}

}  // namespace tarpon::projector::input
