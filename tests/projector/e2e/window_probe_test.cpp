// The window probe against a window whose every property is known: the fixture program's probe
// window (tests/fixtures/window_fixture.cpp), which logs what it receives.
#include <gtest/gtest.h>

#include <string>

#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

class WindowProbe : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = project_.path("events.log");
        fixture_ = std::make_unique<Process>(bin_folder() + "fixtures\\window_fixture.exe", "probe " + log_,
                                             project_.dir());
        ASSERT_TRUE(fixture_->started());
        probe::WindowQuery query;
        query.process_id = fixture_->id();
        query.class_name = "tarponprobefixture";  // letter case is ignored
        window_ = probe::wait_for_window(query, 15000);
        ASSERT_NE(window_, nullptr);
    }

    // The fixture is asked to close rather than terminated: its window goes the ordinary way.
    void TearDown() override {
        if (fixture_ && fixture_->running() && window_ != nullptr && probe::request_close(window_)) {
            fixture_->wait(10000);
        }
    }

    // Waits until the log holds the line.
    bool logged(const std::string& line, int timeout_ms = 5000) {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
        do {
            std::string log;
            for (char c : read_text(log_).value_or("")) {
                if (c != '\r') log += c;  // the fixture writes text-mode line ends
            }
            if (("\n" + log).find("\n" + line + "\n") != std::string::npos) {
                return true;
            }
            Sleep(50);
        } while (GetTickCount64() < end);
        return false;
    }

    TestProject project_{"probe"};
    std::string log_;
    std::unique_ptr<Process> fixture_;
    HWND window_ = nullptr;
};

