// The Object class. A new plain object is an empty property table; the class is asked for members
// only when the object and its prototypes do not have them.
#include "engine/builtins/object.h"

#include "engine/builtins/value_class.h"
#include "engine/values/class_declaration.h"
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
void object_call(MemberCall& call) {
    const Arguments& args = call.args;
    if (args.count() == 0 || (args.count() == 1 && is_nothing(args[0]))) {
        *call.result = new_object(call.engine);
        return;
    }
    *call.result = to_object(call.engine, args[0]);
}

// new Object(x) is x itself, a string as a fresh copy; without a value, a new object.
void object_construct(MemberCall& call) {
    const Arguments& args = call.args;
    if (args.count() == 0 || is_nothing(args[0])) {
        *call.result = new_object(call.engine);
    } else if (const StringRecord* text = args.string(0)) {
        *call.result = make_string_copy(call.engine, text->view());
    } else {
        *call.result = args[0];
    }
}

void object_to_string(MemberCall& call) {
    *call.result = is_class_object(call.receiver) ? constructor_text(call.engine)
                                                  : make_static_string(call.engine, u"[object Object]");
}

// A plain object has no source form: the result stays Undefined.
void object_to_source(MemberCall& call) {
    if (is_class_object(call.receiver)) {
        *call.result = make_static_string(call.engine, u"new Object()");
    }
}

void object_value_of(MemberCall& call) { *call.result = call.receiver; }

const Member object_members[] = {
    method("toString", object_to_string),
    method("toSource", object_to_source),
    method("valueOf", object_value_of),
};

const ClassDeclaration object_class = {
    .name = "Object",
    .members = object_members,
    .construct = object_construct,
    .call = object_call,
    .types = {Tag::Object},
};

}  // namespace

void register_object_class(ScriptEngine* engine) { declare_class(engine, object_class); }

}  // namespace quill
