// The movie `new` starts a project with plays in the stand-in player: it shows its panel, its round
// button runs the project's "Hello" script when clicked, and its corner square quits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "player/swf/movie_player.h"
#include "tools/author/starter_movie.h"

namespace {

using tarpon::swf::Canvas;
using tarpon::swf::Matrix;
using tarpon::swf::MoviePlayer;

TEST(StarterMovie, PlaysAndItsButtonsRunHelloAndQuit) {
    std::filesystem::path path = std::filesystem::temp_directory_path() / "tarpon_starter_movie_test.swf";
    ASSERT_TRUE(tarpon::author::write_starter_movie(path.string()));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove(path);

    std::vector<std::pair<std::string, std::string>> commands;
    MoviePlayer::Events events;
    events.fscommand = [&](const std::string& command, const std::string& argument) {
        commands.emplace_back(command, argument);
    };
    MoviePlayer player(events);
    ASSERT_TRUE(player.load(bytes)) << player.error();
    EXPECT_EQ(player.frame_count(), 1);
    EXPECT_EQ(player.background(), 0x336699u);

    // One pixel to a twentieth of the movie: the 640 x 480 movie on a 32 x 24 canvas.
    Matrix view;
    view.a = view.d = 1 / 400.0;
    std::vector<uint32_t> pixels(32 * 24);
    player.render(Canvas{pixels.data(), 32, 24, 32}, view, -1);
    EXPECT_EQ(pixels[1 * 32 + 1] & 0xFFFFFF, 0x336699u);    // outside the panel
    EXPECT_EQ(pixels[6 * 32 + 6] & 0xFFFFFF, 0xFFFFFFu);    // the panel
    EXPECT_EQ(pixels[15 * 32 + 16] & 0xFFFFFF, 0xF08C1Eu);  // the button

    player.run_actions();
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(player.pointer_move(16, 15, view));  // over the button
    player.pointer_down();
    player.pointer_up();
    player.run_actions();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].first, "Quill_Run");
    EXPECT_EQ(commands[0].second, "Hello");

    // The quit square at 540,70-570,100: canvas pixel 27,4.
    EXPECT_EQ(pixels[4 * 32 + 27] & 0xFFFFFF, 0x1F3D5Cu);
    EXPECT_TRUE(player.pointer_move(27.5, 4.25, view));
    player.pointer_down();
    player.pointer_up();
    player.run_actions();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].first, "quit");
}

}  // namespace
