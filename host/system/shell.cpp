// The Shell class: starting programs, the shell's verbs and folders, recent documents, the recycle
// bin, the process environment, the desktop wallpaper and version resources. It has no state of
// its own: the class object and objects made with `new Shell()` behave alike.
#include <optional>
#include <string>
#include <vector>

#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/property_table.h"
#include "host/common/class.h"
#include "host/common/system_error.h"
#include "host/system/environment.h"
#include "host/system/special_folders.h"
#include "host/system/system_classes.h"
#include "host/system/version_info.h"
#include "host/ui/window.h"
#include "platform/owners.h"
#include "platform/windows.h"

#include <shellapi.h>
#include <shlobj.h>

namespace tarpon::host {

namespace {

using platform::KernelHandle;

// How long run waits for a new program to be ready for input before it looks for its window.
constexpr DWORD idle_wait_ms = 10000;

// The owner of the windows the shell shows: the projector's main window where there is one. This
// host has none, so those calls are made without an owner.
HWND owner_window() { return nullptr; }

struct StartedProcess {
    KernelHandle process;
    KernelHandle thread;
    DWORD thread_id = 0;
    DWORD error = ERROR_SUCCESS;  // why the start failed; the handles are empty then
};

// Starts the command line with the start options of run and runAndWait: a second argument that is
// an Integer is the show state; with four arguments or more, Integers third and fourth are the
// position; with six or more, Integers fifth and sixth are the size.
StartedProcess start_process(const Arguments& args, std::string command_line) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (std::optional<int64_t> show = args.integer(1)) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(*show);
    }
    if (args.count() >= 4 && args.is(2, Tag::Integer) && args.is(3, Tag::Integer)) {
        startup.dwFlags |= STARTF_USEPOSITION;
        startup.dwX = static_cast<DWORD>(*args.integer(2));
        startup.dwY = static_cast<DWORD>(*args.integer(3));
    }
    if (args.count() >= 6 && args.is(4, Tag::Integer) && args.is(5, Tag::Integer)) {
        startup.dwFlags |= STARTF_USESIZE;
        startup.dwXSize = static_cast<DWORD>(*args.integer(4));
        startup.dwYSize = static_cast<DWORD>(*args.integer(5));
    }
    PROCESS_INFORMATION created = {};
    StartedProcess started;
    // CreateProcess may write into the command line: it gets a copy of its own.
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &created)) {
        started.error = GetLastError();
        return started;
    }
    started.process.reset(created.hProcess);
    started.thread.reset(created.hThread);
    started.thread_id = created.dwThreadId;
    return started;
}

