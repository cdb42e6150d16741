#include "projector/window/window_menus.h"

#include <cctype>

#include "platform/com.h"
#include "platform/owners.h"
#include "projector/app/application.h"
#include "projector/app/projector_state.h"
#include "projector/app/resource_ids.h"
#include "projector/app/system_changes.h"
#include "projector/window/about_box.h"
#include "projector/window/main_window.h"
#include "projector/window/options_sheet.h"
#include "projector/window/settings_apply.h"

namespace tarpon::projector {

namespace {

struct MenuTraits {
    using type = HMENU;
    static HMENU none() { return nullptr; }
    static bool valid(HMENU h) { return h != nullptr; }
    static void close(HMENU h) { DestroyMenu(h); }
};
using Menu = platform::Owner<MenuTraits>;

// Each zoom step halves the part of the movie in view (Zoom takes the new view size in percent of
// the current one); stepping back to no zoom at all resets the view exactly.
constexpr int zoom_in_percent = 50;
constexpr int zoom_out_percent = 200;

// The Quality2 words of the quality commands, Low, Medium and High in id order.
constexpr const wchar_t* quality_words[] = {L"low", L"medium", L"high"};

constexpr UINT first_player_command = TARPON_CMD_REWIND;
constexpr UINT last_player_command = TARPON_CMD_ONE_TO_ONE;

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

// Where the About item gets a separator before it: in the system menu unless it is the only
// addition asked for, in the tray menu when anything came before it.
enum class AboutSeparator { unless_alone, after_items };

// Appends the additions of settings field 28 to `menu` with the texts of the pop-up resource's
// items: the player pop-up (0x10), the options sheet (0x1), help (0x1000), and the About box
// (0x100). True when anything was appended.
bool append_additions(HMENU menu, uint32_t additions, HMENU items, AboutSeparator rule) {
    bool appended = false;
    if ((additions & 0x10) != 0) {
        if (HMENU player = GetSubMenu(items, 0)) {
            if (HMENU copy = copy_menu(player)) {
                if (AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(copy), menu_text(items, 0).c_str())) {
                    appended = true;
                } else {
                    DestroyMenu(copy);
                }
            }
        }
    }
    if ((additions & 0x1) != 0) {
        appended |= AppendMenuA(menu, MF_STRING, TARPON_CMD_OPTIONS, menu_text(items, 1).c_str()) != FALSE;
    }
    if ((additions & 0x1000) != 0) {
        appended |= AppendMenuA(menu, MF_STRING, TARPON_CMD_HELP, menu_text(items, 4).c_str()) != FALSE;
    }
    if ((additions & 0x100) != 0) {
        if (rule == AboutSeparator::unless_alone ? additions != 0x100 : appended) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        }
        appended |= AppendMenuA(menu, MF_STRING, TARPON_CMD_ABOUT, menu_text(items, 6).c_str()) != FALSE;
    }
    return appended;
}

Menu load_menu(int id) {
    return Menu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
}

bool ascii_equal(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i] >= L'A' && a[i] <= L'Z' ? static_cast<wchar_t>(a[i] - L'A' + L'a') : a[i];
        wchar_t y = b[i] >= L'A' && b[i] <= L'Z' ? static_cast<wchar_t>(b[i] - L'A' + L'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::wstring_view text_of(const platform::Bstr& text) {
    return text.get() != nullptr ? std::wstring_view(text.get(), text.length()) : std::wstring_view();
}

void check(HMENU menu, UINT id, bool checked) {
    CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void enable(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void show_tray_menu(MainWindow& main) {
    HWND window = main.handle();
    Menu menu(build_tray_menu(window, projector_state().settings.menu_flags, &main.player()));
    if (!menu) {
        return;
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    // The menu closes properly only when its owner is in the foreground.
    SetForegroundWindow(window);
    UINT choice = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                   cursor.x, cursor.y, 0, window, nullptr));
    menu.reset();
    PostMessageA(window, WM_NULL, 0, 0);
    if (choice == resource_id::tray_close) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else if (choice == tray_toggle_command) {
        toggle_visibility(window);
    } else if (is_player_command(choice)) {
        run_player_command(main.player(), choice);
    } else if (choice != 0) {
        PostMessageA(window, WM_SYSCOMMAND, choice, 0);
    }
}

}  // namespace

void show_system_menu_popup(MainWindow& window, POINT screen_point) {
    HWND main = window.handle();
    HMENU menu = GetSystemMenu(main, FALSE);
    if (menu == nullptr) {
        return;
    }
    // The menu closes properly only when its owner is in the foreground.
    SetForegroundWindow(main);
    // Without TPM_NONOTIFY: the menu-state rules and the player checks are set as it opens.
    const UINT choice = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                         screen_point.x, screen_point.y, 0, main, nullptr));
    PostMessageA(main, WM_NULL, 0, 0);
    if (choice == 0) {
        return;
    }
    if (is_player_command(choice)) {
        run_player_command(window.player(), choice);
        return;
    }
    PostMessageA(main, WM_SYSCOMMAND, choice, 0);
}

