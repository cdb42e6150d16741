// Provisioning the player: the installed one when it is recent enough, else the module the
// application data carries, written to the run folder with the support libraries it needs.
#include "projector/player_host/provision.h"

#include <optional>
#include <vector>

#include "host/system/version_info.h"
#include "platform/com.h"
#include "platform/windows.h"
#include "player/control/guids.h"
#include "projector/app/projector_messages.h"
#include "projector/app/projector_state.h"
#include "projector/appdata/item_source.h"
#include "projector/player_host/player_host.h"

namespace tarpon::projector {

namespace {

constexpr const char* player_server_key = "CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32";
constexpr const char* player_file_name = "flash.ocx";
// The least OLE Automation library the carried player works with: 2.20.
constexpr uint32_t least_oleaut_version = 0x00020014u;

// A string value of a registry key (REG_EXPAND_SZ expanded), read whole.
std::optional<std::string> registry_text(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::string> result;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::vector<char> buffer(size + 1, '\0');
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
            ERROR_SUCCESS) {
            std::string text(buffer.data());
            if (type == REG_EXPAND_SZ) {
                DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
                std::vector<char> expanded(needed + 1, '\0');
                if (needed != 0 && ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed + 1) != 0) {
                    text = expanded.data();
                }
            }
            result = text;
        }
    }
    RegCloseKey(key);
    return result;
}

uint64_t file_version_of(const std::string& path) {
    std::optional<host::FileVersionInfo> info = host::read_file_version_info(path);
    return info && info->file_version ? *info->file_version : 0;
}

// Whether the system finds the library (it is loaded and let go at once).
bool library_loads(const char* name) {
    HMODULE library = LoadLibraryA(name);
    if (library == nullptr) {
        return false;
    }
    FreeLibrary(library);
    return true;
}

std::string system_directory() {
    char buffer[MAX_PATH + 1];
    UINT length = GetSystemDirectoryA(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    std::string folder(buffer, length);
    if (folder.back() != '\\' && folder.back() != '/') {
        folder += '\\';
    }
    return folder;
}

// The caption of the projector's message boxes: the executable's name without its extension.
std::string message_caption() {
    const std::string& path = projector_state().exe_path;
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    if (size_t dot = name.find_last_of('.'); dot != std::string::npos && dot != 0) {
        name.erase(dot);
    }
    return name;
}

int ask(const char* text, UINT type) {
    std::string caption = message_caption();
    return MessageBoxA(projector_state().main_window, text, caption.empty() ? nullptr : caption.c_str(), type);
}

bool extract_support(const appdata::ItemSource& items, const char* name, const std::string& path) {
    return appdata::extract_item(items, appdata::item::support_type, name, path).empty();
}

// The OLE Automation library at 2.20 or newer, or replaced by the carried copy with the user's
// leave. False when provisioning cannot go on.
bool ensure_oleaut(const appdata::ItemSource& items, const std::string& run_folder) {
    if (HMODULE library = LoadLibraryA("OLEAUT32.DLL")) {
        char path[MAX_PATH + 1];
        DWORD length = GetModuleFileNameA(library, path, MAX_PATH + 1);
        uint64_t version = length != 0 && length <= MAX_PATH ? file_version_of(std::string(path, length)) : 0;
        FreeLibrary(library);
        if (static_cast<uint32_t>(version >> 32) >= least_oleaut_version) {
            return true;
        }
    }
    const std::string copy = run_folder + "OLEAUT32.DLL";
    if (!extract_support(items, "$2", copy)) {
        return false;
    }
    if (ask(text::oleaut_too_old, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return false;
    }
    const std::string system = system_directory();
    if (system.empty() || !CopyFileA(copy.c_str(), (system + "OLEAUT32.DLL").c_str(), FALSE)) {
        ask(text::oleaut_update_failed, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

}  // namespace

uint64_t installed_player_version() {
    platform::ComPtr<IDispatch> player;
    if (FAILED(CoCreateInstance(player::clsid_shockwave_flash, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, player.put_void()))) {
        return 0;
    }
    player.reset();
    std::optional<std::string> server = registry_text(HKEY_CLASSES_ROOT, player_server_key, nullptr);
    return server && !server->empty() ? file_version_of(*server) : 0;
}

bool append_to_path(const std::string& folder) {
    // Read whole, however long it has grown: a cut path would lose the folders at its end.
    std::string path;
    DWORD needed = GetEnvironmentVariableA("path", nullptr, 0);
    while (needed != 0) {
        std::vector<char> buffer(needed, '\0');
        DWORD length = GetEnvironmentVariableA("path", buffer.data(), needed);
        if (length < needed) {
            path.assign(buffer.data(), length);
            break;
        }
        needed = length;  // it grew in between
    }
    path += ';';
    path += folder;
    return SetEnvironmentVariableA("path", path.c_str()) != 0;
}

std::string provision_player() {
    if (installed_player_suffices(installed_player_version())) {
        return {};
    }
    const ProjectorState& state = projector_state();
    if (state.items == nullptr || state.run_folder.empty()) {
        return {};
    }
    const appdata::ItemSource& items = *state.items;
    appdata::LoadedItem player = appdata::load_item(items, appdata::item::tarpon_type, appdata::item::player);
    if (!player.ok()) {
        return {};
    }
    if (!library_loads("MSVCRT.DLL") && !extract_support(items, "$1", state.run_folder + "MSVCRT.DLL")) {
        return {};
    }
    if (!ensure_oleaut(items, state.run_folder)) {
        return {};
    }
    const std::string system = system_directory();
    const struct {
        const char* library;
        const char* item;
    } system_libraries[] = {{"URLMON.DLL", "$3"}, {"WININET.DLL", "$4"}};
    for (const auto& entry : system_libraries) {
        if (!library_loads(entry.library) &&
            (system.empty() || !extract_support(items, entry.item, system + entry.library))) {
            return {};
        }
    }
    append_to_path(state.run_folder);
    const std::string module_path = state.run_folder + player_file_name;
    if (!appdata::write_file(module_path, player.bytes)) {
        return {};
    }
    return module_path;
}

}  // namespace tarpon::projector
