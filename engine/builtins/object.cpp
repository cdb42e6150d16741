// The Object class. A new plain object is an empty property table; the class is asked for members
// only when the object and its prototypes do not have them.
#include "engine/builtins/object.h"

#include "engine/builtins/value_class.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/property_table.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

bool is_nothing(const Value& value) { return value.tag == Tag::Undefined || value.tag == Tag::Null; }

Value new_object(ScriptEngine* engine) { return Value::object(new_table(engine)); }

// Object(), Object(undefined) and Object(null) make an object; anything else is the object conversion
// of the first argument, which raises "Can't convert to object" for undefined and null when more
// arguments follow.
void object_call(ScriptEngine* engine, HostClass*, void*, Value* result, Value* args) {
    uint32_t count = argument_count(args);
    if (count == 0 || (count == 1 && is_nothing(args[1]))) {
        *result = new_object(engine);
        return;
    }
    *result = to_object(engine, args[1]);
}

// new Object(x) is x itself, a string as a fresh copy; without a value, a new object.
void object_construct(ScriptEngine* engine, HostClass*, Value* args, Value* result) {
    if (argument_count(args) == 0 || is_nothing(args[1])) {
        *result = new_object(engine);
    } else if (args[1].tag == Tag::String) {
        *result = make_string_copy(engine, args[1].payload.string->view());
    } else {
        *result = args[1];
    }
}

bool object_method(ScriptEngine* engine, HostClass*, void*, const Value& receiver, Atom method, Value* result,
                   Value*) {
    if (method == atom_to_string) {
        *result = is_class_object(receiver) ? constructor_text(engine) : make_static_string(engine, u"[object Object]");
        return true;
    }
    if (method == atom_to_source) {
        // A plain object has no source form: the result stays Undefined.
        if (is_class_object(receiver)) {
            *result = make_static_string(engine, u"new Object()");
        }
        return true;
    }
    if (method == atom_value_of) {
        *result = receiver;
        return true;
    }
    return false;
}

}  // namespace

void register_object_class(ScriptEngine* engine) {
    HostClass* cls = register_value_class(engine, "Object", {Tag::Object});
    cls->call = object_call;
    cls->method = object_method;
    cls->construct = object_construct;
}

}  // namespace quill
