// The SysInfo class: facts about the machine and the user, and a few system-wide actions. It has no
// state of its own: the class object and objects made with `new SysInfo()` behave alike.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "host/common/class.h"
#include "host/common/system_error.h"
#include "host/system/display_mode.h"
#include "host/system/path_normalisation.h"
#include "host/system/processor_speed.h"
#include "host/system/special_folders.h"
#include "host/system/system_classes.h"

#include "engine/values/array.h"
#include "engine/values/conversions.h"
#include "platform/owners.h"
#include "platform/windows.h"

namespace tarpon::host {

namespace {

constexpr const char* desktop_key = "Control Panel\\Desktop";
constexpr const char* screen_saver_value = "SCRNSAVE.EXE";

std::optional<OSVERSIONINFOA> system_version() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) {
        return std::nullopt;
    }
    return info;
}

// The Windows 95 family keeps some settings in SYSTEM.INI rather than in the registry.
bool is_windows_95_family() {
    const std::optional<OSVERSIONINFOA> version = system_version();
    return version && version->dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// Fixed-size text the system filled, up to its NUL or its end.
std::string terminated(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

// The session actions. Each returns undefined; a refusal leaves the system's text.

void exit_windows(MemberCall& call, UINT how) {
    if (!ExitWindowsEx(how, 0)) {
        store_last_error(call.engine);
    }
}

void sys_info_log_off(MemberCall& call) { exit_windows(call, EWX_LOGOFF); }
void sys_info_shutdown(MemberCall& call) { exit_windows(call, EWX_SHUTDOWN); }
void sys_info_reboot(MemberCall& call) { exit_windows(call, EWX_REBOOT); }
void sys_info_power_off(MemberCall& call) { exit_windows(call, EWX_POWEROFF); }

void sys_info_get_display_settings(MemberCall& call) {
    ArrayRecord* modes = array_create(call.engine, 0);
    *call.result = Value::array(modes);
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    DWORD number = 0;
    for (; EnumDisplaySettingsA(nullptr, number, &mode); ++number) {
        array_put(call.engine, modes, number, display_mode_object(call.engine, mode));
    }
    array_set_length(call.engine, modes, number);
}

// Names read into a buffer of the documented size, and read whole when the system has a longer one.
template <typename Read> std::optional<std::string> read_name(DWORD size, DWORD too_small, Read&& read) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string buffer(size, '\0');
        DWORD length = size;
        if (read(buffer.data(), &length)) {
            return terminated(buffer.data(), buffer.size());
        }
        if (GetLastError() != too_small || length <= size) {
            return std::nullopt;
        }
        size = length + 1;
    }
    return std::nullopt;
}

void sys_info_computer_name(MemberCall& call) {
    const std::optional<std::string> name =
        read_name(MAX_COMPUTERNAME_LENGTH + 1, ERROR_BUFFER_OVERFLOW,
                  [](char* buffer, DWORD* length) { return GetComputerNameA(buffer, length) != 0; });
    if (!name) {
        store_last_error(call.engine);
    }
    *call.result = name ? ansi_string(call.engine, *name) : Value::null();
}

void set_sys_info_computer_name(MemberCall& call, const Value& value) {
    if (!value.is(Tag::String)) {
        return;
    }
    const std::string name = ansi_text(value.payload.string);
    if (name.find('\0') != std::string::npos) {
        store_system_error(call.engine, ERROR_INVALID_NAME);
    } else if (!SetComputerNameA(name.c_str())) {
        store_last_error(call.engine);
    }
}

void sys_info_user_name(MemberCall& call) {
    const std::optional<std::string> name =
        read_name(257, ERROR_INSUFFICIENT_BUFFER,
                  [](char* buffer, DWORD* length) { return GetUserNameA(buffer, length) != 0; });
    if (!name) {
        store_last_error(call.engine);
    }
    *call.result = name ? ansi_string(call.engine, *name) : Value::null();
}

