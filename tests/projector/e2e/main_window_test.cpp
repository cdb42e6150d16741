// The main window's placement, frame, mouse and keys and the open-movie command, seen from outside:
// projects that set the options are built, started, looked at and driven with real input.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

constexpr int start_timeout = 30000;
constexpr int end_timeout = 20000;

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!projector_built()) {
            GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built in " << bin_folder();
        }
    }

    static std::unique_ptr<Process> start_built(TestProject& project) {
        std::string log;
        EXPECT_TRUE(project.build(&log)) << log;
        auto process = std::make_unique<Process>(project.exe(), "", project.dir(), project.temp_dir());
        EXPECT_TRUE(process->started());
        return process;
    }

    // The window once placement is over: its rectangle has stayed the same for a while.
    static HWND settled_window(Process& process) {
        HWND window = process.main_window(start_timeout);
        if (window == nullptr) {
            return nullptr;
        }
        RECT last{};
        int same = 0;
        for (int i = 0; i < 100 && same < 6; ++i) {
            RECT now{};
            GetWindowRect(window, &now);
            same = EqualRect(&now, &last) ? same + 1 : 0;
            last = now;
            Sleep(50);
        }
        return window;
    }

    static void close(Process& process, HWND window) {
        ASSERT_TRUE(probe::request_close(window));
        EXPECT_TRUE(process.wait(end_timeout).has_value()) << "the projector did not end after WM_CLOSE";
    }

    static LONG width(const RECT& r) { return r.right - r.left; }
    static LONG height(const RECT& r) { return r.bottom - r.top; }
};

