// The main window: the projector's one top-level frame, filled by the player control. It owns the
// player host and the FSCommand bridge, answers the projector's private messages, and closes only
// through the close routine, which waits while a script runs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/windows.h"
#include "projector/app/frame_window.h"
#include "projector/app/projector_state.h"
#include "projector/bridge/bridge.h"
#include "projector/player_host/player_host.h"
#include "projector/window/transparent_shape.h"

namespace tarpon::projector {

// The main window's class name.
constexpr const char* main_window_class = "TarponMainWindow";
// Its frame style (the overlapped window) and extended style (a task-bar button).
constexpr DWORD main_window_style = 0x00CF0000;
constexpr DWORD main_window_ex_style = 0x00040000;

// The control's ScaleMode for the settings' scale-mode field: 1 show all (0), 2 no border (1),
// 0x10 no scale (3), 0x100 exact fit (2); nothing for any other value.
std::optional<int> control_scale_mode(uint32_t scale_field);
// A COLORREF (0x00BBGGRR) as the control's BackgroundColor (0x00RRGGBB).
int32_t control_background(uint32_t colorref);

class MainWindow : public FrameWindow, public BridgeActions {
public:
    explicit MainWindow(ProjectorState& state);
    ~MainWindow() override;

    // Registers the window class with the given class icon.
    static bool register_window_class(HINSTANCE instance);
    // Makes the main window (hidden) owned by `owner`. Making it makes the player control; when that
    // fails, `Initialize` has run already and false is returned.
    bool create_window(HINSTANCE instance, HWND owner);

    // Runs `Initialize` once; a second call answers the first one's result.
    bool run_initialize();
    bool initialize_ran() const { return m_initialize_result.has_value(); }

    PlayerHost& player() { return m_player; }
    Bridge* bridge() { return m_bridge.get(); }
    int system_menu_base() const { return m_system_menu_base; }

    // The close routine: put off while a script runs (the close message is posted again), else the
    // tray icon, the shape resources, the control and the engine go and the frame closes.
    void close_routine();

    // BridgeActions
    void close_main_window() override;
    void set_full_screen(bool full_screen) override;

protected:
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void window_gone() override;

private:
    bool on_create();
    void on_destroy();
    void shape_before_paint(const RECT* update);

    ProjectorState& m_state;
    PlayerHost m_player;
    TransparentShape m_shape;
    std::unique_ptr<Bridge> m_bridge;
    std::optional<bool> m_initialize_result;
    // The system menu's item count right after the control was made: the projector's additions
    // come after it.
    int m_system_menu_base = 0;
    // Set while the user moves or sizes the window, with its rectangle when that began.
    bool m_sizing = false;
    RECT m_rect_before_sizing{};
};

// Shuts down what a session end would leave changed: kiosk, task bar, cursor, mute and the run
// folder.
void undo_system_changes(ProjectorState& state);

}  // namespace tarpon::projector
