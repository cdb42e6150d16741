#ifdef _WIN32

#include "projector/app/system_changes.h"

#include <gtest/gtest.h>

#include <mmsystem.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "projector/app/projector_state.h"
#include "projector/appdata/file_system.h"
#include "projector/appdata/run_folder.h"

namespace tarpon::projector {
namespace {

using namespace std::chrono_literals;

// This thread's cursor display count, left as it was.
int cursor_count() {
    int count = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return count - 1;
}

// Dispatches this thread's messages (and so its hook calls) until the condition holds or the time
// is up.
template <typename Condition> bool pump_until(Condition condition, std::chrono::milliseconds limit = 3s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
    return true;
}

class Kiosk : public ::testing::Test {
protected:
    void TearDown() override { undo_kiosk(); }
};

TEST_F(Kiosk, CursorHiddenAndShownAgain) {
    apply_kiosk(0x10);
    EXPECT_LT(cursor_count(), 0);
    undo_kiosk();
    EXPECT_GE(cursor_count(), 0);
    const int shown = cursor_count();
    undo_kiosk();  // nothing left to undo
    EXPECT_EQ(cursor_count(), shown);

    // Without the flag a hidden cursor is brought back.
    while (ShowCursor(FALSE) > -3) {
    }
    apply_kiosk(0);
    EXPECT_GE(cursor_count(), 0);
}

TEST_F(Kiosk, TaskBarDisabledOnlyIfItWasEnabled) {
    // A window of the task bar's class stands in where the desktop has none.
    HWND task_bar = FindWindowA("Shell_traywnd", nullptr);
    HWND own = nullptr;
    if (!task_bar) {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "Shell_TrayWnd";
        RegisterClassA(&window_class);
        own = task_bar = CreateWindowA("Shell_TrayWnd", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(task_bar, nullptr);
    }
    EnableWindow(task_bar, TRUE);
    apply_kiosk(0x1);
    EXPECT_FALSE(IsWindowEnabled(task_bar));
    undo_kiosk();
    EXPECT_TRUE(IsWindowEnabled(task_bar));

    // Disabled by someone else: left disabled.
    EnableWindow(task_bar, FALSE);
    apply_kiosk(0x1);
    undo_kiosk();
    EXPECT_FALSE(IsWindowEnabled(task_bar));
    EnableWindow(task_bar, TRUE);
    if (own) {
        DestroyWindow(own);
    }
}

std::vector<DWORD> g_seen_keys;

LRESULT CALLBACK recording_hook(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)) {
        g_seen_keys.push_back(reinterpret_cast<const KBDLLHOOKSTRUCT*>(data)->vkCode);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

INPUT key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Sends the keys from another thread while this one dispatches the hook calls; gives the key-down
// codes that reached the hook installed before the kiosk's (hooks run newest first).
std::vector<DWORD> keys_passing(const std::vector<INPUT>& inputs) {
    g_seen_keys.clear();
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        std::vector<INPUT> copy = inputs;
        SendInput(UINT(copy.size()), copy.data(), sizeof(INPUT));
        sent = true;
    });
    pump_until([&] { return sent.load(); });
    pump_until([] { return false; }, 200ms);  // the last hook calls
    sender.join();
    return g_seen_keys;
}

TEST_F(Kiosk, TaskSwitchingKeysSwallowed) {
    HHOOK recorder = SetWindowsHookExA(WH_KEYBOARD_LL, recording_hook, GetModuleHandleA(nullptr), 0);
    ASSERT_NE(recorder, nullptr);
    const std::vector<INPUT> alt_tab = {key(VK_MENU, false), key(VK_TAB, false), key(VK_TAB, true),
                                        key(VK_MENU, true)};
    const std::vector<INPUT> plain = {key('A', false), key('A', true), key(VK_TAB, false), key(VK_TAB, true)};
    const std::vector<INPUT> ctrl_esc = {key(VK_CONTROL, false), key(VK_ESCAPE, false), key(VK_ESCAPE, true),
                                         key(VK_CONTROL, true), key(VK_LWIN, false), key(VK_LWIN, true)};

    std::vector<DWORD> before = keys_passing(alt_tab);
    if (before.empty()) {
        UnhookWindowsHookEx(recorder);
        GTEST_SKIP() << "synthesised input does not reach low-level keyboard hooks here";
    }
    EXPECT_EQ(before.size(), 2u);

    apply_kiosk(0x1);
    std::vector<DWORD> during = keys_passing(alt_tab);
    ASSERT_EQ(during.size(), 1u);  // Alt passes, Tab does not
    EXPECT_NE(during[0], DWORD(VK_TAB));
    EXPECT_EQ(keys_passing(plain), (std::vector<DWORD>{'A', VK_TAB}));
    std::vector<DWORD> control = keys_passing(ctrl_esc);
    ASSERT_EQ(control.size(), 1u);  // Ctrl passes; Esc and the Windows key do not
    EXPECT_NE(control[0], DWORD(VK_ESCAPE));

    undo_kiosk();
    EXPECT_EQ(keys_passing(alt_tab).size(), 2u);
    undo_kiosk();
    UnhookWindowsHookEx(recorder);
}

TEST_F(Kiosk, ScreenSaverKeptAwayAndLetBack) {
    const EXECUTION_STATE awake = ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED;
    EXPECT_FALSE(screen_saver_blocked());
    apply_kiosk(0x100);
    EXPECT_TRUE(screen_saver_blocked());
    // The previous state comes back from setting the same one again.
    EXPECT_EQ(SetThreadExecutionState(awake), awake);
    undo_kiosk();
    EXPECT_FALSE(screen_saver_blocked());
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));

    // Without the flag nothing is asked for.
    apply_kiosk(0x10);
    EXPECT_FALSE(screen_saver_blocked());
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
}