// Size modes, positions and frame styles, several at a time per start.
TEST_F(MainWindow, SizeModesPositionsAndFrames) {
    const int W = GetSystemMetrics(SM_CXSCREEN), H = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        const char* name;
        std::string keys;
        void (*check)(const probe::WindowInfo&, int W, int H);
    };
    const Case cases[] = {
        {"movie size, top right",
         "size = \"movie\"\nposition = \"top_right\"",
         [](const probe::WindowInfo& info, int W, int) {
             EXPECT_EQ(width(info.client_rect), 320);
             EXPECT_EQ(height(info.client_rect), 240);
             EXPECT_NEAR(info.window_rect.right, W, 2);
             EXPECT_NEAR(info.window_rect.top, 0, 2);
         }},
        {"full screen",
         "size = \"full_screen\"\nframe = [\"no_border\"]",
         [](const probe::WindowInfo& info, int W, int H) {
             EXPECT_EQ(info.window_rect.left, 0);
             EXPECT_EQ(info.window_rect.top, 0);
             EXPECT_EQ(width(info.window_rect), W);
             EXPECT_EQ(height(info.window_rect), H);
         }},
        {"maximized",
         "size = \"maximized\"\nframe = [\"sizing_border\"]\ncaption_buttons = [\"system_menu\", \"maximize\"]",
         [](const probe::WindowInfo& info, int, int) {
             EXPECT_TRUE(info.maximized);
             EXPECT_NE(info.style & WS_MAXIMIZEBOX, 0u);
             EXPECT_NE(info.style & WS_THICKFRAME, 0u);
         }},
        // Half the screen each way, at the bottom left; borderless with the maximize button asked
        // for: a pop-up without one.
        {"percent 50, bottom left, borderless",
         "size = \"percent\"\nheight = 50\nposition = \"bottom_left\"\nframe = [\"no_border\"]\n"
         "caption_buttons = [\"maximize\", \"minimize\"]",
         [](const probe::WindowInfo& info, int W, int H) {
             EXPECT_NEAR(width(info.window_rect), W / 2, 1);
             EXPECT_NEAR(height(info.window_rect), H / 2, 1);
             EXPECT_EQ(info.window_rect.left, 0);
             EXPECT_NEAR(info.window_rect.bottom, H, 1);
             EXPECT_NE(info.style & WS_POPUP, 0u);
             EXPECT_EQ(info.style & (WS_MAXIMIZEBOX | WS_CAPTION), 0u);
             EXPECT_NE(info.style & WS_MINIMIZEBOX, 0u);
         }},
        // A quarter of the width, three quarters of the height; no task-bar button.
        {"custom size at 25 and 75 percent, no task-bar button",
         "size = \"custom\"\nwidth = 400\nheight = 200\nposition = \"custom_percent\"\nx = 25\ny = 75\n"
         "frame = [\"caption\", \"no_taskbar_button\"]",
         [](const probe::WindowInfo& info, int W, int H) {
             EXPECT_EQ(width(info.window_rect), 400);
             EXPECT_EQ(height(info.window_rect), 200);
             EXPECT_EQ(info.window_rect.left, W / 4);
             EXPECT_EQ(info.window_rect.top, H * 3 / 4);
             EXPECT_EQ(info.ex_style & WS_EX_APPWINDOW, 0u);
         }},
        // Far off every screen: brought back so that the whole window shows.
        {"custom position off the screen",
         "size = \"custom\"\nwidth = 400\nheight = 200\nposition = \"custom\"\nx = 60000\ny = 50000",
         [](const probe::WindowInfo& info, int W, int H) {
             EXPECT_EQ(width(info.window_rect), 400);
             EXPECT_EQ(info.window_rect.right, W);
             EXPECT_EQ(info.window_rect.bottom, H);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestProject project(c.name);
        project.write_settings(c.keys);
        project.write_movie("start.swf", movie_sending({}));
        auto process = start_built(project);
        HWND window = settled_window(*process);
        ASSERT_NE(window, nullptr);
        const probe::WindowInfo info = probe::window_info(window);
        c.check(info, W, H);
        close(*process, window);
    }
}

// The left button drags the window by a press beside the movie's buttons, not by a press on one;
// the ratio is kept after the user sizes the window; the right button opens the window's menu;
// open-movie is off while there are movies.
TEST_F(MainWindow, DragKeepRatioAndNoOpenMovieWithMovies) {
    TestProject project("drag");
    project.write_settings("position = \"centre\"\nframe = [\"sizing_border\"]\nkeep_aspect = 1",
                           "[input]\nleft_button = \"drag\"\nright_button = \"projector_menu\"");
    project.write_script("Clicked", "put(\"clicked\", \"yes\");");
    project.write_movie("start.swf", movie_with_button({"Quill_Run", "Clicked"}));
    auto process = start_built(project);
    HWND window = settled_window(*process);
    ASSERT_NE(window, nullptr);

    RECT before{};
    GetWindowRect(window, &before);
    ASSERT_TRUE(probe::drag_with_input(window, 20, 20, -60, -40));
    Sleep(500);
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left - before.left, -60);
    EXPECT_EQ(after.top - before.top, -40);
    EXPECT_EQ(width(after), width(before));

    // On the movie's button the movie has the mouse: the window stays, the button works.
    ASSERT_TRUE(probe::drag_with_input(window, 160, 120, 0, 0, 1));
    ASSERT_TRUE(probe::drag_with_input(window, 150, 110, 30, 30));
    Sleep(500);
    RECT on_button{};
    GetWindowRect(window, &on_button);
    EXPECT_TRUE(EqualRect(&on_button, &after));
    EXPECT_EQ(project.wait_for_result("clicked", 5000), "yes");

    // The system's sizing loop as the window sees it: a wider window gets the height that keeps 4:3.
    SendMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
    SetWindowPos(window, nullptr, 0, 0, width(after) + 80, height(after), SWP_NOMOVE | SWP_NOZORDER);
    SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    Sleep(300);
    probe::WindowInfo sized = probe::window_info(window);
    EXPECT_EQ(width(sized.window_rect), width(after) + 80);
    EXPECT_EQ(width(sized.client_rect), 400);
    EXPECT_EQ(height(sized.client_rect), 300);

    // The right button opens the window's own menu at the cursor; Escape closes it again.
    POINT in_control{};
    HWND control = probe::child_at(window, POINT{20, 20}, &in_control);
    ASSERT_NE(control, window);
    SetForegroundWindow(window);
    PostMessageA(control, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(in_control.x, in_control.y));
    probe::WindowQuery menu_query;
    menu_query.process_id = process->id();
    menu_query.class_name = "#32768";
    HWND menu = probe::wait_for_window(menu_query, 5000);
    EXPECT_NE(menu, nullptr) << "no menu at the right button";
    if (menu != nullptr) {
        probe::press_keys_with_input(menu, {VK_ESCAPE});
        EXPECT_TRUE(probe::wait_until_gone(menu, 5000) || !IsWindowVisible(menu));
    }

    constexpr UINT file_open = 0xE101;
    ASSERT_TRUE(probe::post_command(window, file_open));
    Sleep(1500);
    probe::WindowQuery query;
    query.process_id = process->id();
    query.caption = "Open";
    EXPECT_EQ(probe::find_window(query), nullptr);
    close(*process, window);
}

