// What scripts cannot see of Shell: the error text run leaves when a program cannot be started.
#ifdef _WIN32

#include <gtest/gtest.h>

#include "platform/system_error.h"
#include "platform/windows.h"
#include "tests/host/host_engine.h"

namespace tarpon::host::testing {
namespace {

TEST(ShellTest, RunStoresTheSystemTextWhenTheProgramCannotStart) {
    HostEngine engine;
    EXPECT_EQ(engine.run("Shell.run('C:\\\\windows\\\\no_such_program_here.exe') === null"), "true");
    EXPECT_STREQ(engine.message(), platform::system_error_text(ERROR_FILE_NOT_FOUND).c_str());
}

TEST(ShellTest, RunAndWaitReportsNoStartFailure) {
    HostEngine engine;
    EXPECT_EQ(engine.run("typeof Shell.runAndWait('C:\\\\windows\\\\no_such_program_here.exe')"),
              "undefined");
    EXPECT_STREQ(engine.message(), "");
}

}  // namespace
}  // namespace tarpon::host::testing

#endif  // _WIN32
