// Stand-in per-type handlers.
#include "engine/values/standin_types.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/host_class.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

Value text_of(ScriptEngine* engine, const Value& value) {
    char text[64];
    switch (value.tag) {
    case Tag::Boolean:
        return value.payload.flag != 0 ? make_static_string(engine, u"true") : make_static_string(engine, u"false");
    case Tag::Integer:
        std::snprintf(text, sizeof text, "%" PRId64, value.payload.integer);
        break;
    case Tag::Number:
        std::snprintf(text, sizeof text, "%g", value.payload.number);
        break;
    case Tag::String:
        return value;
    default:
        return make_static_string(engine, u"NaN");
    }
    return make_string_from_narrow(engine, text, std::strlen(text));
}

bool standin_method(ScriptEngine* engine, HostClass*, void*, const Value& receiver, Atom method, Value* result,
                    Value*) {
    if (method == atom_to_string) {
        *result = text_of(engine, receiver);
        return true;
    }
    if (method == atom_value_of) {
        *result = receiver;
        return true;
    }
    return false;
}

}  // namespace

void install_standin_type_handlers(ScriptEngine* engine) {
    for (Tag tag : {Tag::Boolean, Tag::Integer, Tag::Number, Tag::NaN, Tag::String}) {
        HostClass* cls = new_host_class(engine);
        cls->method = standin_method;
        engine->type_handlers[static_cast<int>(tag)] = cls;
    }
}

}  // namespace quill
