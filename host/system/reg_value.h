// The RegValue class for the classes that make its objects or read them, and the data blocks it
// builds, which profile sections share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/class_declaration.h"

namespace quill {
struct ArrayRecord;
}

namespace tarpon::host {

// One registry value, detached from any key.
struct RegValueRecord {
    std::optional<std::string> name;  // absent: the key's default value
    uint32_t type = 1;                // REG_SZ
    std::optional<std::string> data;  // absent until data is read or written
};

extern const quill::ClassDeclaration reg_value_class;

// A new RegValue object holding the record. Requires: the class is registered in the engine.
quill::Value make_reg_value(quill::ScriptEngine* engine, RegValueRecord record);

// The bytes of an array's elements in index order: an Integer as its low 32 bits (4 bytes, least
// significant first), a Number as its 8-byte double, a String as its 8-bit text and one NUL; other
// elements add nothing.
std::string array_data(quill::ArrayRecord* array);

// Ends the data as a list of NUL-terminated strings must end, with an empty string: one NUL more
// after a final NUL, two after a final other byte or after data shorter than two bytes; data
// already ending in two NULs stays as it is.
void terminate_string_list(std::string& data);

// The strings of a list of NUL-terminated strings, up to the first empty one (the list's end) or
// the end of the data, whichever comes first; a last string without its NUL counts.
std::vector<std::string_view> split_string_list(std::string_view data);

}  // namespace tarpon::host
