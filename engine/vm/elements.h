// Element access (o[k]) on values of every type, and the enumeration step of for-in.
#pragma once

#include "engine/values/value.h"

namespace quill {
struct ScriptEngine;
}

namespace quill::vm {

Value get_element(ScriptEngine* engine, const Value& object, const Value& key);
void set_element(ScriptEngine* engine, const Value& object, const Value& key, const Value& value);
void delete_element(ScriptEngine* engine, const Value& object, const Value& key);

// The item at an Integer position of a collection, and whether there was one.
Value enumerate_step(ScriptEngine* engine, const Value& collection, const Value& index, bool* more);

}  // namespace quill::vm
