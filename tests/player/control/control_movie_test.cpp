// The control playing real movies in the test container: FSCommand events from frame actions and
// from a clicked button, frames advancing with Playing and Loop, frame and target calls, variables,
// scale modes seen in screenshots of the control's window, and drawing through the view object.
#include <gtest/gtest.h>

#include "platform/com.h"
#include "player/swf/swf_writer.h"
#include "test_container.h"

namespace tarpon::player::test {
namespace {

using platform::Bstr;
using swf::ActionWriter;
using swf::MovieWriter;

constexpr uint32_t red = 0xFF0000;
constexpr uint32_t blue = 0x0000FF;

constexpr int32_t twips = 20;

// A rectangle in pixels as a shape of the movie.
uint16_t rectangle(MovieWriter& movie, int x, int y, int width, int height, uint32_t rgb) {
    swf::ShapeWriter shape;
    int fill = shape.solid_fill(swf::opaque(rgb));
    shape.rectangle(x * twips, y * twips, width * twips, height * twips, fill);
    return movie.define_shape(shape);
}

// One frame running `actions`.
std::vector<uint8_t> one_frame_movie(const ActionWriter& actions) {
    MovieWriter movie(40, 30);
    movie.actions(actions);
    movie.show_frame();
    return movie.finish();
}

// Three frames, each telling the container its number.
std::vector<uint8_t> counting_movie(double rate = 30) {
    MovieWriter movie(40, 30, rate);
    for (int frame = 0; frame < 3; ++frame) {
        movie.actions(ActionWriter().fscommand("frame", std::to_string(frame)));
        movie.show_frame();
    }
    return movie.finish();
}

// 100 x 100 pixels: blue, with the left half red.
std::vector<uint8_t> half_red_movie(bool compressed = false) {
    MovieWriter movie(100, 100);
    movie.background(blue);
    movie.place(1, rectangle(movie, 0, 0, 50, 100, red));
    movie.show_frame();
    return movie.finish(compressed);
}

std::vector<std::wstring> commands(Container& container) {
    std::vector<std::wstring> out;
    for (const auto& command : container.events().fs_commands) {
        out.push_back(command.command + L"(" + command.argument + L")");
    }
    return out;
}

TEST(PlayerMovie, FrameActionsRunAfterTheMovieIsSetNotInsideIt) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    TempFile file(L"tarpon-player-hello.swf",
                  one_frame_movie(ActionWriter().fscommand("hello", "world").stop()));
    ASSERT_EQ(container.load(file.path()), S_OK);
    EXPECT_TRUE(container.events().fs_commands.empty());
    EXPECT_EQ(container.events().ready_states, (std::vector<long>{0, 4}));
    EXPECT_EQ(container.events().progress, std::vector<long>{100});

    ASSERT_TRUE(Container::wait_for([&] { return !container.events().fs_commands.empty(); }));
    Container::pump(100);
    EXPECT_EQ(commands(container), std::vector<std::wstring>{L"hello(world)"});
    long frames = 0;
    container.flash()->get_TotalFrames(&frames);
    EXPECT_EQ(frames, 1);
    Bstr path;
    container.flash()->get_Movie(path.put());
    EXPECT_EQ(std::wstring(path.get()), file.path());
}

TEST(PlayerMovie, FramesAdvanceOnceWithoutLoopAndAgainWithLoop) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    TempFile file(L"tarpon-player-count.swf", counting_movie());
    ASSERT_EQ(container.flash()->put_Loop(VARIANT_FALSE), S_OK);
    ASSERT_EQ(container.load(file.path()), S_OK);
    ASSERT_TRUE(Container::wait_for([&] { return container.events().fs_commands.size() >= 3; }));
    Container::pump(300);
    EXPECT_EQ(commands(container), (std::vector<std::wstring>{L"frame(0)", L"frame(1)", L"frame(2)"}));
    long frame = -1;
    container.flash()->CurrentFrame(&frame);
    EXPECT_EQ(frame, 2);

