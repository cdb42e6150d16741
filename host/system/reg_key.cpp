// The RegKey class: an open registry key, its subkeys and its values.
#include <algorithm>
#include <limits>
#include <memory>
#include <string>

#include "engine/values/array.h"
#include "host/common/class.h"
#include "host/common/file_time.h"
#include "host/common/system_error.h"
#include "host/system/reg_value.h"
#include "host/system/registry_path.h"
#include "host/system/system_classes.h"
#include "platform/owners.h"

namespace tarpon::host {

namespace {

struct RegKeyRecord {
    HKEY key = nullptr;           // what the calls use
    platform::RegistryKey owned;  // holds `key` unless it is a predefined root key
    bool new_created = false;     // made by `create`, not merely opened
};

constexpr REGSAM all_access = KEY_ALL_ACCESS;

// The access rights `create` takes by index.
const REGSAM create_access[] = {
    KEY_ALL_ACCESS, KEY_CREATE_LINK, KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS, KEY_EXECUTE,
    KEY_NOTIFY,     KEY_QUERY_VALUE, KEY_READ,           KEY_SET_VALUE,          KEY_WRITE,
};

// The room a name of `units` UTF-16 units may need in the ANSI code page (up to three bytes a unit
// in UTF-8), with its terminator.
DWORD ansi_room(DWORD units) { return units > 0x10000 ? 3 * 0x10000 + 1 : 3 * units + 1; }

// A registry call's status: false, with the system's text for it stored, when the call failed.
bool succeeded(ScriptEngine* engine, LONG status) {
    if (status == ERROR_SUCCESS) {
        return true;
    }
    store_system_error(engine, static_cast<uint32_t>(status));
    return false;
}

HKEY own_key(const MemberCall& call) { return call.data<RegKeyRecord>().key; }

// The key a path's subkey lies under: its root, else the object's own key; null when it has none.
HKEY base_key(const MemberCall& call, const KeyPath& path) {
    if (path.root != nullptr) {
        return path.root;
    }
    return call.instance != nullptr ? own_key(call) : nullptr;
}

// A new RegKey object for a key just opened. The registry hands back a predefined root itself when
// the subkey path is empty; such a key is used but never closed.
Value make_reg_key(const MemberCall& call, HKEY key, bool created) {
    auto record = std::make_unique<RegKeyRecord>();
    record->key = key;
    if (!is_predefined_key(key)) {
        record->owned.reset(key);
    }
    record->new_created = created;
    return make_instance(call.engine, call.cls, std::move(record));
}

// The first argument as a key path (String, required) and the key it lies under; false when there
// is no string or no key to start from.
bool key_path_argument(MemberCall& call, KeyPath* path, HKEY* base) {
    *call.result = Value::null();
    const StringRecord* text = call.args.string(0);
    if (text == nullptr) {
        return false;
    }
    *path = split_key_path(ansi_text(text));
    *base = base_key(call, *path);
    return *base != nullptr;
}

// The constructor and `open`: the path, then the access mask, passed on as it is.
void open_key(MemberCall& call) {
    KeyPath path;
    HKEY base = nullptr;
    if (!key_path_argument(call, &path, &base)) {
        return;
    }
    const std::optional<int64_t> mask = call.args.integer(1);
    const REGSAM access = mask ? static_cast<REGSAM>(*mask) : all_access;
    HKEY key = nullptr;
    if (succeeded(call.engine, RegOpenKeyExA(base, path.subkey.c_str(), 0, access, &key))) {
        *call.result = make_reg_key(call, key, false);
    }
}

void reg_key_construct(MemberCall& call) { open_key(call); }

void create(MemberCall& call) {
    KeyPath path;
    HKEY base = nullptr;
    if (!key_path_argument(call, &path, &base)) {
        return;
    }
    std::string key_class = call.args.is(1, Tag::String) ? ansi_text(call.args.string(1)) : "REG_SZ";
    const std::optional<int64_t> index = call.args.integer(2);
    const REGSAM access = index && *index >= 0 && *index < static_cast<int64_t>(std::size(create_access))
                              ? create_access[*index]
                              : all_access;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (succeeded(call.engine,
                  RegCreateKeyExA(base, path.subkey.c_str(), 0, key_class.data(), REG_OPTION_NON_VOLATILE,
                                  access, nullptr, &key, &disposition))) {
        *call.result = make_reg_key(call, key, disposition == REG_CREATED_NEW_KEY);
    }
}

void delete_key(MemberCall& call) {
    KeyPath path;
    HKEY base = nullptr;
    const bool deleted =
        key_path_argument(call, &path, &base) && succeeded(call.engine, RegDeleteKeyA(base, path.subkey.c_str()));
    *call.result = Value::boolean(deleted);
}

void delete_value(MemberCall& call) {
    const std::optional<std::string> name = ansi_argument(call.args, 0);
    *call.result =
        Value::boolean(name && succeeded(call.engine, RegDeleteValueA(own_key(call), name->c_str())));
}

void get_value(MemberCall& call) {
    *call.result = Value::null();
    RegValueRecord value;
    value.name = ansi_argument(call.args, 0);
    const char* name = value.name ? value.name->c_str() : nullptr;
    const HKEY key = own_key(call);
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    std::string data;
    // The data may grow between the two queries: then it is measured again, a few times at most.
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
        data.resize(size);
        DWORD got = size;
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (status == ERROR_SUCCESS) {
            data.resize(std::min(got, size));
            break;
        }
        if (status == ERROR_MORE_DATA) {
            size = std::max(got, size * 2 + 16);
            status = ERROR_SUCCESS;
        }
    }
    if (!succeeded(call.engine, status)) {
        return;
    }
    value.type = type;
    value.data = std::move(data);
    *call.result = make_reg_value(call.engine, std::move(value));
}

// One value of the key by enumeration index, in buffers as large as the key's longest name and
// data; when the value changed after the key was measured, in larger ones.
LONG enumerate_value(HKEY key, DWORD index, DWORD name_room, DWORD data_room, RegValueRecord& value) {
    for (int attempt = 0;; ++attempt) {
        std::string name(name_room, '\0');
        std::string data(data_room, '\0');
        DWORD name_size = name_room;
        DWORD data_size = data_room;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, name.data(), &name_size, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &data_size);
        if (status == ERROR_SUCCESS) {
            name.resize(std::min(name_size, name_room));
            data.resize(std::min(data_size, data_room));
            value.name = std::move(name);
            value.type = type;
            value.data = std::move(data);
            return status;
        }
        if (status != ERROR_MORE_DATA || attempt == 3) {
            return status;
        }
        name_room = ansi_room(16383);  // the longest value name the registry allows
        data_room = std::max(data_size, data_room * 2 + 16);
    }
}

