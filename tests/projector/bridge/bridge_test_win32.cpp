// The FSCommand bridge and the application functions under Wine: commands as a movie sends them,
// scripts compiled by the engine and carried as QUILL items, a real top-level window, the real
// registry and a real archive file.
#include "projector/bridge/bridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/quill.h"
#include "host/common/text.h"
#include "projector/app/projector_state.h"
#include "projector/appdata/additional_files.h"
#include "projector/appdata/archive.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/sm_container.h"

namespace tarpon::projector {
namespace {

namespace fs = std::filesystem;

class RecordingActions : public BridgeActions {
public:
    void close_main_window() override { calls.push_back("close"); }
    void set_full_screen(bool full_screen) override { calls.push_back(full_screen ? "full:true" : "full:false"); }
    std::vector<std::string> calls;
};

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A script may send a command while it runs, as a movie does from inside a script's effects.
Bridge* sending_bridge = nullptr;
std::vector<int> nesting_seen;

void send_command(quill::MemberCall& call) {
    std::optional<std::string> command = host::ansi_argument(call.args, 0);
    std::optional<std::string> argument = host::ansi_argument(call.args, 1);
    if (command && sending_bridge != nullptr) {
        sending_bridge->command(*command, argument.value_or(""), MovieOrigin::Author);
        nesting_seen.push_back(sending_bridge->nesting());
    }
    *call.result = quill::Value::boolean(sending_bridge != nullptr && sending_bridge->has_engine());
}

const quill::ClassDeclaration send_command_function = {.name = "sendCommand", .call = send_command};

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_compiler = quill::create_engine();
        ASSERT_NE(m_compiler, nullptr);
        m_folder = fs::temp_directory_path() /
                   ("tarpon-bridge-" + std::to_string(GetCurrentProcessId()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);

        m_window = CreateWindowExA(0, "STATIC", "bridge test", WS_OVERLAPPEDWINDOW, 10, 10, 200, 150, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_window, nullptr);

        ProjectorState& state = projector_state();
        state.items = &m_items;
        state.main_window = m_window;
        m_bridge = std::make_unique<Bridge>(state, m_actions);
        state.bridge = m_bridge.get();
        sending_bridge = m_bridge.get();
        nesting_seen.clear();
    }