    container.events().fs_commands.clear();
    ASSERT_EQ(container.flash()->put_Loop(VARIANT_TRUE), S_OK);
    ASSERT_EQ(container.flash()->Rewind(), S_OK);
    ASSERT_EQ(container.flash()->Play(), S_OK);
    ASSERT_TRUE(Container::wait_for([&] { return container.events().fs_commands.size() >= 5; }));
    auto seen = commands(container);
    EXPECT_EQ(seen[0], L"frame(0)");
    EXPECT_EQ(seen[3], L"frame(0)"); // round again
}

TEST(PlayerMovie, StoppedMoviesMoveOnlyWhenTold) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    TempFile file(L"tarpon-player-still.swf", counting_movie());
    // Playing set before the movie holds for it, as the projector sets it.
    ASSERT_EQ(container.flash()->put_Playing(VARIANT_FALSE), S_OK);
    ASSERT_EQ(container.load(file.path()), S_OK);
    Container::pump(300);
    EXPECT_EQ(commands(container), std::vector<std::wstring>{L"frame(0)"});
    VARIANT_BOOL playing = VARIANT_TRUE;
    container.flash()->IsPlaying(&playing);
    EXPECT_EQ(playing, VARIANT_FALSE);

    ASSERT_EQ(container.flash()->GotoFrame(2), S_OK);
    long frame = -1;
    container.flash()->CurrentFrame(&frame);
    EXPECT_EQ(frame, 2);
    ASSERT_TRUE(Container::wait_for([&] { return container.events().fs_commands.size() == 2; }));
    EXPECT_EQ(commands(container).back(), L"frame(2)");

    ASSERT_EQ(container.flash()->Back(), S_OK);
    container.flash()->get_FrameNum(&frame);
    EXPECT_EQ(frame, 1);
    ASSERT_EQ(container.flash()->put_FrameNum(0), S_OK);
    container.flash()->CurrentFrame(&frame);
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(container.flash()->GotoFrame(-1), E_INVALIDARG);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    container.flash()->FrameLoaded(2, &loaded);
    EXPECT_EQ(loaded, VARIANT_TRUE);
    container.flash()->FrameLoaded(3, &loaded);
    EXPECT_EQ(loaded, VARIANT_FALSE);

    // The same through Invoke by name, as a script host calls it.
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(invoke_by_name(container.flash(), L"gotoframe", DISPATCH_METHOD, {long_variant(1)}, nullptr),
              S_OK);
    ASSERT_EQ(invoke_by_name(container.flash(), L"CURRENTFRAME", DISPATCH_METHOD, {}, &result), S_OK);
    EXPECT_EQ(result.lVal, 1);
    ASSERT_EQ(invoke_by_name(container.flash(), L"totalFrames", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.lVal, 3);
}

TEST(PlayerMovie, AClickedButtonRaisesItsCommand) {
    Container container(100, 100);
    ASSERT_TRUE(container.ok());
    MovieWriter movie(100, 100);
    movie.background(0xFFFFFF);
    swf::ButtonWriter button;
    button.record(swf::ButtonRecord::Up | swf::ButtonRecord::Over | swf::ButtonRecord::Down |
                      swf::ButtonRecord::Hit,
                  rectangle(movie, 0, 0, 50, 50, red), 1);
    button.on(swf::ButtonAction::OverDownToOverUp, ActionWriter().fscommand("clicked", "button"));
    movie.place(1, movie.define_button(button));
    movie.actions(ActionWriter().stop());
    movie.show_frame();
    TempFile file(L"tarpon-player-button.swf", movie.finish());
    ASSERT_EQ(container.load(file.path()), S_OK);
    Container::pump(100);
    HWND window = container.control_window();

    // Outside the button nothing happens, and the cursor stays an arrow.
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(75, 75));
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(75, 75));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(75, 75));
    Container::pump(100);
    EXPECT_TRUE(container.events().fs_commands.empty());

    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(25, 25));
    Container::pump(50);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_HAND));
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 25));
    Container::pump(50);
    EXPECT_TRUE(container.events().fs_commands.empty()); // the action is on release
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(25, 25));
    ASSERT_TRUE(Container::wait_for([&] { return !container.events().fs_commands.empty(); }));
    EXPECT_EQ(commands(container), std::vector<std::wstring>{L"clicked(button)"});
}

