#include "projector/window/shape_scan.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tarpon::projector::shape {
namespace {

using layout::MaskRect;

constexpr uint32_t key = 0x00FF00;

// A picture drawn from text: '.' the key colour, '#' something else (with stray alpha bits, which
// must not matter).
struct Drawing {
    std::vector<uint32_t> pixels;
    int32_t width = 0, height = 0;

    explicit Drawing(const std::vector<std::string>& rows, uint32_t opaque = 0xFF123456, uint32_t clear = key) {
        height = int32_t(rows.size());
        width = int32_t(rows.front().size());
        for (const std::string& row : rows) {
            for (char c : row) {
                pixels.push_back(c == '.' ? (clear | 0xFF000000u) : opaque);
            }
        }
    }
    Picture picture() const { return Picture{pixels.data(), width, height, width}; }
    Area whole() const { return Area{0, 0, width, height}; }
};

std::set<std::pair<int, int>> covered(const std::vector<MaskRect>& rects) {
    std::set<std::pair<int, int>> points;
    for (const MaskRect& r : rects) {
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                EXPECT_TRUE(points.insert({x, y}).second) << "rectangles overlap at " << x << "," << y;
            }
        }
    }
    return points;
}

TEST(ShapeScan, RunsOfTwoOrMoreAndEqualRowsMerged) {
    const Drawing drawing({
        "..####..#.",  // a run of 4 and a lone pixel (dropped)
        "..####..#.",
        "..####..##",  // the same run plus a run of 2 at the edge
        "##........",
        "..........",
        "#########.",
    });
    const std::vector<MaskRect> rects = keyed_rectangles(drawing.picture(), key, drawing.whole());
    const std::vector<MaskRect> expected = {
        {2, 0, 6, 2},  // the two equal rows as one rectangle
        {2, 2, 6, 3}, {8, 2, 10, 3},
        {0, 3, 2, 4},
        {0, 5, 9, 6},
    };
    EXPECT_EQ(rects, expected);
}

TEST(ShapeScan, AreaLimitsTheScanAndIsCutToThePicture) {
    const Drawing drawing({
        "##########",
        "##########",
        "##########",
    });
    EXPECT_EQ(keyed_rectangles(drawing.picture(), key, Area{3, 1, 7, 2}), (std::vector<MaskRect>{{3, 1, 7, 2}}));
    EXPECT_EQ(keyed_rectangles(drawing.picture(), key, Area{-5, -5, 50, 50}),
              (std::vector<MaskRect>{{0, 0, 10, 3}}));
    // An area of one column holds no run of two.
    EXPECT_TRUE(keyed_rectangles(drawing.picture(), key, Area{4, 0, 5, 3}).empty());
    EXPECT_TRUE(keyed_rectangles(drawing.picture(), key, Area{7, 0, 3, 3}).empty());
    EXPECT_TRUE(keyed_rectangles(Picture{}, key, Area{0, 0, 10, 10}).empty());
}

TEST(ShapeScan, DoubleDrawingNeedsWhiteAndBlackToBeTransparent) {
    // 'B' the background (white in the first drawing, black in the second), 'm' the movie's own
    // colour, 'w' and 'k' the movie's own white and black (the same in both drawings), 'g' a
    // half-covered pixel (white, then grey).
    const std::vector<std::string> rows = {
        "BBBBmmmwww",
        "BBBBBBkkkk",
        "wwBBBgBBBB",
    };
    std::vector<uint32_t> on_white, on_black;
    for (const std::string& row : rows) {
        for (char c : row) {
            switch (c) {
            case 'B': on_white.push_back(0xFFFFFFFF); on_black.push_back(0xFF000000); break;
            case 'm': on_white.push_back(0xFF336699); on_black.push_back(0xFF336699); break;
            case 'w': on_white.push_back(0xFFFFFFFF); on_black.push_back(0xFFFFFFFF); break;
            case 'k': on_white.push_back(0xFF000000); on_black.push_back(0xFF000000); break;
            default: on_white.push_back(0xFFFFFFFF); on_black.push_back(0xFF808080); break;
            }
        }
    }
    const Picture white{on_white.data(), 10, 3, 10}, black{on_black.data(), 10, 3, 10};
    EXPECT_EQ(double_drawn_rectangles(white, black, Area{0, 0, 10, 3}),
              (std::vector<MaskRect>{{4, 0, 10, 1}, {6, 1, 10, 2}, {0, 2, 2, 3}}));
}

TEST(ShapeScan, RectanglesCoverExactlyTheOpaqueRuns) {
    // A filled ellipse: every opaque pixel in a run of at least two is covered once, no other.
    const int w = 61, h = 47;
    std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double dx = (x - 30) / 29.0, dy = (y - 23) / 21.0;
            if (dx * dx + dy * dy <= 1.0) {
                rows[size_t(y)][size_t(x)] = '#';
            }
        }
    }
    const Drawing drawing(rows);
    std::set<std::pair<int, int>> expected;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w;) {
            int start = x;
            while (x < w && rows[size_t(y)][size_t(x)] == '#') {
                ++x;
            }
            for (int i = start; x - start >= 2 && i < x; ++i) {
                expected.insert({i, y});
            }
            x = std::max(x, start + 1);
        }
    }
    const std::vector<MaskRect> rects = keyed_rectangles(drawing.picture(), key, drawing.whole());
    EXPECT_EQ(covered(rects), expected);
    // The rectangles are banded: ordered by top, then left, bands not overlapping.
    for (size_t i = 1; i < rects.size(); ++i) {
        const MaskRect &a = rects[i - 1], &b = rects[i];
        EXPECT_TRUE(a.top < b.top || (a.top == b.top && a.bottom == b.bottom && a.right <= b.left));
        if (a.top != b.top) {
            EXPECT_LE(a.bottom, b.top);
        }
    }
    // Fewer rectangles than rows: equal rows at the flat top and bottom are merged.
    EXPECT_LT(rects.size(), size_t(h));
}

}  // namespace
}  // namespace tarpon::projector::shape
