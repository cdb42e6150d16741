// The action interpreter: FSCommand and URL events, variables, control flow, the operators, and
// the bounds that keep a broken or endless script from hurting the player.
#include "player_fixture.h"

namespace tarpon::swf::test {
namespace {

// A movie of one frame (or two) running the actions; returns after the first run_actions.
struct Script {
    Recorder recorder;
    MoviePlayer player{recorder.events()};
    explicit Script(const ActionWriter& actions, int version = 6, bool second_frame = false) {
        MovieWriter writer(10, 10, 12, version);
        writer.actions(actions);
        writer.show_frame();
        if (second_frame) {
            writer.label("two");
            writer.actions(ActionWriter().fscommand("entered", "two"));
            writer.show_frame();
        }
        EXPECT_TRUE(player.load(writer.finish()));
        player.run_actions();
    }
    std::string var(std::string_view name) { return player.get_variable(name); }
};

TEST(SwfActions, GetUrlRaisesFsCommandsOrOpensUrls) {
    Script run(ActionWriter()
                .fscommand("quit", "")
                .get_url("fscommand:Lower", "args here")
                .push("FSCOMMAND:exec")
                .push("app.exe")
                .get_url2()
                .get_url("http://example.invalid/", "_blank")
                .push("page.html")
                .push("_self")
                .get_url2()
                .push("vars.txt")
                .push("/")
                .get_url2(0x80)); // load variables: neither an event nor a URL opened
    ASSERT_EQ(run.recorder.commands.size(), 3u);
    EXPECT_EQ(run.recorder.commands[0], (std::pair<std::string, std::string>{"quit", ""}));
    EXPECT_EQ(run.recorder.commands[1], (std::pair<std::string, std::string>{"Lower", "args here"}));
    EXPECT_EQ(run.recorder.commands[2], (std::pair<std::string, std::string>{"exec", "app.exe"}));
    ASSERT_EQ(run.recorder.urls.size(), 2u);
    EXPECT_EQ(run.recorder.urls[0], (std::pair<std::string, std::string>{"http://example.invalid/", "_blank"}));
    EXPECT_EQ(run.recorder.urls[1], (std::pair<std::string, std::string>{"page.html", "_self"}));
}

TEST(SwfActions, VariablesBetweenScriptsAndTheHost) {
    Script run(ActionWriter()
                .set_variable("greeting", "hello")
                .push("copy")
                .get_variable("GREETING") // names match without case up to version 6
                .op(0x1D)
                .set_variable("/:rooted", "yes")
                .set_variable("_root.dotted", "too"));
    EXPECT_EQ(run.var("greeting"), "hello");
    EXPECT_EQ(run.var("copy"), "hello");
    EXPECT_EQ(run.var("rooted"), "yes");
    EXPECT_EQ(run.var("/:dotted"), "too");
    EXPECT_EQ(run.var("missing"), "");
    run.player.set_variable("fromHost", "42");
    EXPECT_EQ(run.var("fromhost"), "42");
    // Paths to no instance neither read nor write.
    run.player.set_variable("/nowhere:x", "1");
    EXPECT_EQ(run.var("/nowhere:x"), "");
}

TEST(SwfActions, JumpsAndBranchesCountALoop) {
    // i = 0; while (i < 10) { s = s + "x"; i = i + 1 }
    ActionWriter loop;
    loop.set_variable("i", "0").set_variable("s", "");
    loop.label("top").get_variable("i").push(10.0).op(0x0F).op(0x12).branch_if("done");
    loop.push("s").get_variable("s").push("x").op(0x21).op(0x1D);
    loop.push("i").get_variable("i").push(1.0).op(0x0A).op(0x1D);
    loop.jump("top").label("done").fscommand("finished", "");
    Script run(loop);
    EXPECT_EQ(run.var("i"), "10");
    EXPECT_EQ(run.var("s"), "xxxxxxxxxx");
    EXPECT_EQ(run.recorder.commands.size(), 1u);
}

TEST(SwfActions, OperatorsConvertTheWayTheMovieVersionDoes) {
    ActionWriter a;
    a.push("sum").push("3").push(4.5).op(0x0A).op(0x1D);               // 7.5
    a.push("cat").push("3").push(4.5).op(0x47).op(0x1D);               // "34.5"
    a.push("div").push(1.0).push(0.0).op(0x0D).op(0x1D);               // Infinity
    a.push("mod").push(7.0).push(3.0).op(0x3F).op(0x1D);               // 1
    a.push("len").push("h\xC3\xA9llo").op(0x14).op(0x1D);              // 5 characters
    a.push("sub").push("abcdef").push(2.0).push(3.0).op(0x15).op(0x1D); // "bcd"
    a.push("lt").push(2.0).push(10.0).op(0x48).op(0x1D);               // true
    a.push("slt").push("2").push("10").op(0x48).op(0x1D);              // false: strings compare
    a.push("eq").push("5").push(5.0).op(0x49).op(0x1D);                // true
    a.push("strict").push("5").push(5.0).op(0x66).op(0x1D);            // false
    a.push("nan").push("abc").op(0x4A).op(0x1D);                       // NaN
    a.push("int").push(-7.8).op(0x18).op(0x1D);                        // -7
    a.push("bits").push_int(12).push_int(10).op(0x60).op(0x1D);        // 8
    a.push("shift").push_int(-16).push_int(2).op(0x64).op(0x1D);       // -4
    a.push("chr").push(65.0).op(0x33).op(0x1D);                        // "A"
    a.push("not").push_bool(false).op(0x12).op(0x1D);                  // true
    a.push("type").push_null().op(0x44).op(0x1D);                      // "null"
    a.constant_pool({"first", "second"}).push("pooled").push_constant(1).op(0x1D);
    a.push(99.0).store_register(2).op(0x17).push("reg").push_register(2).op(0x1D);
    a.push("swap").push("x").push("y").op(0x4D).op(0x0B).op(0x1D); // "y" - "x" = NaN
    Script run(a);
    EXPECT_EQ(run.var("sum"), "7.5");
    EXPECT_EQ(run.var("cat"), "34.5");
    EXPECT_EQ(run.var("div"), "Infinity");
    EXPECT_EQ(run.var("mod"), "1");
    EXPECT_EQ(run.var("len"), "5");
    EXPECT_EQ(run.var("sub"), "bcd");
    EXPECT_EQ(run.var("lt"), "true");
    EXPECT_EQ(run.var("slt"), "false");
    EXPECT_EQ(run.var("eq"), "true");
    EXPECT_EQ(run.var("strict"), "false");
    EXPECT_EQ(run.var("nan"), "NaN");
    EXPECT_EQ(run.var("int"), "-7");
    EXPECT_EQ(run.var("bits"), "8");
    EXPECT_EQ(run.var("shift"), "-4");
    EXPECT_EQ(run.var("chr"), "A");
    EXPECT_EQ(run.var("not"), "true");
    EXPECT_EQ(run.var("type"), "null");
    EXPECT_EQ(run.var("pooled"), "second");
    EXPECT_EQ(run.var("reg"), "99");
    EXPECT_EQ(run.var("swap"), "NaN");

    // Version 4: comparisons give numbers and text that is not a number counts as 0.
    Script old(ActionWriter().push("eq").push(1.0).push(1.0).op(0x0E).op(0x1D).push("n").push("abc").push(1.0).op(0x0A).op(0x1D),
            4);
    EXPECT_EQ(old.var("eq"), "1");
    EXPECT_EQ(old.var("n"), "1");
}

TEST(SwfActions, TimelineActionsAndGotoFrame2) {
    Script run(ActionWriter().stop().push("two").goto_frame2(false), 6, true);
    EXPECT_EQ(run.player.current_frame(), 1);
    EXPECT_FALSE(run.player.playing());
    // The target frame's actions run after the block that went there.
    ASSERT_EQ(run.recorder.commands.size(), 1u);
    EXPECT_EQ(run.recorder.commands[0].first, "entered");

    Script by_number(ActionWriter().push(2.0).goto_frame2(true), 6, true);
    EXPECT_EQ(by_number.player.current_frame(), 1);
    EXPECT_TRUE(by_number.player.playing());

    Script by_label(ActionWriter().goto_label("TWO").stop(), 6, true);
    EXPECT_EQ(by_label.player.current_frame(), 1);
    EXPECT_FALSE(by_label.player.playing());
}

TEST(SwfActions, EndlessAndBrokenScriptsEnd) {
    // An endless loop stops at the instruction budget; the player goes on.
    Script endless(ActionWriter().label("top").set_variable("alive", "1").jump("top"));
    EXPECT_EQ(endless.var("alive"), "1");

    // A frame that keeps going to itself runs a bounded number of blocks per call.
    MovieWriter writer(10, 10);
    writer.show_frame();
    writer.actions(ActionWriter().fscommand("again", "").push(1.0).goto_frame2(true).goto_frame(1));
    writer.show_frame();
    Recorder recorder;
    MoviePlayer player(recorder.events());
    ASSERT_TRUE(player.load(writer.finish()));
    player.goto_frame(1);
    player.run_actions();
    EXPECT_GT(recorder.commands.size(), 0u);
    EXPECT_LE(recorder.commands.size(), 5000u);

    // Popping an empty stack gives undefined; pushing without end stops at the stack bound.
    Script underflow(ActionWriter().op(0x17).op(0x17).push("u").op(0x0A).push("after").push("ok").op(0x1D));
    EXPECT_EQ(underflow.var("after"), "ok");
    ActionWriter flood;
    flood.label("top").push(1.0).jump("top");
    Script flooded(flood);

    // A jump outside the block ends it.
    uint8_t far[2] = {0x00, 0x40};
    Script jumped(ActionWriter().raw(0x99, far).set_variable("reached", "1"));
    EXPECT_EQ(jumped.var("reached"), "");
    uint8_t back[2] = {0x00, 0x80};
    Script backwards(ActionWriter().raw(0x99, back));
    // A record whose length runs past the block ends it too.
    std::vector<uint8_t> code = {0x96, 0xFF, 0x7F, 0x00, 'a'};
    MovieWriter broken(10, 10);
    broken.tag(12, code);
    broken.show_frame();
    MoviePlayer quiet({});
    ASSERT_TRUE(quiet.load(broken.finish()));
    quiet.run_actions();

    // Concatenation without end is cut off, not grown until memory runs out.
    ActionWriter grow;
    grow.set_variable("s", "xxxxxxxxxxxxxxxx");
    grow.label("top").push("s").get_variable("s").get_variable("s").op(0x21).op(0x1D).jump("top");
    Script grown(grow);
    EXPECT_LE(grown.var("s").size(), 1u << 20);
}

TEST(SwfActions, SetTargetActsOnASprite) {
    MovieWriter writer(10, 10);
    TimelineWriter sprite;
    sprite.show_frame();
    sprite.show_frame();
    sprite.show_frame();
    uint16_t id = writer.define_sprite(sprite);
    writer.place(1, id, {}, "inner");
    writer.actions(ActionWriter()
                       .set_target("inner")
                       .goto_frame(2)
                       .stop()
                       .set_variable("local", "in sprite")
                       .set_target("")
                       .set_variable("outer", "in root")
                       .push("/inner")
                       .push(4) // _currentframe
                       .op(0x22)
                       .store_register(0)
                       .op(0x17)
                       .push("seen")
                       .push_register(0)
                       .op(0x1D));
    writer.show_frame();
    MoviePlayer player({});
    ASSERT_TRUE(player.load(writer.finish()));
    player.run_actions();
    EXPECT_EQ(player.target_current_frame("/inner"), 2);
    EXPECT_EQ(player.get_variable("/inner:local"), "in sprite");
    EXPECT_EQ(player.get_variable("local"), "");
    EXPECT_EQ(player.get_variable("outer"), "in root");
    EXPECT_EQ(player.get_variable("seen"), "3");
    player.tick();
    EXPECT_EQ(player.target_current_frame("/inner"), 2); // stopped by the script
}

} // namespace
} // namespace tarpon::swf::test
