#include "tests/projector/e2e/projector_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "player/swf/swf_writer.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/settings.h"

namespace tarpon::e2e {

namespace fs = std::filesystem;

namespace {

constexpr int twips = 20;

std::string temp_root() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetTempPathA(MAX_PATH, path);
    std::string root(path, length);
    if (root.empty() || root.back() != '\\') {
        root += '\\';
    }
    char folder[64];
    std::snprintf(folder, sizeof folder, "tarpon-e2e-%lu\\", GetCurrentProcessId());
    return root + folder;
}

// An environment block with TMP and TEMP replaced.
std::vector<char> environment_with_temp(const std::string& temp) {
    std::vector<char> block;
    LPCH strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (_strnicmp(entry, "TMP=", 4) == 0 || _strnicmp(entry, "TEMP=", 5) == 0) {
            continue;
        }
        block.insert(block.end(), entry, entry + std::strlen(entry) + 1);
    }
    FreeEnvironmentStringsA(strings);
    for (const char* name : {"TMP=", "TEMP="}) {
        std::string entry = name + temp;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

const char* const script_prelude =
    "var results__ = new Ini(%s);\n"
    "function put(key, value) { results__.writeString(\"r\", key, \"\" + value); }\n";

}  // namespace

std::string bin_folder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

bool projector_built() {
    return fs::exists(bin_folder() + "tarpon.exe") && fs::exists(bin_folder() + "tarpon-author.exe");
}

void write_file(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string script_string(const std::string& text) {
    std::string literal = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            literal += '\\';
        }
        literal += c;
    }
    return literal + "\"";
}

std::vector<uint8_t> movie_sending(const std::vector<Command>& commands, uint32_t background) {
    swf::MovieWriter movie(320, 240, 12);
    movie.background(background);
    swf::ActionWriter actions;
    for (const Command& command : commands) {
        actions.fscommand(command.command, command.argument);
    }
    actions.stop();
    movie.actions(actions);
    movie.show_frame();
    return movie.finish();
}

std::vector<uint8_t> movie_with_button(const Command& on_release, const std::vector<Command>& first_frame,
                                       uint32_t background) {
    swf::MovieWriter movie(320, 240, 12);
    movie.background(background);
    swf::ShapeWriter square;
    square.rectangle(100 * twips, 60 * twips, 120 * twips, 120 * twips, square.solid_fill(0xFFF08C1E));
    uint16_t square_id = movie.define_shape(square);
    swf::ButtonWriter button;
    button.record(swf::ButtonRecord::Up | swf::ButtonRecord::Over | swf::ButtonRecord::Down | swf::ButtonRecord::Hit,
                  square_id, 1);
    button.on(swf::ButtonAction::OverDownToOverUp,
              swf::ActionWriter().fscommand(on_release.command, on_release.argument));
    uint16_t button_id = movie.define_button(button);
    movie.place(1, button_id);
    swf::ActionWriter actions;
    for (const Command& command : first_frame) {
        actions.fscommand(command.command, command.argument);
    }
    actions.stop();
    movie.actions(actions);
    movie.show_frame();
    return movie.finish();
}

TestProject::TestProject(const std::string& name) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string unique = name;
    if (test != nullptr) {
        unique = std::string(test->test_suite_name()) + "." + test->name() + "." + name;
    }
    m_dir = temp_root() + unique + "\\";
    std::error_code error;
    fs::remove_all(m_dir, error);
    fs::create_directories(m_dir + "scripts", error);
    fs::create_directories(m_dir + "movies", error);
    m_temp = m_dir + "tmp\\";
    fs::create_directories(m_temp, error);
    m_results = m_dir + "results.ini";
    // Each test has a profile of its own, so saved options of one never reach another.
    m_profile = "E2E " + unique;
    for (char& c : m_profile) {
        if (c == '\\' || c == '/' || c == '"') c = '_';
    }
    delete_registry_tree("Software\\" + registry_key() + "\\" + m_profile);
}

