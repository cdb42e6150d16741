// A projector built by the authoring tool from a new project starts, runs Initialize, shows its
// main window, keeps the stub's own resources, and on a close ends with its run folder gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/windows.h"
#include "projector/app/resource_ids.h"
#include "projector/window/main_window.h"

namespace tarpon::projector {
namespace {

namespace fs = std::filesystem;

std::string own_folder() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

// Runs the command line and waits for it; its exit status, or -1 when it did not end in time.
DWORD run_and_wait(const std::string& command_line, DWORD timeout_ms, PROCESS_INFORMATION* keep = nullptr) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string line = command_line;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return static_cast<DWORD>(-2);
    }
    CloseHandle(process.hThread);
    if (keep != nullptr) {
        *keep = process;
        return 0;
    }
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &status);
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hProcess);
    return status;
}

struct FindMain {
    DWORD process_id;
    HWND found;
};

BOOL CALLBACK find_main(HWND window, LPARAM data) {
    auto* find = reinterpret_cast<FindMain*>(data);
    DWORD owner_process = 0;
    GetWindowThreadProcessId(window, &owner_process);
    char class_name[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (owner_process == find->process_id && std::string(class_name) == main_window_class) {
        find->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND wait_for_main_window(DWORD process_id, HANDLE process, DWORD timeout_ms) {
    for (DWORD waited = 0; waited < timeout_ms; waited += 100) {
        FindMain find{process_id, nullptr};
        EnumWindows(find_main, reinterpret_cast<LPARAM>(&find));
        if (find.found != nullptr && IsWindowVisible(find.found)) {
            return find.found;
        }
        if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) {
            return nullptr;
        }
    }
    return nullptr;
}

size_t entries_in(const fs::path& folder) {
    std::error_code error;
    size_t count = 0;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

// Starts the executable with TMP and TEMP naming `tmp`, so that its run folder is made there.
bool start_with_temp_folder(const std::string& exe, const std::string& tmp, PROCESS_INFORMATION* process) {
    char saved_tmp[MAX_PATH + 1] = {}, saved_temp[MAX_PATH + 1] = {};
    DWORD had_tmp = GetEnvironmentVariableA("TMP", saved_tmp, sizeof saved_tmp);
    DWORD had_temp = GetEnvironmentVariableA("TEMP", saved_temp, sizeof saved_temp);
    SetEnvironmentVariableA("TMP", tmp.c_str());
    SetEnvironmentVariableA("TEMP", tmp.c_str());
    DWORD started = run_and_wait("\"" + exe + "\"", 0, process);
    SetEnvironmentVariableA("TMP", had_tmp ? saved_tmp : nullptr);
    SetEnvironmentVariableA("TEMP", had_temp ? saved_temp : nullptr);
    return started == 0;
}

// A new project in `work`/show with the given Initialize script, built into `work`/show.exe.
std::string build_projector(const fs::path& work, const std::string& initialize) {
    std::string bin = own_folder();
    std::string show = (work / "show").string();
    std::string author = "\"" + bin + "tarpon-author.exe\"";
    EXPECT_EQ(run_and_wait(author + " new \"" + show + "\"", 60000), 0u);
    std::ofstream((work / "show" / "scripts" / "Initialize.qls").string(), std::ios::binary) << initialize;
    std::string exe = (work / "show.exe").string();
    EXPECT_EQ(run_and_wait(author + " build \"" + show + "\" -o \"" + exe + "\"", 120000), 0u);
    return exe;
}

bool tools_built() {
    return fs::exists(own_folder() + "tarpon.exe") && fs::exists(own_folder() + "tarpon-author.exe");
}

TEST(ProjectorSmoke, AnInitializeReturningFalseEndsTheRunSilently) {
    if (!tools_built()) {
        GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built beside the tests";
    }
    fs::path work = fs::temp_directory_path() / "tarpon-projector-smoke-false";
    std::error_code ignored;
    fs::remove_all(work, ignored);
    fs::create_directories(work / "tmp");
    std::string exe = build_projector(work, "false;\n");
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(start_with_temp_folder(exe, (work / "tmp").string(), &process));
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &status);
    } else {
        TerminateProcess(process.hProcess, 99);
        ADD_FAILURE() << "the projector did not end by itself";
    }
    CloseHandle(process.hProcess);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(entries_in(work / "tmp"), 0u) << "the run folder is left behind";
    fs::remove_all(work, ignored);
}

TEST(ProjectorSmoke, ABuiltProjectorStartsRunsInitializeAndClosesCleanly) {
    if (!tools_built()) {
        GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built beside the tests";
    }
    fs::path work = fs::temp_directory_path() / "tarpon-projector-smoke";
    std::error_code ignored;
    fs::remove_all(work, ignored);
    fs::create_directories(work / "tmp");
    // Initialize writes what it saw into a profile file the test reads.
    std::string ini = (work / "seen.ini").string();
    std::string escaped;
    for (char c : ini) {
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    std::string exe = build_projector(work, "var seen = new Ini(\"" + escaped + "\");\n"
                                            "seen.writeString(\"start\", \"initialize\", \"ran\");\n"
                                            "true;\n");

    // The stub's own resources are still there.
    HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    EXPECT_NE(FindResourceA(image, MAKEINTRESOURCEA(TARPON_ICON_MAIN), MAKEINTRESOURCEA(14)), nullptr);
    EXPECT_NE(FindResourceA(image, MAKEINTRESOURCEA(TARPON_ICON_TRAY), MAKEINTRESOURCEA(14)), nullptr);
    EXPECT_NE(FindResourceA(image, MAKEINTRESOURCEA(TARPON_MENU_POPUP), MAKEINTRESOURCEA(4)), nullptr);
    EXPECT_NE(FindResourceA(image, MAKEINTRESOURCEA(TARPON_MENU_TRAY), MAKEINTRESOURCEA(4)), nullptr);
    EXPECT_NE(FindResourceA(image, MAKEINTRESOURCEA(TARPON_ACCELERATORS), MAKEINTRESOURCEA(9)), nullptr);
    EXPECT_NE(FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr);
    FreeLibrary(image);

    PROCESS_INFORMATION process{};
    ASSERT_TRUE(start_with_temp_folder(exe, (work / "tmp").string(), &process));

    HWND main = wait_for_main_window(process.dwProcessId, process.hProcess, 60000);
    EXPECT_NE(main, nullptr);
    char seen[32] = {};
    GetPrivateProfileStringA("start", "initialize", "", seen, sizeof seen, ini.c_str());
    EXPECT_STREQ(seen, "ran");
    EXPECT_EQ(entries_in(work / "tmp"), 1u) << "the run folder";

    DWORD status = static_cast<DWORD>(-1);
    if (main != nullptr) {
        PostMessageA(main, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &status);
    } else {
        TerminateProcess(process.hProcess, 99);
        ADD_FAILURE() << "the projector did not end after WM_CLOSE";
    }
    CloseHandle(process.hProcess);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(entries_in(work / "tmp"), 0u) << "the run folder is left behind";
    fs::remove_all(work, ignored);
}

}  // namespace
}  // namespace tarpon::projector
