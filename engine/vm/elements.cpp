// Element access by the type of the object.
#include "engine/vm/elements.h"

#include <cstring>

#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/property_access.h"
#include "engine/values/property_table.h"
#include "engine/values/stack_roots.h"
#include "engine/values/string_record.h"

namespace quill::vm {

namespace {

// A String key names a property of a host object; it is interned.
Atom host_key(ScriptEngine* engine, const Value& key) {
    PlainPtr<char> name = string_to_narrow(engine, key.payload.string);
    return intern(engine, name.get());
}

// o[key] of a class that reads its elements through its method "Item"; Undefined when the method
// is not handled.
Value item_of(ScriptEngine* engine, const Value& object, const Value& key) {
    HostRecord* record = object.payload.host;
    Value result;
    if (record->cls->method == nullptr) {
        return result;
    }
    const Atom item = intern(engine, "Item");
    StackRoots roots(engine, {object, Value::integer(1), key});
    if (!record->cls->method(engine, record->cls, record->instance, roots.cells()[0], item, &result,
                             roots.cells() + 1)) {
        result = Value::undefined();
    }
    return result;
}

void set_string_unit(ScriptEngine* engine, StringRecord* string, const Value& key, const Value& value) {
    if (key.tag != Tag::Integer) {
        warn(engine, Message::InvalidIndex);
        return;
    }
    if (string->is_static()) {
        warn(engine, Message::StaticStringChange);
        return;
    }
    int64_t index = key.payload.integer;
    if (index < 0) {
        warn(engine, Message::InvalidIndex);
        return;
    }
    if (value.tag != Tag::Integer && value.tag != Tag::String) {
        warn(engine, Message::NonCharacterStore);
        return;
    }
    if (static_cast<uint64_t>(index) >= string->length) {
        // Extend with spaces up to and including the index, in place.
        if (static_cast<uint64_t>(index) >= config::max_string_length) {
            raise_error(engine, Message::OutOfMemory);
        }
        auto length = static_cast<uint32_t>(index + 1);
        char16_t* chars = nullptr;
        if (string->is_inline()) {
            // The characters leave the record's block for one of their own.
            chars = static_cast<char16_t*>(gc_allocate(engine, length * sizeof(char16_t)));
            std::memcpy(chars, string->chars, string->length * sizeof(char16_t));
            string->flags &= ~string_inline;
        } else {
            chars = static_cast<char16_t*>(gc_reallocate(engine, string->chars, length * sizeof(char16_t)));
        }
        for (uint32_t i = string->length; i < length; ++i) {
            chars[i] = u' ';
        }
        string->chars = chars;
        string->length = length;
    }
    char16_t unit = 0;
    if (value.tag == Tag::Integer) {
        unit = static_cast<char16_t>(value.payload.integer & 0xFF);
    } else if (value.payload.string->length > 0) {
        unit = value.payload.string->chars[0];
    }
    string->chars[index] = unit;
}

}  // namespace

Value get_element(ScriptEngine* engine, const Value& object, const Value& key) {
    Value result;
    switch (object.tag) {
    case Tag::Object:
        if (key.tag == Tag::Name) {
            table_get(engine, object.payload.table, key.payload.atom, &result);
            return result;
        }
        return table_get_by_key(engine, object.payload.table, key);
    case Tag::Array: {
        uint64_t index;
        if (!array_index(key, &index)) {
            warn(engine, Message::InvalidIndex);
            return result;
        }
        if (index < object.payload.array->length) {
            if (Value* cell = array_get(object.payload.array, index)) {
                result = *cell;
            }
        }
        return result;
    }
    case Tag::String: {
        if (key.tag != Tag::Integer) {
            warn(engine, Message::InvalidIndex);
            return result;
        }
        const StringRecord* string = object.payload.string;
        int64_t index = key.payload.integer;
        if (index < 0 || index >= string->length) {
            warn(engine, Message::StringIndexOutOfRange);
            return result;
        }
        return Value::integer(string->chars[index]);
    }
    case Tag::HostObject:
        if (reads_elements_by_item(object.payload.host->cls)) {
            return item_of(engine, object, key);
        }
        if (key.tag == Tag::String) {
            get_property(engine, object, host_key(engine, key), &result);
        } else if (key.tag != Tag::Integer) {
            warn(engine, Message::InvalidIndex);
        }
        return result;
    default:
        return result;
    }
}

void set_element(ScriptEngine* engine, const Value& object, const Value& key, const Value& value) {
    switch (object.tag) {
    case Tag::Object:
        if (key.tag == Tag::Name) {
            table_put(engine, object.payload.table, key.payload.atom, value);
        } else {
            table_put_by_key(engine, object.payload.table, key, value);
        }
        return;
    case Tag::Array: {
        uint64_t index;
        if (!array_index(key, &index)) {
            warn(engine, Message::InvalidIndex);
            return;
        }
        ArrayRecord* array = object.payload.array;
        if (index >= array->length) {
            array->length = index + 1;
        }
        array_put(engine, array, index, value);
        return;
    }
    case Tag::String:
        set_string_unit(engine, object.payload.string, key, value);
        return;
    case Tag::HostObject:
        if (key.tag == Tag::String) {
            set_property(engine, object, host_key(engine, key), value);
        } else if (key.tag != Tag::Integer) {
            warn(engine, Message::InvalidIndex);
        }
        return;
    default:
        return;
    }
}

void delete_element(ScriptEngine* engine, const Value& object, const Value& key) {
    if (object.tag == Tag::Object) {
        if (key.tag == Tag::Name) {
            table_delete(engine, object.payload.table, key.payload.atom);
        } else {
            table_delete_by_key(engine, object.payload.table, key);
        }
        return;
    }
    uint64_t index;
    if (object.tag == Tag::Array && array_index(key, &index)) {
        array_remove_and_close(engine, object.payload.array, index);
    }
}

Value enumerate_step(ScriptEngine* engine, const Value& collection, const Value& index, bool* more) {
    *more = false;
    Value item;
    if (index.tag != Tag::Integer || index.payload.integer < 0) {
        return item;
    }
    auto i = static_cast<uint64_t>(index.payload.integer);
    switch (collection.tag) {
    case Tag::String:
        if (i < collection.payload.string->length) {
            *more = true;
            item = Value::integer(collection.payload.string->chars[i]);
        }
        return item;
    case Tag::Array:
        if (i < collection.payload.array->length) {
            *more = true;
            if (Value* cell = array_get(collection.payload.array, i)) {
                item = *cell;
            }
        }
        return item;
    case Tag::Object:
        if (i <= UINT32_MAX) {
            *more = table_key_at(engine, collection.payload.table, static_cast<uint32_t>(i), &item);
        }
        return item;
    default:
        return item;
    }
}

}  // namespace quill::vm
