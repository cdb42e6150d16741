// Timelines: play, stop and loop on ticks, goto in both directions, sprites with their own
// timelines, labels, and the target-path calls and properties the control passes on.
#include "player_fixture.h"

namespace tarpon::swf::test {
namespace {

// A 10x10 movie whose frame n shows a 1x1 pixel square at (n, 0), each frame its own depth
// scheme: frame 0 places A at depth 1, frame 1 moves it, frame 2 removes it and places B.
struct Frames {
    std::vector<uint8_t> file;
    Frames(bool with_sprite = false) {
        MovieWriter writer(10, 10);
        writer.background(0xFFFFFF);
        ShapeWriter a, b;
        a.rectangle(0, 0, 20, 20, a.solid_fill(opaque(0xFF0000)));
        b.rectangle(0, 0, 20, 20, b.solid_fill(opaque(0x0000FF)));
        uint16_t a_id = writer.define_shape(a), b_id = writer.define_shape(b);
        uint16_t sprite_id = 0;
        if (with_sprite) {
            TimelineWriter sprite;
            for (int f = 0; f < 3; ++f) {
                if (f == 0)
                    sprite.place(1, b_id, translate(0, 20 * 5));
                else
                    sprite.move(1, translate(20 * f, 20 * 5));
                if (f == 1)
                    sprite.label("middle");
                sprite.show_frame();
            }
            sprite_id = writer.define_sprite(sprite);
        }
        writer.place(1, a_id);
        if (with_sprite)
            writer.place(5, sprite_id, {}, "clip");
        writer.show_frame();
        writer.move(1, translate(20 * 1, 0));
        writer.label("Move");
        writer.show_frame();
        writer.remove(1);
        writer.place(2, b_id, translate(20 * 2, 0));
        writer.show_frame();
        file = writer.finish();
    }
};

// The x of the first non-white pixel in row y, or -1.
int marker(const MoviePlayer& player, int y) {
    auto canvas = draw(player, 10, 10);
    for (int x = 0; x < 10; ++x)
        if (canvas.at(x, y) != 0xFFFFFF)
            return x;
    return -1;
}

TEST(SwfTimeline, TicksAdvanceLoopAndStop) {
    Frames movie;
    MoviePlayer player({});
    ASSERT_TRUE(player.load(movie.file));
    EXPECT_TRUE(player.playing());
    EXPECT_EQ(marker(player, 0), 0);
    player.tick();
    EXPECT_EQ(player.current_frame(), 1);
    EXPECT_EQ(marker(player, 0), 1);
    player.tick();
    EXPECT_EQ(marker(player, 0), 2);
    EXPECT_EQ(draw(player, 10, 10).at(2, 0), 0x0000FFu);
    player.tick(); // loops to the start, rebuilding frame 0
    EXPECT_EQ(player.current_frame(), 0);
    EXPECT_EQ(marker(player, 0), 0);
    EXPECT_EQ(draw(player, 10, 10).at(0, 0), 0xFF0000u);

    player.set_loop(false);
    player.tick();
    player.tick();
    player.tick();
    EXPECT_EQ(player.current_frame(), 2);
    EXPECT_FALSE(player.playing());

    player.rewind();
    player.set_playing(false);
    player.tick();
    EXPECT_EQ(player.current_frame(), 0);
}

TEST(SwfTimeline, GotoRebuildsTheDisplayListEitherWay) {
    Frames movie;
    MoviePlayer player({});
    ASSERT_TRUE(player.load(movie.file));
    player.goto_frame(2);
    EXPECT_EQ(marker(player, 0), 2);
    player.goto_frame(1); // backwards: A is back, moved; B is gone
    EXPECT_EQ(marker(player, 0), 1);
    EXPECT_EQ(draw(player, 10, 10).at(1, 0), 0xFF0000u);
    player.goto_frame(0);
    EXPECT_EQ(marker(player, 0), 0);
    player.goto_frame(99); // clamped to the last frame
    EXPECT_EQ(player.current_frame(), 2);
    player.previous_frame();
    EXPECT_EQ(player.current_frame(), 1);
    player.next_frame();
    EXPECT_EQ(player.current_frame(), 2);
    EXPECT_TRUE(player.goto_label("move")); // labels match without case
    EXPECT_EQ(player.current_frame(), 1);
    EXPECT_FALSE(player.goto_label("nowhere"));
    EXPECT_EQ(player.target_current_label("/"), "Move");
}

TEST(SwfTimeline, SpritesPlayTheirOwnTimelines) {
    Frames movie(true);
    MoviePlayer player({});
    ASSERT_TRUE(player.load(movie.file));
    EXPECT_EQ(player.target_current_frame("/clip"), 0);
    EXPECT_EQ(player.target_current_frame("_root.clip"), 0);
    EXPECT_EQ(player.target_current_frame("/nothing"), -1);
    EXPECT_EQ(marker(player, 5), 0);
    player.set_playing(false); // the root stops; the sprite goes on
    player.tick();
    EXPECT_EQ(player.current_frame(), 0);
    EXPECT_EQ(player.target_current_frame("/clip"), 1);
    EXPECT_EQ(marker(player, 5), 1);
    EXPECT_EQ(player.target_current_label("/clip"), "middle");

    EXPECT_TRUE(player.target_stop("/clip"));
    player.tick();
    EXPECT_EQ(player.target_current_frame("/clip"), 1);
    EXPECT_TRUE(player.target_goto_frame("/clip", 2));
    EXPECT_EQ(marker(player, 5), 2);
    EXPECT_TRUE(player.target_goto_label("/clip", "MIDDLE"));
    EXPECT_EQ(player.target_current_frame("/clip"), 1);
    EXPECT_TRUE(player.target_play("/clip"));
    player.tick();
    player.tick(); // sprites always loop
    EXPECT_EQ(player.target_current_frame("/clip"), 0);

    // Going back on the root to a frame where the sprite stands keeps its instance playing.
    player.goto_frame(2);
    player.target_goto_frame("/clip", 2);
    player.goto_frame(0);
    EXPECT_EQ(player.target_current_frame("/clip"), 2);
}

TEST(SwfTimeline, PropertiesOfTheRootAndOfSprites) {
    Frames movie(true);
    MoviePlayer player({});
    ASSERT_TRUE(player.load(movie.file));
    EXPECT_EQ(player.get_property("/clip", 13), "clip");
    EXPECT_EQ(player.get_property("/clip", 11), "/clip");
    EXPECT_EQ(player.get_property("/", 11), "/");
    EXPECT_EQ(player.get_property("/clip", 4), "1"); // _currentframe counts from 1
    EXPECT_EQ(player.get_property("/clip", 5), "3");
    EXPECT_EQ(player.get_property("/", 5), "3");
    EXPECT_EQ(player.get_property("/clip", 2), "100");
    EXPECT_EQ(player.get_property("/clip", 8), "1"); // _width in pixels
    EXPECT_FALSE(player.get_property("/nothing", 0).has_value());
    EXPECT_FALSE(player.get_property("/clip", 99).has_value());

    EXPECT_TRUE(player.set_property("/clip", 0, "4"));
    EXPECT_EQ(player.get_property("/clip", 0), "4");
    EXPECT_EQ(marker(player, 5), 4);
    // The sprite's own timeline still moves what is inside it.
    player.tick();
    EXPECT_EQ(marker(player, 5), 5);
    EXPECT_TRUE(player.set_property("/clip", 2, "300"));
    EXPECT_EQ(player.get_property("/clip", 2), "300");
    EXPECT_EQ(player.get_property("/clip", 8), "3");
    EXPECT_TRUE(player.set_property("/clip", 7, "0"));
    EXPECT_EQ(marker(player, 5), -1);
    EXPECT_TRUE(player.set_property("/clip", 7, "1"));
    EXPECT_TRUE(player.set_property("/clip", 6, "0"));
    EXPECT_EQ(marker(player, 5), -1);
    EXPECT_EQ(player.get_property("/clip", 6), "0");
    EXPECT_TRUE(player.set_property("/clip", 10, "90"));
    EXPECT_NEAR(std::stod(*player.get_property("/clip", 10)), 90, 1e-9);
    EXPECT_FALSE(player.set_property("/clip", 5, "9")); // _totalframes is read-only
    EXPECT_FALSE(player.set_property("/clip", 0, "not a number"));
}

TEST(SwfTimeline, GotoRunsOnlyTheTargetFramesActions) {
    MovieWriter writer(10, 10);
    for (int f = 0; f < 4; ++f) {
        writer.actions(ActionWriter().fscommand("frame", std::to_string(f)));
        writer.show_frame();
    }
    Recorder recorder;
    MoviePlayer player(recorder.events());
    ASSERT_TRUE(player.load(writer.finish()));
    player.goto_frame(3);
    player.run_actions();
    ASSERT_EQ(recorder.commands.size(), 2u);
    EXPECT_EQ(recorder.commands[0].second, "0");
    EXPECT_EQ(recorder.commands[1].second, "3");
    player.goto_frame(3); // already there: nothing queued
    player.goto_frame(1);
    player.run_actions();
    ASSERT_EQ(recorder.commands.size(), 3u);
    EXPECT_EQ(recorder.commands[2].second, "1");
}

TEST(SwfTimeline, CalledFramesRunTheirActionsWhereTheTimelineIs) {
    MovieWriter writer(10, 10);
    TimelineWriter clip;
    clip.show_frame();
    clip.label("Ring");
    clip.actions(ActionWriter().fscommand("clip", "rang"));
    clip.show_frame();
    writer.place(1, writer.define_sprite(clip), {}, "clip");
    writer.actions(ActionWriter().stop());
    writer.show_frame();
    writer.actions(ActionWriter().fscommand("root", "1"));
    writer.show_frame();
    Recorder recorder;
    MoviePlayer player(recorder.events());
    ASSERT_TRUE(player.load(writer.finish()));
    player.run_actions();

    EXPECT_TRUE(player.target_call_frame("/", 1));
    ASSERT_EQ(recorder.commands.size(), 1u); // at once, not queued
    EXPECT_EQ(recorder.commands[0].first, "root");
    EXPECT_EQ(player.current_frame(), 0);
    EXPECT_TRUE(player.target_call_label("_root.clip", "ring"));
    ASSERT_EQ(recorder.commands.size(), 2u);
    EXPECT_EQ(recorder.commands[1].second, "rang");
    EXPECT_EQ(player.target_current_frame("/clip"), 0);

    EXPECT_FALSE(player.target_call_frame("/", 2));
    EXPECT_FALSE(player.target_call_frame("/", -1));
    EXPECT_FALSE(player.target_call_frame("/nothing", 0));
    EXPECT_FALSE(player.target_call_label("/", "nowhere"));
    EXPECT_EQ(recorder.commands.size(), 2u);
}

// From outside, a number's text is that number for every property: in a version 7 movie, where a
// non-empty string counts as true, "0" still hides a sprite.
TEST(SwfTimeline, PropertiesSetFromOutsideTakeNumbersAsNumbers) {
    MovieWriter writer(10, 10, 12, 7);
    TimelineWriter clip;
    clip.show_frame();
    writer.place(1, writer.define_sprite(clip), {}, "clip");
    writer.show_frame();
    MoviePlayer player({});
    ASSERT_TRUE(player.load(writer.finish()));
    EXPECT_TRUE(player.set_property("/clip", 7, "0"));
    EXPECT_EQ(player.get_property("/clip", 7), "0");
    EXPECT_TRUE(player.set_property("/clip", 13, "12"));
    EXPECT_EQ(player.get_property("/12", 13), "12");

    player.set_url("C:\\movies\\a.swf");
    EXPECT_EQ(player.get_property("/12", 15), "C:\\movies\\a.swf");
    EXPECT_EQ(player.get_property("/12", 14), "");
    EXPECT_FALSE(player.set_property("/12", 15, "elsewhere"));
}

TEST(SwfTimeline, ASpriteThatHoldsItselfIsBounded) {
    // The first character defined gets id 1: a sprite placing id 1 twice contains itself twice.
    MovieWriter writer(10, 10);
    TimelineWriter sprite;
    sprite.place(1, 1);
    sprite.place(2, 1, translate(20, 0));
    sprite.show_frame();
    sprite.show_frame();
    ASSERT_EQ(writer.define_sprite(sprite), 1);
    writer.place(1, 1, {}, "outer");
    writer.show_frame();
    MoviePlayer player({});
    ASSERT_TRUE(player.load(writer.finish()));
    for (int i = 0; i < 3; ++i)
        player.tick();
    draw(player, 10, 10);
    EXPECT_EQ(player.target_current_frame("/outer"), 1);
    EXPECT_EQ(player.get_property("/outer", 11), "/outer");
}

} // namespace
} // namespace tarpon::swf::test