TEST_F(WindowProbe, ReadsWhatTheWindowIs) {
    probe::WindowQuery by_caption;
    by_caption.caption = "Tarpon probe fixture";
    EXPECT_EQ(probe::find_window(by_caption), window_);
    by_caption.caption = "tarpon probe fixture";  // captions must match exactly
    by_caption.process_id = fixture_->id();
    EXPECT_EQ(probe::find_window(by_caption), nullptr);
    probe::WindowQuery by_program;
    by_program.process_name = "WINDOW_FIXTURE.exe";
    by_program.class_name = "TarponProbeFixture";
    EXPECT_EQ(probe::find_window(by_program), window_);

    probe::WindowInfo info = probe::window_info(window_);
    EXPECT_EQ(info.handle, window_);
    EXPECT_EQ(info.process_id, fixture_->id());
    EXPECT_EQ(info.class_name, "TarponProbeFixture");
    EXPECT_EQ(info.caption, "Tarpon probe fixture");
    EXPECT_EQ(info.style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
    EXPECT_TRUE(info.topmost);
    EXPECT_TRUE(info.visible);
    EXPECT_FALSE(info.minimized);
    EXPECT_FALSE(info.maximized);
    EXPECT_EQ(info.client_rect.right - info.client_rect.left, 300);
    EXPECT_EQ(info.client_rect.bottom - info.client_rect.top, 200);
    EXPECT_GE(info.client_rect.left, info.window_rect.left);
    EXPECT_GT(info.client_rect.top, info.window_rect.top);  // below the caption

    ASSERT_TRUE(info.has_region);
    const LONG width = info.window_rect.right - info.window_rect.left;
    const LONG height = info.window_rect.bottom - info.window_rect.top;
    LONG area = 0;
    for (const RECT& r : info.region) {
        area += (r.right - r.left) * (r.bottom - r.top);
    }
    EXPECT_EQ(area, (width / 2) * height + (width - width / 2) * 60);

    const std::string text = probe::describe(info);
    EXPECT_NE(text.find("class: TarponProbeFixture\n"), std::string::npos) << text;
    EXPECT_NE(text.find("topmost: yes\n"), std::string::npos) << text;

    // A window without a region says so.
    EXPECT_FALSE(probe::window_region(GetDesktopWindow()).has_value());
    EXPECT_EQ(probe::window_info(nullptr).handle, nullptr);
}

TEST_F(WindowProbe, ClicksReachTheWindowOrTheChildUnderThePoint) {
    EXPECT_TRUE(probe::click(window_, 200, 150));
    EXPECT_TRUE(logged("click 200,150"));
    // Keys go to the focus: the window itself until the button has been pressed.
    EXPECT_TRUE(probe::press_key(window_, 'A'));
    EXPECT_TRUE(logged("key 65"));
    // The push button at 10,10-110,40 takes the click, and tells its parent.
    POINT inside{};
    HWND child = probe::child_at(window_, POINT{60, 25}, &inside);
    EXPECT_NE(child, window_);
    EXPECT_EQ(inside.x, 50);
    EXPECT_EQ(inside.y, 15);
    EXPECT_TRUE(probe::click(window_, 60, 25));
    EXPECT_TRUE(logged("button"));
    // The button found by class and text, pressed as its dialog would be.
    HWND button = probe::find_child(window_, "button", "Press");
    EXPECT_EQ(button, child);
    EXPECT_EQ(probe::find_child(window_, "button", "Nothing"), nullptr);
    EXPECT_TRUE(probe::set_text(button, "Pressed"));
    EXPECT_EQ(probe::window_info(button).caption, "Pressed");
}

TEST_F(WindowProbe, ScreenshotShowsTheWindowsColour) {
    SetForegroundWindow(window_);
    Sleep(300);
    auto shot = probe::screenshot(window_, true);
    ASSERT_TRUE(shot.has_value());
    EXPECT_EQ(shot->width, 300);
    EXPECT_EQ(shot->height, 200);
    // The red background fills the client area below the button, as far as the region shows it.
    const size_t red = shot->count(0xFF0000, RECT{0, 60, 140, 200});
    EXPECT_GT(red, static_cast<size_t>(140 * 140 * 9 / 10));

    const std::string file = project_.path("shot.bmp");
    ASSERT_TRUE(shot->save_bmp(file));
    const std::string bytes = read_text(file).value_or("");
    ASSERT_EQ(bytes.size(), 14u + 40u + 300u * 200u * 4u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_FALSE(probe::Image{}.save_bmp(project_.path("empty.bmp")));
}

TEST_F(WindowProbe, CloseAndEndSessionEndTheProgram) {
    EXPECT_TRUE(probe::request_close(window_));
    EXPECT_TRUE(probe::wait_until_gone(window_, 10000));
    EXPECT_TRUE(logged("close"));
    EXPECT_TRUE(fixture_->wait(10000).has_value());
    EXPECT_FALSE(probe::request_close(window_));  // gone: nothing to post to
}

TEST_F(WindowProbe, EndSessionAsksFirst) {
    bool agreed = false;
    EXPECT_TRUE(probe::end_session(window_, 5000, &agreed));
    EXPECT_TRUE(agreed);
    EXPECT_TRUE(logged("query"));
    EXPECT_TRUE(logged("end 1"));
    EXPECT_TRUE(probe::wait_until_gone(window_, 10000));
}

TEST(WindowProbeTool, ExitStatusesAndOutput) {
    const std::string tool = bin_folder() + "tarpon-probe.exe";
    std::string output;
    EXPECT_EQ(run_to_end(tool, "--help", 30000, &output), 0);
    EXPECT_NE(output.find("usage: tarpon-probe"), std::string::npos);
    EXPECT_EQ(run_to_end(tool, "", 30000, &output), 2);
    EXPECT_EQ(run_to_end(tool, "fly --pid 1", 30000, &output), 2);
    EXPECT_EQ(run_to_end(tool, "info", 30000, &output), 2);  // no window named
    EXPECT_EQ(run_to_end(tool, "click 1 --pid 1", 30000, &output), 2);
    EXPECT_EQ(run_to_end(tool, "info --caption \"No such window here\" --timeout 100", 30000, &output), 1);

    TestProject project("tool");
    Process fixture(bin_folder() + "fixtures\\window_fixture.exe", "probe " + project.path("events.log"),
                    project.dir());
    ASSERT_TRUE(fixture.started());
    const std::string window = " --pid " + std::to_string(fixture.id()) + " --timeout 15000";
    EXPECT_EQ(run_to_end(tool, "info" + window, 30000, &output), 0);
    EXPECT_NE(output.find("caption: Tarpon probe fixture"), std::string::npos) << output;
    const std::string shot = project.path("tool shot.bmp");
    EXPECT_EQ(run_to_end(tool, "shot \"" + shot + "\" --client" + window, 30000, &output), 0) << output;
    EXPECT_EQ(read_text(shot).value_or("").substr(0, 2), "BM");
    EXPECT_EQ(run_to_end(tool, "close" + window, 30000, &output), 0) << output;
    EXPECT_TRUE(fixture.wait(10000).has_value());
}

}  // namespace
}  // namespace tarpon::e2e
