// The main window's shapes seen from outside: a project's mask, the transparent movie background
// (the movie's own colour as the key, and the double drawing), a script changing the shape, and
// the desktop showing through the transparent parts.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

constexpr int start_timeout = 30000;
constexpr int end_timeout = 20000;
// The orange square of movie_with_button: 100,60 to 220,180 in the 320 x 240 movie.
constexpr RECT square{100, 60, 220, 180};

// A mask file: the byte count, then region data of the rectangles.
std::vector<uint8_t> mask_file(const std::vector<RECT>& rects) {
    std::vector<uint32_t> words = {32, 1, uint32_t(rects.size()), uint32_t(rects.size() * 16), 0, 0, 0, 0};
    for (const RECT& r : rects) {
        for (LONG v : {r.left, r.top, r.right, r.bottom}) {
            words.push_back(uint32_t(v));
        }
    }
    std::vector<uint8_t> bytes;
    auto put = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(uint8_t(v >> (8 * i)));
        }
    };
    put(uint32_t(words.size() * 4));
    for (uint32_t w : words) {
        put(w);
    }
    return bytes;
}

class WindowShapes : public ::testing::Test {
protected:
    void SetUp() override {
        if (!projector_built()) {
            GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built in " << bin_folder();
        }
    }
    void TearDown() override {
        if (m_process && m_window != nullptr && m_process->running()) {
            probe::request_close(m_window);
            EXPECT_TRUE(m_process->wait(end_timeout).has_value());
        }
    }

    // Builds and starts a borderless, top-most project with the movie-with-button at the top left,
    // and waits for its window.
    void start(TestProject& project, const std::string& window_keys) {
        project.write_settings("frame = [\"no_border\"]\ncaption_buttons = []\n"
                               "flags = [\"play_on_load\", \"always_on_top\"]\n" + window_keys);
        std::string log;
        ASSERT_TRUE(project.build(&log)) << log;
        m_process = std::make_unique<Process>(project.exe(), "", project.dir(), project.temp_dir());
        ASSERT_TRUE(m_process->started());
        m_window = m_process->main_window(start_timeout);
        ASSERT_NE(m_window, nullptr);
    }

    // Whether the window region holds the client point; nothing while the window has no region.
    std::optional<bool> inside(int x, int y) const {
        std::optional<std::vector<RECT>> region = probe::window_region(m_window);
        if (!region) {
            return std::nullopt;
        }
        const probe::WindowInfo info = probe::window_info(m_window);
        const POINT at{x + info.client_rect.left - info.window_rect.left, y + info.client_rect.top - info.window_rect.top};
        for (const RECT& r : *region) {
            if (PtInRect(&r, at)) {
                return true;
            }
        }
        return false;
    }
    // Waits until the window has a region (transparent shapes come with the first paint).
    bool wait_for_region(int timeout_ms = 10000) const {
        for (int waited = 0; waited < timeout_ms; waited += 50) {
            if (probe::window_region(m_window)) {
                return true;
            }
            Sleep(50);
        }
        return false;
    }
    void expect_square() const {
        EXPECT_EQ(inside(160, 120), true);
        EXPECT_EQ(inside(square.left + 2, square.top + 2), true);
        EXPECT_EQ(inside(square.right - 2, square.bottom - 2), true);
        EXPECT_EQ(inside(20, 20), false);
        EXPECT_EQ(inside(square.left - 3, 120), false);
        EXPECT_EQ(inside(300, 220), false);
    }

    std::unique_ptr<Process> m_process;
    HWND m_window = nullptr;
};

// A mask shapes the window, mapped by the scale mode; a script taking the region away leaves the
// plain rectangle.
TEST_F(WindowShapes, MaskFromTheProject) {
    TestProject project("mask");
    // An L in movie pixels: the top half whole, the left half below it.
    write_bytes(project.path("masks\\ell.msk"), mask_file({{0, 0, 320, 120}, {0, 120, 160, 240}}));
    project.write_movie("start.swf", movie_with_button({"Quill_Run", "clear"}));
    project.write_script("clear", "setWindowless(); put(\"cleared\", true);");
    ASSERT_NO_FATAL_FAILURE(start(project, "shape = \"mask\"\nmask = \"ell\"\nscale = \"exact_fit\""));
    ASSERT_TRUE(wait_for_region());
    EXPECT_EQ(inside(300, 60), true);
    EXPECT_EQ(inside(60, 200), true);
    EXPECT_EQ(inside(240, 200), false);
    EXPECT_EQ(inside(165, 125), false);
    ASSERT_TRUE(probe::click(m_window, 160, 100));
    ASSERT_TRUE(project.wait_for_result("cleared", 10000));
    Sleep(200);
    EXPECT_FALSE(probe::window_region(m_window).has_value());
}

