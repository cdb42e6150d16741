#include "projector/bridge/application_functions.h"

#include <optional>
#include <string>
#include <vector>

#include "engine/quill.h"
#include "host/common/class.h"
#include "host/host_classes.h"
#include "host/ui/message_loop.h"
#include "host/ui/window.h"
#include "projector/app/projector_state.h"
#include "projector/bridge/bridge.h"
#include "projector/window/window_rules.h"

namespace tarpon::projector {

namespace {

using quill::ClassDeclaration;
using quill::MemberCall;
using quill::Value;

// The longest mask name the settings record holds.
constexpr size_t mask_name_limit = 259;

// The running executable's full path, or nothing when the system cannot say.
std::optional<std::string> module_path() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        if (buffer.size() >= 32768) {
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The profile's key for a section: Software\<registry key>\<profile name>\<section> below the
// current user. Nothing without an identity or a section.
std::optional<std::string> profile_key(const appdata::Identity& identity, const std::string& section) {
    if (identity.registry_key.empty() || section.empty()) {
        return std::nullopt;
    }
    std::string key = "Software\\" + identity.registry_key;
    if (!identity.profile_name.empty()) {
        key += "\\" + identity.profile_name;
    }
    return key + "\\" + section;
}

std::optional<std::string> read_profile_string(const std::string& key_path, const std::string& entry) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::string> text;
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        LONG status = RegQueryValueExA(key, entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                       &size);
        if (status == ERROR_MORE_DATA) {
            // The value may grow between the two calls: ask again with the size it gave.
            buffer.resize(static_cast<size_t>(size) + 1);
            continue;
        }
        if (status == ERROR_SUCCESS && type == REG_SZ) {
            // Stored text need not be terminated; it ends at its first NUL or at its size.
            std::string value(buffer.data(), size);
            text = value.substr(0, value.find('\0'));
        }
        break;
    }
    RegCloseKey(key);
    return text;
}

void write_profile_string(const std::string& key_path, const std::string& entry, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    std::string text = value.substr(0, value.find('\0'));
    RegSetValueExA(key, entry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

// {==== The functions

void get_main_wnd(MemberCall& call) {
    HWND window = projector_state().main_window;
    *call.result = window != nullptr ? host::make_window_object(call.engine, window) : Value::null();
}

void get_app_dir(MemberCall& call) {
    std::optional<std::string> path = module_path();
    if (!path) {
        *call.result = Value::undefined();
        return;
    }
    // The drive and directory: everything up to the last separator (or the drive itself).
    size_t end = path->find_last_of("\\/");
    std::string folder;
    if (end != std::string::npos) {
        folder = path->substr(0, end + 1);
    } else if (path->size() >= 2 && (*path)[1] == ':') {
        folder = path->substr(0, 2);
    }
    if (!folder.empty() && folder.back() == '/') {
        folder.back() = '\\';
    } else if (folder.empty() || folder.back() != '\\') {
        folder += '\\';
    }
    *call.result = host::ansi_string(call.engine, folder);
}

void get_exe_name(MemberCall& call) {
    std::optional<std::string> path = module_path();
    *call.result = path ? host::ansi_string(call.engine, *path) : Value::undefined();
}

void get_movies(MemberCall& call) {
    std::vector<std::string> paths;
    for (const appdata::MovieNode& node : projector_state().movies.movies) {
        if (node.kind == appdata::movie_kind::movie) {
            paths.push_back(node.path);
        }
    }
    *call.result = host::ansi_string_array(call.engine, paths);
}

void set_windowless(MemberCall& call) {
    ProjectorState& state = projector_state();
    HWND window = state.main_window;
    *call.result = Value::undefined();
    if (std::optional<int64_t> mode = call.args.integer(0)) {
        if (*mode == 0) {
            state.settings.shape_mode = 1;
        } else if (*mode == 1) {
            state.settings.shape_mode = 3;
        } else {
            state.settings.shape_mode = 0;
        }
        if (window != nullptr) {
            // The plain rectangle has no region; the other two modes build theirs when painting.
            if (state.settings.shape_mode == 0) {
                SetWindowRgn(window, nullptr, TRUE);
            }
            redraw_for_shape(window);
        }
        return;
    }
    if (std::optional<std::string> mask = host::ansi_argument(call.args, 0)) {
        state.settings.mask = mask->substr(0, mask_name_limit);
        state.settings.shape_mode = 2;
        if (window != nullptr) {
            PostMessageA(window, message::reshape, 0, 0);
        }
        return;
    }
    if (window != nullptr) {
        SetWindowRgn(window, nullptr, TRUE);
    }
}

void read_profile(MemberCall& call) {
    *call.result = Value::undefined();
    std::optional<std::string> section = host::ansi_argument(call.args, 0);
    std::optional<std::string> entry = host::ansi_argument(call.args, 1);
    if (!section || !entry) {
        return;
    }
    std::optional<std::string> key = profile_key(projector_state().identity, *section);
    if (!key) {
        return;
    }
    std::optional<std::string> text = read_profile_string(*key, *entry);
    if (text && !text->empty()) {
        *call.result = host::ansi_string(call.engine, *text);
    }
}

void write_profile(MemberCall& call) {
    *call.result = Value::undefined();
    std::optional<std::string> section = host::ansi_argument(call.args, 0);
    std::optional<std::string> entry = host::ansi_argument(call.args, 1);
    if (!section || !entry || !call.args.has(2)) {
        return;
    }
    std::optional<std::string> key = profile_key(projector_state().identity, *section);
    if (!key) {
        return;
    }
    std::string value = host::ansi_of(call.engine, call.args.cell(2));
    write_profile_string(*key, *entry, value);
}

void get_additional_file(MemberCall& call) {
    *call.result = Value::null();
    std::string path = call.args.has(0) ? host::ansi_of(call.engine, call.args.cell(0)) : std::string();
    appdata::AdditionalFiles* files = projector_state().additional_files.get();
    if (files == nullptr) {
        return;
    }
    std::string found = files->get(path);
    if (!found.empty()) {
        *call.result = host::ansi_string(call.engine, found);
    }
}

void invoke(MemberCall& call) {
    *call.result = Value::undefined();
    std::optional<std::string> name = host::ansi_argument(call.args, 0);
    Bridge* bridge = projector_state().bridge;
    if (!name || bridge == nullptr) {
        return;
    }
    bridge->run_script(*name);
}

// }====

constexpr ClassDeclaration application_function(const char* name, quill::MemberHandler call) {
    return ClassDeclaration{.name = name, .call = call, .fixed_properties = true};
}

const ClassDeclaration functions_before_loop[] = {
    application_function("getMainWnd", get_main_wnd),
    application_function("getAppDir", get_app_dir),
    application_function("getMovies", get_movies),
    application_function("setWindowless", set_windowless),
    application_function("readProfile", read_profile),
    application_function("writeProfile", write_profile),
};

const ClassDeclaration functions_after_loop[] = {
    application_function("getAdditionalFile", get_additional_file),
    application_function("getExeName", get_exe_name),
    application_function("invoke", invoke),
};

}  // namespace

void register_application_functions(quill::ScriptEngine* engine) {
    for (const ClassDeclaration& function : functions_before_loop) {
        quill::declare_class(engine, function);
    }
    host::register_message_loop_functions(engine);
    for (const ClassDeclaration& function : functions_after_loop) {
        quill::declare_class(engine, function);
    }
}

std::span<const quill::ClassRegistration> projector_classes() {
    static const std::vector<quill::ClassRegistration> classes = [] {
        std::vector<quill::ClassRegistration> list;
        for (const quill::ClassRegistration& registration : host::host_classes()) {
            if (registration.slot == quill::ClassSlot::ApplicationGlobals) {
                list.push_back({registration.slot, register_application_functions});
            } else {
                list.push_back(registration);
            }
        }
        list.push_back({quill::ClassSlot::CreateControl, register_create_control});
        return list;
    }();
    return classes;
}

}  // namespace tarpon::projector