const char* system_name(const OSVERSIONINFOA& version) {
    switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        return "Windows 32s";
    case VER_PLATFORM_WIN32_WINDOWS:
        return version.dwMinorVersion == 0    ? "Windows 95"
               : version.dwMinorVersion == 90 ? "Windows ME"
                                              : "Windows 98";
    case VER_PLATFORM_WIN32_NT:
        if (version.dwMajorVersion == 3 || version.dwMajorVersion == 4) {
            return "Windows NT";
        }
        if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0) {
            return "Windows 2000";
        }
        if (version.dwMajorVersion == 5 && version.dwMinorVersion == 1) {
            return "Windows XP";
        }
        return "";
    default:
        return "";
    }
}

// "Windows XP 5.01.2600 Service Pack 2": the system's name (none for versions it has no name for),
// major.minor.build, then the service pack.
void sys_info_version(MemberCall& call) {
    const std::optional<OSVERSIONINFOA> version = system_version();
    if (!version) {
        store_last_error(call.engine);
        *call.result = Value::null();
        return;
    }
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, " %lu.%02lu.%04lu ",
                  static_cast<unsigned long>(version->dwMajorVersion),
                  static_cast<unsigned long>(version->dwMinorVersion),
                  static_cast<unsigned long>(version->dwBuildNumber & 0xFFFF));
    std::string text = system_name(*version);
    text += numbers;
    text += terminated(version->szCSDVersion, sizeof version->szCSDVersion);
    *call.result = ansi_string(call.engine, text);
}

// A directory, or false with the system's reason.
void directory_result(MemberCall& call, const std::optional<std::string>& directory) {
    if (!directory) {
        store_last_error(call.engine);
        *call.result = Value::boolean(false);
        return;
    }
    *call.result = ansi_string(call.engine, *directory);
}

void sys_info_sys_dir(MemberCall& call) { directory_result(call, system_directory()); }
void sys_info_win_dir(MemberCall& call) { directory_result(call, windows_directory()); }

using RectEdge = LONG RECT::*;
const RectEdge left_edge = &RECT::left;
const RectEdge top_edge = &RECT::top;
const RectEdge right_edge = &RECT::right;
const RectEdge bottom_edge = &RECT::bottom;

void sys_info_work_area(MemberCall& call) {
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        store_last_error(call.engine);
        *call.result = Value::nan();
        return;
    }
    *call.result = Value::integer(area.*(*static_cast<const RectEdge*>(call.member->context)));
}

void sys_info_total_phys_memory(MemberCall& call) {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    *call.result = Value::integer(static_cast<int64_t>(status.dwTotalPhys));
}

void sys_info_avail_phys_memory(MemberCall& call) {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    *call.result = Value::integer(static_cast<int64_t>(status.dwAvailPhys));
}

void sys_info_cpu_speed(MemberCall& call) {
    const std::optional<double> speed = processor_speed_mhz();
    *call.result = speed ? Value::number(*speed) : Value::nan();
}

// The screen saver's path from the desktop settings, read whole.
std::optional<std::string> registry_screen_saver() {
    platform::RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, desktop_key, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(key.get(), screen_saver_value, nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        std::string data(size, '\0');
        const LONG status = RegQueryValueExA(key.get(), screen_saver_value, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_SUCCESS) {
            return terminated(data.data(), std::min<size_t>(size, data.size()));
        }
        if (status != ERROR_MORE_DATA) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void sys_info_screen_saver(MemberCall& call) {
    std::string path;
    if (is_windows_95_family()) {
        char buffer[MAX_PATH];
        GetPrivateProfileStringA("boot", screen_saver_value, "", buffer, sizeof buffer, "SYSTEM.INI");
        path = terminated(buffer, sizeof buffer);
    }
    if (std::optional<std::string> stored = registry_screen_saver()) {
        path = std::move(*stored);
    }
    *call.result = path.empty() ? Value::null() : ansi_string(call.engine, path);
}

void set_sys_info_screen_saver(MemberCall& call, const Value& value) {
    const std::string path = ansi_of(call.engine, value);
    if (path.find('\0') != std::string::npos) {
        store_system_error(call.engine, ERROR_INVALID_NAME);
        return;
    }
    const std::optional<std::string> short_form = short_path_of(path);
    if (!short_form) {
        store_last_error(call.engine);
        return;
    }
    if (is_windows_95_family()) {
        if (!WritePrivateProfileStringA("boot", screen_saver_value, path.c_str(), "SYSTEM.INI")) {
            store_last_error(call.engine);
        }
        return;
    }
    platform::RegistryKey key;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, desktop_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key.get(), screen_saver_value, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(short_form->c_str()),
                                static_cast<DWORD>(short_form->size() + 1));
    }
    if (status != ERROR_SUCCESS) {
        store_system_error(call.engine, static_cast<uint32_t>(status));
        return;
    }
    broadcast_setting_change();
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
}

