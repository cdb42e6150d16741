// The RegValue class: one named registry value with its type and data, detached from any key.
#include "host/system/reg_value.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "engine/values/array.h"
#include "host/common/class.h"
#include "host/system/system_classes.h"

namespace tarpon::host {

namespace {

// The registry's type codes the data conversions tell apart.
constexpr uint32_t type_none = 0;
constexpr uint32_t type_binary = 3;
constexpr uint32_t type_dword = 4;
constexpr uint32_t type_dword_big_endian = 5;
constexpr uint32_t type_link = 6;
constexpr uint32_t type_multi_sz = 7;
constexpr uint32_t type_highest_known = 8;  // REG_RESOURCE_LIST

void append_integer(std::string& data, int64_t integer) {
    const auto low = static_cast<uint32_t>(integer);
    for (int shift = 0; shift < 32; shift += 8) {
        data += static_cast<char>((low >> shift) & 0xFF);
    }
}

void append_number(std::string& data, double number) {
    char bytes[sizeof number];
    std::memcpy(bytes, &number, sizeof number);
    data.append(bytes, sizeof bytes);
}

// The first four bytes, least significant first.
uint32_t low_dword(std::string_view data) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(data[static_cast<size_t>(i)]);
    }
    return value;
}

void reg_value_construct(MemberCall& call) {
    *call.result = make_instance(call.engine, call.cls, std::make_unique<RegValueRecord>());
}

void get_name(MemberCall& call) {
    const RegValueRecord& value = call.data<RegValueRecord>();
    if (value.name) {
        *call.result = ansi_string(call.engine, *value.name);
    }
}

void set_name(MemberCall& call, const Value& name) {
    if (name.is(Tag::String)) {
        call.data<RegValueRecord>().name = ansi_text(name.payload.string);
    }
}

void get_type(MemberCall& call) { *call.result = Value::integer(call.data<RegValueRecord>().type); }

void set_type(MemberCall& call, const Value& type) {
    if (type.is(Tag::Integer)) {
        call.data<RegValueRecord>().type = static_cast<uint32_t>(type.payload.integer);
    }
}

void get_data(MemberCall& call) {
    const RegValueRecord& value = call.data<RegValueRecord>();
    if (!value.data || value.data->empty() || value.type > type_highest_known) {
        return;
    }
    const std::string_view data = *value.data;
    switch (value.type) {
    case type_dword:
        if (data.size() >= 4) {
            *call.result = Value::integer(low_dword(data));
        }
        break;
    case type_dword_big_endian:
        // Formed as a REG_DWORD is, then taken as signed, so that an Integer written as data and
        // stored under this type reads back as it was written.
        if (data.size() >= 4) {
            *call.result = Value::integer(static_cast<int32_t>(low_dword(data)));
        }
        break;
    case type_multi_sz: {
        const std::vector<std::string_view> strings = split_string_list(data);
        if (strings.empty()) {
            break;
        }
        *call.result = ansi_string_array(call.engine, strings);
        break;
    }
    case type_none:
    case type_binary:
    case type_link:
        *call.result = ansi_string(call.engine, data);
        break;
    default:
        *call.result = ansi_string(call.engine, data.substr(0, data.find('\0')));
        break;
    }
}

void set_data(MemberCall& call, const Value& data) {
    RegValueRecord& value = call.data<RegValueRecord>();
    std::string bytes;
    switch (data.tag) {
    case Tag::Integer:
        append_integer(bytes, data.payload.integer);
        break;
    case Tag::Number:
        append_number(bytes, data.payload.number);
        break;
    case Tag::NaN:
        append_number(bytes, std::numeric_limits<double>::quiet_NaN());
        break;
    case Tag::String:
        bytes = ansi_text(data.payload.string);
        break;
    case Tag::Array:
        bytes = array_data(data.payload.array);
        break;
    default:
        return;
    }
    value.data = std::move(bytes);
}

const Member members[] = {
    property("name", get_name, set_name, Needs::Instance),
    property("type", get_type, set_type, Needs::Instance),
    property("data", get_data, set_data, Needs::Instance),
};

}  // namespace

const ClassDeclaration reg_value_class = {
    .name = "RegValue",
    .class_text = "[object RegValue]",
    .members = members,
    .construct = reg_value_construct,
    .destroy = delete_instance<RegValueRecord>,
};

Value make_reg_value(ScriptEngine* engine, RegValueRecord record) {
    return make_instance(engine, declared_class(engine, reg_value_class),
                         std::make_unique<RegValueRecord>(std::move(record)));
}

std::string array_data(ArrayRecord* array) {
    std::string data;
    for (uint64_t index : array_indexes_in_range(array, 0, array->length)) {
        const Value& element = *array_get(array, index);
        switch (element.tag) {
        case Tag::Integer:
            append_integer(data, element.payload.integer);
            break;
        case Tag::Number:
            append_number(data, element.payload.number);
            break;
        case Tag::NaN:
            append_number(data, std::numeric_limits<double>::quiet_NaN());
            break;
        case Tag::String:
            data += ansi_text(element.payload.string);
            data += '\0';
            break;
        default:
            break;
        }
    }
    return data;
}

void terminate_string_list(std::string& data) {
    const size_t size = data.size();
    if (size < 2 || data[size - 1] != '\0') {
        data.append(2, '\0');
    } else if (data[size - 2] != '\0') {
        data += '\0';
    }
}

std::vector<std::string_view> split_string_list(std::string_view data) {
    std::vector<std::string_view> strings;
    size_t at = 0;
    while (at < data.size()) {
        const size_t end = std::min(data.find('\0', at), data.size());
        if (end == at) {
            break;
        }
        strings.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    return strings;
}

void register_reg_value_class(ScriptEngine* engine) { declare_class(engine, reg_value_class); }

}  // namespace tarpon::host
