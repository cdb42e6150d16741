#ifdef _WIN32

#include "projector/window/window_rules.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "projector/app/projector_state.h"
#include "projector/appdata/file_system.h"
#include "projector/appdata/run_folder.h"
#include "projector/window/window_layout.h"

namespace tarpon::projector {
namespace {

const char test_class[] = "TarponWindowRulesTest";
LPARAM g_scale_message = -1;

LRESULT CALLBACK test_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == message::set_scale_mode) {
        g_scale_message = lparam;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

class WindowRules : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = test_procedure;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = test_class;
        RegisterClassA(&window_class);
        // As start-up makes the main window: overlapped, forced task-bar button, hidden.
        m_window = CreateWindowExA(WS_EX_APPWINDOW, test_class, "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                   300, 200, nullptr, CreateMenu(), GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_window, nullptr);
        g_scale_message = -1;
        m_screen = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    void TearDown() override {
        DestroyWindow(m_window);
        if (!m_folder.empty()) {
            appdata::remove_tree(m_folder);
        }
    }

    RECT rect() const {
        RECT r{};
        GetWindowRect(m_window, &r);
        return r;
    }
    // The window's rectangle as x, y, width, height.
    std::array<LONG, 4> box() const {
        RECT r = rect();
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    SIZE non_client() const {
        RECT w = rect(), c{};
        GetClientRect(m_window, &c);
        return SIZE{(w.right - w.left) - c.right, (w.bottom - w.top) - c.bottom};
    }
    // A run folder of the test's own, holding `name`.msk with these bytes.
    void write_mask(const std::string& name, const std::vector<uint8_t>& bytes) {
        if (m_folder.empty()) {
            char temp[MAX_PATH];
            GetTempPathA(MAX_PATH, temp);
            m_folder = std::string(temp) + appdata::new_guid_text() + "\\";
            ASSERT_TRUE(appdata::make_folder(m_folder));
        }
        std::ofstream(m_folder + name + ".msk", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    // Resizes the window so that its client area is `width` x `height`.
    void set_client(int width, int height) {
        SetWindowPos(m_window, nullptr, 0, 0, 300, 300, SWP_NOZORDER | SWP_NOACTIVATE);
        SIZE frame = non_client();
        SetWindowPos(m_window, nullptr, 0, 0, width + frame.cx, height + frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT c{};
        GetClientRect(m_window, &c);
        ASSERT_EQ(c.right, width);
        ASSERT_EQ(c.bottom, height);
    }
    POINT client_origin() const {
        POINT origin{0, 0};
        ClientToScreen(m_window, &origin);
        RECT w = rect();
        return POINT{origin.x - w.left, origin.y - w.top};
    }
    bool has_region() const {
        HRGN probe = CreateRectRgn(0, 0, 0, 0);
        int kind = GetWindowRgn(m_window, probe);
        DeleteObject(probe);
        return kind != ERROR;
    }

    HWND m_window = nullptr;
    SIZE m_screen{};
    std::string m_folder;
};

TEST_F(WindowRules, StyleFromFrameFlagsAndButtons) {
    ShowWindow(m_window, SW_SHOWNORMAL);
    appdata::Settings settings;
    settings.frame_flags = 0x1;                        // no border
    settings.caption_buttons = 0x1 | 0x10 | 0x100;    // maximize, minimize, system menu
    settings.caption = "Caption \xE9t\xE9";           // ANSI text
    settings.scale_mode = 0x100;
    apply_style(m_window, settings);

    auto style = static_cast<DWORD>(GetWindowLongA(m_window, GWL_STYLE));
    auto ex_style = static_cast<DWORD>(GetWindowLongA(m_window, GWL_EXSTYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);  // a pop-up gets no maximize box
    EXPECT_EQ(style & WS_CAPTION, 0u);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(ex_style & WS_EX_APPWINDOW);
    EXPECT_FALSE(IsWindowVisible(m_window));  // placement shows it again
    EXPECT_EQ(GetMenu(m_window), nullptr);
    char caption[64] = {};
    GetWindowTextA(m_window, caption, sizeof caption);
    EXPECT_STREQ(caption, settings.caption.c_str());
    EXPECT_EQ(g_scale_message, 0x100);

    settings.frame_flags = 0x100 | 0x1000 | 0x10000;  // sizing border, tool caption, no task-bar button
    settings.caption_buttons = 0x1000;
    apply_style(m_window, settings);
    style = static_cast<DWORD>(GetWindowLongA(m_window, GWL_STYLE));
    ex_style = static_cast<DWORD>(GetWindowLongA(m_window, GWL_EXSTYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & (WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(ex_style & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(ex_style & WS_EX_CONTEXTHELP);
    EXPECT_FALSE(ex_style & WS_EX_APPWINDOW);
}

TEST_F(WindowRules, PlacementBySizeModeAndPosition) {
    using Box = std::array<LONG, 4>;
    const int W = m_screen.cx, H = m_screen.cy;
    appdata::Settings settings;
    const SIZE frame = non_client();

    // Movie size at the screen centre.
    settings.size_mode = 0;
    settings.position = 4;
    place_window(m_window, settings, SIZE{320, 240});
    const int w = 320 + frame.cx, h = 240 + frame.cy;
    EXPECT_EQ(box(), (Box{(W - w) / 2, (H - h) / 2, w, h}));
    EXPECT_TRUE(IsWindowVisible(m_window));

    // No movie measured: the window keeps its size, placed bottom right.
    settings.position = 8;
    place_window(m_window, settings, std::nullopt);
    EXPECT_EQ(box(), (Box{W - w, H - h, w, h}));

    // Half the screen, at a quarter across and three quarters down.
    settings.size_mode = 4;
    settings.height = 50;
    settings.position = 10;
    settings.x = 25;
    settings.y = 75;
    place_window(m_window, settings, SIZE{320, 240});
    EXPECT_EQ(box(), (Box{25 * W / 100, 75 * H / 100, 50 * W / 100, 50 * H / 100}));

    // Custom size at a custom point.
    settings.size_mode = 3;
    settings.width = 400;
    settings.height = 300;
    settings.position = 9;
    settings.x = 10;
    settings.y = 20;
    place_window(m_window, settings, std::nullopt);
    EXPECT_EQ(box(), (Box{10, 20, 400, 300}));

    // Full screen.
    settings.size_mode = 1;
    place_window(m_window, settings, SIZE{320, 240});
    EXPECT_EQ(box(), (Box{0, 0, W, H}));
    EXPECT_FALSE(IsZoomed(m_window));

    // Maximized, then back to a custom size: the custom rectangle holds, not the old restored one.
    settings.size_mode = 2;
    place_window(m_window, settings, SIZE{320, 240});
    EXPECT_TRUE(IsZoomed(m_window));
    settings.size_mode = 3;
    settings.position = 0;
    place_window(m_window, settings, std::nullopt);
    EXPECT_FALSE(IsZoomed(m_window));
    EXPECT_EQ(box(), (Box{0, 0, 400, 300}));

    // An unknown size mode only shows the window where it is.
    ShowWindow(m_window, SW_HIDE);
    settings.size_mode = 9;
    place_window(m_window, settings, SIZE{320, 240});
    EXPECT_TRUE(IsWindowVisible(m_window));
    EXPECT_EQ(box(), (Box{0, 0, 400, 300}));
}

// A region's bounding box, comparable.
struct Bounds {
    LONG left, top, right, bottom;
    explicit Bounds(const RECT& r) : left(r.left), top(r.top), right(r.right), bottom(r.bottom) {}
    Bounds(LONG l, LONG t, LONG r, LONG b) : left(l), top(t), right(r), bottom(b) {}
    bool operator==(const Bounds&) const = default;
};

std::vector<uint8_t> mask_bytes(const std::vector<layout::MaskRect>& rects) {
    std::vector<uint8_t> data = layout::region_data(rects);
    std::vector<uint8_t> file;
    for (int i = 0; i < 4; ++i) {
        file.push_back(uint8_t(data.size() >> (8 * i)));
    }
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

TEST_F(WindowRules, ShapeFromMaskFile) {
    // An L of two rectangles in a 100 x 100 movie.
    write_mask("ell", mask_bytes({{0, 0, 100, 50}, {0, 50, 50, 100}}));
    set_client(200, 200);
    const POINT origin = client_origin();
    appdata::Settings settings;
    settings.shape_mode = 2;
    settings.mask = "ell";

    // Exact fit doubles it.
    apply_shape(m_window, settings, m_folder, 2, SIZE{100, 100});
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(m_window, region), ERROR);
    RECT bounds{};
    GetRgnBox(region, &bounds);
    EXPECT_EQ(Bounds(bounds), (Bounds{origin.x, origin.y, origin.x + 200, origin.y + 200}));
    EXPECT_TRUE(PtInRegion(region, origin.x + 50, origin.y + 150));
    EXPECT_FALSE(PtInRegion(region, origin.x + 150, origin.y + 150));

    // No scale: the movie's own size, centred in the client area.
    apply_shape(m_window, settings, m_folder, 3, SIZE{100, 100});
    ASSERT_NE(GetWindowRgn(m_window, region), ERROR);
    GetRgnBox(region, &bounds);
    EXPECT_EQ(Bounds(bounds), (Bounds{origin.x + 50, origin.y + 50, origin.x + 150, origin.y + 150}));
    DeleteObject(region);

    // Any other shape mode removes the region.
    settings.shape_mode = 0;
    apply_shape(m_window, settings, m_folder, 3, SIZE{100, 100});
    EXPECT_FALSE(has_region());
}

TEST_F(WindowRules, BadOrMissingMaskLeavesNoRegion) {
    std::vector<uint8_t> good = mask_bytes({{0, 0, 100, 50}});
    write_mask("good", good);
    std::vector<uint8_t> short_file(good.begin(), good.end() - 3);
    write_mask("short", short_file);
    std::vector<uint8_t> wrong_count = good;
    wrong_count[4 + 8] = 9;  // nine rectangles claimed, one present
    write_mask("count", wrong_count);
    write_mask("empty", {});
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);  // a byte the count does not cover
    write_mask("trailing", trailing);

    appdata::Settings settings;
    settings.shape_mode = 2;
    for (const char* name : {"short", "count", "empty", "trailing", "absent", "..\\good", "good\\..\\good"}) {
        settings.mask = "good";
        apply_shape(m_window, settings, m_folder, 0, SIZE{100, 100});
        ASSERT_TRUE(has_region());
        settings.mask = name;
        apply_shape(m_window, settings, m_folder, 0, SIZE{100, 100});
        EXPECT_FALSE(has_region()) << name;
    }
    // No run folder at all.
    settings.mask = "good";
    apply_shape(m_window, settings, "", 0, SIZE{100, 100});
    EXPECT_FALSE(has_region());
}

TEST_F(WindowRules, PlacementFlagsAndRatio) {
    ShowWindow(m_window, SW_SHOWNORMAL);
    apply_placement_flags(m_window, 0x100, false);
    EXPECT_TRUE(GetWindowLongA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(IsIconic(m_window));
    apply_placement_flags(m_window, 0, true);
    EXPECT_FALSE(GetWindowLongA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    apply_placement_flags(m_window, 0x10 | 0x100, false);
    EXPECT_TRUE(IsIconic(m_window));
    EXPECT_TRUE(GetWindowLongA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST);

    ShowWindow(m_window, SW_RESTORE);
    set_client(300, 200);
    EXPECT_FLOAT_EQ(client_aspect_ratio(m_window), 1.5f);
}

}  // namespace
}  // namespace tarpon::projector

#endif