// Shape mode 1 keyed on the movie's own background, and mode 3 drawn on white and black: only the
// orange square is left of the window.
TEST_F(WindowShapes, TransparentBackgroundAndDoubleDrawing) {
    for (const char* shape : {"transparent", "double_drawing"}) {
        SCOPED_TRACE(shape);
        TestProject project(shape);
        project.write_movie("start.swf", movie_with_button({"Quill_Run", "plain"}));
        project.write_script("plain", "setWindowless(2); put(\"plain\", true);");
        ASSERT_NO_FATAL_FAILURE(start(project, std::string("shape = \"") + shape + "\""));
        ASSERT_TRUE(wait_for_region());
        expect_square();
        // A script asks for the plain rectangle: no region any more.
        ASSERT_TRUE(probe::click(m_window, 160, 120));
        ASSERT_TRUE(project.wait_for_result("plain", 10000));
        for (int waited = 0; waited < 5000 && probe::window_region(m_window); waited += 50) {
            Sleep(50);
        }
        EXPECT_FALSE(probe::window_region(m_window).has_value());
        TearDown();
        m_process.reset();
        m_window = nullptr;
    }
}

// A script turns a plain window transparent; taking its region away leaves the next repaint to
// build it again.
TEST_F(WindowShapes, ScriptMakesTheWindowTransparent) {
    TestProject project("script");
    project.write_movie("start.swf", movie_with_button({"Quill_Run", "clear"}, {{"Quill_Run", "transparent"}}));
    project.write_script("transparent", "setWindowless(0); put(\"transparent\", true);");
    project.write_script("clear", "setWindowless(); put(\"cleared\", true);");
    ASSERT_NO_FATAL_FAILURE(start(project, "shape = \"rectangle\""));
    ASSERT_TRUE(project.wait_for_result("transparent", 15000));
    ASSERT_TRUE(wait_for_region());
    expect_square();
    ASSERT_TRUE(probe::click(m_window, 160, 120));
    ASSERT_TRUE(project.wait_for_result("cleared", 10000));
    // Repainted (as another window going away would make it), the shape is back.
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    ASSERT_TRUE(wait_for_region());
    expect_square();
}

// A full-screen window of one colour behind the projector: its colour shows through everywhere
// but the square.
TEST_F(WindowShapes, DesktopShowsThroughTheTransparentParts) {
    constexpr COLORREF backdrop_colour = RGB(0xFF, 0x00, 0xFF);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = CreateSolidBrush(backdrop_colour);
    wc.lpszClassName = "TarponShapeBackdrop";
    RegisterClassA(&wc);
    HWND backdrop = CreateWindowExA(WS_EX_NOACTIVATE, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0,
                                    GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                    wc.hInstance, nullptr);
    ASSERT_NE(backdrop, nullptr);
    auto pump = [](int ms) {
        for (int waited = 0; waited < ms; waited += 20) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&message);
            }
            Sleep(20);
        }
    };
    pump(200);

    TestProject project("screenshot");
    project.write_movie("start.swf", movie_with_button({"Quill_Run", "none"}));
    ASSERT_NO_FATAL_FAILURE(start(project, "shape = \"transparent\""));
    ASSERT_TRUE(wait_for_region());
    SetForegroundWindow(m_window);
    pump(800);
    std::optional<probe::Image> shot = probe::screenshot(m_window, true);
    ASSERT_TRUE(shot.has_value());
    ASSERT_EQ(shot->width, 320);
    ASSERT_EQ(shot->height, 240);
    shot->save_bmp(project.path("shaped.bmp"));
    const uint32_t magenta = 0xFF00FF;
    // The square is the movie's orange; the corners and the band around the square the backdrop.
    EXPECT_GT(shot->count(0xF08C1E, RECT{105, 65, 215, 175}), size_t(110 * 110 * 9 / 10));
    EXPECT_GT(shot->count(magenta, RECT{0, 0, 90, 240}), size_t(90 * 240 * 9 / 10));
    EXPECT_GT(shot->count(magenta, RECT{230, 0, 320, 240}), size_t(90 * 240 * 9 / 10));
    EXPECT_EQ(shot->count(0x336699, RECT{0, 0, 320, 240}), 0u);
    DestroyWindow(backdrop);
    DeleteObject(wc.hbrBackground);
}

}  // namespace
}  // namespace tarpon::e2e