TestProject::~TestProject() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test == nullptr || !test->result()->Failed()) {
        std::error_code error;
        fs::remove_all(m_dir, error);
        delete_registry_tree("Software\\" + registry_key() + "\\" + m_profile);
    }
}

void TestProject::write_settings(const std::string& window_keys, const std::string& extra) {
    std::string text = "[identity]\nregistry_key = " + script_string(registry_key()) + "\nprofile = " + script_string(m_profile) +
                       "\n\n[window]\n";
    // The defaults of a test project, each unless the test gives the key itself.
    const char* const defaults[][2] = {{"frame", "[\"caption\"]"},
                                       {"caption_buttons", "[\"system_menu\", \"minimize\"]"},
                                       {"size", "\"movie\""},
                                       {"position", "\"top_left\""},
                                       {"flags", "[\"play_on_load\"]"},
                                       {"caption", "\"Tarpon test\""}};
    const std::string given = "\n" + window_keys;
    for (const auto& entry : defaults) {
        if (given.find("\n" + std::string(entry[0]) + " =") == std::string::npos) {
            text += std::string(entry[0]) + " = " + entry[1] + "\n";
        }
    }
    text += window_keys + "\n" + extra + "\n";
    write_file(m_dir + "tarpon.toml", text);
}

void TestProject::write_script(const std::string& name, const std::string& body) {
    char prelude[1024];
    std::snprintf(prelude, sizeof prelude, script_prelude, script_string(m_results).c_str());
    write_file(m_dir + "scripts\\" + name + ".qls", std::string(prelude) + body + "\n");
}

void TestProject::write_movie(const std::string& name, const std::vector<uint8_t>& bytes) {
    write_bytes(m_dir + "movies\\" + name, bytes);
}

bool TestProject::build(std::string* log) {
    std::string output;
    const std::string arguments = "build \"" + m_dir.substr(0, m_dir.size() - 1) + "\" -o \"" + exe() +
                                  "\" --runtime \"" + bin_folder().substr(0, bin_folder().size() - 1) + "\"";
    long status = run_to_end(bin_folder() + "tarpon-author.exe", arguments, 60000, &output);
    if (log != nullptr) {
        *log = output;
    }
    return status == 0 && fs::exists(exe());
}

std::optional<std::string> TestProject::result(const std::string& key) const {
    char value[4096] = {};
    const char* missing = "\x01missing";
    GetPrivateProfileStringA("r", key.c_str(), missing, value, sizeof value, m_results.c_str());
    if (std::strcmp(value, missing) == 0) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::string> TestProject::wait_for_result(const std::string& key, int timeout_ms) const {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    for (;;) {
        if (auto value = result(key)) {
            return value;
        }
        if (GetTickCount64() >= end) {
            return std::nullopt;
        }
        Sleep(50);
    }
}

std::vector<std::string> TestProject::run_folders() const {
    std::vector<std::string> found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_temp, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory() && name.size() == 38 && name.front() == '{' && name.back() == '}') {
            found.push_back(entry.path().string() + "\\");
        }
    }
    return found;
}

Process::Process(const std::string& exe, const std::string& arguments, const std::string& working_dir,
                 const std::string& temp_dir) {
    std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> environment;
    if (!temp_dir.empty()) {
        environment = environment_with_temp(temp_dir.back() == '\\' ? temp_dir.substr(0, temp_dir.size() - 1)
                                                                     : temp_dir);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                        environment.empty() ? nullptr : environment.data(),
                        working_dir.empty() ? nullptr : working_dir.c_str(), &startup, &m_info)) {
        m_info = {};
        return;
    }
    CloseHandle(m_info.hThread);
    m_info.hThread = nullptr;
}

Process::~Process() {
    if (m_info.hProcess != nullptr) {
        if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_info.hProcess, 1);
            WaitForSingleObject(m_info.hProcess, 5000);
        }
        CloseHandle(m_info.hProcess);
    }
}

