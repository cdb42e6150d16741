// The Shortcut class: a shell link file read and edited through the shell's ShellLink object. The
// file is loaded when the object is made; changes reach it only through save.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "host/common/class.h"
#include "host/system/link_file.h"
#include "host/system/system_classes.h"
#include "platform/com.h"
#include "platform/windows.h"

#include <commctrl.h>
#include <shlobj.h>

namespace tarpon::host {

namespace {

using platform::ComPtr;

// Buffer sizes of the texts read from the link, terminator included.
constexpr size_t link_text_size = 4096;      // arguments, description
constexpr size_t link_path_size = MAX_PATH;  // target, working directory, icon file

struct ShortcutRecord {
    platform::ComScope com;  // first: the apartment outlives the link object
    ComPtr<IShellLinkA> link;
    std::string path;   // as given to the constructor
    std::wstring file;  // the same for the file calls; empty when too long
};

IShellLinkA* link_of(const MemberCall& call) { return call.data<ShortcutRecord>().link.get(); }

// A text property read through one of the link's Get calls into a buffer of the given size;
// undefined when the call fails.
template <typename Read>
void read_text(MemberCall& call, size_t size, Read read) {
    std::string buffer(size, '\0');
    if (SUCCEEDED(read(buffer.data(), static_cast<int>(size)))) {
        buffer[size - 1] = '\0';
        *call.result = ansi_string_z(call.engine, buffer.c_str());
    }
}

// Hot keys as text. Writing looks up each part of the text here (without regard to case); a
// word the table does not hold stands for the key of its first character.
struct HotKeyName {
    const char* name;
    BYTE key;        // 0: a modifier only
    BYTE modifiers;  // HOTKEYF_ bits the name adds
};

// clang-format off
const HotKeyName hot_key_names[] = {
    {"CTRL", 0, HOTKEYF_CONTROL},
    {"SHIFT", 0, HOTKEYF_SHIFT},
    {"ALT", 0, HOTKEYF_ALT},
    {"ins", VK_INSERT, HOTKEYF_EXT},
    {"home", VK_HOME, HOTKEYF_EXT},
    {"end", VK_END, HOTKEYF_EXT},
    {"num 0", VK_NUMPAD0, 0}, {"num 1", VK_NUMPAD1, 0}, {"num 2", VK_NUMPAD2, 0}, {"num 3", VK_NUMPAD3, 0},
    {"num 4", VK_NUMPAD4, 0}, {"num 5", VK_NUMPAD5, 0}, {"num 6", VK_NUMPAD6, 0}, {"num 7", VK_NUMPAD7, 0},
    {"num 8", VK_NUMPAD8, 0}, {"num 9", VK_NUMPAD9, 0},
    {"f1", VK_F1, 0},   {"f2", VK_F2, 0},   {"f3", VK_F3, 0},   {"f4", VK_F4, 0},
    {"f5", VK_F5, 0},   {"f6", VK_F6, 0},   {"f7", VK_F7, 0},   {"f8", VK_F8, 0},
    {"f9", VK_F9, 0},   {"f10", VK_F10, 0}, {"f11", VK_F11, 0}, {"f12", VK_F12, 0},
};
// clang-format on

// The hot key a text names: the modifiers of all its parts and the key of the last part that names
// one; 0 unless both a key and a modifier bit are found.
WORD parse_hot_key(const std::string& text) {
    BYTE key = 0;
    BYTE modifiers = 0;
    size_t start = 0;
    for (;;) {
        const size_t plus = text.find('+', start);
        const std::string_view part(text.data() + start,
                                    (plus == std::string::npos ? text.size() : plus) - start);
        const HotKeyName* named =
            std::find_if(std::begin(hot_key_names), std::end(hot_key_names),
                         [&](const HotKeyName& entry) { return equal_ignoring_ascii_case(part, entry.name); });
        if (named != std::end(hot_key_names)) {
            modifiers |= named->modifiers;
            key = named->key != 0 ? named->key : key;
        } else if (!part.empty()) {
            char first = part[0];
            CharUpperBuffA(&first, 1);
            key = static_cast<BYTE>(first);
        }
        if (plus == std::string::npos) {
            break;
        }
        start = plus + 1;
    }
    return key != 0 && modifiers != 0 ? MAKEWORD(key, modifiers) : 0;
}

// The modifiers in the order CTRL, SHIFT, ALT, then the key as the keyboard driver names it.
std::string hot_key_text(WORD hot_key) {
    if (hot_key == 0) {
        return "None";
    }
    const BYTE key = LOBYTE(hot_key);
    const BYTE modifiers = HIBYTE(hot_key);
    std::string text;
    for (const HotKeyName& modifier : {hot_key_names[0], hot_key_names[1], hot_key_names[2]}) {
        if (modifiers & modifier.modifiers) {
            text += modifier.name;
            text += '+';
        }
    }
    LONG key_data = static_cast<LONG>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC) << 16);
    if (modifiers & HOTKEYF_EXT) {
        key_data |= 1 << 24;
    }
    char name[128] = {};
    const int length = GetKeyNameTextA(key_data, name, sizeof name);
    text.append(name, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof name) - 1)));
    return text;
}

