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
#include "tests/projector/app/main_window_fixture.h"

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
