#include "projector/app/system_changes.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <mmsystem.h>
#include <shellapi.h>

#include "platform/owners.h"
#include "projector/app/projector_state.h"
#include "projector/appdata/file_system.h"
#include "projector/appdata/run_folder.h"

namespace tarpon::projector {

// {==== Mute ====

namespace {

struct MuteRecord {
    bool changed = false;
    DWORD saved = 0;
};
MuteRecord g_mute;

// The first mixer device, open, with the mute control of its speakers line.
class SpeakerMute {
public:
    SpeakerMute() {
        if (mixerGetNumDevs() == 0 || mixerOpen(&m_mixer, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) {
            m_mixer = nullptr;
            return;
        }
        MIXERLINEA line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        if (mixerGetLineInfoA(object(), &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
            MMSYSERR_NOERROR) {
            return;
        }
        MIXERCONTROLA control{};
        control.cbStruct = sizeof control;
        MIXERLINECONTROLSA controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control;
        controls.pamxctrl = &control;
        if (mixerGetLineControlsA(object(), &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
            MMSYSERR_NOERROR) {
            return;
        }
        m_control = control.dwControlID;
        m_found = true;
    }
    ~SpeakerMute() {
        if (m_mixer) {
            mixerClose(m_mixer);
        }
    }
    SpeakerMute(const SpeakerMute&) = delete;
    SpeakerMute& operator=(const SpeakerMute&) = delete;

    bool found() const { return m_found; }

    bool read(DWORD& value) {
        MIXERCONTROLDETAILS_BOOLEAN state{};
        MIXERCONTROLDETAILS details = make_details(&state);
        if (mixerGetControlDetailsA(object(), &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) !=
            MMSYSERR_NOERROR) {
            return false;
        }
        value = static_cast<DWORD>(state.fValue);
        return true;
    }
    bool write(DWORD value) {
        MIXERCONTROLDETAILS_BOOLEAN state{};
        state.fValue = static_cast<LONG>(value);
        MIXERCONTROLDETAILS details = make_details(&state);
        return mixerSetControlDetails(object(), &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR;
    }

private:
    HMIXEROBJ object() const { return reinterpret_cast<HMIXEROBJ>(m_mixer); }
    MIXERCONTROLDETAILS make_details(MIXERCONTROLDETAILS_BOOLEAN* state) const {
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = m_control;
        details.cChannels = 1;  // one value for all channels
        details.cbDetails = sizeof *state;
        details.paDetails = state;
        return details;
    }

    HMIXER m_mixer = nullptr;
    DWORD m_control = 0;
    bool m_found = false;
};

}  // namespace

void apply_mute(bool muted) {
    SpeakerMute mute;
    DWORD current = 0;
    if (!mute.found() || !mute.read(current)) {
        return;
    }
    const DWORD wanted = muted ? 1 : 0;
    if ((current != 0) == (wanted != 0)) {
        return;
    }
    // Options confirmed twice keep the state from before the first change.
    if (!g_mute.changed) {
        g_mute.saved = current;
    }
    if (mute.write(wanted)) {
        g_mute.changed = true;
    }
}

void restore_mute() {
    if (!g_mute.changed) {
        return;
    }
    g_mute.changed = false;
    SpeakerMute mute;
    if (mute.found()) {
        mute.write(g_mute.saved);
    }
}

// }==== Kiosk ====

namespace {

// What apply_kiosk changed, one bit each, so that undo_kiosk reverts exactly those.
namespace change {
constexpr uint32_t screen_saver_running = 0x1;  // Windows 95 family: task switching blocked
constexpr uint32_t screen_saver_off = 0x10;     // Windows 95 family
constexpr uint32_t task_bar_disabled = 0x100;
constexpr uint32_t keyboard_hook = 0x1000;      // NT family: task-switching keys swallowed
constexpr uint32_t execution_state = 0x10000;   // NT family: display and system kept awake
constexpr uint32_t cursor_hidden = 0x100000;
}  // namespace change

namespace kiosk {
constexpr uint32_t block_task_switching = 0x1;
constexpr uint32_t hide_cursor = 0x10;
constexpr uint32_t suspend_screen_saver = 0x100;
}  // namespace kiosk

std::atomic<uint32_t> g_kiosk_changes{0};
std::atomic<bool> g_screen_saver_blocked{false};
std::atomic<HHOOK> g_keyboard_hook{nullptr};
std::atomic<HWND> g_task_bar{nullptr};

// Modifier keys as the hook has seen them go down and up.
constexpr uint32_t left_alt = 0x1, right_alt = 0x2, left_ctrl = 0x4, right_ctrl = 0x8;
uint32_t g_modifiers = 0;

bool windows_95_family() { return (GetVersion() & 0x80000000u) != 0; }

// ShowCursor moves a per-thread display count; drive it to one side of zero (bounded, in case a
// count never moves).
void drive_cursor(bool visible) {
    for (int i = 0; i < 1000; ++i) {
        int count = ShowCursor(visible ? TRUE : FALSE);
        if (visible ? count >= 0 : count < 0) {
            return;
        }
    }
}

uint32_t modifier_bit(DWORD key) {
    switch (key) {
    case VK_LMENU: return left_alt;
    case VK_RMENU: return right_alt;
    case VK_MENU: return left_alt;
    case VK_LCONTROL: return left_ctrl;
    case VK_RCONTROL: return right_ctrl;
    case VK_CONTROL: return left_ctrl;
    default: return 0;
    }
}

// Swallows the keys that switch away from the presentation: Alt+Tab, Alt+Esc, Ctrl+Esc and the
// Windows keys.
LRESULT CALLBACK kiosk_keyboard(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        if (uint32_t bit = modifier_bit(key->vkCode)) {
            g_modifiers = down ? (g_modifiers | bit) : (g_modifiers & ~bit);
        }
        const bool alt = (g_modifiers & (left_alt | right_alt)) || (key->flags & LLKHF_ALTDOWN);
        const bool ctrl = (g_modifiers & (left_ctrl | right_ctrl)) || (GetAsyncKeyState(VK_CONTROL) & 0x8000);
        const DWORD vk = key->vkCode;
        if ((vk == VK_TAB && alt) || (vk == VK_ESCAPE && (alt || ctrl)) || vk == VK_LWIN || vk == VK_RWIN) {
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace

void apply_kiosk(uint32_t kiosk_flags) {
    uint32_t changes = 0;
    if (kiosk_flags & kiosk::hide_cursor) {
        drive_cursor(false);
        changes |= change::cursor_hidden;
    } else {
        drive_cursor(true);
    }

    if (windows_95_family()) {
        if (kiosk_flags & kiosk::block_task_switching) {
            BOOL previous = FALSE;
            if (SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &previous, 0) && !previous) {
                changes |= change::screen_saver_running;
            }
        }
        if (kiosk_flags & kiosk::suspend_screen_saver) {
            BOOL active = FALSE;
            if (SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) && active &&
                SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0)) {
                changes |= change::screen_saver_off;
            }
        }
    } else {
        if ((kiosk_flags & kiosk::block_task_switching) && !g_keyboard_hook.load()) {
            g_modifiers = 0;
            HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, kiosk_keyboard, GetModuleHandleA(nullptr), 0);
            if (hook) {
                g_keyboard_hook = hook;
                changes |= change::keyboard_hook;
            }
        }
        if (kiosk_flags & kiosk::suspend_screen_saver) {
            if (SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED) != 0) {
                changes |= change::execution_state;
            }
        }
    }

    if (kiosk_flags & kiosk::block_task_switching) {
        HWND task_bar = FindWindowA("Shell_traywnd", nullptr);
        if (task_bar && IsWindowEnabled(task_bar)) {
            EnableWindow(task_bar, FALSE);
            g_task_bar = task_bar;
            changes |= change::task_bar_disabled;
        }
    }
    if (kiosk_flags & kiosk::suspend_screen_saver) {
        g_screen_saver_blocked = true;
    }
    g_kiosk_changes.fetch_or(changes);
}

void undo_kiosk() {
    // Taken all at once, so that a second call (or the exception filter after shutdown began)
    // finds nothing left to undo.
    const uint32_t changes = g_kiosk_changes.exchange(0);
    g_screen_saver_blocked = false;
    if (changes & change::keyboard_hook) {
        if (HHOOK hook = g_keyboard_hook.exchange(nullptr)) {
            UnhookWindowsHookEx(hook);
        }
    }
    if (changes & change::execution_state) {
        SetThreadExecutionState(ES_CONTINUOUS);
    }
    if (changes & change::screen_saver_running) {
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, nullptr, 0);
    }
    if (changes & change::screen_saver_off) {
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
    }
    if (changes & change::task_bar_disabled) {
        HWND task_bar = g_task_bar.exchange(nullptr);
        if (task_bar && IsWindow(task_bar)) {
            EnableWindow(task_bar, TRUE);
        }
    }
    if (changes & change::cursor_hidden) {
        drive_cursor(true);
    }
}

bool screen_saver_blocked() { return g_screen_saver_blocked; }

// }==== Tray icon ====

namespace {

constexpr UINT tray_icon_id = 128;
HWND g_tray_window = nullptr;
bool g_tray_present = false;

}  // namespace

void add_tray_icon(HWND window, bool own_icon) {
    if (g_tray_present) {
        remove_tray_icon();  // added again with the icon chosen now
    }
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = tray_icon_id;
    data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    data.uCallbackMessage = message::tray_notify;
    data.hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(own_icon ? 128 : 198),
                                               IMAGE_ICON, 16, 16, 0));
    // The tip is the caption cut to 64 characters, the terminating NUL included.
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    std::memcpy(data.szTip, caption, sizeof caption);
    if (Shell_NotifyIconA(NIM_ADD, &data)) {
        g_tray_window = window;
        g_tray_present = true;
    }
    if (data.hIcon) {
        DestroyIcon(data.hIcon);
    }
}