bool is_player_command(UINT id) {
    return id >= first_player_command && id <= last_player_command;
}

void run_player_command(PlayerHost& player, UINT id) {
    tarpon::player::IShockwaveFlash* control = player.control();
    if (control == nullptr) {
        return;
    }
    switch (id) {
    case TARPON_CMD_ZOOM_IN:
        player.set_zoom_count(player.zoom_count() + 1);
        control->Zoom(zoom_in_percent);
        break;
    case TARPON_CMD_ZOOM_OUT:
        // Never further out than the whole movie: the item is disabled there.
        if (player.zoom_count() > 0) {
            player.set_zoom_count(player.zoom_count() - 1);
            control->Zoom(player.zoom_count() == 0 ? 0 : zoom_out_percent);
        }
        break;
    case TARPON_CMD_ONE_TO_ONE: control->put_ScaleMode(3); break;
    case TARPON_CMD_SHOW_ALL: control->put_ScaleMode(0); break;
    case TARPON_CMD_QUALITY_LOW:
    case TARPON_CMD_QUALITY_MEDIUM:
    case TARPON_CMD_QUALITY_HIGH: {
        const wchar_t* word = quality_words[id - TARPON_CMD_QUALITY_LOW];
        platform::Bstr now;
        if (FAILED(control->get_Quality2(now.put())) || !ascii_equal(text_of(now), word)) {
            platform::Bstr wanted(word);
            control->put_Quality2(wanted.get());
        }
        break;
    }
    case TARPON_CMD_PLAY: {
        VARIANT_BOOL playing = VARIANT_FALSE;
        control->get_Playing(&playing);
        if (playing != VARIANT_FALSE) {
            control->Stop();
        } else {
            control->Play();
        }
        break;
    }
    case TARPON_CMD_LOOP: {
        VARIANT_BOOL loop = VARIANT_FALSE;
        control->get_Loop(&loop);
        control->put_Loop(loop != VARIANT_FALSE ? VARIANT_FALSE : VARIANT_TRUE);
        break;
    }
    case TARPON_CMD_REWIND: control->Rewind(); break;
    case TARPON_CMD_FORWARD: control->Forward(); break;
    case TARPON_CMD_BACK: control->Back(); break;
    case TARPON_CMD_ABOUT_PLAYER:
        if (HWND window = player.window()) {
            SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        }
        break;
    default: break;
    }
}

void update_player_items(HMENU menu, PlayerHost& player) {
    enable(menu, TARPON_CMD_ZOOM_OUT, player.zoom_count() > 0);
    tarpon::player::IShockwaveFlash* control = player.control();
    if (control == nullptr) {
        return;
    }
    int scale_mode = -1;
    control->get_ScaleMode(&scale_mode);
    check(menu, TARPON_CMD_ONE_TO_ONE, scale_mode == 3);
    check(menu, TARPON_CMD_SHOW_ALL, scale_mode == 0);

    platform::Bstr quality;
    control->get_Quality2(quality.put());
    for (UINT id = TARPON_CMD_QUALITY_LOW; id <= TARPON_CMD_QUALITY_HIGH; ++id) {
        check(menu, id, ascii_equal(text_of(quality), quality_words[id - TARPON_CMD_QUALITY_LOW]));
    }

    VARIANT_BOOL playing = VARIANT_FALSE;
    control->get_Playing(&playing);
    platform::Bstr movie;
    control->get_Movie(movie.put());
    check(menu, TARPON_CMD_PLAY, playing != VARIANT_FALSE && movie.length() > 0);

    VARIANT_BOOL loop = VARIANT_FALSE;
    control->get_Loop(&loop);
    check(menu, TARPON_CMD_LOOP, loop != VARIANT_FALSE);
}

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
    Menu resource = load_menu(resource_id::popup_menu);
    HMENU items = resource ? GetSubMenu(resource.get(), 0) : nullptr;
    if (items == nullptr) {
        return;
    }
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    append_additions(menu, additions, items, AboutSeparator::unless_alone);
}

void update_system_menu_items(HMENU menu, HWND window, uint32_t frame_flags, uint32_t caption_buttons) {
    // A minimized window can be restored as well: without it the menu would offer no way back.
    enable(menu, SC_RESTORE, IsZoomed(window) || IsIconic(window));
    enable(menu, SC_SIZE, (frame_flags & 0x100) != 0);
    enable(menu, SC_MAXIMIZE, (caption_buttons & 0x1) != 0 && (frame_flags & 0x1) == 0);
    enable(menu, SC_MINIMIZE, (caption_buttons & 0x10) != 0);
}

