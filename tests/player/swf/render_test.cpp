// Pixels of drawn shapes: fills, curves, holes of two-sided fills, strokes, colour transforms,
// bitmaps, and the mapping of the movie onto the window.
#include "player_fixture.h"

#include <cmath>

namespace tarpon::swf::test {
namespace {

constexpr uint32_t white = 0xFFFFFF;

// A 100x100 pixel movie on white with one shape at depth 1.
MoviePlayer& show(MoviePlayer& player, const ShapeWriter& shape, const ColorTransform* color = nullptr,
                  const Matrix& matrix = {}) {
    MovieWriter writer(100, 100);
    writer.background(white);
    writer.place(1, writer.define_shape(shape), matrix, {}, color);
    writer.show_frame();
    EXPECT_TRUE(player.load(writer.finish()));
    return player;
}

TEST(SwfRender, RectangleCoversItsPixelsAndNoOthers) {
    ShapeWriter shape;
    shape.rectangle(20 * 10, 20 * 20, 20 * 30, 20 * 40, shape.solid_fill(opaque(0x0000FF)));
    MoviePlayer player({});
    auto canvas = draw(show(player, shape), 100, 100);
    EXPECT_EQ(canvas.at(10, 20), 0x0000FFu);
    EXPECT_EQ(canvas.at(39, 59), 0x0000FFu);
    EXPECT_EQ(canvas.at(9, 30), white);
    EXPECT_EQ(canvas.at(40, 30), white);
    EXPECT_EQ(canvas.at(20, 19), white);
    EXPECT_EQ(canvas.at(20, 60), white);
    for (uint32_t p : canvas.pixels)
        EXPECT_EQ(p >> 24, 0xFFu); // the canvas is left opaque
}

TEST(SwfRender, CurvedEdgesFollowTheCircle) {
    ShapeWriter shape;
    shape.circle(20 * 50, 20 * 50, 20 * 40, shape.solid_fill(opaque(0x000000)));
    MoviePlayer player({});
    auto canvas = draw(show(player, shape), 100, 100);
    EXPECT_EQ(canvas.at(50, 50), 0u);
    // On the diagonal, 40 px from the centre is 28.3 px along each axis: inside at 26, outside at 30.
    EXPECT_EQ(canvas.at(50 + 26, 50 + 26), 0u);
    EXPECT_EQ(canvas.at(50 + 30, 50 - 30), white);
    // The middle of an arc bulges beyond its chord (36.96 px from the centre): radius 39.3 here.
    EXPECT_EQ(canvas.at(50 + 36, 50 + 14), 0u);
    EXPECT_EQ(canvas.at(5, 5), white);
    // The rim is anti-aliased: a pixel straddling it is between the two colours.
    int edge = channel(canvas.at(50 + 28, 50 + 28), 0);
    EXPECT_GT(edge, 0);
    EXPECT_LT(edge, 255);
}

TEST(SwfRender, TwoSidedFillsMakeHolesAndInlays) {
    // A square with a hole: the inner outline has the fill on its outside (fill 0, clockwise).
    ShapeWriter holed;
    int red = holed.solid_fill(opaque(0xFF0000));
    holed.rectangle(20 * 10, 20 * 10, 20 * 80, 20 * 80, red);
    holed.style(red, 0, 0).move_to(20 * 30, 20 * 30);
    holed.line_to(20 * 70, 20 * 30).line_to(20 * 70, 20 * 70).line_to(20 * 30, 20 * 70).line_to(20 * 30, 20 * 30);
    MoviePlayer player({});
    auto canvas = draw(show(player, holed), 100, 100);
    EXPECT_EQ(canvas.at(20, 20), 0xFF0000u);
    EXPECT_EQ(canvas.at(50, 50), white);
    EXPECT_EQ(canvas.at(80, 50), 0xFF0000u);

    // The same inner outline with a second fill on its inside fills the hole with that colour,
    // once: nothing of the outer fill shows through.
    ShapeWriter inlaid;
    red = inlaid.solid_fill(opaque(0xFF0000));
    int green = inlaid.solid_fill(opaque(0x00FF00));
    inlaid.rectangle(20 * 10, 20 * 10, 20 * 80, 20 * 80, red);
    inlaid.style(red, green, 0).move_to(20 * 30, 20 * 30);
    inlaid.line_to(20 * 70, 20 * 30).line_to(20 * 70, 20 * 70).line_to(20 * 30, 20 * 70).line_to(20 * 30, 20 * 30);
    canvas = draw(show(player, inlaid), 100, 100);
    EXPECT_EQ(canvas.at(50, 50), 0x00FF00u);
    EXPECT_EQ(canvas.at(20, 50), 0xFF0000u);

    // Outlines of one fill that overlap add up to their union, not to a hole.
    ShapeWriter overlapping;
    int blue = overlapping.solid_fill(opaque(0x0000FF));
    overlapping.rectangle(20 * 10, 20 * 10, 20 * 50, 20 * 50, blue).rectangle(20 * 40, 20 * 40, 20 * 50, 20 * 50, blue);
    canvas = draw(show(player, overlapping), 100, 100);
    EXPECT_EQ(canvas.at(50, 50), 0x0000FFu);
    EXPECT_EQ(canvas.at(80, 20), white);
}

TEST(SwfRender, StrokesHaveTheirWidthAndAtLeastOnePixel) {
    ShapeWriter shape;
    int wide = shape.line_style(20 * 10, opaque(0x000000));
    shape.style(0, 0, wide).move_to(20 * 10, 20 * 50).line_to(20 * 90, 20 * 50);
    int hairline = shape.line_style(0, opaque(0x0000FF));
    shape.style(0, 0, hairline).move_to(20 * 50, 20 * 5).line_to(20 * 50, 20 * 30);
    MoviePlayer player({});
    auto canvas = draw(show(player, shape), 100, 100);
    EXPECT_EQ(canvas.at(50, 46), 0u); // 10 px wide: 45..55
    EXPECT_EQ(canvas.at(50, 53), 0u);
    EXPECT_EQ(canvas.at(50, 42), white);
    EXPECT_EQ(canvas.at(50, 58), white);
    EXPECT_EQ(canvas.at(95, 50), white); // round end reaches 95 at most at its tip
    // A zero-width line still draws a pixel wide.
    int blue = channel(canvas.at(49, 15), 0) + channel(canvas.at(50, 15), 0);
    EXPECT_GT(blue, 0);
    EXPECT_LT(channel(canvas.at(49, 15), 16) + channel(canvas.at(50, 15), 16), 2 * 255);
    EXPECT_EQ(canvas.at(45, 15), white);
}

TEST(SwfRender, ColourTransformsMultiplyAddAndFade) {
    ShapeWriter shape;
    shape.rectangle(0, 0, 20 * 100, 20 * 100, shape.solid_fill(opaque(0x804020)));
    ColorTransform cx;
    cx.mul[0] = 0.5;  // 0x80 -> 0x40
    cx.add[1] = 0x20; // 0x40 -> 0x60
    cx.mul[2] = 2;    // 0x20 -> 0x40
    MoviePlayer player({});
    EXPECT_EQ(draw(show(player, shape, &cx), 10, 10).at(5, 5), 0x406040u);
    // Half alpha over white.
    ColorTransform fade;
    fade.mul[3] = 0.5;
    uint32_t faded = draw(show(player, shape, &fade), 10, 10).at(5, 5);
    EXPECT_NEAR(channel(faded, 16), (0x80 + 0xFF) / 2, 2);
    EXPECT_NEAR(channel(faded, 0), (0x20 + 0xFF) / 2, 2);
    // Results past the channel range are clamped.
    ColorTransform bright;
    bright.add[0] = 300;
    bright.add[2] = -300;
    EXPECT_EQ(draw(show(player, shape, &bright), 10, 10).at(5, 5), 0xFF4000u);
}

TEST(SwfRender, TransparentFillsBlendAndPlacementMatricesMove) {
    ShapeWriter shape;
    shape.rectangle(0, 0, 20 * 10, 20 * 10, shape.solid_fill(0x800000FF));
    MoviePlayer player({});
    Matrix m = translate(20 * 40, 20 * 40);
    m.a = m.d = 2;
    auto canvas = draw(show(player, shape, nullptr, m), 100, 100);
    EXPECT_EQ(canvas.at(30, 30), white);
    uint32_t blended = canvas.at(50, 50);
    EXPECT_NEAR(channel(blended, 16), 127, 2);
    EXPECT_EQ(channel(blended, 0), 255);
    EXPECT_EQ(canvas.at(59, 59), blended);
    EXPECT_EQ(canvas.at(61, 61), white);
}

TEST(SwfRender, BitmapFillsClipOrRepeat) {
    // A 2x2 bitmap, each bitmap pixel 10 canvas pixels (200 twips).
    uint32_t pixels[4] = {opaque(0xFF0000), opaque(0x00FF00), opaque(0x0000FF), opaque(0x000000)};
    for (bool repeat : {false, true}) {
        MovieWriter writer(100, 100);
        uint16_t bitmap = writer.define_bitmap(2, 2, pixels);
        ShapeWriter shape;
        Matrix m;
        m.a = m.d = 200;
        shape.rectangle(0, 0, 20 * 60, 20 * 20, shape.bitmap_fill(bitmap, m, repeat));
        writer.place(1, writer.define_shape(shape));
        writer.show_frame();
        MoviePlayer player({});
        ASSERT_TRUE(player.load(writer.finish()));
        auto canvas = draw(player, 100, 100);
        EXPECT_EQ(canvas.at(5, 5), 0xFF0000u);
        EXPECT_EQ(canvas.at(15, 5), 0x00FF00u);
        EXPECT_EQ(canvas.at(5, 15), 0x0000FFu);
        EXPECT_EQ(canvas.at(15, 15), 0x000000u);
        // Beyond the bitmap: the tile again, or its edge pixels drawn on.
        EXPECT_EQ(canvas.at(25, 5), repeat ? 0xFF0000u : 0x00FF00u) << repeat;
        EXPECT_EQ(canvas.at(45, 15), repeat ? 0x0000FFu : 0x000000u) << repeat;
        EXPECT_EQ(canvas.at(5, 25), 0xFFFFFFu); // outside the shape
    }
}

TEST(SwfRender, BackgroundOverrideAndGradient) {
    ShapeWriter shape;
    Matrix g; // the gradient square (-16384..16384) over 0..100 px
    g.a = g.d = 20.0 * 100 / 32768;
    g.tx = g.ty = 20 * 50;
    shape.rectangle(0, 0, 20 * 100, 20 * 50, shape.linear_gradient(g, opaque(0x000000), opaque(0xFFFFFF)));
    MoviePlayer player({});
    show(player, shape);
    auto canvas = draw(player, 100, 100, 0x00FF00);
    EXPECT_EQ(canvas.at(50, 80), 0x00FF00u);
    EXPECT_LT(channel(canvas.at(5, 10), 8), 30);
    EXPECT_GT(channel(canvas.at(95, 10), 8), 225);
    EXPECT_NEAR(channel(canvas.at(50, 10), 8), 128, 8);
}

TEST(SwfRender, ViewMatrixFollowsScaleModeAlignmentAndZoom) {
    Rect movie{0, 20 * 200, 0, 20 * 100};
    auto at = [](const Matrix& m, double x, double y) { return Point32{int32_t(m.a * x + m.tx), int32_t(m.d * y + m.ty)}; };
    // A 400x400 window: show all scales by 2 and centres vertically.
    Matrix m = view_matrix(movie, 400, 400, ScaleMode::ShowAll, 0, nullptr);
    EXPECT_DOUBLE_EQ(m.a, 0.1);
    EXPECT_DOUBLE_EQ(m.d, 0.1);
    EXPECT_EQ(at(m, 0, 0).y, 100);
    m = view_matrix(movie, 400, 400, ScaleMode::ShowAll, AlignTop, nullptr);
    EXPECT_EQ(at(m, 0, 0).y, 0);
    m = view_matrix(movie, 400, 400, ScaleMode::ShowAll, AlignBottom, nullptr);
    EXPECT_EQ(at(m, 0, 20 * 100).y, 400);
    // No border fills the window and cuts the sides.
    m = view_matrix(movie, 400, 400, ScaleMode::NoBorder, 0, nullptr);
    EXPECT_DOUBLE_EQ(m.a, 0.2);
    EXPECT_EQ(at(m, 0, 0).x, -200);
    // Exact fit stretches each axis.
    m = view_matrix(movie, 400, 400, ScaleMode::ExactFit, 0, nullptr);
    EXPECT_DOUBLE_EQ(m.a, 0.1);
    EXPECT_DOUBLE_EQ(m.d, 0.2);
    // No scale keeps pixels, centred or aligned.
    m = view_matrix(movie, 400, 400, ScaleMode::NoScale, 0, nullptr);
    EXPECT_DOUBLE_EQ(m.a, 0.05);
    EXPECT_EQ(at(m, 0, 0).x, 100);
    m = view_matrix(movie, 400, 400, ScaleMode::NoScale, AlignLeft | AlignTop, nullptr);
    EXPECT_EQ(at(m, 0, 0).x, 0);
    EXPECT_EQ(at(m, 0, 0).y, 0);
    // A zoom rectangle of the left half fills the window with it.
    Rect zoom{0, 20 * 100, 0, 20 * 100};
    m = view_matrix(movie, 400, 400, ScaleMode::ShowAll, 0, &zoom);
    EXPECT_DOUBLE_EQ(m.a, 0.2);
    EXPECT_EQ(at(m, 20 * 100, 20 * 100).x, 400);
    // Degenerate sizes give a usable matrix.
    m = view_matrix(Rect{}, 0, 0, ScaleMode::ShowAll, 0, nullptr);
    EXPECT_TRUE(std::isfinite(m.a) && std::isfinite(m.tx));
}

} // namespace
} // namespace tarpon::swf::test