void remove_tray_icon() {
    if (!g_tray_present) {
        return;
    }
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = g_tray_window;
    data.uID = tray_icon_id;
    Shell_NotifyIconA(NIM_DELETE, &data);
    g_tray_present = false;
    g_tray_window = nullptr;
}

bool tray_icon_present() { return g_tray_present; }

// }==== Crash restore ====

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;
bool g_filter_installed = false;

LONG WINAPI crash_restore(EXCEPTION_POINTERS* exception) {
    undo_kiosk();
    if (g_previous_filter) {
        return g_previous_filter(exception);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void install_crash_restore() {
    if (g_filter_installed) {
        return;
    }
    g_previous_filter = SetUnhandledExceptionFilter(crash_restore);
    g_filter_installed = true;
}

// }==== Run folders ====

namespace {

platform::KernelHandle g_run_folder_lock;

uint64_t ticks(const FILETIME& time) { return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

constexpr uint64_t ticks_per_day = 24ull * 60 * 60 * 10'000'000;

}  // namespace

bool hold_run_folder(const std::string& run_folder) {
    if (run_folder.empty()) {
        return false;
    }
    g_run_folder_lock.reset(CreateFileA((run_folder + run_folder_lock_name).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return bool(g_run_folder_lock);
}

void release_run_folder() { g_run_folder_lock.reset(); }

void remove_stale_run_folders(const std::string& base) {
    if (base.empty()) {
        return;
    }
    std::string folder = base;
    if (folder.back() != '\\' && folder.back() != '/') {
        folder += '\\';
    }
    FILETIME now_time{};
    GetSystemTimeAsFileTime(&now_time);
    const uint64_t now = ticks(now_time);

    std::vector<std::string> stale;
    WIN32_FIND_DATAA found;
    platform::FindHandle search(FindFirstFileA((folder + "*").c_str(), &found));
    if (!search) {
        return;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !appdata::is_run_folder_name(found.cFileName)) {
            continue;
        }
        const uint64_t newest = std::max(ticks(found.ftCreationTime), ticks(found.ftLastWriteTime));
        if (newest + ticks_per_day > now) {
            continue;
        }
        stale.push_back(folder + found.cFileName + "\\");
    } while (FindNextFileA(search.get(), &found));
    search.reset();

    for (const std::string& run_folder : stale) {
        // Only a folder that carries a projector's lock file is one of ours; a lock file that
        // opens with delete access and no sharing is held by no running projector.
        platform::KernelHandle lock(CreateFileA((run_folder + run_folder_lock_name).c_str(), DELETE, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!lock) {
            continue;
        }
        lock.reset();
        appdata::remove_tree(run_folder);
    }
}

}  // namespace tarpon::projector
