// The movie header, the tag stream and what the reader makes of damaged files.
#include "player_fixture.h"

namespace tarpon::swf::test {
namespace {

// Version 6, 320x240, 12 fps, one frame, background #336699, a frame action
// getURL("FSCommand:Quill_Run", "Initialize").
const std::vector<uint8_t> small_movie = {
    0x46, 0x57, 0x53, 0x06, 0x42, 0x00, 0x00, 0x00, 0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00,
    0x00, 0x0C, 0x01, 0x00, 0x43, 0x02, 0x33, 0x66, 0x99, 0x23, 0x03, 0x83, 0x1F, 0x00, 0x46, 0x53,
    0x43, 0x6F, 0x6D, 0x6D, 0x61, 0x6E, 0x64, 0x3A, 0x51, 0x75, 0x69, 0x6C, 0x6C, 0x5F, 0x52, 0x75,
    0x6E, 0x00, 0x49, 0x6E, 0x69, 0x74, 0x69, 0x61, 0x6C, 0x69, 0x7A, 0x65, 0x00, 0x00, 0x40, 0x00,
    0x00, 0x00};

TEST(SwfReader, ReadsAHandMadeMovieAndRunsItsActionOnlyWhenAsked) {
    Recorder recorder;
    MoviePlayer player(recorder.events());
    ASSERT_TRUE(player.load(small_movie)) << player.error();
    EXPECT_EQ(player.version(), 6);
    Rect r = player.frame_rect();
    EXPECT_EQ(r.x_max - r.x_min, 320 * 20);
    EXPECT_EQ(r.y_max - r.y_min, 240 * 20);
    EXPECT_DOUBLE_EQ(player.frame_rate(), 12.0);
    EXPECT_EQ(player.frame_count(), 1);
    EXPECT_EQ(player.frames_loaded(), 1);
    EXPECT_EQ(player.background(), 0x336699u);
    EXPECT_TRUE(recorder.commands.empty()); // loading never runs actions
    player.run_actions();
    ASSERT_EQ(recorder.commands.size(), 1u);
    EXPECT_EQ(recorder.commands[0].first, "Quill_Run");
    EXPECT_EQ(recorder.commands[0].second, "Initialize");
    player.run_actions();
    EXPECT_EQ(recorder.commands.size(), 1u);
    EXPECT_EQ(draw(player, 4, 4).at(2, 2), 0x336699u);
}

TEST(SwfReader, RefusesHeadersItCannotRead) {
    MoviePlayer player({});
    std::vector<uint8_t> zws = small_movie;
    zws[0] = 'Z';
    EXPECT_FALSE(player.load(zws));
    EXPECT_FALSE(player.error().empty());
    EXPECT_FALSE(player.loaded());

    std::vector<uint8_t> other = small_movie;
    other[1] = 'X';
    EXPECT_FALSE(player.load(other));

    for (size_t n : {0, 3, 8, 12, 17}) {
        std::vector<uint8_t> cut(small_movie.begin(), small_movie.begin() + n);
        EXPECT_FALSE(player.load(cut)) << n;
    }
    // A refused file leaves nothing loaded from before.
    ASSERT_TRUE(player.load(small_movie));
    EXPECT_FALSE(player.load(zws));
    EXPECT_FALSE(player.loaded());
    EXPECT_EQ(player.frame_count(), 0);
}

TEST(SwfReader, CompressedMovieReadsLikeThePlainOne) {
    MovieWriter writer(100, 50, 24, 6);
    writer.background(0x102030);
    ShapeWriter shape;
    shape.rectangle(0, 0, 2000, 1000, shape.solid_fill(opaque(0xFF0000)));
    writer.place(1, writer.define_shape(shape));
    writer.show_frame();
    writer.show_frame();
    auto plain = writer.finish(false);
    auto packed = writer.finish(true);
    EXPECT_EQ(packed[0], 'C');
    EXPECT_LT(packed.size(), plain.size() + 16);
    MoviePlayer a({}), b({});
    ASSERT_TRUE(a.load(plain));
    ASSERT_TRUE(b.load(packed)) << b.error();
    EXPECT_EQ(b.frame_count(), 2);
    EXPECT_EQ(b.frames_loaded(), 2);
    EXPECT_DOUBLE_EQ(b.frame_rate(), 24.0);
    EXPECT_EQ(b.background(), 0x102030u);
    EXPECT_EQ(draw(a, 100, 50).pixels, draw(b, 100, 50).pixels);
    EXPECT_EQ(draw(b, 100, 50).at(50, 25), 0xFF0000u);
}

TEST(SwfReader, HeaderSizesDoNotDecideWhatIsRead) {
    MovieWriter writer(10, 10);
    writer.show_frame();
    // A compressed movie that claims 4 GiB inflates only to what its data holds.
    auto packed = writer.finish(true);
    packed[4] = packed[5] = packed[6] = packed[7] = 0xFF;
    MoviePlayer player({});
    EXPECT_TRUE(player.load(packed));
    EXPECT_EQ(player.frames_loaded(), 1);
    // A plain movie whose length is beyond the file reads the file.
    auto plain = writer.finish(false);
    plain[4] = plain[5] = plain[6] = 0xFF;
    EXPECT_TRUE(player.load(plain));
    // The frame count of the header is what it says; the frames are what was read.
    auto counted = writer.finish(false);
    counted[16] = 50; // low byte of the frame count, after the 6-byte rectangle and the rate
    ASSERT_TRUE(player.load(counted));
    EXPECT_EQ(player.frame_count(), 50);
    EXPECT_EQ(player.frames_loaded(), 1);
    for (int i = 0; i < 10; ++i)
        player.tick();
    EXPECT_EQ(player.current_frame(), 0);
}

TEST(SwfReader, SkipsTagsItDoesNotKnowAndKeepsTheFramesBeforeABreak) {
    MovieWriter writer(10, 10);
    uint8_t font[] = {1, 0, 9, 9, 9};
    writer.tag(10, font); // DefineFont: skipped
    ShapeWriter shape;
    shape.rectangle(0, 0, 200, 200, shape.solid_fill(opaque(0x00FF00)));
    writer.place(1, writer.define_shape(shape));
    writer.show_frame();
    writer.label("second");
    writer.show_frame();
    writer.show_frame();
    auto file = writer.finish();
    MoviePlayer player({});
    ASSERT_TRUE(player.load(file));
    EXPECT_EQ(player.frames_loaded(), 3);
    EXPECT_EQ(draw(player, 10, 10).at(5, 5), 0x00FF00u);
    // Cut inside the last ShowFrame's successor: the End and one ShowFrame go.
    file.resize(file.size() - 3);
    ASSERT_TRUE(player.load(file));
    EXPECT_EQ(player.frames_loaded(), 2);
    EXPECT_TRUE(player.goto_label("second"));
    EXPECT_EQ(player.current_frame(), 1);
}

// Every writer feature in one movie, for the damage tests.
std::vector<uint8_t> rich_movie(bool compressed) {
    MovieWriter writer(64, 48, 12, 6);
    writer.background(0x808080);
    ShapeWriter shape;
    int red = shape.solid_fill(opaque(0xFF0000));
    int line = shape.line_style(40, 0x80000000);
    shape.rectangle(100, 100, 400, 300, red, line).circle(600, 500, 200, red);
    shape.new_styles();
    int blue = shape.solid_fill(0x800000FF);
    shape.rectangle(200, 200, 100, 100, blue);
    uint16_t shape_id = writer.define_shape(shape);
    uint32_t pixels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF};
    uint16_t bitmap = writer.define_bitmap(2, 2, pixels);
    ShapeWriter tiled;
    Matrix scale;
    scale.a = scale.d = 40;
    tiled.rectangle(0, 0, 400, 400, tiled.bitmap_fill(bitmap, scale, true));
    uint16_t tiled_id = writer.define_shape(tiled);
    TimelineWriter sprite;
    sprite.place(1, tiled_id);
    sprite.show_frame();
    sprite.move(1, translate(100, 0));
    sprite.actions(ActionWriter().fscommand("spin", "1"));
    sprite.show_frame();
    uint16_t sprite_id = writer.define_sprite(sprite);
    ButtonWriter button;
    button.record(ButtonRecord::Up | ButtonRecord::Over | ButtonRecord::Down | ButtonRecord::Hit, shape_id, 1);
    button.on(ButtonAction::OverDownToOverUp, ActionWriter().fscommand("click", "x"));
    uint16_t button_id = writer.define_button(button);
    writer.place(1, shape_id);
    writer.place(2, sprite_id, translate(200, 200), "clip");
    writer.place(3, button_id, translate(0, 400));
    writer.label("start");
    writer.actions(ActionWriter().push("a").push(1.5).op(0x0A).set_variable("v", "w").jump("end").play().label("end"));
    writer.show_frame();
    writer.remove(2);
    writer.actions(ActionWriter().push("start").goto_frame2(false));
    writer.show_frame();
    return writer.finish(compressed);
}

void exercise(MoviePlayer& player) {
    player.run_actions();
    Matrix view = view_matrix(player.frame_rect(), 32, 24, ScaleMode::ShowAll, 0, nullptr);
    for (int i = 0; i < 4; ++i) {
        player.tick();
        player.pointer_move(i * 7.0, i * 5.0, view);
        player.pointer_down();
        player.pointer_up();
        player.run_actions();
    }
    TestCanvas canvas(32, 24);
    player.render(canvas.canvas(), view, -1);
    player.get_variable("v");
    player.get_property("/clip", 8);
}

TEST(SwfReader, EveryTruncationOfAMovieLoadsOrFailsCleanly) {
    for (bool compressed : {false, true}) {
        auto file = rich_movie(compressed);
        for (size_t n = 0; n < file.size(); ++n) {
            MoviePlayer player({});
            std::span<const uint8_t> cut(file.data(), n);
            if (player.load(cut))
                exercise(player);
        }
    }
}

TEST(SwfReader, CorruptedBytesNeverBreakThePlayer) {
    auto file = rich_movie(false);
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 400; ++round) {
        auto damaged = file;
        for (int k = 0; k < 1 + round % 4; ++k)
            damaged[8 + next() % (damaged.size() - 8)] = static_cast<uint8_t>(next());
        MoviePlayer player({});
        if (player.load(damaged))
            exercise(player);
    }
}

TEST(SwfReader, OversizedBitmapClaimsAreRefusedWithoutAllocating) {
    MovieWriter writer(10, 10);
    // 65535 x 65535 pixels claimed by a few bytes of data.
    std::vector<uint8_t> body = {1, 0, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    writer.tag(36, body);
    ShapeWriter shape;
    shape.rectangle(0, 0, 200, 200, shape.bitmap_fill(1, Matrix{}, false));
    writer.place(1, writer.define_shape(shape));
    writer.show_frame();
    MoviePlayer player({});
    ASSERT_TRUE(player.load(writer.finish()));
    // The fill's bitmap is missing: the shape draws nothing over the background.
    EXPECT_EQ(draw(player, 10, 10).at(5, 5), 0xFFFFFFu);
}

} // namespace
} // namespace tarpon::swf::test
