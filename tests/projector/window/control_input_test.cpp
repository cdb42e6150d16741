#include "projector/window/control_input.h"

#include <gtest/gtest.h>

namespace tarpon::projector::input {
namespace {

constexpr uint32_t left_messages[] = {msg::left_down, msg::left_up, msg::left_double, msg::mouse_move};
constexpr uint32_t right_messages[] = {msg::right_down, msg::right_up, msg::right_double};
constexpr uint32_t key_messages[] = {msg::key_down, msg::key_up,     msg::character,
                                     msg::sys_key_down, msg::sys_key_up, msg::sys_character};

TEST(ControlInput, DefaultsPassEverythingToTheMovie) {
    const InputSettings settings;
    InputState state;
    state.left_held = true;
    for (uint32_t m : left_messages) EXPECT_EQ(decide(m, 0, settings, state), Action::Pass) << m;
    for (uint32_t m : right_messages) EXPECT_EQ(decide(m, 0, settings, state), Action::Pass) << m;
    for (uint32_t m : key_messages) EXPECT_EQ(decide(m, escape_key, settings, state), Action::Pass) << m;
}

TEST(ControlInput, LeftButtonDragsTheWindowWhileTheMovieStillSeesIt) {
    InputSettings settings;
    settings.left_button = 1;
    InputState idle;
    EXPECT_EQ(decide(msg::left_down, 0, settings, idle), Action::DragStart);
    EXPECT_EQ(decide(msg::left_double, 0, settings, idle), Action::DragStart);
    // No drag going on: moves and a stray release are the movie's.
    EXPECT_EQ(decide(msg::mouse_move, 0, settings, idle), Action::Pass);
    EXPECT_EQ(decide(msg::left_up, 0, settings, idle), Action::Pass);

    InputState dragging;
    dragging.dragging = true;
    dragging.left_held = true;
    EXPECT_EQ(decide(msg::mouse_move, 0, settings, dragging), Action::DragMove);
    EXPECT_EQ(decide(msg::left_up, 0, settings, dragging), Action::DragEnd);
    // The button let go elsewhere, or the control took the capture for a button of the movie.
    InputState released = dragging;
    released.left_held = false;
    EXPECT_EQ(decide(msg::mouse_move, 0, settings, released), Action::Pass);
    InputState captured = dragging;
    captured.control_has_capture = true;
    EXPECT_EQ(decide(msg::mouse_move, 0, settings, captured), Action::Pass);

    for (Action a : {Action::DragStart, Action::DragMove, Action::DragEnd}) EXPECT_TRUE(reaches_movie(a));
    // The right button and the keys are not affected.
    EXPECT_EQ(decide(msg::right_down, 0, settings, dragging), Action::Pass);
    EXPECT_EQ(decide(msg::key_down, 'A', settings, dragging), Action::Pass);
}

TEST(ControlInput, ButtonsKeptFromTheMovieOrOpeningTheMenu) {
    InputSettings settings;
    settings.left_button = 2;
    settings.right_button = 2;
    InputState state;
    state.dragging = state.left_held = true;
    for (uint32_t m : left_messages) EXPECT_EQ(decide(m, 0, settings, state), Action::Swallow) << m;
    for (uint32_t m : right_messages) EXPECT_EQ(decide(m, 0, settings, state), Action::Swallow) << m;

    settings.right_button = 1;
    EXPECT_EQ(decide(msg::right_down, 0, settings, state), Action::Menu);
    EXPECT_FALSE(reaches_movie(Action::Menu));
    EXPECT_EQ(decide(msg::right_up, 0, settings, state), Action::Swallow);
    EXPECT_EQ(decide(msg::right_double, 0, settings, state), Action::Swallow);
    // Unknown settings behave as the default.
    settings.left_button = settings.right_button = 7;
    EXPECT_EQ(decide(msg::left_down, 0, settings, state), Action::Pass);
    EXPECT_EQ(decide(msg::right_down, 0, settings, state), Action::Pass);
}

TEST(ControlInput, KeysKeptFromTheMovieAndExitKeysOnRelease) {
    InputSettings settings;
    settings.key_flags = 0x10;
    const InputState state;
    for (uint32_t m : key_messages) EXPECT_EQ(decide(m, 'A', settings, state), Action::Swallow) << m;
    // Escape closes only with its bit, and only on the release (system variant included).
    EXPECT_EQ(decide(msg::key_up, escape_key, settings, state), Action::Swallow);
    settings.exit_keys = 0x1;
    settings.key_flags = 0;
    EXPECT_EQ(decide(msg::key_down, escape_key, settings, state), Action::Pass);
    EXPECT_EQ(decide(msg::key_up, escape_key, settings, state), Action::Close);
    EXPECT_EQ(decide(msg::sys_key_up, escape_key, settings, state), Action::Close);
    EXPECT_FALSE(reaches_movie(Action::Close));
}

TEST(ControlInput, HotKeyNeedsItsModifiersAndNoOthersAreExamined) {
    InputSettings settings;
    settings.exit_keys = 0x10;
    settings.hot_key = 0x74;  // F5
    settings.hot_key_modifiers = modifier::control | modifier::shift;
    InputState state;
    EXPECT_EQ(decide(msg::key_up, 0x74, settings, state), Action::Pass);
    state.modifiers_down = modifier::control;
    EXPECT_EQ(decide(msg::key_up, 0x74, settings, state), Action::Pass);
    state.modifiers_down = modifier::control | modifier::shift;
    EXPECT_EQ(decide(msg::key_down, 0x74, settings, state), Action::Pass);
    EXPECT_EQ(decide(msg::key_up, 0x74, settings, state), Action::Close);
    EXPECT_EQ(decide(msg::key_up, 0x75, settings, state), Action::Pass);
    state.modifiers_down = modifier::control | modifier::shift | modifier::alt;
    EXPECT_EQ(decide(msg::sys_key_up, 0x74, settings, state), Action::Close);
    // Escape needs its own bit; the hot key needs its bit too.
    EXPECT_EQ(decide(msg::key_up, escape_key, settings, state), Action::Pass);
    settings.exit_keys = 0x1;
    EXPECT_EQ(decide(msg::key_up, 0x74, settings, state), Action::Pass);
    // Without a key set, no release closes.
    settings.exit_keys = 0x10;
    settings.hot_key = 0;
    settings.hot_key_modifiers = 0;
    EXPECT_EQ(decide(msg::key_up, 0, settings, state), Action::Pass);
}

}  // namespace
}  // namespace tarpon::projector::input
