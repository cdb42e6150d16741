// The Ini class: one profile (".ini") file, addressed by the path the profile functions are given.
#include <memory>
#include <string>

#include "engine/values/array.h"
#include "host/common/class.h"
#include "host/system/reg_value.h"
#include "host/system/system_classes.h"
#include "platform/windows.h"

namespace tarpon::host {

namespace {

struct IniRecord {
    std::string path;
};

// Profile data is read into a buffer that starts at this size and grows by it.
constexpr DWORD read_step = 1024;
// Growth stops here, so that a profile function that keeps filling the buffer cannot make the read
// go on without end; longer data is cut.
constexpr DWORD read_limit = 64u << 20;

// Reads with a growing buffer while `read(buffer, size)` fills it: while the length it returns is
// at least the size minus `slack` (1 for a string, whose terminator takes the last byte; 2 for a
// list, which ends in two). The text returned is as long as the length read.
template <typename Read>
std::string read_growing(DWORD slack, Read&& read) {
    std::string buffer;
    for (DWORD size = read_step;; size += read_step) {
        buffer.assign(size, '\0');
        const DWORD length = read(buffer.data(), size);
        if (length + slack < size || size + read_step > read_limit) {
            buffer.resize(std::min(length, size));
            return buffer;
        }
    }
}

// A list of NUL-terminated strings as an Array.
Value string_list(ScriptEngine* engine, std::string_view list) {
    return ansi_string_array(engine, split_string_list(list));
}

const char* path_of(const MemberCall& call) { return call.data<IniRecord>().path.c_str(); }

void ini_construct(MemberCall& call) {
    const std::optional<std::string> path = ansi_argument(call.args, 0);
    if (!path) {
        *call.result = Value::null();
        return;
    }
    *call.result = make_instance(call.engine, call.cls, std::make_unique<IniRecord>(IniRecord{*path}));
}

void get_int(MemberCall& call) {
    const std::optional<std::string> section = ansi_argument(call.args, 0);
    const std::optional<std::string> key = ansi_argument(call.args, 1);
    if (!section || !key) {
        return;
    }
    // The profile function answers in an unsigned type; a negative number in the file comes back
    // as its 32-bit pattern.
    const UINT value = GetPrivateProfileIntA(section->c_str(), key->c_str(), 0, path_of(call));
    *call.result = Value::integer(static_cast<int32_t>(value));
}

void get_string(MemberCall& call) {
    const std::optional<std::string> section = ansi_argument(call.args, 0);
    const std::optional<std::string> key = ansi_argument(call.args, 1);
    if (!section || !key) {
        return;
    }
    const std::string text = read_growing(1, [&](char* buffer, DWORD size) {
        return GetPrivateProfileStringA(section->c_str(), key->c_str(), "key not found", buffer, size,
                                        path_of(call));
    });
    *call.result = ansi_string(call.engine, text);
}

void get_section(MemberCall& call) {
    const std::optional<std::string> section = ansi_argument(call.args, 0);
    if (!section) {
        return;
    }
    const std::string lines = read_growing(2, [&](char* buffer, DWORD size) {
        return GetPrivateProfileSectionA(section->c_str(), buffer, size, path_of(call));
    });
    *call.result = string_list(call.engine, lines);
}

void get_section_names(MemberCall& call) {
    const std::string names = read_growing(2, [&](char* buffer, DWORD size) {
        return GetPrivateProfileSectionNamesA(buffer, size, path_of(call));
    });
    *call.result = string_list(call.engine, names);
}

void write_string(MemberCall& call) {
    const std::optional<std::string> section = ansi_argument(call.args, 0);
    const std::optional<std::string> key = ansi_argument(call.args, 1);
    const std::optional<std::string> value = ansi_argument(call.args, 2);
    if (section && key && value) {
        WritePrivateProfileStringA(section->c_str(), key->c_str(), value->c_str(), path_of(call));
    }
}

void write_section(MemberCall& call) {
    const std::optional<std::string> section = ansi_argument(call.args, 0);
    ArrayRecord* lines = call.args.array(1);
    if (!section || lines == nullptr) {
        return;
    }
    std::string list = array_data(lines);
    terminate_string_list(list);
    WritePrivateProfileSectionA(section->c_str(), list.c_str(), path_of(call));
}

void delete_section(MemberCall& call) {
    const std::optional<std::string> section = ansi_argument(call.args, 0);
    if (section && call.args.count() == 1) {
        WritePrivateProfileStringA(section->c_str(), nullptr, nullptr, path_of(call));
    }
}

void delete_key(MemberCall& call) {
    const std::optional<std::string> section = ansi_argument(call.args, 0);
    const std::optional<std::string> key = ansi_argument(call.args, 1);
    if (section && key) {
        WritePrivateProfileStringA(section->c_str(), key->c_str(), nullptr, path_of(call));
    }
}

const Member members[] = {
    method("getInt", get_int, Needs::Instance),
    method("getString", get_string, Needs::Instance),
    method("getSection", get_section, Needs::Instance),
    method("getSectionNames", get_section_names, Needs::Instance),
    method("writeString", write_string, Needs::Instance),
    method("writeSection", write_section, Needs::Instance),
    method("deleteSection", delete_section, Needs::Instance),
    method("deleteKey", delete_key, Needs::Instance),
};

const ClassDeclaration declaration = {
    .name = "Ini",
    .class_text = "[object INI]",
    .members = members,
    .construct = ini_construct,
    .destroy = delete_instance<IniRecord>,
};

}  // namespace

void register_ini_class(ScriptEngine* engine) { declare_class(engine, declaration); }

}  // namespace tarpon::host
