#include "host/system/special_folders.h"

#include <initializer_list>
#include <string_view>

#include "host/system/environment.h"
#include "platform/windows.h"

#include <shlobj.h>

namespace tarpon::host {

namespace {

enum class Source : uint8_t {
    ShellFolder,  // SHGetSpecialFolderPath with the CSIDL
    WindowsDirectory,
    SystemDirectory,
    Temp,          // TMP, else TEMP, else the Windows directory
    ProgramFiles,  // the variable ProgramFiles
    None,          // a known name without a folder
};

struct SpecialFolder {
    std::string_view name;
    Source source;
    int csidl = 0;
};

const SpecialFolder special_folders[] = {
    {"appdata", Source::ShellFolder, CSIDL_APPDATA},
    {"cookies", Source::ShellFolder, CSIDL_COOKIES},
    {"desktop", Source::ShellFolder, CSIDL_DESKTOPDIRECTORY},
    {"desktop all", Source::ShellFolder, CSIDL_COMMON_DESKTOPDIRECTORY},
    {"favorites", Source::ShellFolder, CSIDL_FAVORITES},
    {"fonts", Source::ShellFolder, CSIDL_FONTS},
    {"history", Source::ShellFolder, CSIDL_HISTORY},
    {"internet cache", Source::ShellFolder, CSIDL_INTERNET_CACHE},
    {"my documents", Source::ShellFolder, CSIDL_PERSONAL},
    {"nethood", Source::ShellFolder, CSIDL_NETHOOD},
    {"printers", Source::ShellFolder, CSIDL_PRINTERS},
    {"programs", Source::ShellFolder, CSIDL_PROGRAMS},
    {"programs all", Source::ShellFolder, CSIDL_COMMON_PROGRAMS},
    {"recent", Source::ShellFolder, CSIDL_RECENT},
    {"sendto", Source::ShellFolder, CSIDL_SENDTO},
    {"startmenu", Source::ShellFolder, CSIDL_STARTMENU},
    {"startmenu all", Source::ShellFolder, CSIDL_COMMON_STARTMENU},
    {"startup", Source::ShellFolder, CSIDL_STARTUP},
    {"startup all", Source::ShellFolder, CSIDL_COMMON_STARTUP},
    {"templates", Source::ShellFolder, CSIDL_TEMPLATES},
    {"windows", Source::WindowsDirectory},
    {"system", Source::SystemDirectory},
    {"temp", Source::Temp},
    {"program files", Source::ProgramFiles},
    {"recycle bin", Source::None},
};

// A directory from one of the calls that answer the length copied, or the size needed when the
// buffer is too small.
template <typename Call>
std::optional<std::string> read_directory(Call call) {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const UINT length = call(path.data(), static_cast<UINT>(path.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(static_cast<size_t>(length) + 1, '\0');
    }
}


std::optional<std::string> shell_folder(int csidl) {
    char path[MAX_PATH] = {};  // the size the call requires; it writes no more
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) {
        return std::nullopt;
    }
    path[MAX_PATH - 1] = '\0';
    return std::string(path);
}

std::optional<std::string> resolve(const SpecialFolder& folder) {
    switch (folder.source) {
    case Source::ShellFolder:
        return shell_folder(folder.csidl);
    case Source::WindowsDirectory:
        return windows_directory();
    case Source::SystemDirectory:
        return system_directory();
    case Source::Temp:
        // A variable set to the empty text names no folder either.
        for (const char* variable : {"TMP", "TEMP"}) {
            std::optional<std::string> value = environment_variable(variable);
            if (value && !value->empty()) {
                return value;
            }
        }
        return windows_directory();
    case Source::ProgramFiles:
        return environment_variable("ProgramFiles");
    case Source::None:
        break;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> special_folder_path(const std::string& name) {
    std::string lower = name;
    if (!lower.empty()) {
        CharLowerBuffA(lower.data(), static_cast<DWORD>(lower.size()));
    }
    for (const SpecialFolder& folder : special_folders) {
        if (folder.name == lower) {
            return resolve(folder);
        }
    }
    return std::nullopt;
}

std::optional<std::string> windows_directory() { return read_directory(GetWindowsDirectoryA); }

std::optional<std::string> system_directory() { return read_directory(GetSystemDirectoryA); }

void broadcast_setting_change() {
    constexpr UINT answer_timeout_ms = 5000;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG, answer_timeout_ms, nullptr);
}

}  // namespace tarpon::host