BOOL CALLBACK take_first_window(HWND window, LPARAM found) {
    if (!IsWindow(window)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND first_window_of_thread(DWORD thread_id) {
    HWND found = nullptr;
    EnumThreadWindows(thread_id, take_first_window, reinterpret_cast<LPARAM>(&found));
    return found;
}

void shell_run(MemberCall& call) {
    std::optional<std::string> command_line = ansi_argument(call.args, 0);
    if (!command_line) {
        return;
    }
    StartedProcess started = start_process(call.args, std::move(*command_line));
    if (!started.process) {
        store_system_error(call.engine, started.error);
        *call.result = Value::null();
        return;
    }
    WaitForInputIdle(started.process.get(), idle_wait_ms);
    HWND window = first_window_of_thread(started.thread_id);
    *call.result = window != nullptr ? make_window_object(call.engine, window) : Value::null();
}

void shell_run_and_wait(MemberCall& call) {
    std::optional<std::string> command_line = ansi_argument(call.args, 0);
    if (!command_line) {
        return;
    }
    StartedProcess started = start_process(call.args, std::move(*command_line));
    if (started.process) {
        WaitForSingleObject(started.process.get(), INFINITE);
    }
}

// open, explore and print: the verb is the member's context.
void shell_verb(MemberCall& call) {
    std::optional<std::string> file = ansi_argument(call.args, 0);
    if (!file) {
        return;
    }
    std::optional<std::string> folder = ansi_argument(call.args, 1);
    ShellExecuteA(owner_window(), static_cast<const char*>(call.member->context), file->c_str(), nullptr,
                  folder ? folder->c_str() : nullptr, SW_SHOWNORMAL);
}

void shell_find_executable(MemberCall& call) {
    *call.result = Value::null();
    std::optional<std::string> document = ansi_argument(call.args, 0);
    if (!document) {
        return;
    }
    char program[MAX_PATH] = {};  // the size the call requires; it writes no more
    const auto answer = reinterpret_cast<INT_PTR>(FindExecutableA(document->c_str(), nullptr, program));
    if (answer > 32) {
        program[MAX_PATH - 1] = '\0';
        *call.result = ansi_string_z(call.engine, program);
    }
}

void shell_get_special_folder(MemberCall& call) {
    std::optional<std::string> name = ansi_argument(call.args, 0);
    if (!name) {
        return;
    }
    std::optional<std::string> path = special_folder_path(*name);
    *call.result = path ? ansi_string(call.engine, *path) : Value::null();
}

void shell_add_to_recent_docs(MemberCall& call) {
    std::optional<std::string> path = ansi_argument(call.args, 0);
    if (!path) {
        return;
    }
    SHAddToRecentDocs(SHARD_PATHA, path->c_str());
}

void shell_clear_recent_docs(MemberCall&) { SHAddToRecentDocs(SHARD_PATHA, nullptr); }

// The shell asks the user to confirm; the function is looked up when called, as not every shell
// library has it.
void shell_empty_recycle_bin(MemberCall&) {
    platform::Library shell(LoadLibraryA("shell32.dll"));
    if (!shell) {
        return;
    }
    using EmptyRecycleBin = HRESULT(WINAPI*)(HWND, LPCSTR, DWORD);
    FARPROC found = GetProcAddress(shell.get(), "SHEmptyRecycleBinA");
    if (found == nullptr) {
        return;
    }
    auto empty_recycle_bin = reinterpret_cast<EmptyRecycleBin>(reinterpret_cast<void (*)()>(found));
    empty_recycle_bin(owner_window(), nullptr, 0);
}

void shell_get_environment_strings(MemberCall& call) {
    std::optional<std::vector<std::string>> names = environment_names();
    if (!names) {
        *call.result = Value::null();
        return;
    }
    *call.result = ansi_string_array(call.engine, *names);
}

void shell_get_environment_variable(MemberCall& call) {
    std::optional<std::string> name = ansi_argument(call.args, 0);
    if (!name) {
        return;
    }
    std::optional<std::string> value = environment_variable(*name);
    *call.result = value ? ansi_string(call.engine, *value) : Value::null();
}

void shell_set_environment_variable(MemberCall& call) {
    if (call.args.count() < 2) {
        *call.result = Value::boolean(false);
        return;
    }
    const std::string name = ansi_of(call.engine, call.args[0]);
    const std::string value = ansi_of(call.engine, call.args[1]);
    *call.result = Value::boolean(SetEnvironmentVariableA(name.c_str(), value.c_str()) != FALSE);
}

void shell_del_environment_variable(MemberCall& call) {
    std::optional<std::string> name = ansi_argument(call.args, 0);
    *call.result = Value::boolean(name && SetEnvironmentVariableA(name->c_str(), nullptr) != FALSE);
}

void shell_expand_environment_strings(MemberCall& call) {
    std::optional<std::string> text = ansi_argument(call.args, 0);
    if (!text) {
        return;
    }
    std::optional<std::string> expanded = expand_environment_strings(*text);
    *call.result = expanded ? ansi_string(call.engine, *expanded) : Value::null();
}

// The flags default to true: one argument both writes the profile and tells every window.
void shell_set_desktop_wallpaper(MemberCall& call) {
    std::optional<std::string> image = ansi_argument(call.args, 0);
    if (!image) {
        return;
    }
    UINT flags = 0;
    if (!call.args.has(1) || to_boolean(call.args[1])) {
        flags |= SPIF_UPDATEINIFILE;
    }
    if (!call.args.has(2) || to_boolean(call.args[2])) {
        flags |= SPIF_SENDWININICHANGE;
    }
    *call.result =
        Value::boolean(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, image->data(), flags) != FALSE);
}

void shell_setting_change(MemberCall&) {
    broadcast_setting_change();
}

void put(ScriptEngine* engine, PropertyTable* object, const char* name, const Value& value) {
    table_put(engine, object, intern(engine, name), value);
}

void shell_get_file_version_info(MemberCall& call) {
    std::optional<std::string> path = ansi_argument(call.args, 0);
    if (!path) {
        return;
    }
    std::optional<FileVersionInfo> info = read_file_version_info(*path);
    if (!info) {
        *call.result = Value::null();
        return;
    }
    ScriptEngine* engine = call.engine;
    PropertyTable* object = new_table(engine);
    if (info->file_version) {
        put(engine, object, "fileVersionNum", Value::integer(static_cast<int64_t>(*info->file_version)));
        put(engine, object, "productVersionNum",
            Value::integer(static_cast<int64_t>(*info->product_version)));
    }
    if (info->translation) {
        put(engine, object, "translation", Value::integer(*info->translation));
        for (size_t i = 0; i < version_string_names.size(); ++i) {
            put(engine, object, version_string_names[i].property, ansi_string(engine, info->strings[i]));
        }
    }
    *call.result = Value::object(object);
}

const Member shell_members[] = {
    method("run", shell_run),
    method("runAndWait", shell_run_and_wait),
    method("open", shell_verb, Needs::Nothing, "open"),
    method("explore", shell_verb, Needs::Nothing, "explore"),
    method("print", shell_verb, Needs::Nothing, "print"),
    method("findExecutable", shell_find_executable),
    method("getSpecialFolder", shell_get_special_folder),
    method("addToRecentDocs", shell_add_to_recent_docs),
    method("clearRecentDocs", shell_clear_recent_docs),
    method("emptyRecycleBin", shell_empty_recycle_bin),
    method("getEnvironmentStrings", shell_get_environment_strings),
    method("getEnvironmentVariable", shell_get_environment_variable),
    method("setEnvironmentVariable", shell_set_environment_variable),
    method("delEnvironmentVariable", shell_del_environment_variable),
    method("expandEnvironmentStrings", shell_expand_environment_strings),
    method("setDesktopWallpaper", shell_set_desktop_wallpaper),
    method("settingChange", shell_setting_change),
    method("getFileVersionInfo", shell_get_file_version_info),
};

const ClassDeclaration shell_class = {
    .name = "Shell",
    .class_text = "[object Shell]",
    .members = shell_members,
    .construct = construct_stateless,
};

}  // namespace

void register_shell_class(ScriptEngine* engine) { declare_class(engine, shell_class); }

}  // namespace tarpon::host