// Escape and the hot key close the window on release, each only with its exit-key bit and the hot
// key only with its modifiers down.
TEST_F(MainWindow, ExitKeysClose) {
    {
        TestProject project("hot key");
        project.write_settings({}, "[input]\nexit_keys = [\"hot_key\"]\nhot_key = \"Ctrl+Shift+F5\"");
        project.write_movie("start.swf", movie_sending({}));
        auto process = start_built(project);
        HWND window = settled_window(*process);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(probe::press_keys_with_input(window, {VK_ESCAPE}));
        ASSERT_TRUE(probe::press_keys_with_input(window, {VK_F5}));
        ASSERT_TRUE(probe::press_keys_with_input(window, {VK_CONTROL, VK_F5}));
        ASSERT_TRUE(probe::press_keys_with_input(window, {VK_SHIFT, VK_F6}));
        EXPECT_FALSE(process->wait(1500).has_value()) << "closed without the whole hot key";
        ASSERT_TRUE(probe::press_keys_with_input(window, {VK_CONTROL, VK_SHIFT, VK_F5}));
        EXPECT_TRUE(process->wait(end_timeout).has_value()) << "the hot key did not close the window";
    }
    {
        TestProject project("escape");
        project.write_settings({}, "[input]\nexit_keys = [\"escape\"]");
        project.write_movie("start.swf", movie_sending({}));
        auto process = start_built(project);
        HWND window = settled_window(*process);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(probe::press_keys_with_input(window, {VK_ESCAPE}));
        EXPECT_TRUE(process->wait(end_timeout).has_value()) << "Escape did not close the window";
    }
}

// Without movies the open-movie command shows "Open"; the location typed in is loaded, and the
// window takes the movie's size.
TEST_F(MainWindow, OpenMovieLoadsTheLocation) {
    TestProject project("open");
    project.write_settings("position = \"centre\"");
    project.write_script("Loaded", "put(\"loaded\", \"yes\");");
    const std::string second = project.path("second movie.swf");
    write_bytes(second, movie_sending({{"Quill_Run", "Loaded"}}, 0xCC3300));
    auto process = start_built(project);
    HWND window = settled_window(*process);
    ASSERT_NE(window, nullptr);

    constexpr UINT file_open = 0xE101;
    ASSERT_TRUE(probe::post_command(window, file_open));
    probe::WindowQuery query;
    query.process_id = process->id();
    query.caption = "Open";
    HWND dialog = probe::wait_for_window(query, 10000);
    ASSERT_NE(dialog, nullptr) << "no \"Open\" dialog";
    EXPECT_NE(probe::find_child(dialog, "Static",
                                "Enter the World Wide Web location (URL) or specify the local file you would like "
                                "to open."),
              nullptr);
    EXPECT_NE(probe::find_child(dialog, "Static", "Location:"), nullptr);
    EXPECT_NE(probe::find_child(dialog, "Button", "&Browse..."), nullptr);
    EXPECT_NE(probe::find_child(dialog, "Button", "Cancel"), nullptr);
    HWND location = probe::find_child(dialog, "Edit", "");
    ASSERT_NE(location, nullptr);
    ASSERT_TRUE(probe::set_text(location, "  " + second + " "));
    ASSERT_TRUE(probe::post_command(dialog, IDOK));
    EXPECT_TRUE(probe::wait_until_gone(dialog, 5000));

    EXPECT_EQ(project.wait_for_result("loaded", 15000), "yes");
    Sleep(500);
    const probe::WindowInfo info = probe::window_info(window);
    EXPECT_EQ(width(info.client_rect), 320);
    EXPECT_EQ(height(info.client_rect), 240);
    const int W = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_NEAR(info.window_rect.left, (W - width(info.window_rect)) / 2, 1);
    SetForegroundWindow(window);
    Sleep(300);
    auto shot = probe::screenshot(window, true);
    ASSERT_TRUE(shot.has_value());
    EXPECT_GT(shot->count(0xCC3300, RECT{0, 0, 320, 240}), static_cast<size_t>(320 * 240 * 9 / 10));
    close(*process, window);
}

}  // namespace
}  // namespace tarpon::e2e
