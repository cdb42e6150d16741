// The main window's menus on a real window under Wine: the system menu's additions and state, the
// player pop-up's commands and checks, the screen-saver command, and the tray icon's menu and
// double click.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/com.h"
#include "projector/app/resource_ids.h"
#include "projector/app/system_changes.h"
#include "projector/appdata/item_source.h"
#include "projector/window/window_menus.h"
#include "tests/projector/app/main_window_fixture.h"

namespace tarpon::projector {
namespace {

UINT item_id(HMENU menu, int position) {
    return GetMenuItemID(menu, position);
}

std::string item_text(HMENU menu, int position) {
    char text[256] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

bool is_separator(HMENU menu, int position) {
    // A pop-up's state holds its item count in the high byte.
    return GetSubMenu(menu, position) == nullptr &&
           (GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION) & MF_SEPARATOR) != 0;
}

bool grayed(HMENU menu, UINT id) {
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

bool checked(HMENU menu, UINT id) {
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// A menu the test made, destroyed at the end of the scope.
struct MenuDeleter {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using Menu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// One row per menu item: "-" a separator, ">Text" a pop-up, else "id Text".
std::vector<std::string> rows(HMENU menu) {
    std::vector<std::string> result;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (is_separator(menu, i)) {
            result.push_back("-");
        } else if (GetSubMenu(menu, i) != nullptr) {
            result.push_back(">" + item_text(menu, i));
        } else {
            result.push_back(std::to_string(item_id(menu, i)) + " " + item_text(menu, i));
        }
    }
    return result;
}

// A one-frame 320 x 240 movie with nothing but its background.
const std::vector<uint8_t> still_movie = {0x46, 0x57, 0x53, 0x06, 0x1D, 0x00, 0x00, 0x00, 0x70, 0x00,
                                          0x0C, 0x80, 0x00, 0x00, 0x96, 0x00, 0x00, 0x0C, 0x01, 0x00,
                                          0x43, 0x02, 0x33, 0x66, 0x99, 0x40, 0x00, 0x00, 0x00};

class WindowMenusTest : public MainWindowTest {
protected:
    HWND window() const { return m_window->handle(); }
    PlayerHost& player() { return m_window->player(); }
    HMENU system_menu() const { return GetSystemMenu(window(), FALSE); }

    // WM_INITMENUPOPUP as the system sends it before a menu opens.
    void init_popup(HMENU menu, bool window_menu) {
        SendMessageA(window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, window_menu ? 1 : 0));
    }

    std::string load_still_movie(const char* name) {
        std::string path = projector_state().run_folder + name;
        EXPECT_TRUE(appdata::write_file(path, still_movie));
        EXPECT_TRUE(player().load_movie(path, true));
        return path;
    }
};

TEST_F(WindowMenusTest, SystemMenuAdditionsFollowEachBitAndAreCutBackToTheBase) {
    HMENU menu = system_menu();
    int base = m_window->system_menu_base();
    struct Case {
        uint32_t additions;
        std::vector<std::string> added;
    };
    const Case cases[] = {
        {0x10, {"-", ">Macromedia Flash Player"}},
        {0x1, {"-", "32777 Config..."}},
        {0x1000, {"-", "32778 Help"}},
        // The About box alone has no separator of its own.
        {0x100, {"-", "32780 About..."}},
        {0x101, {"-", "32777 Config...", "-", "32780 About..."}},
        {0x1111, {"-", ">Macromedia Flash Player", "32777 Config...", "32778 Help", "-", "32780 About..."}},
        {0, {}},
    };
    for (const Case& c : cases) {
        // Built again each time: the earlier additions go first.
        build_system_menu(window(), c.additions, base);
        std::vector<std::string> all = rows(menu);
        ASSERT_GE(all.size(), static_cast<size_t>(base));
        EXPECT_EQ(std::vector<std::string>(all.begin() + base, all.end()), c.added) << std::hex << c.additions;
    }

    // The copy of the player pop-up is whole: the Quality pop-up and the commands with their ids.
    build_system_menu(window(), 0x10, base);
    HMENU copy = GetSubMenu(menu, base + 1);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(GetMenuItemCount(copy), 15);
    EXPECT_NE(GetMenuState(copy, TARPON_CMD_ZOOM_IN, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(GetMenuState(copy, TARPON_CMD_QUALITY_HIGH, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(GetMenuState(copy, TARPON_CMD_ABOUT_PLAYER, MF_BYCOMMAND), static_cast<UINT>(-1));
}

TEST_F(WindowMenusTest, SystemMenuStateFollowsTheFrameFlagsButtonsAndWindowState) {
    appdata::Settings& settings = projector_state().settings;
    HMENU menu = system_menu();
    ShowWindow(window(), SW_SHOWNORMAL);

    settings.frame_flags = 0x100;
    settings.caption_buttons = 0x11;
    init_popup(menu, true);
    EXPECT_TRUE(grayed(menu, SC_RESTORE)) << "a normal window has nothing to restore";
    EXPECT_FALSE(grayed(menu, SC_SIZE));
    EXPECT_FALSE(grayed(menu, SC_MAXIMIZE));
    EXPECT_FALSE(grayed(menu, SC_MINIMIZE));

    // Without a border there is no maximizing, whatever the buttons say.
    settings.frame_flags = 0x1 | 0x100;
    settings.caption_buttons = 0x1;
    init_popup(menu, true);
    EXPECT_FALSE(grayed(menu, SC_SIZE));
    EXPECT_TRUE(grayed(menu, SC_MAXIMIZE));
    EXPECT_TRUE(grayed(menu, SC_MINIMIZE));

    settings.frame_flags = 0x10;
    settings.caption_buttons = 0;
    ShowWindow(window(), SW_SHOWMAXIMIZED);
    // The system menu as a pop-up of our own (no window-menu flag) gets the same rules.
    init_popup(menu, false);
    EXPECT_FALSE(grayed(menu, SC_RESTORE));
    EXPECT_TRUE(grayed(menu, SC_SIZE));
    EXPECT_TRUE(grayed(menu, SC_MAXIMIZE));
    EXPECT_TRUE(grayed(menu, SC_MINIMIZE));

    // A minimized window can be brought back from its menu.
    ShowWindow(window(), SW_MINIMIZE);
    init_popup(menu, true);
    EXPECT_FALSE(grayed(menu, SC_RESTORE));
}

TEST_F(WindowMenusTest, PlayerPopUpChecksFollowTheControl) {
    tarpon::player::IShockwaveFlash* control = player().control();
    ASSERT_NE(control, nullptr);
    build_system_menu(window(), 0x10, m_window->system_menu_base());
    HMENU copy = GetSubMenu(system_menu(), m_window->system_menu_base() + 1);
    ASSERT_NE(copy, nullptr);

    // No movie: nothing plays, whatever Playing says.
    control->put_Playing(VARIANT_TRUE);
    init_popup(copy, false);
    EXPECT_FALSE(checked(copy, TARPON_CMD_PLAY));

    load_still_movie("still.swf");
    control->put_ScaleMode(0);
    control->put_Loop(VARIANT_TRUE);
    platform::Bstr medium(L"Medium");
    control->put_Quality2(medium.get());
    init_popup(copy, false);
    EXPECT_TRUE(checked(copy, TARPON_CMD_PLAY));
    EXPECT_TRUE(checked(copy, TARPON_CMD_SHOW_ALL));
    EXPECT_FALSE(checked(copy, TARPON_CMD_ONE_TO_ONE));
    EXPECT_TRUE(checked(copy, TARPON_CMD_LOOP));
    EXPECT_FALSE(checked(copy, TARPON_CMD_QUALITY_LOW));
    EXPECT_TRUE(checked(copy, TARPON_CMD_QUALITY_MEDIUM)) << "in the Quality pop-up";
    EXPECT_FALSE(checked(copy, TARPON_CMD_QUALITY_HIGH));

    // The commands change the control, and the checks follow at the next opening.
    for (UINT id : {TARPON_CMD_ONE_TO_ONE, TARPON_CMD_LOOP, TARPON_CMD_PLAY, TARPON_CMD_QUALITY_HIGH}) {
        run_player_command(player(), id);
    }
    init_popup(copy, false);
    EXPECT_TRUE(checked(copy, TARPON_CMD_ONE_TO_ONE));
    EXPECT_FALSE(checked(copy, TARPON_CMD_SHOW_ALL));
    EXPECT_FALSE(checked(copy, TARPON_CMD_LOOP));
    EXPECT_FALSE(checked(copy, TARPON_CMD_PLAY));
    EXPECT_FALSE(checked(copy, TARPON_CMD_QUALITY_MEDIUM));
    EXPECT_TRUE(checked(copy, TARPON_CMD_QUALITY_HIGH));
    platform::Bstr quality;
    control->get_Quality2(quality.put());
    EXPECT_EQ(std::wstring(quality.get(), quality.length()), L"high");
}

TEST_F(WindowMenusTest, ZoomOutIsOnlyOfferedWhileZoomedIn) {
    load_still_movie("still.swf");
    build_system_menu(window(), 0x10, m_window->system_menu_base());
    HMENU menu = system_menu();
    auto zoom_out_offered = [&] {
        init_popup(menu, true);
        return !grayed(menu, TARPON_CMD_ZOOM_OUT);
    };

    EXPECT_FALSE(zoom_out_offered());
    run_player_command(player(), TARPON_CMD_ZOOM_IN);
    run_player_command(player(), TARPON_CMD_ZOOM_IN);
    EXPECT_TRUE(zoom_out_offered());
    run_player_command(player(), TARPON_CMD_ZOOM_OUT);
    EXPECT_TRUE(zoom_out_offered());
    run_player_command(player(), TARPON_CMD_ZOOM_OUT);
    EXPECT_FALSE(zoom_out_offered());

    // Further out than the whole movie there is nothing: one step in is one step in.
    run_player_command(player(), TARPON_CMD_ZOOM_OUT);
    EXPECT_EQ(player().zoom_count(), 0);
    run_player_command(player(), TARPON_CMD_ZOOM_IN);
    EXPECT_TRUE(zoom_out_offered());

    // A new movie is shown whole.
    load_still_movie("other.swf");
    EXPECT_FALSE(zoom_out_offered());
}

TEST_F(WindowMenusTest, PlayerCommandsArriveAsSystemCommandsAndMenuCommands) {
    tarpon::player::IShockwaveFlash* control = player().control();
    ASSERT_NE(control, nullptr);
    load_still_movie("still.swf");
    auto loop = [&] {
        VARIANT_BOOL value = VARIANT_FALSE;
        control->get_Loop(&value);
        return value != VARIANT_FALSE;
    };
    bool before = loop();
    EXPECT_EQ(SendMessageA(window(), WM_SYSCOMMAND, TARPON_CMD_LOOP, 0), 0);
    EXPECT_NE(loop(), before);
    SendMessageA(window(), WM_COMMAND, MAKEWPARAM(TARPON_CMD_LOOP, 0), 0);
    EXPECT_EQ(loop(), before);
    // A control's notification with the same number is not a menu choice.
    SendMessageA(window(), WM_COMMAND, MAKEWPARAM(TARPON_CMD_LOOP, 1), 0);
    EXPECT_EQ(loop(), before);

    SendMessageA(window(), WM_SYSCOMMAND, TARPON_CMD_ZOOM_IN, 0);
    EXPECT_EQ(player().zoom_count(), 1);
}

TEST_F(WindowMenusTest, TheScreenSaverCommandIsRefusedOnlyWithItsKioskFlag) {
    EXPECT_FALSE(on_system_command(*m_window, SC_SCREENSAVE));
    apply_kiosk(0x100);
    EXPECT_TRUE(on_system_command(*m_window, SC_SCREENSAVE));
    // The low four bits are the system's own.
    EXPECT_TRUE(on_system_command(*m_window, SC_SCREENSAVE | 0x2));
    EXPECT_FALSE(on_system_command(*m_window, SC_MINIMIZE));
    undo_kiosk();
    EXPECT_FALSE(on_system_command(*m_window, SC_SCREENSAVE));
}

TEST_F(WindowMenusTest, TrayMenuNamesTheToggleByTheWindowsStateAndCarriesTheAdditions) {
    SetWindowTextA(window(), "Show Case");
    Menu hidden(build_tray_menu(window(), 0x1111, &player()));
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(rows(hidden.get()),
              (std::vector<std::string>{"32784 Show Show Case", "-", ">Macromedia Flash Player", "32777 Config...",
                                        "32778 Help", "-", "32780 About...", "-", "8 &Close"}));
    EXPECT_EQ(GetMenuDefaultItem(hidden.get(), FALSE, 0), tray_toggle_command);
    // The player items are set as in the system menu's copy.
    EXPECT_TRUE(grayed(hidden.get(), TARPON_CMD_ZOOM_OUT));

    ShowWindow(window(), SW_SHOWNORMAL);
    Menu shown(build_tray_menu(window(), 0x100, &player()));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(rows(shown.get()), (std::vector<std::string>{"32784 Hide Show Case", "-", "32780 About...", "-", "8 &Close"}));

    ShowWindow(window(), SW_MINIMIZE);
    Menu minimized(build_tray_menu(window(), 0, &player()));
    ASSERT_NE(minimized, nullptr);
    EXPECT_EQ(rows(minimized.get()), (std::vector<std::string>{"32784 Restore Show Case", "-", "8 &Close"}));
}

TEST_F(WindowMenusTest, TrayDoubleClickTogglesTheWindow) {
    auto double_click = [&](WPARAM id = 128) {
        SendMessageA(window(), message::tray_notify, id, WM_LBUTTONDBLCLK);
    };
    ASSERT_FALSE(IsWindowVisible(window()));
    double_click();
    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_FALSE(IsIconic(window()));

    double_click();
    EXPECT_FALSE(IsWindowVisible(window()));
    // Shown again, the window comes back whole, not as a minimized button.
    double_click();
    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_FALSE(IsIconic(window()));

    ShowWindow(window(), SW_MINIMIZE);
    double_click();
    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_FALSE(IsIconic(window()));

    // Another icon's notification is not ours.
    double_click(129);
    EXPECT_TRUE(IsWindowVisible(window()));
}

TEST(HelpViewer, CompiledHelpByItsEndingAnyOtherNameByTheHelpIndex) {
    EXPECT_EQ(help_viewer_for(""), HelpViewer::none);
    EXPECT_EQ(help_viewer_for("C:\\run\\guide.chm"), HelpViewer::html_help);
    EXPECT_EQ(help_viewer_for("GUIDE.CHM"), HelpViewer::html_help);
    EXPECT_EQ(help_viewer_for("guidechm"), HelpViewer::html_help);
    EXPECT_EQ(help_viewer_for("guide.hlp"), HelpViewer::win_help);
    EXPECT_EQ(help_viewer_for("guide.chm.txt"), HelpViewer::win_help);
    EXPECT_EQ(help_viewer_for("hm"), HelpViewer::win_help);
}

}  // namespace
}  // namespace tarpon::projector
