// Strings: UTF-16 code units in the collected heap, and the conversions to and from platform text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/values/plain_heap.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct PropertyTable;

// Bit 0 of the flags: the character buffer is not owned by the collector (constant-pool strings,
// literal texts of native code) and the string may not be changed in place.
inline constexpr uint32_t string_static = 1u << 0;
// Bit 1: the characters follow the record in the record's own block (strings made by
// make_string_buffer), so they are marked and freed with it. A string that grows moves them to a
// block of their own and clears the bit.
inline constexpr uint32_t string_inline = 1u << 1;

struct StringRecord {
    uint32_t flags;
    char16_t* chars;           // not terminated; may be null when length is 0
    uint32_t length;           // in UTF-16 code units
    PropertyTable* properties; // own table, made on first use; null until then

    bool is_static() const { return (flags & string_static) != 0; }
    bool is_inline() const { return (flags & string_inline) != 0; }
    std::u16string_view view() const { return {chars, length}; }
};

// No copy: the record points at the caller's characters, which must outlive the engine's use of them.
Value make_static_string(ScriptEngine* engine, const char16_t* chars, size_t length);
template <size_t N>
Value make_static_string(ScriptEngine* engine, const char16_t (&literal)[N]) {
    return make_static_string(engine, literal, N - 1);
}
// Copies the characters into the collected heap.
Value make_string_copy(ScriptEngine* engine, const char16_t* chars, size_t length);
inline Value make_string_copy(ScriptEngine* engine, std::u16string_view text) {
    return make_string_copy(engine, text.data(), text.size());
}
// A new string of `length` code units for the caller to fill; returns the record.
StringRecord* make_string_buffer(ScriptEngine* engine, size_t length);
// Converts from the ANSI code page; a null text or zero length gives the empty string.
Value make_string_from_narrow(ScriptEngine* engine, const char* text, size_t length);
inline Value make_string_from_narrow(ScriptEngine* engine, std::string_view text) {
    return make_string_from_narrow(engine, text.data(), text.size());
}

// A NUL-terminated copy in the ANSI code page, on the plain heap.
PlainPtr<char> string_to_narrow(ScriptEngine* engine, const StringRecord* string);
// A NUL-terminated UTF-16 copy, on the plain heap.
PlainPtr<char16_t> string_to_wide(ScriptEngine* engine, const StringRecord* string);

// The code unit at `position` as an Integer; NaN outside the string.
inline Value code_unit_at(const StringRecord* string, int64_t position) {
    return position < 0 || position >= static_cast<int64_t>(string->length)
               ? Value::nan()
               : Value::integer(string->chars[position]);
}

// Code unit by code unit as unsigned 16-bit numbers; on a common prefix the shorter is smaller.
int compare_strings(const StringRecord* a, const StringRecord* b);

}  // namespace quill