TEST(PlayerMovie, VariablesAndTargetsOfTheRootAndOfSprites) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    MovieWriter movie(40, 30);
    swf::TimelineWriter clip;
    clip.place(1, rectangle(movie, 0, 0, 10, 10, red));
    clip.show_frame();
    clip.label("second");
    clip.show_frame();
    movie.place(1, movie.define_sprite(clip), {}, "clip");
    movie.actions(ActionWriter().set_variable("greeting", "hi").stop());
    movie.show_frame();
    TempFile file(L"tarpon-player-vars.swf", movie.finish());
    ASSERT_EQ(container.flash()->put_Playing(VARIANT_FALSE), S_OK);
    ASSERT_EQ(container.load(file.path()), S_OK);
    Container::pump(100);

    Bstr greeting(L"greeting");
    Bstr value;
    ASSERT_EQ(container.flash()->GetVariable(greeting.get(), value.put()), S_OK);
    EXPECT_STREQ(value.get(), L"hi"); // set by the frame action
    Bstr name(L"answer");
    Bstr text(L"42");
    ASSERT_EQ(container.flash()->SetVariable(name.get(), text.get()), S_OK);
    ASSERT_EQ(container.flash()->GetVariable(name.get(), value.put()), S_OK);
    EXPECT_STREQ(value.get(), L"42");

    // The sprite plays on its own while the root timeline stands still.
    Bstr target(L"/clip");
    ASSERT_EQ(container.flash()->TStopPlay(target.get()), S_OK);
    ASSERT_EQ(container.flash()->TGotoFrame(target.get(), 0), S_OK);
    long frame = -1;
    ASSERT_EQ(container.flash()->TCurrentFrame(target.get(), &frame), S_OK);
    EXPECT_EQ(frame, 0);
    Container::pump(200);
    ASSERT_EQ(container.flash()->TCurrentFrame(target.get(), &frame), S_OK);
    EXPECT_EQ(frame, 0);
    Bstr label(L"second");
    ASSERT_EQ(container.flash()->TGotoLabel(target.get(), label.get()), S_OK);
    ASSERT_EQ(container.flash()->TCurrentFrame(target.get(), &frame), S_OK);
    EXPECT_EQ(frame, 1);
    ASSERT_EQ(container.flash()->TCurrentLabel(target.get(), value.put()), S_OK);
    EXPECT_STREQ(value.get(), L"second");
    ASSERT_EQ(container.flash()->TGotoFrame(target.get(), 0), S_OK);
    ASSERT_EQ(container.flash()->TGetProperty(target.get(), 13, value.put()), S_OK); // _name
    EXPECT_STREQ(value.get(), L"clip");
    ASSERT_EQ(container.flash()->TSetPropertyNum(target.get(), 0, 20), S_OK); // _x
    double x = 0;
    ASSERT_EQ(container.flash()->TGetPropertyNum(target.get(), 0, &x), S_OK);
    EXPECT_DOUBLE_EQ(x, 20);
    double total = 0;
    ASSERT_EQ(container.flash()->TGetPropertyNum(target.get(), 5, &total), S_OK); // _totalframes
    EXPECT_DOUBLE_EQ(total, 2);
    EXPECT_EQ(container.flash()->TGetPropertyNum(target.get(), 13, &x), DISP_E_TYPEMISMATCH);

    Bstr missing(L"/nowhere");
    EXPECT_EQ(container.flash()->TCurrentFrame(missing.get(), &frame), E_INVALIDARG);
    EXPECT_EQ(container.flash()->TGotoFrame(missing.get(), 0), E_INVALIDARG);
    EXPECT_EQ(container.flash()->TGetProperty(missing.get(), 0, value.put()), E_INVALIDARG);
}

