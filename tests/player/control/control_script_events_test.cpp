// The player control's events reaching scripts: an ActiveXObject around the control, functions
// attached to FSCommand and called while the script waits in processMsg, detached again, and cut off
// when the object is collected.
#include <gtest/gtest.h>

#include <string>

#include "host/common/text.h"
#include "host/system/activex_object.h"
#include "player/swf/swf_writer.h"
#include "test_container.h"
#include "tests/host/host_engine.h"

namespace tarpon::player::test {
namespace {

using swf::ActionWriter;
using swf::MovieWriter;

std::vector<uint8_t> hello_movie() {
    MovieWriter movie(40, 30);
    movie.actions(ActionWriter().fscommand("hello", "world").stop());
    movie.show_frame();
    return movie.finish();
}

TEST(PlayerScriptEvents, AttachedFunctionsReceiveTheMoviesCommands) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    TempFile file(L"tarpon-script-events.swf", hello_movie());
    host::testing::HostEngine engine;
    ASSERT_TRUE(quill::run_native(engine.handle(), [&](quill::ScriptEngine* e) {
        quill::set_global(e, "player", host::make_activex_object(e, container.flash()));
        quill::set_global(e, "path", host::wide_string(e, file.path()));
    }));
    EXPECT_EQ(engine.run("var got = [];\n"
                         "function record(command, argument) { got.push(command + '(' + argument + ')'); }\n"
                         "player.attachEvent('FSCommand', record)"),
              "true");
    EXPECT_EQ(engine.run("player.attachEvent('NoSuchEvent', record)"), "false");

    EXPECT_EQ(engine.run("player.Movie = path; player.Movie == path"), "true");
    EXPECT_EQ(wait_in_script(engine, "got.length > 0"), "true");
    EXPECT_EQ(engine.run("got.join(' ')"), "hello(world)");

    // Detached: the movie's next command reaches the container only.
    EXPECT_EQ(engine.run("player.detachEvent('FSCommand', record)"), "true");
    EXPECT_EQ(engine.run("player.detachEvent('FSCommand', record)"), "false");
    container.events().fs_commands.clear();
    EXPECT_EQ(engine.run("player.Movie = path; 0"), "0");
    ASSERT_TRUE(Container::wait_for([&] { return !container.events().fs_commands.empty(); }));
    Container::pump(100);
    EXPECT_EQ(engine.run("got.length"), "1");

    // An object that is collected lets go of its events.
    EXPECT_EQ(engine.run("player.attachEvent('FSCommand', record); player = null; 0"), "0");
    engine.collect();
    container.events().fs_commands.clear();
    ASSERT_EQ(container.load(file.path()), S_OK);
    ASSERT_TRUE(Container::wait_for([&] { return !container.events().fs_commands.empty(); }));
    Container::pump(100);
    EXPECT_EQ(engine.run("got.length"), "1");
}

}  // namespace
}  // namespace tarpon::player::test
