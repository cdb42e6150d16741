// The projector as its users meet it: projects built with tarpon-author, started as a user starts
// them (optionally with movies and an options file on the command line), looked at and driven from
// outside with the window probe. Scripts of the projects write what they see into a results file.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "projector/appdata/settings.h"
#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int start_timeout = 30000;  // a first start under Wine can be slow
constexpr int end_timeout = 20000;

class Projector : public ::testing::Test {
protected:
    void SetUp() override {
        if (!projector_built()) {
            GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built in " << bin_folder();
        }
    }

    // Builds the project; the tool's output is the failure message when it does not build.
    static void build(TestProject& project) {
        std::string log;
        ASSERT_TRUE(project.build(&log)) << log;
    }

    static std::unique_ptr<Process> start(TestProject& project, const std::string& arguments = {}) {
        auto process = std::make_unique<Process>(project.exe(), arguments, project.dir(), project.temp_dir());
        EXPECT_TRUE(process->started());
        return process;
    }

    // Asks the window to close as the close box does, and waits for the process to end.
    static void close(Process& process, HWND window) {
        ASSERT_TRUE(probe::request_close(window));
        EXPECT_TRUE(process.wait(end_timeout).has_value()) << "the projector did not end after WM_CLOSE";
    }

    static std::string caption_of(HWND window) { return probe::window_info(window).caption; }
};

