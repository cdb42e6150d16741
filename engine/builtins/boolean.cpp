// The Boolean class. Boolean(x) and new Boolean(x) both give the primitive boolean conversion of x:
// there are no wrapper objects, so new Boolean(false) tests false.
#include "engine/builtins/boolean.h"

#include "engine/builtins/value_class.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

Value boolean_of(Value* args) { return Value::boolean(argument_count(args) >= 1 && to_boolean(args[1])); }

void boolean_call(ScriptEngine*, HostClass*, void*, Value* result, Value* args) { *result = boolean_of(args); }

void boolean_construct(ScriptEngine*, HostClass*, Value* args, Value* result) { *result = boolean_of(args); }

bool boolean_method(ScriptEngine* engine, HostClass*, void*, const Value& receiver, Atom method, Value* result,
                    Value*) {
    if (method == atom_to_string) {
        if (is_class_object(receiver)) {
            *result = constructor_text(engine);
        } else {
            *result = receiver.payload.flag != 0 ? make_static_string(engine, u"true")
                                                 : make_static_string(engine, u"false");
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

void register_boolean_class(ScriptEngine* engine) {
    HostClass* cls = register_value_class(engine, "Boolean", {Tag::Boolean});
    cls->call = boolean_call;
    cls->method = boolean_method;
    cls->construct = boolean_construct;
}

}  // namespace quill