TEST(PlayerMovie, ScaleModesMapTheMovieOntoTheWindow) {
    Container container(200, 200);
    ASSERT_TRUE(container.ok());
    TempFile file(L"tarpon-player-half.swf", half_red_movie());
    ASSERT_EQ(container.load(file.path()), S_OK);
    Container::pump(50);
    // Show all: the movie doubled to fill the square window.
    EXPECT_EQ(container.screen_pixel(30, 100), red);
    EXPECT_EQ(container.screen_pixel(90, 100), red);
    EXPECT_EQ(container.screen_pixel(110, 100), blue);
    EXPECT_EQ(container.screen_pixel(190, 190), blue);

    // No scale: 100 x 100 in the middle.
    ASSERT_EQ(container.flash()->put_ScaleMode(3), S_OK);
    EXPECT_NE(container.screen_pixel(30, 100), red);
    EXPECT_EQ(container.screen_pixel(60, 100), red);
    EXPECT_EQ(container.screen_pixel(140, 100), blue);

    // Exact fit in a wide window: the left half of the window is red.
    container.resize(200, 100);
    ASSERT_EQ(container.flash()->put_ScaleMode(2), S_OK);
    EXPECT_EQ(container.screen_pixel(40, 50), red);
    EXPECT_EQ(container.screen_pixel(95, 10), red);
    EXPECT_EQ(container.screen_pixel(105, 90), blue);
    // Show all in the same window: centred, so x 40 is left of the movie.
    ASSERT_EQ(container.flash()->put_ScaleMode(0), S_OK);
    EXPECT_NE(container.screen_pixel(40, 50), red);
    EXPECT_EQ(container.screen_pixel(60, 50), red);

    // A background colour of the container's replaces the movie's own; -1 gives it back.
    ASSERT_EQ(container.flash()->put_BackgroundColor(0xFFFF00), S_OK);
    EXPECT_EQ(container.screen_pixel(140, 50), 0xFFFF00u);
    ASSERT_EQ(container.flash()->put_BackgroundColor(-1), S_OK);
    EXPECT_EQ(container.screen_pixel(140, 50), blue);
}

TEST(PlayerMovie, ViewObjectDrawsWhatTheWindowShows) {
    Container container(120, 90);
    ASSERT_TRUE(container.ok());
    TempFile file(L"tarpon-player-draw.swf", half_red_movie(true)); // compressed
    ASSERT_EQ(container.load(file.path()), S_OK);
    Container::pump(50);
    std::vector<uint32_t> screen = container.screenshot();
    HRESULT status = E_FAIL;
    std::vector<uint32_t> drawn = container.view_draw(120, 90, &status);
    ASSERT_EQ(status, S_OK);
    EXPECT_EQ(drawn, screen);
    EXPECT_EQ(drawn[45 * 120 + 30], red);
    EXPECT_EQ(drawn[45 * 120 + 90], blue);

    // Drawn with the container's colours, as the projector does for its window shapes.
    ASSERT_EQ(container.flash()->put_BackgroundColor(0), S_OK);
    drawn = container.view_draw(120, 90);
    EXPECT_EQ(drawn[45 * 120 + 90], 0u);
    EXPECT_EQ(drawn[45 * 120 + 30], red);
}

TEST(PlayerMovie, ContainerMayReplaceOrDropTheMovieInsideAnEvent) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    TempFile one(L"tarpon-player-one.swf", one_frame_movie(ActionWriter().fscommand("first", "").stop()));
    TempFile two(L"tarpon-player-two.swf", one_frame_movie(ActionWriter().fscommand("second", "").stop()));
    container.events().on_fs_command = [&](const RecordedEvents::Command& command) {
        if (command.command == L"first") {
            container.load(two.path());
        }
    };
    ASSERT_EQ(container.load(one.path()), S_OK);
    ASSERT_TRUE(Container::wait_for([&] { return container.events().fs_commands.size() >= 2; }));
    EXPECT_EQ(commands(container), (std::vector<std::wstring>{L"first()", L"second()"}));
    Bstr path;
    container.flash()->get_Movie(path.put());
    EXPECT_EQ(std::wstring(path.get()), two.path());

    // Deactivating the control from inside its own event leaves nothing broken.
    container.events().on_fs_command = [&](const RecordedEvents::Command&) {
        ComPtr<IOleInPlaceObject> in_place;
        container.flash()->QueryInterface(IID_IOleInPlaceObject, in_place.put_void());
        in_place->InPlaceDeactivate();
    };
    ASSERT_EQ(container.load(one.path()), S_OK);
    ASSERT_TRUE(Container::wait_for([&] { return container.events().fs_commands.size() >= 3; }));
    EXPECT_EQ(container.control_window(), nullptr);
}

