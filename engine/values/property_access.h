// Reading and writing a named property on a value of any type.
#pragma once

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct PropertyTable;

// Member read (o.name), with-scope lookup and method lookup. Returns whether the name was found;
// *out is Undefined when it was not. The interpreter saves its stack top and code position before
// calling, so a handler may call back into scripts.
bool get_property(ScriptEngine* engine, const Value& target, Atom name, Value* out);

// Member assignment (o.name = v). Returns whether something was stored; the warnings name the
// property.
bool set_property(ScriptEngine* engine, const Value& target, Atom name, const Value& value);

// Assignment through a with-scope: stores only where the name already exists. Returns whether
// something was stored.
bool conditional_set_property(ScriptEngine* engine, const Value& target, Atom name, const Value& value);

// The own table of a String, Array or Function value, made on first use with "__proto__" set to the
// per-type handler's prototype table; null for other tags.
PropertyTable* own_table_of(ScriptEngine* engine, const Value& value);

}  // namespace quill