std::string handle_text(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

bool same_path(std::string a, std::string b) {
    for (std::string* s : {&a, &b}) {
        for (char& c : *s) {
            c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return a == b;
}

// Start-up runs Initialize once; only the Boolean false ends the process, and without a word.
TEST_F(Projector, InitializeReturningFalseEndsSilentlyButZeroDoesNot) {
    for (const char* result : {"false", "0"}) {
        SCOPED_TRACE(std::string("Initialize returns ") + result);
        TestProject project(result);
        project.write_settings();
        project.write_script("Initialize",
                             "put(\"init\", \"ran\"); " + std::string(result) + ";");
        project.write_script("Seen", "put(\"movie\", \"played\");");
        project.write_movie("start.swf", movie_sending({{"Quill_Run", "Seen"}}));
        ASSERT_NO_FATAL_FAILURE(build(project));
        auto process = start(project);
        if (std::string(result) == "false") {
            // Nothing may show before the process ends: no window, no message box.
            bool window_seen = false;
            const ULONGLONG end = GetTickCount64() + start_timeout;
            while (process->running() && GetTickCount64() < end) {
                probe::WindowQuery query;
                query.process_id = process->id();
                window_seen = window_seen || probe::find_window(query) != nullptr;
                Sleep(20);
            }
            EXPECT_TRUE(process->wait(0).has_value()) << "the projector went on after Initialize returned false";
            EXPECT_FALSE(window_seen);
            EXPECT_EQ(project.result("init"), "ran");
            EXPECT_FALSE(project.result("movie").has_value());
        } else {
            HWND window = process->main_window(start_timeout);
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(project.wait_for_result("movie", 10000), "played");
            EXPECT_EQ(project.result("init"), "ran");
            close(*process, window);
        }
    }
}

// The window's class, styles and size as the settings say, for two quite different settings.
TEST_F(Projector, WindowFollowsTheSettings) {
    {
        TestProject project("framed");
        project.write_settings("caption = \"Framed show\"");
        project.write_movie("start.swf", movie_sending({}));
        ASSERT_NO_FATAL_FAILURE(build(project));
        auto process = start(project);
        HWND window = process->main_window(start_timeout);
        ASSERT_NE(window, nullptr);
        Sleep(500);
        probe::WindowInfo info = probe::window_info(window);
        EXPECT_EQ(info.caption, "Framed show");
        EXPECT_EQ(info.style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
        EXPECT_EQ(info.style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);
        EXPECT_NE(info.ex_style & WS_EX_APPWINDOW, 0u);
        EXPECT_FALSE(info.topmost);
        // Movie-sized at the top-left corner of the work area.
        EXPECT_EQ(info.client_rect.right - info.client_rect.left, 320);
        EXPECT_EQ(info.client_rect.bottom - info.client_rect.top, 240);
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_EQ(info.window_rect.left, work.left);
        EXPECT_EQ(info.window_rect.top, work.top);
        // The player control is the window's one child, filling the client area.
        HWND control = GetDlgItem(window, 1001);
        ASSERT_NE(control, nullptr);
        RECT client{};
        GetClientRect(control, &client);
        EXPECT_EQ(client.right, 320);
        EXPECT_EQ(client.bottom, 240);
        close(*process, window);
    }
    {
        TestProject project("bare");
        project.write_settings("frame = [\"no_border\"]\ncaption_buttons = []\nflags = [\"play_on_load\", \"always_on_top\"]\n"
                               "size = \"custom\"\nwidth = 400\nheight = 300\nposition = \"centre\"");
        project.write_movie("start.swf", movie_sending({}));
        ASSERT_NO_FATAL_FAILURE(build(project));
        auto process = start(project);
        HWND window = process->main_window(start_timeout);
        ASSERT_NE(window, nullptr);
        Sleep(500);
        probe::WindowInfo info = probe::window_info(window);
        EXPECT_EQ(info.style & WS_CAPTION, 0u);
        EXPECT_TRUE(info.topmost);
        const LONG width = info.window_rect.right - info.window_rect.left;
        const LONG height = info.window_rect.bottom - info.window_rect.top;
        EXPECT_EQ(width, 400);
        EXPECT_EQ(height, 300);
        const int screen_width = GetSystemMetrics(SM_CXSCREEN);
        EXPECT_NEAR(info.window_rect.left, (screen_width - width) / 2, 2);
        close(*process, window);
    }
}

// Movies named on the command line replace the carried list; "/o:" names an options file that
// replaces the settings when it is there and sound, and is ignored otherwise.
TEST_F(Projector, CommandLineMoviesAndOptionsFiles) {
    TestProject project("command line");
    project.write_settings();
    project.write_script("Initialize", "put(\"movies\", getMovies().join(\"|\")); true;");
    project.write_movie("start.swf", movie_sending({}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    const std::string first = project.path("my movies\\first.swf");
    const std::string second = project.path("second.swf");
    write_bytes(first, movie_sending({}, 0x00FF00));
    write_bytes(second, movie_sending({}, 0x0000FF));
    write_bytes(project.path("good.opt"), options_file_bytes("From the options file"));
    write_bytes(project.path("bad.opt"), {0x05, 0x00, 0x00, 0x00, 'x', 'y'});

    {
        SCOPED_TRACE("two movies");
        auto process = start(project, "\"" + first + "\" \"" + second + "\"");
        HWND window = process->main_window(start_timeout);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(project.result("movies"), first + "|" + second);
        close(*process, window);
    }
    const struct {
        const char* argument;
        const char* caption;
    } cases[] = {{"/o:good.opt", "From the options file"},
                 {"/o:missing.opt", "Tarpon test"},
                 {"/o:bad.opt", "Tarpon test"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        std::string argument = c.argument;
        argument = "\"/o:" + project.path(argument.substr(3)) + "\"";
        auto process = start(project, argument);
        HWND window = process->main_window(start_timeout);
        ASSERT_NE(window, nullptr);
        Sleep(300);
        EXPECT_EQ(caption_of(window), c.caption);
        EXPECT_EQ(project.result("movies").value_or("?").find('|'), std::string::npos);
        close(*process, window);
    }
}

// The settings stamp and the saved options live in the registry: saved options of the same
// settings are used, a changed stamp makes the carried settings win and be saved afresh.
TEST_F(Projector, StampAndSavedOptionsInTheRegistry) {
    TestProject project("saved options");
    project.write_settings();
    project.write_movie("start.swf", movie_sending({}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    const std::string section = "Software\\" + project.registry_key() + "\\" + project.profile() + "\\Settings";

    auto run_and_caption = [&]() {
        auto process = start(project);
        HWND window = process->main_window(start_timeout);
        std::string caption = window != nullptr ? caption_of(window) : "(no window)";
        if (window != nullptr) {
            Sleep(300);
            caption = caption_of(window);
            close(*process, window);
        }
        return caption;
    };

    EXPECT_EQ(run_and_caption(), "Tarpon test");
    auto stamp = registry_value(section, "crc");
    auto saved = registry_value(section, "Options");
    ASSERT_TRUE(stamp.has_value());
    ASSERT_TRUE(saved.has_value());
    appdata::Settings settings;
    ASSERT_TRUE(appdata::read_settings(*saved, settings));
    EXPECT_EQ(settings.caption, "Tarpon test");

    settings.caption = "Saved by the user";
    ASSERT_TRUE(set_registry_binary(section, "Options", appdata::settings_bytes(settings)));
    EXPECT_EQ(run_and_caption(), "Saved by the user");

    std::vector<uint8_t> other_stamp = *stamp;
    for (uint8_t& b : other_stamp) b ^= 0x5A;
    ASSERT_TRUE(set_registry_binary(section, "crc", other_stamp));
    EXPECT_EQ(run_and_caption(), "Tarpon test");
    EXPECT_EQ(registry_value(section, "crc"), stamp);
    ASSERT_TRUE(appdata::read_settings(registry_value(section, "Options").value_or(std::vector<uint8_t>{}), settings));
    EXPECT_EQ(settings.caption, "Tarpon test");

    // Malformed saved options are input like any other: the carried settings are used.
    ASSERT_TRUE(set_registry_binary(section, "Options", {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3}));
    EXPECT_EQ(run_and_caption(), "Tarpon test");
}

// With no player registered (Wine has none) the carried player module is written into the run
// folder and loaded from there; the run folder goes when the projector ends.
TEST_F(Projector, CarriedPlayerIsProvisionedIntoTheRunFolder) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        GTEST_SKIP() << "a player control is registered on this system";
    }
    TestProject project("provisioning");
    project.write_settings();
    project.write_script("Seen", "put(\"movie\", \"played\");");
    project.write_movie("start.swf", movie_sending({{"Quill_Run", "Seen"}}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    EXPECT_TRUE(project.run_folders().empty());
    auto process = start(project);
    HWND window = process->main_window(start_timeout);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(project.wait_for_result("movie", 10000), "played");
    std::vector<std::string> folders = project.run_folders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(fs::exists(folders[0] + "flash.ocx"));
    close(*process, window);
    EXPECT_TRUE(project.run_folders().empty()) << "the run folder was left behind";
}

// Every FSCommand command in letters of any case; the script cache loads a name that differs only
// in letter case again (and it runs again).
TEST_F(Projector, BridgeCommandsInAnyLetterCase) {
    TestProject project("commands");
    project.write_settings();
    const std::string side_script = project.path("outside\\side.qls");
    const std::string exec_report = project.path("exec report.url");
    write_file(side_script, "new Ini(" + script_string(project.results_path()) + ").writeString(\"r\", \"file\", \"ran\");\n");
    project.write_script("Count", "if (typeof counter == \"undefined\") counter = 0; counter++; put(\"count\", counter);");
    project.write_script("State", "put(\"state\" + counter, getMainWnd().windowState); counter++;");
    project.write_script("Done", "put(\"done\", \"yes\");");
    const std::string exec = "\"" + bin_folder() + "fixtures\\window_fixture.exe\" report " + exec_report;
    project.write_movie("start.swf",
                        movie_with_button({"QuIt", ""}, {{"QUILL_RUN", "Count"},
                                                         {"quill_run", "count"},
                                                         {"Quill_Run", "COUNT"},
                                                         {"quill_EVAL", "put(\"eval\", \"ran\");"},
                                                         {"Quill_FILE", side_script},
                                                         {"EXEC", exec},
                                                         {"FullScreen", "TRUE"},
                                                         {"quill_run", "State"},
                                                         {"FULLSCREEN", "false"},
                                                         {"quill_run", "State"},
                                                         {"fullscreen", "maybe"},
                                                         {"Quill_Run", "NoSuchScript"},
                                                         {"no such command", "x"},
                                                         {"Quill_Run", "Done"}}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    auto process = start(project);
    HWND window = process->main_window(start_timeout);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(project.wait_for_result("done", 15000), "yes");
    EXPECT_EQ(project.result("count"), "3");
    EXPECT_EQ(project.result("eval"), "ran");
    EXPECT_EQ(project.result("file"), "ran");
    EXPECT_EQ(project.result("state3"), "maximized");
    EXPECT_EQ(project.result("state4"), "normal");
    bool exec_ran = false;
    for (int i = 0; i < 100 && !exec_ran; ++i, Sleep(100)) {
        exec_ran = fs::exists(exec_report);
    }
    EXPECT_TRUE(exec_ran) << "\"exec\" did not start " << exec;
    EXPECT_FALSE(probe::window_info(window).maximized);
    // The button sends "QuIt": the window closes.
    Sleep(300);
    EXPECT_TRUE(probe::click(window, 160, 120));
    EXPECT_TRUE(process->wait(end_timeout).has_value()) << "\"quit\" did not close the projector";
}

// "Quill_Quit" destroys the engine: the next "Quill_Run" runs in a fresh one without old globals.
TEST_F(Projector, QuillQuitThenQuillRunUsesAFreshEngine) {
    TestProject project("fresh engine");
    project.write_settings();
    project.write_script("Set", "remembered = 42;");
    project.write_script("Before", "put(\"before\", typeof remembered);");
    project.write_script("After", "put(\"after\", typeof remembered);");
    project.write_script("Done", "put(\"done\", \"yes\");");
    project.write_movie("start.swf", movie_sending({{"Quill_Run", "Set"},
                                                    {"Quill_Run", "Before"},
                                                    {"quill_QUIT", ""},
                                                    {"Quill_Run", "After"},
                                                    {"Quill_Run", "Done"}}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    auto process = start(project);
    HWND window = process->main_window(start_timeout);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(project.wait_for_result("done", 15000), "yes");
    EXPECT_EQ(project.result("before"), "number");
    EXPECT_EQ(project.result("after"), "undefined");
    close(*process, window);
}

// A close while a script runs waits for the script: a script looping on processMsg sees false,
// finishes, and only then does the window go. A script that closes the window itself runs on too.
TEST_F(Projector, ClosingFromInsideARunningScriptWaitsForIt) {
    {
        TestProject project("loop");
        project.write_settings();
        project.write_script("Loop",
                             "put(\"loop\", \"running\");\n"
                             "var started = new Date().getTime(), seen = \"timeout\";\n"
                             "while (new Date().getTime() - started < 15000) {\n"
                             "    if (!processMsg()) { seen = \"false\"; break; }\n"
                             "}\n"
                             "put(\"loop\", \"returned after \" + seen);");
        project.write_movie("start.swf", movie_sending({{"Quill_Run", "Loop"}}));
        ASSERT_NO_FATAL_FAILURE(build(project));
        auto process = start(project);
        HWND window = process->main_window(start_timeout);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(project.wait_for_result("loop", 10000), "running");
        ASSERT_TRUE(probe::request_close(window));
        EXPECT_TRUE(process->wait(end_timeout).has_value());
        EXPECT_EQ(project.result("loop"), "returned after false");
    }
    {
        TestProject project("self close");
        project.write_settings();
        project.write_script("Close", "getMainWnd().close(); put(\"after\", \"ran on\");");
        project.write_movie("start.swf", movie_sending({{"Quill_Run", "Close"}}));
        ASSERT_NO_FATAL_FAILURE(build(project));
        auto process = start(project);
        EXPECT_TRUE(process->wait(start_timeout + end_timeout).has_value());
        EXPECT_EQ(project.result("after"), "ran on");
    }
}

// The kiosk changes are undone however the projector ends: WM_CLOSE or the end of the session.
// The task bar's enabled state is what an outsider sees.
TEST_F(Projector, KioskChangesAreUndoneAfterCloseAndSessionEnd) {
    std::unique_ptr<FakeTaskBar> fake;
    HWND task_bar = FindWindowA("Shell_TrayWnd", nullptr);
    if (task_bar == nullptr) {
        fake = std::make_unique<FakeTaskBar>();
        task_bar = fake->window();
    }
    ASSERT_NE(task_bar, nullptr);
    ASSERT_TRUE(IsWindowEnabled(task_bar));

    TestProject project("kiosk");
    project.write_settings({}, "[kiosk]\nflags = [\"block_task_switching\", \"hide_cursor\", \"no_screen_saver\"]");
    project.write_movie("start.swf", movie_sending({}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    auto wait_enabled = [&](bool wanted) {
        for (int i = 0; i < 100; ++i, Sleep(100)) {
            if ((IsWindowEnabled(task_bar) != FALSE) == wanted) return true;
        }
        return false;
    };
    for (bool session_end : {false, true}) {
        SCOPED_TRACE(session_end ? "WM_ENDSESSION" : "WM_CLOSE");
        auto process = start(project);
        HWND window = process->main_window(start_timeout);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(wait_enabled(false)) << "the task bar was not disabled";
        if (session_end) {
            bool agreed = false;
            EXPECT_TRUE(probe::end_session(window, 10000, &agreed));
            EXPECT_TRUE(agreed);
        } else {
            ASSERT_TRUE(probe::request_close(window));
        }
        EXPECT_TRUE(wait_enabled(true)) << "the task bar stayed disabled";
        if (!session_end) {
            EXPECT_TRUE(process->wait(end_timeout).has_value());
        }
        process.reset();
        EnableWindow(task_bar, TRUE);  // whatever happened, the next round starts clean
    }
}

// Every application function, called by a script that writes what it got.
TEST_F(Projector, ApplicationFunctions) {
    TestProject project("functions");
    project.write_settings();
    write_file(project.path("files\\note.txt"), "note text");
    write_file(project.path("files\\sub\\deep.txt"), "deep");
    project.write_script("Other", "otherRan = true; put(\"other\", \"ran\");");
    project.write_script("Functions",
                         "var w = getMainWnd();\n"
                         "put(\"window\", w == null ? \"null\" : w.handle);\n"
                         "put(\"appdir\", getAppDir());\n"
                         "put(\"exe\", getExeName());\n"
                         "put(\"movies\", getMovies().length >= 0);\n"
                         "writeProfile(\"Section\", \"Entry\", 12);\n"
                         "put(\"profile\", readProfile(\"Section\", \"Entry\"));\n"
                         "put(\"profile missing\", typeof readProfile(\"Section\", \"None\"));\n"
                         "put(\"profile not strings\", typeof readProfile(1, 2));\n"
                         "put(\"processMsg\", processMsg());\n"
                         "put(\"note\", getAdditionalFile(\"note.txt\"));\n"
                         "put(\"deep slash\", getAdditionalFile(\"sub/deep.txt\"));\n"
                         "put(\"deep backslash\", getAdditionalFile(\"sub\\\\deep.txt\"));\n"
                         "put(\"no file\", getAdditionalFile(\"nothing.txt\") === null);\n"
                         "invoke(\"Other\"); put(\"after invoke\", typeof otherRan);\n"
                         "invoke(\"NoSuchScript\"); invoke(7);\n"
                         "put(\"control\", createControl(\"No.Such.Control\") === null);\n"
                         "setWindowless();\n"
                         "put(\"done\", \"yes\");");
    project.write_movie("start.swf", movie_sending({{"Quill_Run", "Functions"}}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    auto process = start(project);
    HWND window = process->main_window(start_timeout);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(project.wait_for_result("done", 15000), "yes");
    EXPECT_EQ(project.result("window"), handle_text(window));
    EXPECT_TRUE(same_path(project.result("appdir").value_or(""), project.dir())) << *project.result("appdir");
    EXPECT_TRUE(same_path(project.result("exe").value_or(""), project.exe())) << *project.result("exe");
    EXPECT_EQ(project.result("movies"), "true");
    EXPECT_EQ(project.result("profile"), "12");
    EXPECT_EQ(project.result("profile missing"), "undefined");
    EXPECT_EQ(project.result("profile not strings"), "undefined");
    auto stored = registry_value("Software\\" + project.registry_key() + "\\" + project.profile() + "\\Section", "Entry");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(std::string(stored->begin(), stored->end()).c_str(), std::string("12"));
    EXPECT_EQ(project.result("processMsg"), "true");
    const std::string note = project.result("note").value_or("null");
    EXPECT_EQ(read_text(note), "note text") << note;
    EXPECT_NE(project.result("deep slash"), "null");
    EXPECT_EQ(project.result("deep slash"), project.result("deep backslash"));
    EXPECT_EQ(read_text(project.result("deep slash").value_or("")), "deep");
    EXPECT_EQ(project.result("no file"), "true");
    EXPECT_EQ(project.result("other"), "ran");
    EXPECT_EQ(project.result("after invoke"), "boolean");
    EXPECT_EQ(project.result("control"), "true");
    EXPECT_FALSE(probe::window_info(window).has_region);
    close(*process, window);
}

// The movie shows in the window, and a click on its button runs the button's script.
TEST_F(Projector, MovieShowsAndItsButtonRunsAScript) {
    TestProject project("button");
    // Away from the corner and the centre where the other tests' windows open, for the screenshot.
    project.write_settings("position = \"bottom_right\"");
    project.write_script("Clicked", "if (typeof clicks == \"undefined\") clicks = 0; clicks++; put(\"clicks\", clicks);");
    project.write_movie("start.swf", movie_with_button({"Quill_Run", "Clicked"}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    auto process = start(project);
    HWND window = process->main_window(start_timeout);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    Sleep(1000);
    auto shot = probe::screenshot(window, true);
    ASSERT_TRUE(shot.has_value());
    shot->save_bmp(project.path("shot.bmp"));
    EXPECT_GT(shot->count(0x336699, RECT{0, 0, 320, 60}), static_cast<size_t>(320 * 60 * 9 / 10));
    EXPECT_GT(shot->count(0xF08C1E, RECT{110, 70, 210, 170}), static_cast<size_t>(100 * 100 * 9 / 10));
    EXPECT_TRUE(probe::click(window, 160, 120));
    EXPECT_EQ(project.wait_for_result("clicks", 10000), "1");
    EXPECT_TRUE(probe::click(window, 160, 120));
    for (int i = 0; i < 100 && project.result("clicks") != "2"; ++i) Sleep(100);
    EXPECT_EQ(project.result("clicks"), "2");
    // A click beside the button runs nothing.
    EXPECT_TRUE(probe::click(window, 20, 20));
    Sleep(500);
    EXPECT_EQ(project.result("clicks"), "2");
    close(*process, window);
}

// A movie the user opens through the open-movie command is not the author's: it may run the carried
// scripts, but "exec", "Quill_Eval" and "Quill_File" are refused for it.
TEST_F(Projector, UserOpenedMovieMayNotRunCommandsOrScriptText) {
    TestProject project("user movie");
    project.write_settings();
    project.write_script("Carried", "put(\"carried\", \"ran\");");
    ASSERT_NO_FATAL_FAILURE(build(project));  // no movies: the open-movie command is enabled
    const std::string side_script = project.path("side.qls");
    write_file(side_script, "new Ini(" + script_string(project.results_path()) + ").writeString(\"r\", \"file\", \"ran\");\n");
    const std::string exec_report = project.path("exec report.url");
    const std::string user_movie = project.path("downloaded\\user.swf");
    write_bytes(user_movie,
                movie_sending({{"exec", "\"" + bin_folder() + "fixtures\\window_fixture.exe\" report " + exec_report},
                               {"Quill_Eval", "put(\"eval\", \"ran\");"},
                               {"Quill_File", side_script},
                               {"Quill_Run", "Carried"}}));
    auto process = start(project);
    HWND window = process->main_window(start_timeout);
    ASSERT_NE(window, nullptr);
    constexpr UINT file_open = 0xE101;  // the framework's File Open command
    ASSERT_TRUE(probe::post_command(window, file_open));
    probe::WindowQuery query;
    query.process_id = process->id();
    query.caption = "Open";
    HWND dialog = probe::wait_for_window(query, 10000);
    ASSERT_NE(dialog, nullptr) << "no \"Open\" dialog";
    HWND location = probe::find_child(dialog, "Edit", "");
    ASSERT_NE(location, nullptr);
    ASSERT_TRUE(probe::set_text(location, user_movie));
    ASSERT_TRUE(probe::post_command(dialog, IDOK));
    EXPECT_EQ(project.wait_for_result("carried", 15000), "ran");
    Sleep(1000);
    EXPECT_FALSE(project.result("eval").has_value());
    EXPECT_FALSE(project.result("file").has_value());
    EXPECT_FALSE(fs::exists(exec_report));
    close(*process, window);
}

}  // namespace
}  // namespace tarpon::e2e
