// What the classes of the language's own values (Boolean, Number, Object, Function, String, Array)
// share: the answers every one of them gives alike.
//
// Each of these classes is one declared class that serves twice: as the class object in its global
// slot (scripts call Number(x), new Number(x), Number.MAX_VALUE) and as the per-type handler of its
// tags (5..toString(), true.valueOf()). None keeps instance data, so its handlers tell the two apart
// by the receiver: the class object is a HostObject, a value of the type never is. Members that only
// values have are declared with Needs::Value.
#pragma once

#include <cstddef>

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// Whether a member or property handler of a value class was asked about the class object itself.
inline bool is_class_object(const Value& receiver) { return receiver.tag == Tag::HostObject; }

// "[type Function]": what the Boolean, Number and Object class objects give as their string form.
Value constructor_text(ScriptEngine* engine);

// A String of ASCII text (digits, signs, letters), widened unit by unit.
Value ascii_string(ScriptEngine* engine, const char* text, size_t length);

}  // namespace quill
