// Primitive operations on array records, for the interpreter, the Array class and host objects.
#pragma once

#include <cstdint>

#include "engine/values/records.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// A new array of the given length without elements; its own table has "__proto__" set to the
// Array class's prototype table when that class is registered.
ArrayRecord* array_create(ScriptEngine* engine, uint64_t length);
// The value cell of element `index`, or null for a hole.
Value* array_get(ArrayRecord* array, uint64_t index);
// Adds a node at a free index (callers make sure no node exists there).
void array_insert(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index);
// Stores a value: replaces the node's value, or inserts a node at a hole. Does not touch the length.
void array_put(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const Value& value);
// Unlinks the node at `index`, if any.
void array_remove(ArrayRecord* array, uint64_t index);
// When index < length: removes the element, lowers every higher index by one and the length by one.
void array_remove_and_close(ArrayRecord* array, uint64_t index);
// Sets the length; elements at or past the new length are removed.
void array_set_length(ArrayRecord* array, uint64_t length);

}  // namespace quill