TEST_F(Kiosk, CrashFilterUndoesAndContinuesTheSearch) {
    install_crash_restore();
    LPTOP_LEVEL_EXCEPTION_FILTER installed = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(installed);
    ASSERT_NE(installed, nullptr);

    apply_kiosk(0x10 | 0x100);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xE0001234;  // no handler of the runtime claims it
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    EXPECT_EQ(installed(&pointers), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_GE(cursor_count(), 0);
    EXPECT_FALSE(screen_saver_blocked());
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
}

TEST(TrayIcon, AddedAndRemoved) {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "TarponTrayTest";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("TarponTrayTest", std::string(100, 'c').c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);

    // Whether the notification area knows an icon: only an existing one can be modified.
    auto known = [&] {
        NOTIFYICONDATAA data{};
        data.cbSize = sizeof data;
        data.hWnd = window;
        data.uID = 128;
        data.uFlags = NIF_TIP;
        return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
    };

    remove_tray_icon();  // none added: nothing happens
    EXPECT_FALSE(tray_icon_present());
    add_tray_icon(window, false);
    EXPECT_EQ(tray_icon_present(), known());
    if (tray_icon_present()) {
        add_tray_icon(window, true);  // again, replacing the first
        EXPECT_TRUE(tray_icon_present());
    } else {
        std::printf("note: no notification area; the icon was refused and not recorded\n");
    }
    remove_tray_icon();
    EXPECT_FALSE(tray_icon_present());
    EXPECT_FALSE(known());
    DestroyWindow(window);
}

TEST(Mute, ForcedAndRestored) {
    // Read the speakers' mute the way the projector finds it; nothing to test without one.
    auto mute_value = []() -> int {
        HMIXER mixer = nullptr;
        if (mixerGetNumDevs() == 0 || mixerOpen(&mixer, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) {
            return -1;
        }
        int result = -1;
        MIXERLINEA line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        MIXERCONTROLA control{};
        control.cbStruct = sizeof control;
        MIXERLINECONTROLSA controls{};
        controls.cbStruct = sizeof controls;
        controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control;
        controls.pamxctrl = &control;
        MIXERCONTROLDETAILS_BOOLEAN value{};
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.cChannels = 1;
        details.cbDetails = sizeof value;
        details.paDetails = &value;
        auto object = reinterpret_cast<HMIXEROBJ>(mixer);
        if (mixerGetLineInfoA(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) == 0 &&
            (controls.dwLineID = line.dwLineID,
             mixerGetLineControlsA(object, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) == 0) &&
            (details.dwControlID = control.dwControlID,
             mixerGetControlDetailsA(object, &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) == 0)) {
            result = value.fValue ? 1 : 0;
        }
        mixerClose(mixer);
        return result;
    };
    const int before = mute_value();
    apply_mute(true);
    const int during = mute_value();
    apply_mute(true);  // confirmed again: the first saved state stays
    restore_mute();
    EXPECT_EQ(mute_value(), before);
    restore_mute();
    EXPECT_EQ(mute_value(), before);
    if (before < 0) {
        std::printf("note: no mixer with a speakers mute control here\n");
    } else {
        EXPECT_EQ(during, 1);
    }
}

class StaleRunFolders : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_base = std::string(temp) + "tarpon-stale-" + appdata::new_guid_text() + "\\";
        ASSERT_TRUE(appdata::make_folder(m_base));
    }
    void TearDown() override {
        release_run_folder();
        appdata::remove_tree(m_base);
    }

    // A folder in the base, with a file and a sub-folder, the lock file when `locked`, and its
    // times `age_hours` in the past.
    std::string make(const std::string& name, bool locked, int age_hours) {
        std::string folder = m_base + name + "\\";
        EXPECT_TRUE(appdata::make_folder(folder));
        EXPECT_TRUE(appdata::make_folder(folder + "Plug_Ins\\"));
        std::ofstream(folder + "Plug_Ins\\movie.swf") << "FWS";
        if (locked) {
            std::ofstream(folder + run_folder_lock_name) << "";
        }
        set_age(folder, age_hours);
        return folder;
    }
    static void set_age(const std::string& folder, int age_hours) {
        HANDLE handle = CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{};
        t.LowPart = now.dwLowDateTime;
        t.HighPart = now.dwHighDateTime;
        t.QuadPart -= uint64_t(age_hours) * 3600 * 10'000'000;
        FILETIME then{t.LowPart, t.HighPart};
        EXPECT_TRUE(SetFileTime(handle, &then, &then, &then));
        CloseHandle(handle);
    }

    std::string m_base;
};

