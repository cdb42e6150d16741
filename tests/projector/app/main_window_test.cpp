// The main window on a real window under Wine: how it is made, what its private messages map to,
// and the close routine, which waits for a running command before it tears anything down.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/quill.h"
#include "host/ui/message_loop.h"
#include "projector/app/application.h"
#include "projector/app/resource_ids.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/sm_container.h"
#include "projector/window/main_window.h"

namespace tarpon::projector {
namespace {

TEST(MainWindowMessages, ScaleModeFieldsMapOntoTheControlsModes) {
    EXPECT_EQ(control_scale_mode(0x1), 0);
    EXPECT_EQ(control_scale_mode(0x2), 1);
    EXPECT_EQ(control_scale_mode(0x10), 3);
    EXPECT_EQ(control_scale_mode(0x100), 2);
    for (uint32_t other : {0u, 3u, 0x11u, 0x1000u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(control_scale_mode(other).has_value()) << other;
    }
}

TEST(MainWindowMessages, BackgroundColoursAreReorderedToRedGreenBlue) {
    EXPECT_EQ(control_background(0x00112233), 0x00332211);
    EXPECT_EQ(control_background(0x000000FF), 0x00FF0000);
    // The high byte of a COLORREF is not a colour.
    EXPECT_EQ(control_background(0x02FF0000), 0x000000FF);
}

std::string own_folder() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

// Dispatches what is waiting; true when the quit message was among it.
bool drain_messages() {
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
        } else {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return quit;
}

// A main window as start-up makes it, with the player module of the build carried as the FP item
// in case no player is installed.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ProjectorState& state = projector_state();
        // One folder per test: ctest runs them side by side.
        m_run_folder = std::filesystem::temp_directory_path() /
                       ("tarpon-main-window-" +
                        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(m_run_folder);
        state.run_folder = m_run_folder.string() + "\\";
        if (auto player = appdata::read_file(own_folder() + "tarpon-player.dll")) {
            m_items.add(appdata::item::tarpon_type, appdata::item::player, appdata::pack_sm(*player));
        }
        state.items = &m_items;
        state.settings = appdata::Settings{};
        ASSERT_TRUE(MainWindow::register_window_class(GetModuleHandleA(nullptr)));
        m_owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_owner, nullptr);
        m_window = std::make_unique<MainWindow>(state);
        ASSERT_TRUE(m_window->create_window(GetModuleHandleA(nullptr), m_owner));
        state.main_window = m_window->handle();
    }
    void TearDown() override {
        m_window.reset();
        drain_messages();
        MSG quit;
        while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        DestroyWindow(m_owner);
        ProjectorState& state = projector_state();
        state.items = nullptr;
        state.main_window = nullptr;
        state.close_pending = false;
        std::error_code ignored;
        std::filesystem::remove_all(m_run_folder, ignored);
    }

    std::filesystem::path m_run_folder;
    appdata::ItemList m_items;
    HWND m_owner = nullptr;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowTest, IsAHiddenOwnedOverlappedFrameHoldingTheControl) {
    HWND window = m_window->handle();
    char class_name[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    EXPECT_STREQ(class_name, main_window_class);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)) & 0x00CF0000u, 0x00CF0000u);
    EXPECT_NE(static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)) & 0x00040000u, 0u);
    EXPECT_EQ(GetWindow(window, GW_OWNER), m_owner);
    EXPECT_EQ(GetWindowTextLengthA(window), 0);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetMenu(window), nullptr);

    HWND control = GetDlgItem(window, player_control_id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control, m_window->player().window());
    EXPECT_EQ(projector_state().player, &m_window->player());
    EXPECT_EQ(projector_state().bridge, m_window->bridge());
    EXPECT_EQ(m_window->system_menu_base(), GetMenuItemCount(GetSystemMenu(window, FALSE)));

    // The control follows the client area.
    SetWindowPos(window, nullptr, 0, 0, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{}, child{};
    GetClientRect(window, &client);
    GetWindowRect(control, &child);
    EXPECT_EQ(child.right - child.left, client.right);
    EXPECT_EQ(child.bottom - child.top, client.bottom);
}

UINT item_id(HMENU menu, int position) {
    return GetMenuItemID(menu, position);
}

