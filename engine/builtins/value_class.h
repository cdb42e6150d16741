// What the classes of the language's own values (Boolean, Number, Object, Function) share: how they
// are made and registered, and the answers every one of them gives alike.
//
// Each of these classes is one HostClass that serves twice: as the class object in its global slot
// (scripts call Number(x), new Number(x), Number.MAX_VALUE) and as the per-type handler of its tags
// (5..toString(), true.valueOf()). None keeps instance data, so its handlers tell the two apart by
// the receiver: the class object is a HostObject, a value of the type never is.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "engine/values/host_class.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// Whether a member or property handler of a value class was asked about the class object itself.
inline bool is_class_object(const Value& receiver) { return receiver.tag == Tag::HostObject; }

// Makes a class with the default property handler, stores its class object in the global slot
// named `name` and enters the class as the per-type handler of each tag in `types`. The caller sets
// the other handlers.
HostClass* register_value_class(ScriptEngine* engine, const char* name, std::initializer_list<Tag> types);

// The default property handler: it handles no name, so reads fall through to the generic lookup
// (Undefined unless a script stored something) and writes to the class object are stored in the
// class prototype table rather than warned about.
bool no_class_property(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom property,
                       PropertyMode mode, Value* value);

// "[type Function]": what the Boolean, Number and Object class objects give as their string form.
Value constructor_text(ScriptEngine* engine);

// A String of ASCII text (digits, signs, letters), widened unit by unit.
Value ascii_string(ScriptEngine* engine, const char* text, size_t length);

}  // namespace quill