TEST_F(StaleRunFolders, OnlyOldUnheldRunFoldersGo) {
    const std::string stale = make("{11111111-2222-3333-4444-555555555555}", true, 30);
    const std::string lower = make("{aaaaaaaa-2222-3333-4444-555555555555}", true, 48);
    const std::string young = make("{22222222-2222-3333-4444-555555555555}", true, 20);
    const std::string unmarked = make("{33333333-2222-3333-4444-555555555555}", false, 30);
    const std::string other = make("not a run folder", true, 30);
    const std::string held = make("{44444444-2222-3333-4444-555555555555}", true, 30);
    ASSERT_TRUE(hold_run_folder(held));
    set_age(held, 30);
    {
        std::ofstream(m_base + "{55555555-2222-3333-4444-555555555555}") << "a file, not a folder";
    }

    remove_stale_run_folders(m_base);
    EXPECT_FALSE(appdata::file_exists(stale));
    EXPECT_FALSE(appdata::file_exists(lower));
    EXPECT_TRUE(appdata::file_exists(young + "Plug_Ins\\movie.swf"));
    EXPECT_TRUE(appdata::file_exists(unmarked + "Plug_Ins\\movie.swf"));
    EXPECT_TRUE(appdata::file_exists(other + "Plug_Ins\\movie.swf"));
    EXPECT_TRUE(appdata::file_exists(held + "Plug_Ins\\movie.swf"));
    EXPECT_TRUE(appdata::file_exists(m_base + "{55555555-2222-3333-4444-555555555555}"));

    // Once its run has ended the held folder goes too; the base without a trailing separator works.
    release_run_folder();
    set_age(held, 30);
    remove_stale_run_folders(m_base.substr(0, m_base.size() - 1));
    EXPECT_FALSE(appdata::file_exists(held));

    remove_stale_run_folders("");
    remove_stale_run_folders(m_base + "missing\\");
}

}  // namespace
}  // namespace tarpon::projector

#endif
