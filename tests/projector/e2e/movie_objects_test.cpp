// FlashPlayer and MovieClip in a projector built from a test project: the movie's own command reaches
// the script's onFSCommand, which moves a named sprite (seen in a screenshot) and leaves a variable
// in the movie; a real right click over the movie reaches onContextMenu instead of the player's menu.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "player/swf/swf_writer.h"
#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

constexpr int start_timeout = 30000;
constexpr int end_timeout = 20000;
constexpr int32_t twips = 20;
constexpr uint32_t red = 0xFF0000;
constexpr uint32_t background = 0x336699;

// 320 x 240: the sprite "box", a red 40 x 40 square at the top-left corner; the first frame sends
// hello(world) and stops.
std::vector<uint8_t> box_movie() {
    swf::MovieWriter movie(320, 240, 12);
    movie.background(background);
    swf::ShapeWriter square;
    square.rectangle(0, 0, 40 * twips, 40 * twips, square.solid_fill(swf::opaque(red)));
    swf::TimelineWriter box;
    box.place(1, movie.define_shape(square));
    box.show_frame();
    movie.place(1, movie.define_sprite(box), {}, "box");
    movie.actions(swf::ActionWriter().fscommand("hello", "world").stop());
    movie.show_frame();
    return movie.finish();
}

TEST(ProjectorMovieObjects, CommandsAndRightClicksReachTheScript) {
    if (!projector_built()) {
        GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built in " << bin_folder();
    }
    TestProject project("movie-objects");
    project.write_settings("position = \"bottom_right\"");
    project.write_script("Initialize",
                         "FlashPlayer.onFSCommand = function (command, argument) {\n"
                         "    var box = MovieClip('_root.box');\n"
                         "    box.x = 200;\n"
                         "    FlashPlayer.setVariable('seen', 'yes');\n"
                         "    put('movie', FlashPlayer.totalFrames + ' ' + box.x + ' ' + box.name);\n"
                         "    put('command', command + '(' + argument + ')');\n"
                         "};\n"
                         "FlashPlayer.onContextMenu = function () {\n"
                         "    put('menu', 'right ' + FlashPlayer.getVariable('seen'));\n"
                         "};\n"
                         "put('parent', FlashPlayer.window.parent.handle == getMainWnd().handle);\n"
                         "true;");
    project.write_movie("start.swf", box_movie());
    std::string log;
    ASSERT_TRUE(project.build(&log)) << log;
    Process process(project.exe(), {}, project.dir(), project.temp_dir());
    ASSERT_TRUE(process.started());
    HWND window = process.main_window(start_timeout);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(project.wait_for_result("command", 10000), "hello(world)");
    EXPECT_EQ(project.result("movie"), "1 200 box");
    EXPECT_EQ(project.result("parent"), "true");

    SetForegroundWindow(window);
    Sleep(500);
    auto shot = probe::screenshot(window, true);
    ASSERT_TRUE(shot.has_value());
    shot->save_bmp(project.path("shot.bmp"));
    EXPECT_GT(shot->count(red, RECT{200, 0, 240, 40}), static_cast<size_t>(40 * 40 * 9 / 10));
    EXPECT_GT(shot->count(background, RECT{0, 0, 40, 40}), static_cast<size_t>(40 * 40 * 9 / 10));

    ASSERT_TRUE(probe::right_click_with_input(window, 160, 120));
    EXPECT_EQ(project.wait_for_result("menu", 10000), "right yes");
    // The press was the script's: the player's own menu does not open after it.
    Sleep(500);
    HWND menu = FindWindowA("#32768", nullptr);
    EXPECT_TRUE(menu == nullptr || !IsWindowVisible(menu));

    ASSERT_TRUE(probe::request_close(window));
    EXPECT_TRUE(process.wait(end_timeout).has_value());
}

}  // namespace
}  // namespace tarpon::e2e
