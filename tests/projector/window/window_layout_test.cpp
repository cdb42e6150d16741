#include "projector/window/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tarpon::projector::layout {
namespace {

TEST(FrameStyle, BorderlessIsAPopUpWithoutTitleBarButtons) {
    // Buttons 0x1 (maximize) and 0x1000 (context help) need a title bar; the others stay.
    FrameStyle f = frame_style(frame::no_border, button::maximize | button::minimize | button::context_help);
    EXPECT_EQ(f.add, style::popup | style::minimize_box);
    EXPECT_EQ(f.add_ex, ex_style::app_window);
    EXPECT_TRUE(f.remove_ex & ex_style::client_edge);

    // Whatever the window had, the result is exactly what the flags ask for.
    uint32_t before = 0x00CF0000 | 0x10000000;  // overlapped window, visible
    EXPECT_EQ(f.apply(before), 0x10000000u | style::popup | style::minimize_box);
    EXPECT_EQ(f.apply_ex(ex_style::client_edge | ex_style::tool_window | 0x8), ex_style::app_window | 0x8u);
}

TEST(FrameStyle, CaptionKindsAndExtras) {
    FrameStyle single = frame_style(frame::single | frame::resizable, 0);
    EXPECT_EQ(single.add, style::caption);  // single wins over resizable
    EXPECT_FALSE(single.remove_ex & ex_style::client_edge);

    FrameStyle sizable = frame_style(frame::resizable | frame::tool_caption, button::maximize | button::system_menu);
    EXPECT_EQ(sizable.add, style::caption | style::sizing_border | style::maximize_box | style::system_menu);
    EXPECT_EQ(sizable.add_ex, ex_style::tool_window | ex_style::app_window);

    // A tool caption is not given to a pop-up.
    EXPECT_FALSE(frame_style(frame::no_border | frame::tool_caption, 0).add_ex & ex_style::tool_window);

    // No task-bar button: app-window is removed and not added back.
    FrameStyle hidden = frame_style(frame::single | frame::no_task_bar_button, button::context_help);
    EXPECT_EQ(hidden.add_ex, ex_style::context_help);
    EXPECT_EQ(hidden.apply_ex(ex_style::app_window), ex_style::context_help);
}

constexpr Size screen{1280, 1024};
constexpr Rect current{30, 40, 300, 200};
constexpr Size non_client{8, 31};

Placement place(uint32_t size_mode, uint32_t position, std::optional<Size> movie = Size{550, 400},
                uint16_t w = 0, uint16_t h = 0, uint16_t x = 0, uint16_t y = 0) {
    PlacementSettings s;
    s.size_mode = size_mode;
    s.position = position;
    s.width = w;
    s.height = h;
    s.x = x;
    s.y = y;
    return compute_placement(s, screen, current, non_client, movie);
}

TEST(Placement, SizeModes) {
    // Movie size plus the frame; without a usable movie, the window's size now.
    EXPECT_EQ(place(0, 0).rect, (Rect{0, 0, 558, 431}));
    EXPECT_EQ(place(0, 0).move, PlacementMove::Repaint);
    EXPECT_EQ(place(0, 0, std::nullopt).rect, (Rect{0, 0, 300, 200}));
    EXPECT_EQ(place(0, 0, Size{0, 400}).rect, (Rect{0, 0, 300, 200}));

    EXPECT_EQ(place(1, 4).move, PlacementMove::FullScreen);
    EXPECT_EQ(place(1, 4).rect, (Rect{0, 0, 1280, 1024}));

    Placement maximized = place(2, 8);
    EXPECT_EQ(maximized.move, PlacementMove::NoRepaint);
    EXPECT_EQ(maximized.rect, (Rect{1280 - 558, 1024 - 431, 558, 431}));

    EXPECT_EQ(place(3, 0, std::nullopt, 640, 480).rect, (Rect{0, 0, 640, 480}));
    // Size mode 4 takes the percentage from the height field for both sides.
    EXPECT_EQ(place(4, 0, std::nullopt, 99, 50).rect, (Rect{0, 0, 640, 512}));
    EXPECT_EQ(place(4, 0, std::nullopt, 0, 33).rect, (Rect{0, 0, 1280 * 33 / 100, 1024 * 33 / 100}));

    Placement unknown = place(7, 4);
    EXPECT_EQ(unknown.move, PlacementMove::ShowOnly);
    EXPECT_EQ(unknown.rect, current);
}

TEST(Placement, Positions) {
    const int w = 558, h = 431, W = 1280, H = 1024;
    const Rect expected[] = {
        {0, 0, w, h},                         {(W - w) / 2, 0, w, h},           {W - w, 0, w, h},
        {0, (H - h) / 2, w, h},               {(W - w) / 2, (H - h) / 2, w, h}, {W - w, (H - h) / 2, w, h},
        {0, H - h, w, h},                     {(W - w) / 2, H - h, w, h},       {W - w, H - h, w, h},
    };
    for (uint32_t position = 0; position < 9; ++position) {
        EXPECT_EQ(place(0, position).rect, expected[position]) << "position " << position;
    }
    EXPECT_EQ(place(0, 9, Size{550, 400}, 0, 0, 17, 23).rect, (Rect{17, 23, w, h}));
    EXPECT_EQ(place(0, 10, Size{550, 400}, 0, 0, 25, 75).rect, (Rect{320, 768, w, h}));
    // Percentages of a screen that does not divide evenly are truncated.
    EXPECT_EQ(compute_placement(PlacementSettings{3, 10, 10, 10, 33, 66}, Size{1366, 768}, current, non_client,
                                std::nullopt)
                  .rect,
              (Rect{450, 506, 10, 10}));
    // A window larger than the screen is centred to negative coordinates.
    EXPECT_EQ(place(3, 4, std::nullopt, 2000, 1100).rect, (Rect{-360, -38, 2000, 1100}));
    // An unknown position keeps the rectangle as it is, size included.
    EXPECT_EQ(place(3, 11, std::nullopt, 640, 480).rect, current);
}

TEST(Placement, OffScreenWindowIsBroughtBack) {
    // Two screens side by side, the second one lower and smaller.
    const Rect screens[] = {{0, 0, 1920, 1080}, {1920, 200, 1280, 720}};
    // Anything that shows on some screen, a sliver included, stays where it is.
    for (Rect r : {Rect{100, 100, 400, 300}, Rect{2000, 300, 400, 300}, Rect{1919, 1079, 400, 300},
                   Rect{-399, -299, 400, 300}}) {
        EXPECT_EQ(keep_reachable(r, screens), r);
    }
    // Far right and below (a large custom position or percentage): onto the nearest screen, as far
    // in as the size allows.
    EXPECT_EQ(keep_reachable(Rect{60000, 60000, 400, 300}, screens), (Rect{2800, 620, 400, 300}));
    EXPECT_EQ(keep_reachable(Rect{500, 5000, 400, 300}, screens), (Rect{500, 780, 400, 300}));
    // Below the first screen's reach but beside the second: the second one is nearer.
    EXPECT_EQ(keep_reachable(Rect{2400, 1000, 400, 300}, screens), (Rect{2400, 620, 400, 300}));
    // The gap above the lower screen is off every screen too.
    EXPECT_EQ(keep_reachable(Rect{2000, 0, 400, 150}, screens), (Rect{2000, 200, 400, 150}));
    // A window larger than the screen keeps its top-left corner (and caption) in view.
    EXPECT_EQ(keep_reachable(Rect{5000, 5000, 4000, 3000}, screens), (Rect{1920, 200, 4000, 3000}));
    // Without any usable screen nothing can be said.
    EXPECT_EQ(keep_reachable(Rect{60000, 60000, 400, 300}, {}), (Rect{60000, 60000, 400, 300}));
}

TEST(MaskTransform, ByScaleMode) {
    const Size movie{200, 100}, client{400, 400}, origin{4, 23};
    // Show all: the smaller scale, centred vertically.
    EXPECT_EQ(mask_transform(0, movie, client, origin), (MaskTransform{2, 2, 4, 100 + 23}));
    // No border: the larger scale, centred horizontally (negative offset).
    EXPECT_EQ(mask_transform(1, movie, client, origin), (MaskTransform{4, 4, -200 + 4, 23}));
    EXPECT_EQ(mask_transform(2, movie, client, origin), (MaskTransform{2, 4, 4, 23}));
    EXPECT_EQ(mask_transform(3, movie, client, origin), (MaskTransform{1, 1, 100 + 4, 150 + 23}));
    // Nothing to scale by: unscaled at the client origin.
    EXPECT_EQ(mask_transform(0, Size{0, 0}, client, origin), (MaskTransform{1, 1, 4, 23}));
    EXPECT_EQ(mask_transform(9, movie, client, origin), (MaskTransform{1, 1, 4, 23}));
}

TEST(KeepRatio, FollowsTheSideThatMoved) {
    // Client 400 x 300 in a window 408 x 331 at ratio 2: the height was dragged (width unchanged),
    // so the width follows: 8 + 300 * 2.
    EXPECT_EQ(keep_ratio(2.0f, 408, Size{408, 331}, Size{400, 300}), (Size{608, 331}));
    // The width changed: the height follows: 31 + 400 / 2.
    EXPECT_EQ(keep_ratio(2.0f, 500, Size{408, 331}, Size{400, 300}), (Size{408, 231}));
    // Truncated, not rounded.
    EXPECT_EQ(keep_ratio(1.5f, 0, Size{108, 131}, Size{101, 100}), (Size{108, 31 + 67}));
    // No ratio recorded (or a client of no height gave none): nothing changes.
    EXPECT_EQ(keep_ratio(0.0f, 408, Size{408, 331}, Size{400, 300}), (Size{408, 331}));
}

std::vector<uint8_t> mask_file(const std::vector<MaskRect>& rects, uint32_t header = 32, uint32_t kind = 1,
                               int32_t count_change = 0) {
    std::vector<uint8_t> data = region_data(rects);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(data.data() + at, &v, 4); };
    put(0, header);
    put(4, kind);
    put(8, uint32_t(int32_t(rects.size()) + count_change));
    std::vector<uint8_t> file;
    for (int i = 0; i < 4; ++i) {
        file.push_back(uint8_t(data.size() >> (8 * i)));
    }
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

TEST(MaskFile, ReadsWhatRegionDataWrites) {
    std::vector<MaskRect> rects = {{0, 0, 10, 1}, {-5, 1, 20, 2}};
    auto read = read_mask_file(mask_file(rects));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, rects);