    void TearDown() override {
        ProjectorState& state = projector_state();
        m_bridge.reset();
        sending_bridge = nullptr;
        state.bridge = nullptr;
        state.items = nullptr;
        state.main_window = nullptr;
        state.movies.clear();
        state.identity = {};
        state.settings = {};
        state.additional_files.reset();
        if (m_window != nullptr) {
            DestroyWindow(m_window);
        }
        quill::destroy_engine(m_compiler);
        _putenv_s("TARPON_TRACE", "");
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    void add_script(const std::string& name, const std::string& source) {
        quill::CompiledModule compiled = quill::compile_source_text(m_compiler, source);
        ASSERT_TRUE(compiled.ok) << compiled.diagnostics;
        m_items.add(appdata::item::script_type, name, appdata::pack_sm(compiled.module));
    }

    // Runs source text as the movie would, and gives the result's text.
    std::string eval(const std::string& source, MovieOrigin origin = MovieOrigin::Author) {
        m_bridge->command("Quill_Eval", source, origin);
        if (!m_bridge->has_engine()) {
            return "<no engine>";
        }
        return quill::last_result_text(m_bridge->engine());
    }

    std::string run(const std::string& name, MovieOrigin origin = MovieOrigin::Author) {
        m_bridge->command("Quill_Run", name, origin);
        return m_bridge->has_engine() ? quill::last_result_text(m_bridge->engine()) : "<no engine>";
    }

    void define_send_command() {
        ASSERT_TRUE(quill::run_native(m_bridge->engine(), [](quill::ScriptEngine* engine) {
            quill::declare_class(engine, send_command_function);
        }));
    }

    fs::path trace_to_file() {
        fs::path path = m_folder / "trace.txt";
        _putenv_s("TARPON_TRACE", path.string().c_str());
        return path;
    }

    quill::EngineHandle* m_compiler = nullptr;
    fs::path m_folder;
    HWND m_window = nullptr;
    appdata::ItemList m_items;
    RecordingActions m_actions;
    std::unique_ptr<Bridge> m_bridge;
};

TEST_F(BridgeTest, CommandsAreMatchedWithoutRegardToCase) {
    m_bridge->command("quit", "", MovieOrigin::Author);
    m_bridge->command("QUIT", "", MovieOrigin::Author);
    m_bridge->command("FullScreen", "TRUE", MovieOrigin::Author);
    m_bridge->command("fullscreen", "False", MovieOrigin::Author);
    m_bridge->command("fullscreen", "yes", MovieOrigin::Author);
    m_bridge->command("fullscreen", "", MovieOrigin::Author);
    m_bridge->command("unknown", "x", MovieOrigin::Author);
    m_bridge->command("quit_now", "", MovieOrigin::Author);
    m_bridge->command(std::string_view(), "", MovieOrigin::Author);
    EXPECT_EQ(m_actions.calls, (std::vector<std::string>{"close", "close", "full:true", "full:false"}));
    // Window commands do not need the engine.
    EXPECT_FALSE(m_bridge->has_engine());
    EXPECT_EQ(m_bridge->nesting(), 0);

    EXPECT_EQ(eval("1 + 2;"), "3");
    m_bridge->command("QUILL_EVAL", "40 + 2;", MovieOrigin::Author);
    EXPECT_EQ(quill::last_result_text(m_bridge->engine()), "42");
}

TEST_F(BridgeTest, CommandsTheTableLacksGoToTheScriptsOnFSCommand) {
    // Before any script ran nobody can have asked for them, and no engine is made for them.
    m_bridge->command("early", "x", MovieOrigin::Author);
    EXPECT_FALSE(m_bridge->has_engine());
    EXPECT_EQ(eval("var got = [];\n"
                   "FlashPlayer.onFSCommand = function (c, a) { got.push(c + '(' + a + ')'); return false; }; 0;"),
              "0");
    m_bridge->command("Custom", "one two", MovieOrigin::Author);
    m_bridge->command("fullscreen", "true", MovieOrigin::Author);
    m_bridge->command("exec", "nothing.exe", MovieOrigin::User);
    m_bridge->command("menu", "", MovieOrigin::User);
    // The commands the table takes (or refuses) are not the script's.
    EXPECT_EQ(eval("got.join(' ');"), "Custom(one two) menu()");
    EXPECT_EQ(m_actions.calls, std::vector<std::string>{"full:true"});
    EXPECT_EQ(m_bridge->nesting(), 0);

    // A handler that fails is dropped; the next command reaches the next handler.
    EXPECT_EQ(eval("FlashPlayer.onFSCommand = function () { throw 'no'; }; 0;"), "0");
    m_bridge->command("Custom", "", MovieOrigin::Author);
    EXPECT_EQ(eval("FlashPlayer.onFSCommand = function (c) { got.push(c); }; got.length;"), "2");
    m_bridge->command("last", "", MovieOrigin::Author);
    EXPECT_EQ(eval("got[2];"), "last");
}

TEST_F(BridgeTest, RunLoadsOnceAndKeepsTheModuleInTheCache) {
    add_script("Counter", "count = typeof count == 'undefined' ? 1 : count + 1; count;");
    m_items.add(appdata::item::script_type, "Broken", {1, 2, 3, 4});
    EXPECT_EQ(run("Counter"), "1");

    // The items are gone, but the module stays cached under its name (the same bucket for any name
    // that hashes alike, other letter case or not).
    m_items = appdata::ItemList();
    EXPECT_EQ(run("Counter"), "2");
    // "COUNTER" falls into another bucket: it is looked for among the items again, and now missing.
    EXPECT_EQ(run("COUNTER"), "2");
    EXPECT_EQ(eval("count;"), "2");

    add_script("Counter", "count = count + 10; count;");
    EXPECT_EQ(run("COUNTER"), "12");  // loaded again: a second node
    EXPECT_EQ(run("Counter"), "13");  // still the first node's module

    // Missing or not unpackable: nothing runs.
    eval("marker = 'before';");
    run("Missing");
    run("Broken");
    EXPECT_EQ(eval("marker + count;"), "before13");
}

TEST_F(BridgeTest, QuitGivesAFreshEngineForTheNextScript) {
    add_script("Reader", "typeof kept;");
    EXPECT_EQ(eval("kept = 5; kept;"), "5");
    m_bridge->command("quill_quit", "", MovieOrigin::Author);
    EXPECT_FALSE(m_bridge->has_engine());
    EXPECT_EQ(run("Reader"), "undefined");
    EXPECT_TRUE(m_bridge->has_engine());

    m_bridge->quit_engine();
    EXPECT_FALSE(m_bridge->has_engine());
    m_bridge->command("Quill_Quit", "", MovieOrigin::Author);  // no engine: nothing to do
    EXPECT_FALSE(m_bridge->has_engine());
}

TEST_F(BridgeTest, QuitFromInsideARunningScriptWaitsForTheOutermostCommand) {
    define_send_command();
    add_script("Inner", "innerRan = true; sendCommand('Quill_Quit'); 'inner done';");
    // The engine survives the nested quit while both scripts go on; it goes when the outer returns.
    std::string result = eval(
        "var alive = sendCommand('Quill_Quit', '');"
        "sendCommand('Quill_Run', 'Inner');"
        "sendCommand('quit', '');"
        "'' + alive + ' ' + innerRan;");
    EXPECT_FALSE(m_bridge->has_engine());
    // Counted: the outer command, the nested "Quill_Run" and its module's run.
    EXPECT_EQ(nesting_seen, (std::vector<int>{1, 3, 1, 1}));
    EXPECT_EQ(m_actions.calls, std::vector<std::string>{"close"});
    EXPECT_EQ(m_bridge->nesting(), 0);
    EXPECT_EQ(result, "<no engine>");
    EXPECT_EQ(eval("typeof alive;"), "undefined");
}

TEST_F(BridgeTest, InitializeIsFalseOnlyForTheBooleanFalse) {
    // Missing: true, even when the last run left false.
    EXPECT_EQ(eval("false;"), "false");
    EXPECT_TRUE(m_bridge->run_initialize());

    add_script("Initialize", "false;");
    EXPECT_FALSE(m_bridge->run_initialize());
    EXPECT_EQ(m_bridge->nesting(), 0);

    for (const char* source : {"0;", "null;", "true;", "'false';", "var nothing;"}) {
        Bridge bridge(projector_state(), m_actions);
        m_items = appdata::ItemList();
        add_script("Initialize", source);
        EXPECT_TRUE(bridge.run_initialize()) << source;
    }

    // A script that quits the engine under itself and then leaves false still answers false.
    Bridge bridge(projector_state(), m_actions);
    sending_bridge = &bridge;
    ASSERT_NE(bridge.engine(), nullptr);
    ASSERT_TRUE(quill::run_native(bridge.engine(), [](quill::ScriptEngine* engine) {
        quill::declare_class(engine, send_command_function);
    }));
    m_items = appdata::ItemList();
    add_script("Initialize", "sendCommand('Quill_Quit', ''); false;");
    EXPECT_FALSE(bridge.run_initialize());
    EXPECT_FALSE(bridge.has_engine());
}

TEST_F(BridgeTest, AUserMovieMayNotRunProgramsOrItsOwnScripts) {
    fs::path trace = trace_to_file();
    fs::path report = m_folder / "report.txt";
    fs::path script = m_folder / "script.qls";
    std::ofstream(script) << "fromFile = 7; fromFile;";
    add_script("Carried", "'carried';");

    EXPECT_EQ(eval("1;", MovieOrigin::User), "<no engine>");
    m_bridge->command("Quill_File", script.string(), MovieOrigin::User);
    m_bridge->command("EXEC", std::string(TARPON_TEST_FIXTURES_DIR "/window_fixture.exe report ") + report.string(),
                      MovieOrigin::User);
    EXPECT_FALSE(m_bridge->has_engine());
    EXPECT_EQ(run("Carried", MovieOrigin::User), "carried");
    m_bridge->command("quit", "", MovieOrigin::User);
    m_bridge->command("fullscreen", "true", MovieOrigin::User);
    EXPECT_EQ(m_actions.calls, (std::vector<std::string>{"close", "full:true"}));

    // The author's movie may.
    m_bridge->command("Quill_File", script.string(), MovieOrigin::Author);
    EXPECT_EQ(quill::last_result_text(m_bridge->engine()), "7");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(fs::exists(report));

    std::string text = read_text(trace);
    EXPECT_NE(text.find("FSCommand(\"Quill_Eval\", \"1;\") refused"), std::string::npos) << text;
    EXPECT_NE(text.find("FSCommand(\"exec\", "), std::string::npos) << text;
    EXPECT_NE(text.find("FSCommand(\"Quill_Run\", \"Carried\")\r\n"), std::string::npos) << text;
}

TEST_F(BridgeTest, ExecStartsTheProgramShownNormally) {
    fs::path report = m_folder / "report.txt";
    m_bridge->command("exec",
                      "\"" TARPON_TEST_FIXTURES_DIR "/window_fixture.exe\" report " + report.string(),
                      MovieOrigin::Author);
    m_bridge->command("exec", "", MovieOrigin::Author);
    m_bridge->command("exec", "no-such-program-here.exe", MovieOrigin::Author);
    std::string text;
    for (int i = 0; i < 200 && text.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        text = read_text(report);
    }
    EXPECT_NE(text.find("URL=startup:show=1;"), std::string::npos) << text;
}

TEST_F(BridgeTest, TracesCommandsMissingScriptsAndFailedRuns) {
    fs::path trace = trace_to_file();
    add_script("Thrower", "throw 'thrown';");
    eval("1;");
    run("Nowhere");
    run("Thrower");
    eval("x = ;");
    m_bridge->command("quit", "", MovieOrigin::Author);
    std::string text = read_text(trace);
    EXPECT_NE(text.find("FSCommand(\"Quill_Eval\", \"1;\")\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Warning: Quill Script \"Nowhere\" not found.\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("thrown"), std::string::npos) << text;
    EXPECT_NE(text.find("syntax error"), std::string::npos) << text;
    EXPECT_EQ(text.find("\"quit\""), std::string::npos) << text;
}

// {==== The application functions, through scripts in the bridge's engine

TEST_F(BridgeTest, FoldersMoviesAndTheMainWindow) {
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::string exe(module, length);
    std::string folder = exe.substr(0, exe.find_last_of("\\/") + 1);
    folder.back() = '\\';
    EXPECT_EQ(eval("getAppDir();"), folder);
    EXPECT_EQ(eval("getExeName();"), exe);

    ProjectorState& state = projector_state();
    state.movies.movies = {{"C:\\one.swf", appdata::movie_kind::movie},
                           {"C:\\Plug_Ins\\x.dcr", appdata::movie_kind::plug_in},
                           {"C:\\two.swf", appdata::movie_kind::movie}};
    EXPECT_EQ(eval("var m = getMovies(); m.length + ':' + m.join('|');"), "2:C:\\one.swf|C:\\two.swf");
    state.movies.clear();
    EXPECT_EQ(eval("getMovies().length;"), "0");

    EXPECT_EQ(eval("typeof getMainWnd();"), "object");
    state.main_window = nullptr;
    EXPECT_EQ(eval("getMainWnd() === null;"), "true");

    EXPECT_EQ(eval("processMsg();"), "true");
}

TEST_F(BridgeTest, SetWindowlessSelectsTheShapeMode) {
    ProjectorState& state = projector_state();
    eval("setWindowless(0);");
    EXPECT_EQ(state.settings.shape_mode, 1u);
    eval("setWindowless(1);");
    EXPECT_EQ(state.settings.shape_mode, 3u);

    SetWindowRgn(m_window, CreateRectRgn(0, 0, 20, 20), FALSE);
    eval("setWindowless(7);");
    EXPECT_EQ(state.settings.shape_mode, 0u);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(m_window, region), ERROR);

    MSG message;
    while (PeekMessageA(&message, m_window, message::reshape, message::reshape, PM_REMOVE)) {
    }
    EXPECT_EQ(eval("setWindowless('star'); 'ok';"), "ok");
    EXPECT_EQ(state.settings.shape_mode, 2u);
    EXPECT_EQ(state.settings.mask, "star");
    EXPECT_TRUE(PeekMessageA(&message, m_window, message::reshape, message::reshape, PM_REMOVE));
    eval("setWindowless('" + std::string(300, 'm') + "');");
    EXPECT_EQ(state.settings.mask, std::string(259, 'm'));

    // No argument or another type: the region goes, the mode stays.
    for (const char* call : {"setWindowless();", "setWindowless(1.5);", "setWindowless(null);"}) {
        SetWindowRgn(m_window, CreateRectRgn(0, 0, 20, 20), FALSE);
        eval(call);
        EXPECT_EQ(GetWindowRgn(m_window, region), ERROR) << call;
        EXPECT_EQ(state.settings.shape_mode, 2u) << call;
    }
    DeleteObject(region);
}

TEST_F(BridgeTest, ProfileRoundTripInTheRegistry) {
    const std::string key = "TarponBridgeTest" + std::to_string(GetCurrentProcessId());
    projector_state().identity = {key, "Profile"};
    EXPECT_EQ(eval("typeof readProfile('Section', 'Entry');"), "undefined");
    eval("writeProfile('Section', 'Entry', 42);");
    eval("writeProfile('Section', 'Empty', '');");
    eval("writeProfile('Section', 'Lonely');");      // needs a value
    eval("writeProfile(1, 'Number', 'x');");         // the section must be a string
    EXPECT_EQ(eval("readProfile('Section', 'Entry');"), "42");
    EXPECT_EQ(eval("typeof readProfile('Section', 'Empty');"), "undefined");
    EXPECT_EQ(eval("typeof readProfile('Section', 'Lonely');"), "undefined");
    EXPECT_EQ(eval("typeof readProfile('Section');"), "undefined");

    char value[64];
    DWORD size = sizeof(value);
    DWORD type = 0;
    std::string path = "Software\\" + key + "\\Profile\\Section";
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, path.c_str(), "Entry", RRF_RT_ANY, &type, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(value, "42");

    // Without an identity there is no profile.
    projector_state().identity = {};
    EXPECT_EQ(eval("typeof readProfile('Section', 'Entry');"), "undefined");
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + key).c_str()), ERROR_SUCCESS);
}