void get_values(MemberCall& call) {
    const HKEY key = own_key(call);
    DWORD count = 0;
    DWORD longest_name = 0;
    DWORD longest_data = 0;
    const LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                         &longest_name, &longest_data, nullptr, nullptr);
    if (!succeeded(call.engine, status)) {
        *call.result = Value::array(array_create(call.engine, 0));
        return;
    }
    ArrayRecord* array = array_create(call.engine, count);
    *call.result = Value::array(array);
    for (DWORD i = 0; i < count; ++i) {
        RegValueRecord value;
        if (succeeded(call.engine,
                      enumerate_value(key, i, ansi_room(longest_name), longest_data + 1, value))) {
            array_insert(call.engine, array, make_reg_value(call.engine, std::move(value)), i);
        }
    }
}

void get_subkey_names(MemberCall& call) {
    const HKEY key = own_key(call);
    DWORD count = 0;
    DWORD longest = 0;
    const LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr);
    if (!succeeded(call.engine, status)) {
        *call.result = Value::array(array_create(call.engine, 0));
        return;
    }
    ArrayRecord* array = array_create(call.engine, count);
    *call.result = Value::array(array);
    // Names of up to 260 characters always fit; a longer one (the key says how long) does too.
    const DWORD room = std::max<DWORD>(261, ansi_room(longest));
    std::string name(room, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD size = room;
        if (succeeded(call.engine,
                      RegEnumKeyExA(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr))) {
            array_insert(call.engine, array, ansi_string(call.engine, std::string_view(name).substr(0, size)),
                         i);
        }
    }
}

