// What the projector's black-box tests share: a project folder written on the spot and built with
// tarpon-author, the projector started from it as a user would start it, and the results file its
// scripts write. Everything runs in the Windows build under Wine; the window is looked at with the
// window probe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows.h"
#include "tests/projector/e2e/probe/window_probe.h"

namespace tarpon::e2e {

// The folder of the running test program (build-win/bin), ending in "\".
std::string bin_folder();
// True when the projector and the authoring tool of this build are there.
bool projector_built();
void write_file(const std::string& path, const std::string& text);
void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::optional<std::string> read_text(const std::string& path);

// A Quill Script string literal of the text.
std::string script_string(const std::string& text);

// One fscommand of a movie's frame or button actions.
struct Command {
    std::string command;
    std::string argument;
};

// A 320 x 240 movie on `background` whose first frame sends the commands in order and stops.
std::vector<uint8_t> movie_sending(const std::vector<Command>& commands, uint32_t background = 0x336699);
// A 320 x 240 movie with an orange square button at 100,60-220,180 whose release sends
// `on_release`; its first frame sends `first_frame` and stops.
std::vector<uint8_t> movie_with_button(const Command& on_release, const std::vector<Command>& first_frame = {},
                                       uint32_t background = 0x336699);

// A project folder under the test's own temporary folder.
class TestProject {
public:
    explicit TestProject(const std::string& name);
    ~TestProject();
    TestProject(const TestProject&) = delete;
    TestProject& operator=(const TestProject&) = delete;

    const std::string& dir() const { return m_dir; }  // ends in "\"
    std::string path(const std::string& relative) const { return m_dir + relative; }
    const std::string& results_path() const { return m_results; }
    // The registry key and profile of the tarpon.toml this project writes.
    std::string registry_key() const { return "TarponTests"; }
    const std::string& profile() const { return m_profile; }

    // tarpon.toml: the identity, a caption, a movie-sized window at the top-left corner, and
    // `extra` appended (more sections, or keys of a section begun in it).
    void write_settings(const std::string& window_keys = {}, const std::string& extra = {});
    // scripts/NAME.qls: `body` after a prelude that defines put(key, value), which writes the value
    // (through ToString) into the results file, section "r".
    void write_script(const std::string& name, const std::string& body);
    void write_movie(const std::string& name, const std::vector<uint8_t>& bytes);  // movies/NAME

    // Runs tarpon-author build; the executable is DIR\show.exe. Output lands in `log`.
    bool build(std::string* log = nullptr);
    std::string exe() const { return m_dir + "show.exe"; }

    // A value the scripts wrote, or nothing.
    std::optional<std::string> result(const std::string& key) const;
    // Waits up to `timeout_ms` for the value to appear.
    std::optional<std::string> wait_for_result(const std::string& key, int timeout_ms) const;
    // The projector's private TMP folder (so its run folder can be watched).
    const std::string& temp_dir() const { return m_temp; }
    // The run folders below temp_dir().
    std::vector<std::string> run_folders() const;

private:
    std::string m_dir;
    std::string m_results;
    std::string m_temp;
    std::string m_profile;
};

// A program started for a test; ended (if still running) when the object goes.
class Process {
public:
    // Starts `exe` with the arguments as one command-line tail (already quoted as needed), in
    // `working_dir`, with TMP and TEMP set to `temp_dir` when given.
    Process(const std::string& exe, const std::string& arguments, const std::string& working_dir,
            const std::string& temp_dir = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return m_info.hProcess != nullptr; }
    DWORD id() const { return m_info.dwProcessId; }
    // The exit status once it has ended within the time, else nothing.
    std::optional<DWORD> wait(int timeout_ms);
    bool running() const;
    // The first visible top-level window of the process.
    HWND main_window(int timeout_ms) const;

private:
    PROCESS_INFORMATION m_info{};
};

// Runs a program to its end (at most `timeout_ms`), its output into `output`; the exit status, or
// -1 when it could not start or did not end.
long run_to_end(const std::string& exe, const std::string& arguments, int timeout_ms, std::string* output);

// The settings as tarpon.toml writes them for a test project, and an options file ("/o:") made of
// a record and a mask list.
std::vector<uint8_t> options_file_bytes(const std::string& caption);

// A value of HKEY_CURRENT_USER\Software\KEY\PROFILE\SECTION, or nothing.
std::optional<std::vector<uint8_t>> registry_value(const std::string& key_path, const std::string& name);
bool set_registry_binary(const std::string& key_path, const std::string& name, const std::vector<uint8_t>& bytes);
void delete_registry_tree(const std::string& key_path);

// A window of class "Shell_TrayWnd" owned by a thread of this process that answers messages, for
// tests of the task-bar changes on a desktop that has no task bar (Wine's).
class FakeTaskBar {
public:
    FakeTaskBar();
    ~FakeTaskBar();
    FakeTaskBar(const FakeTaskBar&) = delete;
    FakeTaskBar& operator=(const FakeTaskBar&) = delete;
    HWND window() const { return m_window; }
    bool enabled() const { return m_window != nullptr && IsWindowEnabled(m_window) != FALSE; }

private:
    HANDLE m_thread = nullptr;
    DWORD m_thread_id = 0;
    HWND m_window = nullptr;
    HANDLE m_ready = nullptr;
    static DWORD WINAPI run(void* self);
};

}  // namespace tarpon::e2e
