// The Function class. Script functions have no members of their own beyond toString and valueOf;
// other names go to the function's own property table. The class has no call handler, so calling
// Function without new calls nothing.
#include "engine/builtins/function.h"

#include <cstdio>

#include "engine/builtins/value_class.h"
#include "engine/compiler/driver.h"
#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/string_record.h"
#include "engine/vm/services.h"

namespace quill {

namespace {

void append_string(ScriptEngine* engine, const Value& value, std::string* out) {
    PlainPtr<char> text = string_to_narrow(engine, value.payload.string);
    out->append(text.get());
}

// new Function(...): compiles the assembled text as a script of its own. The loader installs the
// text's anonymous function under "@F_n", n being the engine's count of anonymous functions before
// the load. A text that does not compile leaves its diagnostics in the message buffer and the result
// Null; a runtime error while the script runs (its top level may hold statements of the body's
// making) goes on to the caller's protection record.
void function_construct(ScriptEngine* engine, HostClass*, Value* args, Value* result) {
    *result = Value::null();
    auto* handle = static_cast<vm::EngineHandle*>(engine->service_handle);
    if (handle == nullptr) {
        return;  // an engine record without the runtime services cannot compile
    }
    uint32_t number = engine->anonymous_functions;
    std::string source = function_source(engine, args);
    compiler::CompileOutput compiled = compiler::compile_text(engine, source, vm::compile_flags(handle));
    if (!compiled.ok) {
        return;
    }
    if (!vm::run_compiled_bytes(handle, compiled.module.data(), compiled.module.size())) {
        raise_current_message(engine);
    }
    char name[32];
    std::snprintf(name, sizeof name, "@F_%u", number);
    *result = get_global(engine, name);
}

bool function_method(ScriptEngine* engine, HostClass*, void*, const Value& receiver, Atom method, Value* result,
                     Value*) {
    if (method == atom_to_string) {
        *result = make_static_string(engine, u"[object Function]");
        return true;
    }
    if (method == atom_value_of) {
        *result = receiver;
        return true;
    }
    return false;
}

}  // namespace

std::string function_source(ScriptEngine* engine, const Value* args) {
    uint32_t count = argument_count(args);
    std::string source = "function (";
    bool any = false;
    // Arguments that are not strings are left out, with their separators.
    for (uint32_t i = 1; i < count; ++i) {
        if (args[i].tag != Tag::String) {
            continue;
        }
        if (any) {
            source += ", ";
        }
        append_string(engine, args[i], &source);
        any = true;
    }
    source += ") {";
    if (count >= 1 && args[count].tag == Tag::String) {
        append_string(engine, args[count], &source);
    }
    source += "}";
    return source;
}

void register_function_class(ScriptEngine* engine) {
    HostClass* cls = register_value_class(engine, "Function", {Tag::Function});
    cls->method = function_method;
    cls->construct = function_construct;
}

}  // namespace quill