TEST_F(BridgeTest, AdditionalFilesByEitherSeparator) {
    EXPECT_EQ(eval("getAdditionalFile('Data/leaf.txt') === null;"), "true");  // no archive to read

    appdata::ArchiveNode leaf{false, "leaf.txt", {'l', 'e', 'a', 'f'}, {}};
    std::vector<appdata::ArchiveNode> root = {appdata::ArchiveNode{true, "Data", {}, {leaf}}};
    std::vector<uint8_t> exe = {'M', 'Z'};
    std::vector<uint8_t> archive = appdata::archive_bytes(root);
    exe.insert(exe.end(), archive.begin(), archive.end());
    std::vector<uint8_t> trailer = appdata::archive_trailer(static_cast<uint32_t>(archive.size()));
    exe.insert(exe.end(), trailer.begin(), trailer.end());
    fs::path exe_path = m_folder / "show.exe";
    ASSERT_TRUE(appdata::write_file(exe_path.string(), exe));
    fs::create_directories(m_folder / "run");
    std::unique_ptr<appdata::FileBytes> bytes = appdata::FileBytes::open(exe_path.string());
    ASSERT_NE(bytes, nullptr);
    projector_state().additional_files = std::make_unique<appdata::AdditionalFiles>(
        *bytes, m_folder.string() + "\\", (m_folder / "run").string() + "\\");

    std::string forward = eval("getAdditionalFile('Data/leaf.txt');");
    std::string backward = eval("getAdditionalFile('data\\\\LEAF.txt');");
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(read_text(forward), "leaf");
    EXPECT_EQ(eval("getAdditionalFile('Data/none.txt') === null;"), "true");
    projector_state().additional_files.reset();
}

TEST_F(BridgeTest, InvokeRunsACarriedScriptInTheSameEngine) {
    add_script("Helper", "helped = helped + 1; 'helper result';");
    EXPECT_EQ(eval("helped = 0; var r = invoke('Helper'); invoke('helper'); invoke('Nope'); invoke(3);"
                   "typeof r + ' ' + helped;"),
              "undefined 2");
    EXPECT_EQ(m_bridge->nesting(), 0);
}

// }====

}  // namespace
}  // namespace tarpon::projector