TEST_F(MainWindowTest, SystemMenuAdditionsFollowTheFieldAndAreCutBackToTheBase) {
    HWND window = m_window->handle();
    HMENU menu = GetSystemMenu(window, FALSE);
    int base = m_window->system_menu_base();

    build_system_menu(window, 0x1111, base);
    ASSERT_EQ(GetMenuItemCount(menu), base + 6);
    EXPECT_EQ(GetMenuState(menu, static_cast<UINT>(base), MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    HMENU player = GetSubMenu(menu, base + 1);
    ASSERT_NE(player, nullptr);
    char text[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(base + 1), text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Macromedia Flash Player");
    // The copy is whole: the Quality pop-up and the player commands with their ids.
    EXPECT_NE(GetMenuState(player, TARPON_CMD_ZOOM_IN, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(GetMenuState(player, TARPON_CMD_QUALITY_HIGH, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(item_id(menu, base + 2), static_cast<UINT>(TARPON_CMD_OPTIONS));
    GetMenuStringA(menu, static_cast<UINT>(base + 2), text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Config...");
    EXPECT_EQ(item_id(menu, base + 3), static_cast<UINT>(TARPON_CMD_HELP));
    EXPECT_EQ(item_id(menu, base + 5), static_cast<UINT>(TARPON_CMD_ABOUT));

    // Built again, the earlier additions go first; the About box alone has no separator of its own.
    build_system_menu(window, 0x100, base);
    ASSERT_EQ(GetMenuItemCount(menu), base + 2);
    EXPECT_EQ(item_id(menu, base + 1), static_cast<UINT>(TARPON_CMD_ABOUT));
    build_system_menu(window, 0, base);
    EXPECT_EQ(GetMenuItemCount(menu), base);
}

TEST_F(MainWindowTest, AQuitFromARunningCommandClosesOnlyAfterItReturns) {
    HWND window = m_window->handle();
    ProjectorState& state = projector_state();
    // "quit" runs the close routine while the command is counted as running.
    m_window->bridge()->command("QUIT", "", MovieOrigin::Author);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(state.close_pending);
    EXPECT_TRUE(m_window->player().exists());
    MSG reposted{};
    ASSERT_TRUE(PeekMessageA(&reposted, window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));

    // The command has returned: the re-posted close goes through.
    EXPECT_TRUE(drain_messages()) << "the quit message";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(state.close_pending);
    EXPECT_EQ(state.bridge, nullptr);
    EXPECT_EQ(state.player, nullptr);
}

TEST_F(MainWindowTest, AScriptWaitingInProcessMsgSeesTheCloseAndTheWindowClosesAfterIt) {
    // A carried script that pumps messages the way a long-running script does.
    quill::EngineHandle* compiler = quill::create_engine();
    ASSERT_NE(compiler, nullptr);
    quill::CompiledModule waiter = quill::compile_source_text(compiler, "var waited = processMsg(); waited;");
    quill::destroy_engine(compiler);
    ASSERT_TRUE(waiter.ok) << waiter.diagnostics;
    m_items.add(appdata::item::script_type, "Waiter", appdata::pack_sm(waiter.module));
    install_message_loop_hooks();

    HWND window = m_window->handle();
    PostMessageA(window, WM_CLOSE, 0, 0);
    m_window->bridge()->command("Quill_Run", "Waiter", MovieOrigin::Author);
    // processMsg answered false (a close is pending) and the window outlived the script.
    ASSERT_NE(m_window->bridge(), nullptr);
    ASSERT_NE(m_window->bridge()->engine(), nullptr);
    const quill::Value& waited = quill::last_result(m_window->bridge()->engine());
    EXPECT_EQ(waited.tag, quill::Tag::Boolean);
    EXPECT_EQ(waited.payload.flag, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(projector_state().close_pending) << "processMsg takes the pending close";

    EXPECT_TRUE(drain_messages());
    EXPECT_FALSE(IsWindow(window));
    host::set_message_loop_hooks({});
}

void expect_closed_at_once(MainWindow& main, UINT message) {
    HWND window = main.handle();
    HWND control = main.player().window();
    SendMessageA(window, message, 0, 0);
    EXPECT_FALSE(IsWindow(control));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(projector_state().close_pending);
    EXPECT_EQ(projector_state().bridge, nullptr);
}

TEST_F(MainWindowTest, ACloseClosesAtOnceWhenNothingRuns) {
    expect_closed_at_once(*m_window, WM_CLOSE);
}

TEST_F(MainWindowTest, TheCloseRequestMessageRunsTheCloseRoutine) {
    expect_closed_at_once(*m_window, message::close_request);
}

TEST_F(MainWindowTest, FullScreenMaximizesAndRestoresWithoutChangingTheStyle) {
    HWND window = m_window->handle();
    LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_VISIBLE | WS_MAXIMIZE);
    m_window->bridge()->command("fullscreen", "TRUE", MovieOrigin::Author);
    EXPECT_TRUE(IsZoomed(window));
    m_window->bridge()->command("FullScreen", "false", MovieOrigin::Author);
    EXPECT_FALSE(IsZoomed(window));
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_VISIBLE | WS_MAXIMIZE), style);
}

}  // namespace
}  // namespace tarpon::projector
