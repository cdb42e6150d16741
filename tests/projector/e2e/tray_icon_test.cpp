// The projector's notification-area icon seen from outside: there while the projector runs with
// the tray flag (and only then), gone when it ends; its double click hides and shows the window,
// and the window's own system commands still reach the system.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

constexpr int start_timeout = 30000;
constexpr int end_timeout = 20000;
constexpr UINT tray_icon_id = 128;
constexpr UINT tray_message = 0x87D3;

bool becomes(const std::function<bool()>& condition, int timeout_ms = 5000) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    while (!condition()) {
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

class TrayIcon : public ::testing::Test {
protected:
    void SetUp() override {
        if (!projector_built()) {
            GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built in " << bin_folder();
        }
    }

    // Builds and starts a project with these window flags; the window once it shows.
    HWND start(const std::string& name, const std::string& flags) {
        m_project = std::make_unique<TestProject>(name);
        m_project->write_settings("flags = " + flags);
        m_project->write_movie("start.swf", movie_sending({}));
        std::string log;
        EXPECT_TRUE(m_project->build(&log)) << log;
        m_process = std::make_unique<Process>(m_project->exe(), "", m_project->dir(), m_project->temp_dir());
        EXPECT_TRUE(m_process->started());
        return m_process->main_window(start_timeout);
    }

    void close(HWND window) {
        ASSERT_TRUE(probe::request_close(window));
        EXPECT_TRUE(m_process->wait(end_timeout).has_value()) << "the projector did not end after WM_CLOSE";
    }

    std::unique_ptr<TestProject> m_project;
    std::unique_ptr<Process> m_process;
};

TEST_F(TrayIcon, IsThereOnlyWithItsFlagAndGoesWithTheProjector) {
    HWND plain = start("no-tray", "[\"play_on_load\"]");
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(probe::tray_icon_present(plain, tray_icon_id));
    close(plain);

    HWND window = start("tray", "[\"play_on_load\", \"tray_icon\"]");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(becomes([&] { return probe::tray_icon_present(window, tray_icon_id); }));
    close(window);
    EXPECT_FALSE(probe::tray_icon_present(window, tray_icon_id));
}

TEST_F(TrayIcon, DoubleClickHidesAndShowsTheWindowAndSystemCommandsStillWork) {
    HWND window = start("toggle", "[\"play_on_load\", \"tray_icon\"]");
    ASSERT_NE(window, nullptr);
    auto double_click = [&] { PostMessageA(window, tray_message, tray_icon_id, WM_LBUTTONDBLCLK); };
    auto visible = [&] { return IsWindowVisible(window) != FALSE; };
    auto shown_whole = [&] { return IsWindowVisible(window) && !IsIconic(window); };

    double_click();
    EXPECT_TRUE(becomes([&] { return !visible(); })) << "hidden by the double click";
    double_click();
    EXPECT_TRUE(becomes(shown_whole)) << "shown again, not minimized";

    // The system menu's own commands go on to the system.
    ASSERT_TRUE(probe::post_system_command(window, SC_MINIMIZE));
    EXPECT_TRUE(becomes([&] { return IsIconic(window) != FALSE; }));
    double_click();
    EXPECT_TRUE(becomes(shown_whole)) << "restored by the double click";

    // Another icon's notification changes nothing.
    PostMessageA(window, tray_message, tray_icon_id + 1, WM_LBUTTONDBLCLK);
    Sleep(300);
    EXPECT_TRUE(shown_whole());
    close(window);
}

}  // namespace
}  // namespace tarpon::e2e
