// Element access (o[k]) on values of every type, and the enumeration step of for-in.
#pragma once

#include <cstdint>

#include "engine/values/array.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/records.h"
#include "engine/values/value.h"

namespace quill {
struct ScriptEngine;
}

namespace quill::vm {

// An array index: the low 32 bits of an Integer or of a truncated Number, taken as unsigned.
inline bool array_index(const Value& key, uint64_t* index) {
    if (key.tag == Tag::Integer) {
        *index = static_cast<uint32_t>(static_cast<uint64_t>(key.payload.integer));
        return true;
    }
    if (key.tag == Tag::Number) {
        *index = static_cast<uint32_t>(static_cast<uint64_t>(double_to_int64(key.payload.number)));
        return true;
    }
    return false;
}

// The cell of an element that exists, when `object` is an array and `key` an Integer below its
// length; otherwise null (and then get_element and set_element decide). What both do with such an
// element is reading or replacing its value, so the interpreter tries this first.
inline Value* stored_array_element(const Value& object, const Value& key) {
    if (object.tag != Tag::Array || key.tag != Tag::Integer) {
        return nullptr;
    }
    uint64_t index;
    array_index(key, &index);
    return index < object.payload.array->length ? array_get(object.payload.array, index) : nullptr;
}

// o[key] = value when o is an array, key an Integer and the store needs no allocation (an element
// or a hole of the dense block): does what set_element does and returns true; otherwise returns
// false having changed nothing.
inline bool store_array_element_quick(const Value& object, const Value& key, const Value& value) {
    if (object.tag != Tag::Array || key.tag != Tag::Integer) {
        return false;
    }
    uint64_t index;
    array_index(key, &index);
    ArrayRecord* array = object.payload.array;
    if (!array_store_quick(array, index, value)) {
        return false;
    }
    if (index >= array->length) {
        array->length = index + 1;
    }
    return true;
}

// Whether arrays are served by the built-in Array class, whose push, pop and length the
// interpreter may then answer itself.
inline bool arrays_served_quickly(ScriptEngine* engine) {
    return engine->quick_array_class != nullptr && type_handler(engine, Tag::Array) == engine->quick_array_class;
}

// After stored_array_element found no element: whether o[key] is a hole or a position at or past
// the length of an array, which reads as Undefined without a warning.
inline bool array_hole_read(const Value& object, const Value& key) {
    return object.tag == Tag::Array && key.tag == Tag::Integer;
}

Value get_element(ScriptEngine* engine, const Value& object, const Value& key);
void set_element(ScriptEngine* engine, const Value& object, const Value& key, const Value& value);
void delete_element(ScriptEngine* engine, const Value& object, const Value& key);

// The item at an Integer position of a collection, and whether there was one.
Value enumerate_step(ScriptEngine* engine, const Value& collection, const Value& index, bool* more);

}  // namespace quill::vm