bool on_system_command(MainWindow& window, WPARAM command) {
    if ((command & 0xFFF0) == SC_SCREENSAVE) {
        return screen_saver_blocked();
    }
    UINT id = static_cast<UINT>(command);
    if (is_player_command(id)) {
        run_player_command(window.player(), id);
        return true;
    }
    switch (id) {
    case TARPON_CMD_OPTIONS:
        if (run_options_sheet(window.handle(), projector_state().settings)) {
            reapply_settings(window);
        }
        return true;
    case TARPON_CMD_HELP:
        if (Application* application = Application::current()) {
            show_help(window.handle(), application->help_file());
        }
        return true;
    case TARPON_CMD_ABOUT:
        show_about_box(window.handle(), projector_state());
        return true;
    default:
        return false;
    }
}

bool on_menu_command(MainWindow& window, WPARAM wparam, LPARAM lparam) {
    // From a menu: no control, notification code 0.
    UINT id = LOWORD(wparam);
    if (lparam != 0 || HIWORD(wparam) != 0 || !is_player_command(id)) {
        return false;
    }
    run_player_command(window.player(), id);
    return true;
}

void on_init_menu_popup(MainWindow& window, HMENU menu, bool window_menu) {
    if (menu == nullptr) {
        return;
    }
    if (window_menu || menu == GetSystemMenu(window.handle(), FALSE)) {
        const appdata::Settings& settings = projector_state().settings;
        update_system_menu_items(menu, window.handle(), settings.frame_flags, settings.caption_buttons);
    }
    update_player_items(menu, window.player());
}

HelpViewer help_viewer_for(std::string_view name) {
    if (name.empty()) {
        return HelpViewer::none;
    }
    if (name.size() >= 3) {
        std::string_view end = name.substr(name.size() - 3);
        bool chm = true;
        for (size_t i = 0; i < 3; ++i) {
            chm = chm && std::tolower(static_cast<unsigned char>(end[i])) == "chm"[i];
        }
        if (chm) {
            return HelpViewer::html_help;
        }
    }
    return HelpViewer::win_help;
}

void show_help(HWND owner, const std::string& name) {
    switch (help_viewer_for(name)) {
    case HelpViewer::none: break;
    case HelpViewer::html_help: {
        Application* application = Application::current();
        HMODULE library = application != nullptr ? application->html_help_library() : nullptr;
        if (library == nullptr) {
            break;
        }
        using HtmlHelp = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
        auto html_help = reinterpret_cast<HtmlHelp>(reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpA")));
        if (html_help != nullptr) {
            constexpr UINT display_topic = 0;  // HH_DISPLAY_TOPIC: the file's default topic
            html_help(owner, name.c_str(), display_topic, 0);
        }
        break;
    }
    case HelpViewer::win_help: WinHelpA(owner, name.c_str(), HELP_INDEX, 0); break;
    }
}

void toggle_visibility(HWND window) {
    if (!IsWindowVisible(window)) {
        // Hidden by the toggle, the window was minimized first: bring it back whole.
        ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
        SetForegroundWindow(window);
    } else if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
    } else {
        ShowWindow(window, SW_MINIMIZE);
        ShowWindow(window, SW_HIDE);
    }
}

HMENU build_tray_menu(HWND window, uint32_t additions, PlayerHost* player) {
    Menu menu(CreatePopupMenu());
    if (!menu) {
        return nullptr;
    }
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    std::string toggle = !IsWindowVisible(window) ? "Show " : IsIconic(window) ? "Restore " : "Hide ";
    toggle += caption;
    AppendMenuA(menu.get(), MF_STRING, tray_toggle_command, toggle.c_str());
    SetMenuDefaultItem(menu.get(), tray_toggle_command, FALSE);
    AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);

    if (additions != 0) {
        Menu resource = load_menu(resource_id::popup_menu);
        HMENU items = resource ? GetSubMenu(resource.get(), 0) : nullptr;
        if (items != nullptr && append_additions(menu.get(), additions, items, AboutSeparator::after_items)) {
            AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
        }
    }
    if (player != nullptr) {
        update_player_items(menu.get(), *player);
    }

    // The close item's text comes from the tray menu resource.
    char close_text[64] = "&Close";
    if (Menu resource = load_menu(resource_id::tray_menu)) {
        if (HMENU popup = GetSubMenu(resource.get(), 0)) {
            GetMenuStringA(popup, resource_id::tray_close, close_text, sizeof close_text, MF_BYCOMMAND);
        }
    }
    AppendMenuA(menu.get(), MF_STRING, resource_id::tray_close, close_text);
    return menu.release();
}

void on_tray_notify(MainWindow& window, WPARAM id, LPARAM mouse_message) {
    constexpr WPARAM tray_icon_id = 128;
    if (id != tray_icon_id) {
        return;
    }
    switch (static_cast<UINT>(mouse_message)) {
    case WM_LBUTTONDBLCLK: toggle_visibility(window.handle()); break;
    case WM_RBUTTONUP: show_tray_menu(window); break;
    default: break;
    }
}

}  // namespace tarpon::projector