void shortcut_construct(MemberCall& call) {
    *call.result = Value::null();
    const StringRecord* path = call.args.string(0);
    if (path == nullptr) {
        return;
    }
    auto record = std::make_unique<ShortcutRecord>();
    record->path = ansi_text(path);
    record->file = link_file_path(path);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                record->link.put_void()))) {
        return;
    }
    // A file that is missing or cannot be read leaves a new, empty link. Resolving never shows a
    // window: it gives up after the shell's default time instead of asking the user.
    if (load_link_file(record->link.get(), record->file)) {
        record->link->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH);
    }
    *call.result = make_instance(call.engine, call.cls, std::move(record));
}

void shortcut_arguments(MemberCall& call) {
    read_text(call, link_text_size,
              [&](char* text, int size) { return link_of(call)->GetArguments(text, size); });
}
void shortcut_set_arguments(MemberCall& call, const Value& value) {
    link_of(call)->SetArguments(ansi_of(call.engine, value).c_str());
}

void shortcut_description(MemberCall& call) {
    read_text(call, link_text_size,
              [&](char* text, int size) { return link_of(call)->GetDescription(text, size); });
}
void shortcut_set_description(MemberCall& call, const Value& value) {
    link_of(call)->SetDescription(ansi_of(call.engine, value).c_str());
}

void shortcut_full_name(MemberCall& call) {
    *call.result = ansi_string(call.engine, call.data<ShortcutRecord>().path);
}

void shortcut_hot_key(MemberCall& call) {
    WORD hot_key = 0;
    if (SUCCEEDED(link_of(call)->GetHotkey(&hot_key))) {
        *call.result = ansi_string(call.engine, hot_key_text(hot_key));
    }
}
void shortcut_set_hot_key(MemberCall& call, const Value& value) {
    if (const WORD hot_key = parse_hot_key(ansi_of(call.engine, value))) {
        link_of(call)->SetHotkey(hot_key);
    }
}

void shortcut_icon_location(MemberCall& call) {
    char file[link_path_size] = {};
    int index = 0;
    if (FAILED(link_of(call)->GetIconLocation(file, sizeof file, &index))) {
        return;
    }
    file[sizeof file - 1] = '\0';
    *call.result = ansi_string(call.engine, std::string(file) + "," + std::to_string(index));
}
// The text up to its first "," names the file, the rest the index (decimal; 0 when absent).
void shortcut_set_icon_location(MemberCall& call, const Value& value) {
    const std::string text = ansi_of(call.engine, value);
    const size_t comma = text.find(',');
    long index = 0;
    if (comma != std::string::npos) {
        index = std::strtol(text.c_str() + comma + 1, nullptr, 10);
        index = std::clamp(index, static_cast<long>(INT_MIN), static_cast<long>(INT_MAX));
    }
    link_of(call)->SetIconLocation(text.substr(0, comma).c_str(), static_cast<int>(index));
}

void shortcut_target_path(MemberCall& call) {
    read_text(call, link_path_size,
              [&](char* text, int size) { return link_of(call)->GetPath(text, size, nullptr, 0); });
}
void shortcut_set_target_path(MemberCall& call, const Value& value) {
    link_of(call)->SetPath(ansi_of(call.engine, value).c_str());
}

void shortcut_window_style(MemberCall& call) {
    int show = 0;
    if (SUCCEEDED(link_of(call)->GetShowCmd(&show))) {
        *call.result = Value::integer(show);
    }
}
void shortcut_set_window_style(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        link_of(call)->SetShowCmd(static_cast<int>(value.payload.integer));
    }
}

void shortcut_working_directory(MemberCall& call) {
    read_text(call, link_path_size,
              [&](char* text, int size) { return link_of(call)->GetWorkingDirectory(text, size); });
}
void shortcut_set_working_directory(MemberCall& call, const Value& value) {
    link_of(call)->SetWorkingDirectory(ansi_of(call.engine, value).c_str());
}

void shortcut_save(MemberCall& call) {
    const ShortcutRecord& record = call.data<ShortcutRecord>();
    save_link_file(record.link.get(), record.file);
}

const Member shortcut_members[] = {
    property("arguments", shortcut_arguments, shortcut_set_arguments, Needs::Instance),
    property("description", shortcut_description, shortcut_set_description, Needs::Instance),
    property("fullName", shortcut_full_name, nullptr, Needs::Instance),
    property("hotKey", shortcut_hot_key, shortcut_set_hot_key, Needs::Instance),
    property("iconLocation", shortcut_icon_location, shortcut_set_icon_location, Needs::Instance),
    property("targetPath", shortcut_target_path, shortcut_set_target_path, Needs::Instance),
    property("windowStyle", shortcut_window_style, shortcut_set_window_style, Needs::Instance),
    property("workingDirectory", shortcut_working_directory, shortcut_set_working_directory, Needs::Instance),
    method("save", shortcut_save, Needs::Instance),
};

const ClassDeclaration shortcut_class = {
    .name = "Shortcut",
    .class_text = "[object Shortcut]",
    .members = shortcut_members,
    .construct = shortcut_construct,
    .destroy = delete_instance<ShortcutRecord>,
};

}  // namespace

void register_shortcut_class(ScriptEngine* engine) { declare_class(engine, shortcut_class); }

}  // namespace tarpon::host
