// The transparent shapes with the stand-in player control: a window filled by the player host,
// its region built before every paint of the control from the control's own drawing.
#ifdef _WIN32

#include "projector/window/transparent_shape.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "player/swf/swf_writer.h"
#include "projector/appdata/item_source.h"
#include "projector/player_host/player_host.h"

namespace tarpon::projector {
namespace {

constexpr int twips = 20;
constexpr uint32_t movie_background = 0x336699;

std::string bin_folder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// A 320 x 240 movie: an orange disc of radius 80 at the centre, on the background when given.
std::vector<uint8_t> disc_movie(bool with_background) {
    swf::MovieWriter movie(320, 240, 12);
    if (with_background) {
        movie.background(movie_background);
    }
    swf::ShapeWriter disc;
    disc.circle(160 * twips, 120 * twips, 80 * twips, disc.solid_fill(0xFFF08C1E));
    movie.place(1, movie.define_shape(disc));
    movie.actions(swf::ActionWriter().stop());
    movie.show_frame();
    return movie.finish();
}

// The process's GDI objects. Where the system does not count them (Wine), the live handles are
// counted: a handle's low word is its slot, and a slot number alone names the object in it.
size_t gdi_objects() {
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); count != 0) {
        return count;
    }
    size_t live = 0;
    for (uintptr_t slot = 1; slot < 0x10000; ++slot) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) {
            ++live;
        }
    }
    return live;
}

const char window_class[] = "TarponTransparentShapeTest";

class TransparentShapes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = window_class;
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, window_class, "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, 320, 240,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_window, nullptr);
        ASSERT_EQ(m_host.create(m_window, 1001, bin_folder() + "tarpon-player.dll"), S_OK);
        fit_control();
        m_host.set_paint_hook([this](const RECT* update) {
            ++m_paints;
            platform::ComPtr<IViewObject> view = m_host.view_object();
            m_shape.reshape(m_window, m_mode, view.get(), m_host.control(), m_host.movie_background(), update);
        });
    }
    void TearDown() override {
        m_host.set_paint_hook(nullptr);
        m_shape.release();
        m_host.destroy();
        if (m_window != nullptr) {
            DestroyWindow(m_window);
        }
        if (!m_movie.empty()) {
            DeleteFileA(m_movie.c_str());
        }
        OleUninitialize();
    }

    void fit_control() {
        RECT client{};
        GetClientRect(m_window, &client);
        m_host.resize(client);
    }
    void load(bool with_background) {
        m_movie = (std::filesystem::temp_directory_path() /
                   ("tarpon-shape-" + std::to_string(GetCurrentProcessId()) + ".swf"))
                      .string();
        ASSERT_TRUE(appdata::write_file(m_movie, disc_movie(with_background)));
        ASSERT_TRUE(m_host.load_movie(m_movie, false));
    }
    void repaint() {
        RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    // Whether the window region holds the client point; nothing without a region.
    std::optional<bool> inside(int x, int y) const {
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        std::optional<bool> result;
        if (GetWindowRgn(m_window, region) != ERROR) {
            result = PtInRegion(region, x, y) != FALSE;
        }
        DeleteObject(region);
        return result;
    }
    // The disc is there and nothing around it.
    void expect_disc() const {
        EXPECT_EQ(inside(160, 120), true);
        EXPECT_EQ(inside(160 + 75, 120), true);
        EXPECT_EQ(inside(5, 5), false);
        EXPECT_EQ(inside(160 + 85, 120), false);
        EXPECT_EQ(inside(314, 234), false);
    }

    HWND m_window = nullptr;
    PlayerHost m_host;
    TransparentShape m_shape;
    int m_mode = 1;
    int m_paints = 0;
    std::string m_movie;
};

TEST_F(TransparentShapes, KeyColourFromTheControlOrTheMovie) {
    load(true);
    // The control has no colour of its own: the movie's background is the key.
    repaint();
    ASSERT_GT(m_paints, 0);
    expect_disc();
    EXPECT_EQ(m_shape.bitmap_count(), 1);

    // A colour of the control's own is drawn instead and is the key then.
    m_host.control()->put_BackgroundColor(0x00FF00);
    SetWindowRgn(m_window, nullptr, FALSE);
    repaint();
    expect_disc();
}

TEST_F(TransparentShapes, NoKeyColourMakesNoRegion) {
    load(false);
    repaint();
    ASSERT_GT(m_paints, 0);
    EXPECT_FALSE(inside(5, 5).has_value());
}

TEST_F(TransparentShapes, DoubleDrawingPutsTheColourBack) {
    m_mode = 3;
    load(true);
    m_host.control()->put_BackgroundColor(0x123456);
    repaint();
    expect_disc();
    EXPECT_EQ(m_shape.bitmap_count(), 2);
    long colour = 0;
    m_host.control()->get_BackgroundColor(&colour);
    EXPECT_EQ(colour, 0x123456);
}

TEST_F(TransparentShapes, PartOfTheWindowRepaintedKeepsTheRest) {
    load(true);
    repaint();
    expect_disc();
    // A corner of the control repainted (as when a window over it goes away).
    RECT corner{0, 0, 60, 60};
    InvalidateRect(m_host.window(), &corner, FALSE);
    UpdateWindow(m_host.window());
    expect_disc();
}

TEST_F(TransparentShapes, RepaintsAndResizesLeaveNoObjectsBehind) {
    load(true);
    repaint();
    const size_t before = gdi_objects();
    ASSERT_GT(before, 0u) << "no way to count GDI objects here";
    for (int i = 0; i < 300; ++i) {
        if (i % 50 == 25) {
            // A size change frees the bitmaps; the next paint makes them at the new size.
            SetWindowPos(m_window, nullptr, 0, 0, 320 + i / 10, 240, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            fit_control();
            m_shape.release();
        }
        m_mode = (i / 100) % 2 == 0 ? 1 : 3;
        repaint();
    }
    SetWindowPos(m_window, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    fit_control();
    m_mode = 1;
    repaint();
    EXPECT_GT(m_paints, 300);
    // Mode 3 holds one bitmap and device context more than mode 1 held before.
    EXPECT_LE(gdi_objects(), before + 2 + 4);
    expect_disc();
}

}  // namespace
}  // namespace tarpon::projector

#endif