void sys_info_screen_saver_active(MemberCall& call) {
    BOOL active = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) {
        store_last_error(call.engine);
        active = FALSE;
    }
    *call.result = Value::boolean(active != FALSE);
}

void set_sys_info_screen_saver_active(MemberCall& call, const Value& value) {
    if (!SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, to_boolean(value) ? TRUE : FALSE, nullptr,
                               SPIF_SENDWININICHANGE)) {
        store_last_error(call.engine);
    }
}

void sys_info_screen_saver_timeout(MemberCall& call) {
    int seconds = 0;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0)) {
        store_last_error(call.engine);
        *call.result = Value::nan();
        return;
    }
    *call.result = Value::integer(seconds);
}

void set_sys_info_screen_saver_timeout(MemberCall& call, const Value& value) {
    const int32_t seconds = to_int32(call.engine, value);
    if (!SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, static_cast<UINT>(seconds), nullptr,
                               SPIF_SENDWININICHANGE)) {
        store_last_error(call.engine);
    }
}

void sys_info_display_setting(MemberCall& call) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
        store_last_error(call.engine);
        *call.result = Value::null();
        return;
    }
    *call.result = display_mode_object(call.engine, mode);
}

void set_sys_info_display_setting(MemberCall& call, const Value& value) {
    if (value.is(Tag::Object)) {
        change_display_mode(call.engine, value.payload.table);
    }
}

const Member members[] = {
    method("logOff", sys_info_log_off),
    method("shutdown", sys_info_shutdown),
    method("reboot", sys_info_reboot),
    method("powerOff", sys_info_power_off),
    method("getDisplaySettings", sys_info_get_display_settings),
    property("computerName", sys_info_computer_name, set_sys_info_computer_name),
    property("userName", sys_info_user_name),
    property("version", sys_info_version),
    property("sysDir", sys_info_sys_dir),
    property("winDir", sys_info_win_dir),
    property("workareaLeft", sys_info_work_area, nullptr, Needs::Nothing, &left_edge),
    property("workareaTop", sys_info_work_area, nullptr, Needs::Nothing, &top_edge),
    property("workareaRight", sys_info_work_area, nullptr, Needs::Nothing, &right_edge),
    property("workareaBottom", sys_info_work_area, nullptr, Needs::Nothing, &bottom_edge),
    property("totalPhysMemory", sys_info_total_phys_memory),
    property("availPhysMemory", sys_info_avail_phys_memory),
    property("cpuSpeed", sys_info_cpu_speed),
    property("screenSaver", sys_info_screen_saver, set_sys_info_screen_saver),
    property("screenSaverActive", sys_info_screen_saver_active, set_sys_info_screen_saver_active),
    property("screenSaverTimeout", sys_info_screen_saver_timeout, set_sys_info_screen_saver_timeout),
    property("displaySetting", sys_info_display_setting, set_sys_info_display_setting),
};

const ClassDeclaration declaration = {
    .name = "SysInfo",
    .class_text = "[object SysInfo]",
    .members = members,
    .construct = construct_stateless,
};

} // namespace

void register_sys_info_class(ScriptEngine* engine) { declare_class(engine, declaration); }

} // namespace tarpon::host
