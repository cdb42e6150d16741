// Stand-in per-type handler for strings.
#include "engine/values/standin_types.h"

#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/host_class.h"

namespace quill {

namespace {

bool standin_method(ScriptEngine*, HostClass*, void*, const Value& receiver, Atom method, Value* result, Value*) {
    if (method == atom_to_string || method == atom_value_of) {
        *result = receiver;
        return true;
    }
    return false;
}

}  // namespace

void install_standin_type_handlers(ScriptEngine* engine) {
    HostClass* cls = new_host_class(engine);
    cls->method = standin_method;
    engine->type_handlers[static_cast<int>(Tag::String)] = cls;
}

}  // namespace quill