    // The header's bounds come from the rectangles, whatever a file said.
    std::vector<uint8_t> data = region_data(rects);
    int32_t bounds[4];
    std::memcpy(bounds, data.data() + 16, sizeof bounds);
    EXPECT_EQ(bounds[0], -5);
    EXPECT_EQ(bounds[1], 0);
    EXPECT_EQ(bounds[2], 20);
    EXPECT_EQ(bounds[3], 2);
    EXPECT_EQ(data.size(), 32u + 2 * 16);

    // The header's byte count of the rectangles may be left at zero.
    std::vector<uint8_t> no_size = mask_file(rects);
    std::fill_n(no_size.begin() + 4 + 12, 4, uint8_t{0});
    EXPECT_EQ(read_mask_file(no_size), rects);
}

TEST(MaskFile, RejectsMalformedFiles) {
    const std::vector<MaskRect> rects = {{0, 0, 10, 1}, {0, 1, 20, 2}};
    EXPECT_FALSE(read_mask_file({}));
    EXPECT_FALSE(read_mask_file(std::vector<uint8_t>{1, 0, 0}));
    EXPECT_FALSE(read_mask_file(mask_file(rects, 40)));        // header size
    EXPECT_FALSE(read_mask_file(mask_file(rects, 32, 2)));     // not rectangles
    EXPECT_FALSE(read_mask_file(mask_file(rects, 32, 1, 1)));  // more rectangles than bytes
    EXPECT_FALSE(read_mask_file(mask_file(rects, 32, 1, -1))); // bytes left over after them
    EXPECT_FALSE(read_mask_file(mask_file(rects, 32, 1, 0x7FFFFFF)));
    EXPECT_FALSE(read_mask_file(mask_file({})));               // no rectangles at all

    std::vector<uint8_t> short_file = mask_file(rects);
    short_file.pop_back();  // N counts one byte more than the file holds
    EXPECT_FALSE(read_mask_file(short_file));
    std::vector<uint8_t> huge_count = mask_file(rects);
    huge_count[3] = 0xFF;
    EXPECT_FALSE(read_mask_file(huge_count));
    // Bytes after the counted data: the file is not what its count says.
    std::vector<uint8_t> longer = mask_file(rects);
    longer.push_back(0xEE);
    EXPECT_FALSE(read_mask_file(longer));
    // N counts the extra byte too, but the rectangles do not fill it.
    longer[0] += 1;
    EXPECT_FALSE(read_mask_file(longer));
    // The header's own byte count of the rectangles disagrees with its rectangle count.
    std::vector<uint8_t> wrong_size = mask_file(rects);
    wrong_size[4 + 12] = 48;
    EXPECT_FALSE(read_mask_file(wrong_size));

    EXPECT_FALSE(read_mask_file(mask_file({{0, 0, 10, 1}, {5, 1, 5, 2}})));       // empty
    EXPECT_FALSE(read_mask_file(mask_file({{0, 0, 10, 1}, {9, 3, 2, 4}})));       // inverted
    EXPECT_FALSE(read_mask_file(mask_file({{0, 0, 1 << 28, 1}})));                // beyond region range
    EXPECT_TRUE(read_mask_file(mask_file({{-(1 << 27), 0, 1 << 27, 1}})));
}

}  // namespace
}  // namespace tarpon::projector::layout
