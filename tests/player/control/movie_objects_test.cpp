// FlashPlayer and MovieClip over the real player control in the test container, lent to the engine
// as the projector lends its own: properties read and written, frames, variables going through the
// movie's own actions, a named sprite moved and faded on the screen, a right click taken by the
// script, and no control object left behind when the engine and the container are gone.
#include <gtest/gtest.h>

#include <string>

#include "host/common/text.h"
#include "host/ui/host_player.h"
#include "host/ui/movie_objects.h"
#include "player/swf/swf_writer.h"
#include "test_container.h"
#include "tests/host/host_engine.h"

namespace tarpon::player::test {
namespace {

using swf::ActionWriter;
using swf::MovieWriter;

constexpr int32_t twips = 20;
constexpr uint32_t red = 0xFF0000;
constexpr uint32_t blue = 0x0000FF;

// The container whose control the engine sees, as the projector's source names its player host's.
Container* lent = nullptr;

IDispatch* lent_control() { return lent != nullptr ? lent->flash() : nullptr; }
HWND lent_window() { return lent != nullptr ? lent->control_window() : nullptr; }

// Lends the container's control for the scope.
class Lending {
public:
    explicit Lending(Container& container) {
        lent = &container;
        host::set_host_player_source({lent_control, lent_window});
    }
    ~Lending() {
        host::set_host_player_source({});
        lent = nullptr;
    }
    Lending(const Lending&) = delete;
    Lending& operator=(const Lending&) = delete;
};

// 80 x 60 pixels on blue, three frames, stopped at the first:
//   frame 0: the sprite "box" (a red 20 x 20 square at the origin) placed
//   frame 1: reply = input + " back"
//   frame 2, labelled "tally": called = "label"
std::vector<uint8_t> test_movie() {
    MovieWriter movie(80, 60);
    movie.background(blue);
    swf::ShapeWriter square;
    square.rectangle(0, 0, 20 * twips, 20 * twips, square.solid_fill(swf::opaque(red)));
    swf::TimelineWriter box;
    box.place(1, movie.define_shape(square));
    box.show_frame();
    movie.place(1, movie.define_sprite(box), {}, "box");
    movie.actions(ActionWriter().stop());
    movie.show_frame();
    movie.actions(ActionWriter().push("reply").get_variable("input").push(" back").op(0x21).op(0x1D).stop());
    movie.show_frame();
    movie.label("tally");
    movie.actions(ActionWriter().set_variable("called", "label").stop());
    movie.show_frame();
    return movie.finish();
}

class MovieObjects : public ::testing::Test {
protected:
    MovieObjects() : m_container(80, 60), m_file(L"tarpon-movie-objects.swf", test_movie()) {}

    void SetUp() override {
        ASSERT_TRUE(m_container.ok());
        ASSERT_EQ(m_container.flash()->put_Playing(VARIANT_FALSE), S_OK);
        ASSERT_TRUE(quill::run_native(engine.handle(), [&](quill::ScriptEngine* e) {
            quill::set_global(e, "path", host::wide_string(e, m_file.path()));
        }));
        ASSERT_EQ(engine.run("FlashPlayer.movie = path; FlashPlayer.movie == path"), "true");
        Container::pump(100);
    }