std::optional<DWORD> Process::wait(int timeout_ms) {
    if (m_info.hProcess == nullptr ||
        WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD status = 0;
    GetExitCodeProcess(m_info.hProcess, &status);
    return status;
}

bool Process::running() const {
    return m_info.hProcess != nullptr && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

HWND Process::main_window(int timeout_ms) const {
    probe::WindowQuery query;
    query.process_id = id();
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    for (;;) {
        for (HWND window : probe::find_windows(query)) {
            RECT r{};
            GetWindowRect(window, &r);
            if (r.right > r.left && r.bottom > r.top) {
                return window;
            }
        }
        if (GetTickCount64() >= end || !running()) {
            return nullptr;
        }
        Sleep(50);
    }
}

long run_to_end(const std::string& exe, const std::string& arguments, int timeout_ms, std::string* output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char log_path[MAX_PATH] = {};
    GetTempFileNameA(temp, "tpo", 0, log_path);
    HANDLE log = CreateFileA(log_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string command = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = log;
    startup.hStdError = log;
    PROCESS_INFORMATION info{};
    long status = -1;
    if (CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(info.hProcess, &code);
            status = static_cast<long>(code);
        } else {
            TerminateProcess(info.hProcess, 1);
        }
        CloseHandle(info.hProcess);
    }
    if (log != INVALID_HANDLE_VALUE) {
        CloseHandle(log);
    }
    if (output != nullptr) {
        *output = read_text(log_path).value_or("");
    }
    DeleteFileA(log_path);
    return status;
}

std::vector<uint8_t> options_file_bytes(const std::string& caption) {
    appdata::Settings settings;
    settings.caption = caption;
    settings.frame_flags = 0x10;        // caption
    settings.caption_buttons = 0x110;   // minimize, system menu
    settings.window_flags = 0x1;        // play on load
    std::vector<uint8_t> bytes = appdata::settings_bytes(settings);
    std::vector<uint8_t> masks = appdata::mask_list_bytes({});
    bytes.insert(bytes.end(), masks.begin(), masks.end());
    return bytes;
}

std::optional<std::vector<uint8_t>> registry_value(const std::string& key_path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD size = 0;
    DWORD type = 0;
    std::optional<std::vector<uint8_t>> value;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<uint8_t> bytes(size);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, bytes.data(), &size) == ERROR_SUCCESS) {
            bytes.resize(size);
            value = std::move(bytes);
        }
    }
    RegCloseKey(key);
    return value;
}

bool set_registry_binary(const std::string& key_path, const std::string& name, const std::vector<uint8_t>& bytes) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool done = RegSetValueExA(key, name.c_str(), 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())) ==
                ERROR_SUCCESS;
    RegCloseKey(key);
    return done;
}

void delete_registry_tree(const std::string& key_path) { RegDeleteTreeA(HKEY_CURRENT_USER, key_path.c_str()); }

FakeTaskBar::FakeTaskBar() {
    m_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = CreateThread(nullptr, 0, run, this, 0, &m_thread_id);
    if (m_thread != nullptr) {
        WaitForSingleObject(m_ready, 10000);
    }
}

FakeTaskBar::~FakeTaskBar() {
    if (m_thread != nullptr) {
        PostThreadMessageA(m_thread_id, WM_QUIT, 0, 0);
        WaitForSingleObject(m_thread, 10000);
        CloseHandle(m_thread);
    }
    CloseHandle(m_ready);
}

DWORD WINAPI FakeTaskBar::run(void* context) {
    FakeTaskBar* self = static_cast<FakeTaskBar*>(context);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&window_class);
    self->m_window = CreateWindowExA(WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     window_class.hInstance, nullptr);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
    SetEvent(self->m_ready);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    if (self->m_window != nullptr) {
        DestroyWindow(self->m_window);
    }
    UnregisterClassA("Shell_TrayWnd", window_class.hInstance);
    return 0;
}

}  // namespace tarpon::e2e
