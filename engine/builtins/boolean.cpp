// The Boolean class. Boolean(x) and new Boolean(x) both give the primitive boolean conversion of x:
// there are no wrapper objects, so new Boolean(false) tests false.
#include "engine/builtins/boolean.h"

#include "engine/builtins/value_class.h"
#include "engine/values/class_declaration.h"
#include "engine/values/conversions.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

void boolean_of(MemberCall& call) { *call.result = Value::boolean(call.args.has(0) && to_boolean(call.args[0])); }

void boolean_to_string(MemberCall& call) {
    if (is_class_object(call.receiver)) {
        *call.result = constructor_text(call.engine);
    } else {
        *call.result = call.receiver.payload.flag != 0 ? make_static_string(call.engine, u"true")
                                                      : make_static_string(call.engine, u"false");
    }
}

void boolean_value_of(MemberCall& call) { *call.result = call.receiver; }

const Member boolean_members[] = {
    method("toString", boolean_to_string),
    method("valueOf", boolean_value_of),
};

const ClassDeclaration boolean_class = {
    .name = "Boolean",
    .members = boolean_members,
    .construct = boolean_of,
    .call = boolean_of,
    .types = {Tag::Boolean},
};

}  // namespace

void register_boolean_class(ScriptEngine* engine) { declare_class(engine, boolean_class); }

}  // namespace quill
