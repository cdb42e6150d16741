// What the writer writes reads back field for field.
#include "player_fixture.h"

#include "player/swf/movie_data.h"

namespace tarpon::swf::test {
namespace {

TEST(SwfWriter, TagsReadBackAsWritten) {
    MovieWriter writer(320, 240, 30, 7);
    writer.background(0xABCDEF);
    ShapeWriter shape;
    int fill = shape.solid_fill(0x40112233);
    int line = shape.line_style(60, opaque(0x445566));
    shape.rectangle(-100, -50, 300, 200, fill, line).circle(1000, 1000, 400, fill);
    shape.new_styles();
    shape.rectangle(0, 0, 10, 10, shape.solid_fill(opaque(0x010203)));
    EXPECT_EQ(shape.version(), 3);
    uint16_t shape_id = writer.define_shape(shape);
    uint32_t pixels[2] = {0xFF102030, 0x80FF0000};
    uint16_t bitmap_id = writer.define_bitmap(2, 1, pixels);
    TimelineWriter sprite;
    sprite.place(3, shape_id);
    sprite.show_frame();
    sprite.remove(3);
    sprite.show_frame();
    uint16_t sprite_id = writer.define_sprite(sprite);
    ButtonWriter button;
    button.record(ButtonRecord::Up | ButtonRecord::Hit, shape_id, 2, translate(20, 40));
    button.on(ButtonAction::OverUpToOverDown, ActionWriter().play());
    button.on(ButtonAction::OverDownToOverUp | ButtonAction::OverDownToIdle, ActionWriter().stop());
    uint16_t button_id = writer.define_button(button);
    Matrix m;
    m.a = 1.5;
    m.d = -0.5;
    m.b = 0.25;
    m.c = -0.125;
    m.tx = -300;
    m.ty = 77;
    ColorTransform cx;
    cx.mul[0] = 0.5;
    cx.mul[3] = 0.25;
    cx.add[1] = -20;
    cx.add[2] = 100;
    writer.place(10, sprite_id, m, "named", &cx);
    writer.place(11, button_id);
    writer.label("Intro");
    writer.actions(ActionWriter().fscommand("a", "b"));
    writer.show_frame();
    writer.move(10, translate(5, 6));
    writer.show_frame();
    auto file = writer.finish(true);

    MovieData movie;
    std::string error;
    ASSERT_TRUE(read_movie(file, movie, error)) << error;
    EXPECT_EQ(movie.version, 7);
    EXPECT_EQ(movie.frame_rect.x_max, 320 * 20);
    EXPECT_DOUBLE_EQ(movie.frame_rate, 30);
    EXPECT_EQ(movie.background, 0xABCDEFu);

    const Character* s = movie.character(shape_id);
    ASSERT_TRUE(s && s->kind == Character::Kind::Shape);
    ASSERT_EQ(s->shape.fills.size(), 2u);
    EXPECT_EQ(s->shape.fills[0].colour.a, 0x40);
    EXPECT_EQ(s->shape.fills[0].colour.b, 0x33);
    ASSERT_EQ(s->shape.lines.size(), 1u);
    EXPECT_EQ(s->shape.lines[0].width, 60);
    EXPECT_EQ(s->shape.fill_edges[0].size(), 4u + 8u);
    EXPECT_EQ(s->shape.fill_edges[1].size(), 4u);
    EXPECT_EQ(s->shape.line_edges[0].size(), 4u);
    EXPECT_TRUE(s->shape.fill_edges[0][4].curve);
    EXPECT_EQ(s->shape.fill_edges[0][0].x0, -100);
    EXPECT_EQ(s->shape.fill_edges[0][0].x1, 200);
    EXPECT_LE(s->shape.bounds.x_min, -100 - 30);

    const Character* b = movie.character(bitmap_id);
    ASSERT_TRUE(b && b->kind == Character::Kind::Bitmap);
    ASSERT_EQ(b->bitmap.pixels.size(), 2u);
    EXPECT_EQ(b->bitmap.pixels[0], 0xFF102030u);
    EXPECT_EQ(b->bitmap.pixels[1] >> 24, 0x80u);
    EXPECT_NEAR(int((b->bitmap.pixels[1] >> 16) & 0xFF), 0xFF, 2);

    const Character* sp = movie.character(sprite_id);
    ASSERT_TRUE(sp && sp->kind == Character::Kind::Sprite);
    ASSERT_EQ(sp->sprite.frames.size(), 2u);
    EXPECT_EQ(sp->sprite.frames[1].commands[0].kind, PlaceCommand::Kind::Remove);

    const Character* bt = movie.character(button_id);
    ASSERT_TRUE(bt && bt->kind == Character::Kind::Button);
    ASSERT_EQ(bt->button.records.size(), 1u);
    EXPECT_EQ(bt->button.records[0].states, ButtonRecord::Up | ButtonRecord::Hit);
    EXPECT_EQ(bt->button.records[0].matrix.ty, 40);
    ASSERT_EQ(bt->button.actions.size(), 2u);
    EXPECT_EQ(bt->button.actions[0].conditions, ButtonAction::OverUpToOverDown);
    EXPECT_EQ(bt->button.actions[1].conditions, ButtonAction::OverDownToOverUp | ButtonAction::OverDownToIdle);
    EXPECT_EQ(bt->button.actions[1].code, ActionWriter().stop().bytes());

    ASSERT_EQ(movie.root.frames.size(), 2u);
    const Frame& first = movie.root.frames[0];
    EXPECT_EQ(first.label, "Intro");
    EXPECT_EQ(movie.root.labels.at("intro"), 0);
    ASSERT_EQ(first.actions.size(), 1u);
    EXPECT_EQ(first.actions[0], ActionWriter().fscommand("a", "b").bytes());
    ASSERT_EQ(first.commands.size(), 2u);
    const PlaceCommand& placed = first.commands[0];
    EXPECT_EQ(placed.depth, 10);
    EXPECT_EQ(placed.character, sprite_id);
    EXPECT_EQ(placed.name, "named");
    EXPECT_NEAR(placed.matrix.a, 1.5, 1e-4);
    EXPECT_NEAR(placed.matrix.d, -0.5, 1e-4);
    EXPECT_NEAR(placed.matrix.b, 0.25, 1e-4);
    EXPECT_NEAR(placed.matrix.c, -0.125, 1e-4);
    EXPECT_EQ(placed.matrix.tx, -300);
    EXPECT_EQ(placed.matrix.ty, 77);
    ASSERT_TRUE(placed.has_color);
    EXPECT_DOUBLE_EQ(placed.color.mul[0], 0.5);
    EXPECT_DOUBLE_EQ(placed.color.mul[3], 0.25);
    EXPECT_DOUBLE_EQ(placed.color.add[1], -20);
    EXPECT_DOUBLE_EQ(placed.color.add[2], 100);
    const PlaceCommand& moved = movie.root.frames[1].commands[0];
    EXPECT_TRUE(moved.move);
    EXPECT_FALSE(moved.has_character);
    EXPECT_EQ(moved.matrix.tx, 5);
}

} // namespace
} // namespace tarpon::swf::test