TEST(PlayerMovie, PlayerMenuCommandsReachTheMovie) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    TempFile file(L"tarpon-player-menu.swf", counting_movie(12));
    ASSERT_EQ(container.flash()->put_Playing(VARIANT_FALSE), S_OK);
    ASSERT_EQ(container.load(file.path()), S_OK);
    Container::pump(50);
    HWND window = container.control_window();
    auto command = [&](UINT id) { SendMessageW(window, WM_COMMAND, id, 0); };

    command(20040); // Forward
    long frame = -1;
    container.flash()->CurrentFrame(&frame);
    EXPECT_EQ(frame, 1);
    command(20041); // Back
    container.flash()->CurrentFrame(&frame);
    EXPECT_EQ(frame, 0);
    command(20039); // Play
    VARIANT_BOOL flag = VARIANT_FALSE;
    container.flash()->get_Playing(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    command(20039);
    container.flash()->get_Playing(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    command(20043); // Loop off
    container.flash()->get_Loop(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    command(20046); // 100%
    int mode = -1;
    container.flash()->get_ScaleMode(&mode);
    EXPECT_EQ(mode, 3);
    command(20034); // Show All
    container.flash()->get_ScaleMode(&mode);
    EXPECT_EQ(mode, 0);
    command(20035); // Quality: Low
    Bstr quality;
    container.flash()->get_Quality2(quality.put());
    EXPECT_STREQ(quality.get(), L"low");
}

} // namespace
} // namespace tarpon::player::test

namespace tarpon::player::test {
namespace {

TEST(PlayerMovie, ZoomAndPanMoveTheView) {
    Container container(200, 200);
    ASSERT_TRUE(container.ok());
    // The half red movie with a green square right of the middle, at 60..70 x 45..55.
    MovieWriter movie(100, 100);
    movie.background(blue);
    movie.place(1, rectangle(movie, 0, 0, 50, 100, red));
    movie.place(2, rectangle(movie, 60, 45, 10, 10, 0x00FF00));
    movie.show_frame();
    TempFile file(L"tarpon-player-zoom.swf", movie.finish());
    ASSERT_EQ(container.load(file.path()), S_OK);
    Container::pump(50);
    EXPECT_EQ(container.screen_pixel(160, 100), blue);

    // Half the movie's width in view, around its centre: four window pixels a movie pixel.
    ASSERT_EQ(container.flash()->Zoom(50), S_OK);
    EXPECT_EQ(container.screen_pixel(160, 100), 0x00FF00u);
    EXPECT_EQ(container.screen_pixel(96, 100), red);
    EXPECT_EQ(container.screen_pixel(104, 100), blue);
    EXPECT_EQ(container.screen_pixel(130, 100), blue);
    // Panned right by a tenth of the view: the square comes 20 pixels nearer.
    ASSERT_EQ(container.flash()->Pan(10, 0, 1), S_OK);
    EXPECT_EQ(container.screen_pixel(130, 100), 0x00FF00u);
    EXPECT_EQ(container.flash()->Pan(0, 0, 5), E_INVALIDARG);

    // Zoom 0 gives the whole movie back; a zoom rectangle in twips shows its part.
    ASSERT_EQ(container.flash()->Zoom(0), S_OK);
    EXPECT_EQ(container.screen_pixel(160, 100), blue);
    ASSERT_EQ(container.flash()->SetZoomRect(1000, 800, 1500, 1300), S_OK); // 50..75 x 40..65
    EXPECT_EQ(container.screen_pixel(4, 100), blue);
    EXPECT_EQ(container.screen_pixel(100, 100), 0x00FF00u);
    // The player menu zooms out again to the whole movie.
    SendMessageW(container.control_window(), WM_COMMAND, 20030, 0);
    SendMessageW(container.control_window(), WM_COMMAND, 20030, 0);
    SendMessageW(container.control_window(), WM_COMMAND, 20030, 0);
    EXPECT_EQ(container.screen_pixel(160, 100), blue);
    EXPECT_EQ(container.screen_pixel(10, 10), red);
}

} // namespace
} // namespace tarpon::player::test
