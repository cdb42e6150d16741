#include "projector/window/main_window.h"

#include <string>

#include "host/ui/host_window.h"
#include "projector/app/projector_messages.h"
#include "projector/app/resource_ids.h"
#include "projector/app/system_changes.h"
#include "projector/appdata/file_system.h"
#include "projector/bridge/application_functions.h"
#include "projector/window/open_movie.h"
#include "projector/window/settings_apply.h"
#include "projector/window/window_menus.h"
#include "projector/window/window_rules.h"

namespace tarpon::projector {

namespace {

std::string application_title(const ProjectorState& state) {
    std::string name = state.exe_path;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name.empty() ? std::string("Tarpon") : name;
}

}  // namespace

std::optional<int> control_scale_mode(uint32_t scale_field) {
    switch (scale_field) {
    case 0x1: return 0;    // show all
    case 0x2: return 1;    // no border
    case 0x10: return 3;   // no scale
    case 0x100: return 2;  // exact fit
    default: return std::nullopt;
    }
}

int32_t control_background(uint32_t colorref) {
    uint32_t red = colorref & 0xFF;
    uint32_t green = (colorref >> 8) & 0xFF;
    uint32_t blue = (colorref >> 16) & 0xFF;
    return static_cast<int32_t>((red << 16) | (green << 8) | blue);
}

MainWindow::MainWindow(ProjectorState& state) : m_state(state), m_bridge(std::make_unique<Bridge>(state, *this)) {
    m_state.bridge = m_bridge.get();
}

MainWindow::~MainWindow() {
    if (m_state.bridge == m_bridge.get()) {
        m_state.bridge = nullptr;
    }
    if (m_state.player == &m_player) {
        m_state.player = nullptr;
    }
}

bool MainWindow::register_window_class(HINSTANCE instance) {
    return register_class(instance, main_window_class, 0, nullptr);
}

bool MainWindow::create_window(HINSTANCE instance, HWND owner) {
    return create(instance, main_window_class, "", main_window_style, main_window_ex_style, owner);
}

bool MainWindow::run_initialize() {
    if (!m_initialize_result) {
        m_initialize_result = m_bridge ? m_bridge->run_initialize() : true;
    }
    return *m_initialize_result;
}

bool MainWindow::on_create() {
    m_player.set_command_handler([this](std::string_view command, std::string_view arguments) {
        if (m_bridge) {
            m_bridge->command(command, arguments, m_state.movie_origin);
        }
    });
    m_player.set_paint_hook([this](const RECT* update) { shape_before_paint(update); });
    std::string module = provision_player();
    HRESULT status = m_player.create(handle(), player_control_id, module);
    if (FAILED(status) || !m_player.exists()) {
        // Without a player there is no presentation; Initialize still runs, and a false from it
        // means the script has told the user already.
        if (run_initialize()) {
            MessageBoxA(nullptr, text::player_failed, application_title(m_state).c_str(), MB_OK | MB_ICONEXCLAMATION);
        }
        return false;
    }
    m_state.player = &m_player;
    m_system_menu_base = GetMenuItemCount(GetSystemMenu(handle(), FALSE));
    if (m_system_menu_base < 0) {
        m_system_menu_base = 0;
    }
    SetFocus(m_player.window());
    return true;
}

void MainWindow::close_routine() {
    if (m_bridge && m_bridge->nesting() > 0) {
        // The engine must outlive the script that runs on it: try again once it has returned.
        m_state.close_pending = true;
        PostMessageA(handle(), WM_CLOSE, 0, 0);
        return;
    }
    m_state.close_pending = false;
    if (tray_icon_present()) {
        remove_tray_icon();
    }
    // The region goes with the window; the bitmaps the transparent shapes are drawn into do not.
    m_player.set_paint_hook(nullptr);
    m_shape.release();
    m_player.destroy();
    if (m_bridge) {
        m_bridge->command("Quill_Quit", "", MovieOrigin::Author);
    }
    DestroyWindow(handle());
}

void MainWindow::close_main_window() {
    close_routine();
}

void MainWindow::set_full_screen(bool full_screen) {
    ShowWindow(handle(), full_screen ? SW_SHOWMAXIMIZED : SW_RESTORE);
}

void MainWindow::on_destroy() {
    // The cache, the engine and the controls scripts made go with the window.
    m_bridge.reset();
    m_state.bridge = nullptr;
    destroy_script_controls();
    if (m_state.player == &m_player) {
        m_state.player = nullptr;
    }
    m_state.main_window = nullptr;
    host::set_host_main_window(nullptr);
    PostQuitMessage(0);
}

void MainWindow::window_gone() {}

void MainWindow::shape_before_paint(const RECT* update) {
    const int mode = static_cast<int>(m_state.settings.shape_mode);
    if (mode != 1 && mode != 3) {
        return;
    }
    platform::ComPtr<IViewObject> view = m_player.view_object();
    m_shape.reshape(handle(), mode, view.get(), m_player.control(), m_player.movie_background(), update);
}

LRESULT MainWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        return on_create() ? 0 : -1;
    case WM_SIZE:
        if (m_player.exists()) {
            RECT client{};
            GetClientRect(handle(), &client);
            m_player.resize(client);
        }
        // Made again at the new size by the next paint.
        m_shape.release();
        return 0;
    case WM_ENTERSIZEMOVE:
        m_sizing = true;
        GetWindowRect(handle(), &m_rect_before_sizing);
        break;
    case WM_EXITSIZEMOVE:
        if (m_sizing && m_state.settings.keep_aspect != 0) {
            keep_ratio_after_sizing(handle(), m_rect_before_sizing, m_state.client_aspect_ratio);
        }
        m_sizing = false;
        break;
    case WM_COMMAND:
        if (LOWORD(wparam) == resource_id::open_movie && m_state.open_movie_enabled) {
            open_movie(*this);
            return 0;
        }
        if (on_menu_command(*this, wparam, lparam)) {
            return 0;
        }
        break;
    case WM_SETFOCUS:
        if (m_player.exists()) {
            SetFocus(m_player.window());
            return 0;
        }
        break;
    case WM_CLOSE:
        close_routine();
        return 0;
    case WM_ENDSESSION:
        if (wparam) {
            undo_system_changes(m_state);
        }
        return 0;
    case WM_DESTROY:
        on_destroy();
        return 0;
    case WM_SYSCOMMAND:
        if (on_system_command(*this, wparam)) {
            return 0;
        }
        break;
    case WM_INITMENUPOPUP:
        // The system's own preparation of the window menu first, then the projector's rules.
        default_handling(message, wparam, lparam);
        on_init_menu_popup(*this, reinterpret_cast<HMENU>(wparam), HIWORD(lparam) != 0);
        return 0;
    case message::set_scale_mode:
        if (auto mode = control_scale_mode(static_cast<uint32_t>(lparam)); mode && m_player.control()) {
            m_player.control()->put_ScaleMode(*mode);
        }
        return 0;
    case message::set_background:
        if ((m_state.settings.misc_flags & 0x1) != 0 && m_player.control()) {
            m_player.control()->put_BackgroundColor(control_background(static_cast<uint32_t>(lparam)));
        }
        return 0;
    case message::tray_notify:
        on_tray_notify(*this, wparam, lparam);
        return 0;
    case message::reshape:
        if (m_player.exists()) {
            shape_for_current_movie(*this);
        }
        return 0;
    case message::close_request:
        close_routine();
        return 0;
    default:
        break;
    }
    return default_handling(message, wparam, lparam);
}

void undo_system_changes(ProjectorState& state) {
    undo_kiosk();
    restore_mute();
    if (!state.run_folder.empty()) {
        release_run_folder();
        appdata::remove_tree(state.run_folder);
    }
}

}  // namespace tarpon::projector