    Container m_container;
    TempFile m_file;
    Lending m_lending{m_container};
    host::testing::HostEngine engine;
};

TEST_F(MovieObjects, PlayerPropertiesAreTheControls) {
    EXPECT_EQ(engine.run("String(FlashPlayer) + ' ' + new FlashPlayer().totalFrames"), "[object FlashPlayer] 3");
    EXPECT_EQ(engine.run("[FlashPlayer.readyState, FlashPlayer.percentLoaded, FlashPlayer.flashVersion > 0]"),
              "4,100,true");

    // Written values are converted to what each property holds.
    EXPECT_EQ(engine.run("FlashPlayer.playing = 0; FlashPlayer.loop = ''; [FlashPlayer.playing, FlashPlayer.loop]"),
              "false,false");
    EXPECT_EQ(engine.run("FlashPlayer.loop = 'yes'; FlashPlayer.loop"), "true");
    EXPECT_EQ(engine.run("FlashPlayer.quality = 'LOW'; FlashPlayer.quality"), "low");
    EXPECT_EQ(engine.run("FlashPlayer.scaleMode = '2'; FlashPlayer.alignMode = 5; "
                         "[FlashPlayer.scaleMode, FlashPlayer.alignMode]"),
              "2,5");
    EXPECT_EQ(engine.run("FlashPlayer.backgroundColor = 0x00FF00; FlashPlayer.backgroundColor"), "65280");
    EXPECT_EQ(engine.run("FlashPlayer.backgroundColor = -1; FlashPlayer.backgroundColor"), "-1");
    EXPECT_EQ(engine.run("FlashPlayer.totalFrames = 9; FlashPlayer.totalFrames"), "3");

    // The control's window, as a Window object.
    const auto handle = reinterpret_cast<intptr_t>(m_container.control_window());
    EXPECT_EQ(engine.run("FlashPlayer.window.handle"), std::to_string(handle));

    // Each method takes the control's number of arguments: none of these is refused.
    EXPECT_EQ(engine.run("FlashPlayer.play(); var was = FlashPlayer.playing; FlashPlayer.stop();\n"
                         "FlashPlayer.setZoomRect(0, 0, 400, 300); FlashPlayer.pan(1, 1, 0); FlashPlayer.zoom(0);\n"
                         "FlashPlayer.loadMovie(0, path); [was, FlashPlayer.playing, FlashPlayer.readyState]"),
              "true,false,4");
    EXPECT_STREQ(engine.message(), "");

    // A refused value leaves the property and says why.
    EXPECT_EQ(engine.run("FlashPlayer.quality = 'grainy'; FlashPlayer.quality"), "low");
    EXPECT_EQ(engine.run("FlashPlayer.gotoFrame('far')"), "undefined");
    EXPECT_NE(std::string(engine.message()).find("gotoFrame"), std::string::npos) << engine.message();
    EXPECT_EQ(engine.run("FlashPlayer.gotoFrame()"), "undefined");
    EXPECT_EQ(engine.run("FlashPlayer.frameNum"), "0");
}

TEST_F(MovieObjects, FramesOfTheRootAndOfClips) {
    EXPECT_EQ(engine.run("FlashPlayer.gotoFrame(2); [FlashPlayer.frameNum, MovieClip('/').currentFrame]"), "2,2");
    EXPECT_EQ(engine.run("MovieClip('/').currentLabel"), "tally");
    EXPECT_EQ(engine.run("FlashPlayer.frameNum = 1; FlashPlayer.getMovieClip('_root').currentFrame"), "1");
    EXPECT_EQ(engine.run("FlashPlayer.rewind(); FlashPlayer.frameNum"), "0");
    EXPECT_EQ(engine.run("FlashPlayer.forward(); FlashPlayer.frameNum"), "1");
    EXPECT_EQ(engine.run("FlashPlayer.back(); FlashPlayer.frameNum"), "0");
    EXPECT_EQ(engine.run("var root = new MovieClip('/'); root.gotoLabel('tally'); root.currentFrame"), "2");
    EXPECT_EQ(engine.run("root.gotoFrame(0); root.currentFrame"), "0");

    // A clip of no timeline answers nothing; one made of no path is none.
    EXPECT_EQ(engine.run("var lost = MovieClip('/nowhere'); [String(lost), lost.currentFrame, lost.x]"),
              "[object MovieClip],undefined,undefined");
    EXPECT_EQ(engine.run("[MovieClip() === null, MovieClip(3) === null, FlashPlayer.getMovieClip() === null]"),
              "true,true,true");
}

TEST_F(MovieObjects, VariablesGoThroughTheMoviesOwnActions) {
    // Set by the script, read by frame 1's actions when the movie gets there, read back.
    EXPECT_EQ(engine.run("FlashPlayer.setVariable('input', 'hello'); FlashPlayer.gotoFrame(1); 0"), "0");
    EXPECT_EQ(wait_in_script(engine, "FlashPlayer.getVariable('reply') == 'hello back'"), "true");

    // Called frames run at once, where the timeline is.
    EXPECT_EQ(engine.run("FlashPlayer.rewind(); FlashPlayer.setVariable('input', 7); var root = MovieClip('/');\n"
                         "root.callFrame(1); [FlashPlayer.getVariable('reply'), root.currentFrame]"),
              "7 back,0");
    EXPECT_EQ(engine.run("root.callLabel('TALLY'); FlashPlayer.getVariable('called')"), "label");
    EXPECT_EQ(engine.run("root.callFrame(9)"), "undefined");
    EXPECT_EQ(engine.run("FlashPlayer.setVariable('flag', true); FlashPlayer.getVariable('flag')"), "true");
}

TEST_F(MovieObjects, NamedSpriteMovedAndFadedOnTheScreen) {
    EXPECT_EQ(m_container.screen_pixel(10, 10), red);
    EXPECT_EQ(engine.run("var box = FlashPlayer.getMovieClip('/box');\n"
                         "[box.name, box.target, box.x, box.width, box.totalFrames, box.visible, box.dropTarget]"),
              "box,/box,0,20,1,true,");
    EXPECT_EQ(engine.run("box.url == path"), "true");
    EXPECT_EQ(engine.run("box.x = 40; box.y = '10'; box.alpha = 50; [box.x, box.y, box.alpha]"), "40,10,50");
    EXPECT_EQ(engine.run("MovieClip('_root.box').x"), "40");
    Container::pump(100);
    EXPECT_EQ(m_container.screen_pixel(10, 10), blue);
    // Red at half strength over blue.
    const uint32_t faded = m_container.screen_pixel(50, 20);
    EXPECT_NEAR(static_cast<int>(faded >> 16), 0x80, 2);
    EXPECT_EQ((faded >> 8) & 0xFF, 0u);
    EXPECT_NEAR(static_cast<int>(faded & 0xFF), 0x80, 2);

    EXPECT_EQ(engine.run("box.visible = false; box.visible"), "false");
    Container::pump(100);
    EXPECT_EQ(m_container.screen_pixel(50, 20), blue);
    EXPECT_EQ(engine.run("box.visible = 1; box.totalFrames = 5; box.target = 'x'; [box.visible, box.totalFrames, "
                         "box.target]"),
              "true,1,/box");
}

TEST_F(MovieObjects, RightClickGoesToTheScriptInsteadOfThePlayersMenu) {
    EXPECT_EQ(engine.run("var clicks = 0; FlashPlayer.onContextMenu = function () { clicks++; };\n"
                         "FlashPlayer.onContextMenu = 'not a function'; FlashPlayer.onContextMenu"),
              "undefined");
    // The handler is kept even when no Window object of the script's is left.
    engine.collect();
    HWND window = m_container.control_window();
    POINT centre{40, 30};
    ClientToScreen(window, &centre);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = static_cast<LONG>(centre.x * 65535LL / (width - 1));
        input.mi.dy = static_cast<LONG>(centre.y * 65535LL / (height - 1));
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    }
    inputs[0].mi.dwFlags |= MOUSEEVENTF_MOVE;
    inputs[1].mi.dwFlags |= MOUSEEVENTF_RIGHTDOWN;
    inputs[2].mi.dwFlags |= MOUSEEVENTF_RIGHTUP;
    ASSERT_EQ(SendInput(3, inputs, sizeof(INPUT)), 3u);
    // Were the player's menu to open, it would hold this wait in its own loop.
    EXPECT_EQ(wait_in_script(engine, "clicks > 0"), "true");
    Container::pump(200);
    EXPECT_EQ(engine.run("clicks"), "1");
}

// Only the commands the host does not take reach the script, and only through the bridge; here the
// forwarding itself: both texts, the running script's result kept, a failing handler dropped.
TEST_F(MovieObjects, CommandsForwardedToOnFSCommand) {
    EXPECT_EQ(engine.run("var got = []; FlashPlayer.onFSCommand = function (c, a) { got.push(c + '=' + a); "
                         "return 'ignored'; }; FlashPlayer.onFSCommand"),
              "undefined");
    ASSERT_TRUE(quill::run_native(engine.handle(), [](quill::ScriptEngine* e) {
        e->result = quill::Value::integer(5);
        host::forward_fs_command(e, "Custom", "one two");
        EXPECT_EQ(e->result.tag, quill::Tag::Integer);
    }));
    EXPECT_EQ(engine.run("got.join()"), "Custom=one two");
    EXPECT_EQ(engine.run("FlashPlayer.onFSCommand = function () { throw 'bad'; }; 0"), "0");
    ASSERT_TRUE(quill::run_native(engine.handle(), [](quill::ScriptEngine* e) {
        host::forward_fs_command(e, "again", "");
    }));
    EXPECT_EQ(engine.run("got.length"), "1");
}

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

TEST(MovieObjectsLifetime, NoControlObjectOutlivesTheEngineAndTheContainer) {
    auto can_unload = library_export<CanUnloadNow>(player_library(), "DllCanUnloadNow");
    ASSERT_NE(can_unload, nullptr);
    ASSERT_EQ(can_unload(), S_OK);
    {
        Container container(80, 60);
        ASSERT_TRUE(container.ok());
        TempFile file(L"tarpon-movie-objects-life.swf", test_movie());
        Lending lending(container);
        host::testing::HostEngine engine;
        ASSERT_TRUE(quill::run_native(engine.handle(), [&](quill::ScriptEngine* e) {
            quill::set_global(e, "path", host::wide_string(e, file.path()));
        }));
        EXPECT_EQ(engine.run("FlashPlayer.movie = path; var clips = [];\n"
                             "for (var i = 0; i < 50; i++) clips.push(FlashPlayer.getMovieClip('/box').x);\n"
                             "FlashPlayer.onContextMenu = function () {}; FlashPlayer.onFSCommand = function () {};\n"
                             "FlashPlayer.window.caption = 'x'; clips.length"),
                  "50");
        engine.collect();
    }
    EXPECT_EQ(can_unload(), S_OK);
}

}  // namespace
}  // namespace tarpon::player::test
