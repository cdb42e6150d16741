#include "projector/window/main_window.h"

#include <string>

#include "host/ui/host_window.h"
#include "projector/app/projector_messages.h"
#include "projector/app/resource_ids.h"
#include "projector/app/system_changes.h"
#include "projector/appdata/file_system.h"
#include "projector/bridge/application_functions.h"
#include "projector/window/about_box.h"
#include "projector/window/options_sheet.h"
#include "projector/window/settings_apply.h"
#include "projector/window/window_rules.h"

namespace tarpon::projector {

namespace {

// The tray menu's first item: show, restore or hide the window.
constexpr UINT tray_toggle_command = 32784;
// The tray icon's notification id.
constexpr WPARAM tray_icon_id = 128;

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

void MainWindow::toggle_visibility() {
    HWND window = handle();
    if (!IsWindowVisible(window)) {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
    } else if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
    } else {
        ShowWindow(window, SW_MINIMIZE);
        ShowWindow(window, SW_HIDE);
    }
}

void MainWindow::show_tray_menu() {
    HWND window = handle();
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    std::string toggle = !IsWindowVisible(window) ? "Show " : IsIconic(window) ? "Restore " : "Hide ";
    toggle += caption;
    AppendMenuA(menu, MF_STRING, tray_toggle_command, toggle.c_str());
    SetMenuDefaultItem(menu, tray_toggle_command, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    // The close item's text comes from the tray menu resource.
    char close_text[64] = "&Close";
    if (HMENU resource = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resource_id::tray_menu))) {
        if (HMENU popup = GetSubMenu(resource, 0)) {
            GetMenuStringA(popup, resource_id::tray_close, close_text, sizeof close_text, MF_BYCOMMAND);
        }
        DestroyMenu(resource);
    }
    AppendMenuA(menu, MF_STRING, resource_id::tray_close, close_text);
    POINT cursor{};
    GetCursorPos(&cursor);
    // The menu closes properly only when its owner is in the foreground.
    SetForegroundWindow(window);
    UINT choice = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, cursor.x, cursor.y, 0, window, nullptr));
    DestroyMenu(menu);
    PostMessageA(window, WM_NULL, 0, 0);
    if (choice == resource_id::tray_close) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else if (choice == tray_toggle_command) {
        toggle_visibility();
    } else if (choice != 0) {
        PostMessageA(window, WM_SYSCOMMAND, choice, 0);
    }
}

void MainWindow::on_tray_notify(WPARAM id, LPARAM mouse_message) {
    if (id != tray_icon_id) {
        return;
    }
    switch (static_cast<UINT>(mouse_message)) {
    case WM_LBUTTONDBLCLK: toggle_visibility(); break;
    case WM_RBUTTONUP: show_tray_menu(); break;
    default: break;
    }
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
        if ((wparam & 0xFFF0) == SC_SCREENSAVE && screen_saver_blocked()) {
            return 0;
        }
        if (wparam == TARPON_CMD_OPTIONS) {
            if (run_options_sheet(handle(), m_state.settings)) {
                reapply_settings(*this);
            }
            return 0;
        }
        if (wparam == TARPON_CMD_ABOUT) {
            show_about_box(handle(), m_state);
            return 0;
        }
        break;
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
        on_tray_notify(wparam, lparam);
        return 0;
    case message::reshape:
        if (m_state.settings.shape_mode == 1 || m_state.settings.shape_mode == 3) {
            redraw_for_shape(handle());
        } else if (m_player.exists()) {
            int scale = 0;
            if (m_player.control()) {
                m_player.control()->get_ScaleMode(&scale);
            }
            apply_shape(handle(), m_state.settings, m_state.run_folder, scale,
                        SIZE{m_player.movie_width(), m_player.movie_height()});
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

namespace {

// The text of the item at `position`, or empty.
std::string menu_text(HMENU menu, int position) {
    char text[256] = {};
    int length = GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

// A copy of the menu with its sub-menus, separators and item states.
HMENU copy_menu(HMENU source, int depth = 0) {
    HMENU copy = CreatePopupMenu();
    if (copy == nullptr) {
        return nullptr;
    }
    int count = GetMenuItemCount(source);
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = sizeof text - 1;
        if (!GetMenuItemInfoA(source, static_cast<UINT>(i), TRUE, &item)) {
            continue;
        }
        if (item.hSubMenu != nullptr) {
            // Resource menus are shallow; the bound keeps a looping menu from recursing forever.
            item.hSubMenu = depth < 8 ? copy_menu(item.hSubMenu, depth + 1) : nullptr;
            if (item.hSubMenu == nullptr) {
                continue;
            }
        }
        if ((item.fType & MFT_SEPARATOR) != 0) {
            item.fMask &= ~static_cast<UINT>(MIIM_STRING);
        }
        InsertMenuItemA(copy, static_cast<UINT>(GetMenuItemCount(copy)), TRUE, &item);
    }
    return copy;
}

}  // namespace

void build_system_menu(HWND window, uint32_t additions, int base_count) {
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu == nullptr) {
        return;
    }
    for (int count = GetMenuItemCount(menu); count > base_count && count > 0; --count) {
        // A pop-up added before goes with its item.
        DeleteMenu(menu, static_cast<UINT>(count - 1), MF_BYPOSITION);
    }
    if (additions == 0) {
        return;
    }
    HMENU resource = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resource_id::popup_menu));
    HMENU items = resource != nullptr ? GetSubMenu(resource, 0) : nullptr;
    if (items == nullptr) {
        if (resource != nullptr) {
            DestroyMenu(resource);
        }
        return;
    }
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    if ((additions & 0x10) != 0) {
        if (HMENU player = GetSubMenu(items, 0)) {
            if (HMENU copy = copy_menu(player)) {
                AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(copy), menu_text(items, 0).c_str());
            }
        }
    }
    if ((additions & 0x1) != 0) {
        AppendMenuA(menu, MF_STRING, TARPON_CMD_OPTIONS, menu_text(items, 1).c_str());
    }
    if ((additions & 0x1000) != 0) {
        AppendMenuA(menu, MF_STRING, TARPON_CMD_HELP, menu_text(items, 4).c_str());
    }
    if ((additions & 0x100) != 0) {
        if (additions != 0x100) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        }
        AppendMenuA(menu, MF_STRING, TARPON_CMD_ABOUT, menu_text(items, 6).c_str());
    }
    DestroyMenu(resource);
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