void write(MemberCall& call) {
    *call.result = Value::boolean(false);
    const RegValueRecord* value = instance_of<RegValueRecord>(call.args[0], reg_value_class);
    if (value == nullptr || !value->data) {
        return;
    }
    std::string data = *value->data;
    if (value->type == REG_MULTI_SZ) {
        terminate_string_list(data);
    } else if ((value->type == REG_SZ || value->type == REG_EXPAND_SZ) &&
               (data.empty() || data.back() != '\0')) {
        // Text values are stored with their terminator, as every reader of the registry expects.
        data += '\0';
    }
    if (data.size() > std::numeric_limits<DWORD>::max()) {
        return;
    }
    const char* name = value->name ? value->name->c_str() : nullptr;
    const LONG status =
        RegSetValueExA(own_key(call), name, 0, value->type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    *call.result = Value::boolean(succeeded(call.engine, status));
}

void clone(MemberCall& call) {
    *call.result = Value::null();
    HKEY key = nullptr;
    if (succeeded(call.engine, RegOpenKeyExA(own_key(call), "", 0, all_access, &key))) {
        *call.result = make_reg_key(call, key, false);
    }
}

void get_class_name(MemberCall& call) {
    const HKEY key = own_key(call);
    DWORD length = 0;
    LONG status = RegQueryInfoKeyA(key, nullptr, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
    DWORD room = ansi_room(length);
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 3; ++attempt) {
        std::string text(room, '\0');
        DWORD size = room;
        status = RegQueryInfoKeyA(key, text.data(), &size, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            *call.result = ansi_string(call.engine, std::string_view(text).substr(0, std::min(size, room)));
            return;
        }
        if (status == ERROR_MORE_DATA) {
            room = room * 2;
            status = ERROR_SUCCESS;
        }
    }
    succeeded(call.engine, status);
}

void get_new_created(MemberCall& call) {
    *call.result = Value::boolean(call.data<RegKeyRecord>().new_created);
}

void get_last_write_time(MemberCall& call) {
    FILETIME written{};
    const LONG status = RegQueryInfoKeyA(own_key(call), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, &written);
    if (!succeeded(call.engine, status)) {
        *call.result = Value::integer(0);
        return;
    }
    const uint64_t ticks = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    *call.result = Value::integer(file_time_to_time_value(ticks));
}

const Member members[] = {
    method("open", open_key),
    method("create", create),
    method("deleteKey", delete_key),
    method("deleteValue", delete_value, Needs::Instance),
    method("getValue", get_value, Needs::Instance),
    method("getValues", get_values, Needs::Instance),
    method("getSubkeyNames", get_subkey_names, Needs::Instance),
    method("write", write, Needs::Instance),
    method("clone", clone, Needs::Instance),
    property("className", get_class_name, nullptr, Needs::Instance),
    property("newCreated", get_new_created, nullptr, Needs::Instance),
    property("lastWriteTime", get_last_write_time, nullptr, Needs::Instance),
};

const ClassDeclaration declaration = {
    .name = "RegKey",
    .class_text = "[object RegKey]",
    .members = members,
    .construct = reg_key_construct,
    .destroy = delete_instance<RegKeyRecord>,
};

}  // namespace

void register_reg_key_class(ScriptEngine* engine) { declare_class(engine, declaration); }

}  // namespace tarpon::host
