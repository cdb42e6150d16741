// Buttons: the hit area under the pointer, the state shown, and the actions of press and release.
#include "player_fixture.h"

namespace tarpon::swf::test {
namespace {

// A 100x100 movie with a button whose hit area is the square 20..60; it shows red when up, green
// when over and blue when down.
std::vector<uint8_t> button_movie(int button_version) {
    MovieWriter writer(100, 100);
    writer.background(0xFFFFFF);
    auto square = [&writer](uint32_t colour) {
        ShapeWriter s;
        s.rectangle(0, 0, 20 * 40, 20 * 40, s.solid_fill(opaque(colour)));
        return writer.define_shape(s);
    };
    uint16_t up = square(0xFF0000), over = square(0x00FF00), down = square(0x0000FF);
    ButtonWriter button;
    button.version(button_version);
    button.record(ButtonRecord::Up | ButtonRecord::Hit, up, 1);
    button.record(ButtonRecord::Over, over, 2);
    button.record(ButtonRecord::Down, down, 3);
    button.on(ButtonAction::OverUpToOverDown, ActionWriter().fscommand("press", ""));
    button.on(ButtonAction::OverDownToOverUp, ActionWriter().fscommand("release", "ok"));
    writer.place(1, writer.define_button(button), translate(20 * 20, 20 * 20));
    writer.show_frame();
    return writer.finish();
}

Matrix pixels() {
    Matrix view;
    view.a = view.d = 1 / 20.0;
    return view;
}

TEST(SwfButtons, PressAndReleaseOverTheButtonRunTheirActions) {
    Recorder recorder;
    MoviePlayer player(recorder.events());
    ASSERT_TRUE(player.load(button_movie(2)));
    EXPECT_EQ(draw(player, 100, 100).at(40, 40), 0xFF0000u);
    EXPECT_FALSE(player.pointer_move(10, 10, pixels()));
    EXPECT_TRUE(player.pointer_move(30, 30, pixels()));
    EXPECT_EQ(draw(player, 100, 100).at(40, 40), 0x00FF00u);
    player.pointer_down();
    EXPECT_EQ(draw(player, 100, 100).at(40, 40), 0x0000FFu);
    player.run_actions();
    ASSERT_EQ(recorder.commands.size(), 1u);
    EXPECT_EQ(recorder.commands[0].first, "press");
    player.pointer_up();
    EXPECT_TRUE(recorder.commands.size() == 1u); // queued, not run inside the event
    player.run_actions();
    ASSERT_EQ(recorder.commands.size(), 2u);
    EXPECT_EQ(recorder.commands[1], (std::pair<std::string, std::string>{"release", "ok"}));
    EXPECT_EQ(draw(player, 100, 100).at(40, 40), 0x00FF00u);
    player.pointer_move(80, 80, pixels());
    EXPECT_EQ(draw(player, 100, 100).at(40, 40), 0xFF0000u);
}

TEST(SwfButtons, ReleaseAwayFromTheButtonDoesNotClick) {
    Recorder recorder;
    MoviePlayer player(recorder.events());
    ASSERT_TRUE(player.load(button_movie(2)));
    player.pointer_move(30, 30, pixels());
    player.pointer_down();
    player.pointer_move(90, 90, pixels());
    player.pointer_up();
    player.run_actions();
    ASSERT_EQ(recorder.commands.size(), 1u);
    EXPECT_EQ(recorder.commands[0].first, "press");
    // Pressing outside any button and releasing over one does not click either.
    player.pointer_move(90, 90, pixels());
    player.pointer_down();
    player.pointer_move(30, 30, pixels());
    player.pointer_up();
    player.run_actions();
    EXPECT_EQ(recorder.commands.size(), 1u);
}

TEST(SwfButtons, FirstVersionButtonsRunTheirActionsOnRelease) {
    Recorder recorder;
    MoviePlayer player(recorder.events());
    ASSERT_TRUE(player.load(button_movie(1)));
    // The view maps the movie onto a window twice its size.
    Matrix view = view_matrix(player.frame_rect(), 200, 200, ScaleMode::ShowAll, 0, nullptr);
    EXPECT_FALSE(player.pointer_move(30, 30, view)); // movie pixel 15
    EXPECT_TRUE(player.pointer_move(110, 110, view));
    player.pointer_down();
    player.pointer_up();
    player.run_actions();
    ASSERT_EQ(recorder.commands.size(), 1u);
    EXPECT_EQ(recorder.commands[0].first, "release");
}

} // namespace
} // namespace tarpon::swf::test
