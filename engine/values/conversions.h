// Conversions between value types, with their exact texts and failure messages.
#pragma once

#include <cstdint>

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

enum class Hint { Default, Number, String };

// Tags 0-5 and 13 unchanged; objects through their valueOf/toString; raises "Can't convert to
// primitive type" where nothing yields a primitive.
Value to_primitive(ScriptEngine* engine, const Value& value, Hint hint);
// Always a String.
Value to_string(ScriptEngine* engine, const Value& value);
// An Integer, a Number or NaN; never fails on its own (objects convert through to_primitive).
Value to_number(ScriptEngine* engine, const Value& value);
// Through to_number: an Integer gives its low bits, a finite Number its truncation modulo 2^64
// (2^32), infinities and NaN give 0.
int64_t to_int64(ScriptEngine* engine, const Value& value);
int32_t to_int32(ScriptEngine* engine, const Value& value);
bool to_boolean(const Value& value);
// Primitives and objects unchanged; a String becomes a fresh, changeable copy; raises
// "Can't convert to object" for the rest.
Value to_object(ScriptEngine* engine, const Value& value);

// The number a string's text denotes, as to_number reads it.
Value string_to_number(const char16_t* chars, uint32_t length);
// Truncation toward zero, modulo 2^64; infinities and NaN give 0.
int64_t double_to_int64(double d);

}  // namespace quill
