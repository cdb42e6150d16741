// The Function class. Script functions have no members of their own beyond toString and valueOf;
// other names go to the function's own property table. The class has no call handler, so calling
// Function without new calls nothing.
#include "engine/builtins/function.h"

#include <cstdio>

#include "engine/compiler/driver.h"
#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/string_record.h"
#include "engine/runtime/run.h"
#include "engine/vm/services.h"

namespace quill {

namespace {

void append_string(ScriptEngine* engine, const StringRecord* string, std::string* out) {
    PlainPtr<char> text = string_to_narrow(engine, string);
    out->append(text.get());
}

// new Function(...): compiles the assembled text as a script of its own. The loader installs the
// text's anonymous function under "@F_n", n being the engine's count of anonymous functions before
// the load. A text that does not compile leaves its diagnostics in the message buffer and the result
// Null; a runtime error while the script runs (its top level may hold statements of the body's
// making) goes on to the caller's protection record.
void function_construct(MemberCall& call) {
    ScriptEngine* engine = call.engine;
    *call.result = Value::null();
    auto* handle = static_cast<vm::EngineHandle*>(engine->service_handle);
    if (handle == nullptr) {
        return;  // an engine record without the runtime services cannot compile
    }
    uint32_t number = engine->anonymous_functions;
    std::string source = function_source(engine, call.args);
    compiler::CompileOutput compiled = compiler::compile_text(engine, source, runtime::compile_flags(handle));
    if (!compiled.ok) {
        return;
    }
    if (!vm::run_compiled_bytes(handle, compiled.module.data(), compiled.module.size())) {
        raise_current_message(engine);
    }
    char name[32];
    std::snprintf(name, sizeof name, "@F_%u", number);
    *call.result = get_global(engine, name);
}

void function_to_string(MemberCall& call) { *call.result = make_static_string(call.engine, u"[object Function]"); }

void function_value_of(MemberCall& call) { *call.result = call.receiver; }

const Member function_members[] = {
    method("toString", function_to_string),
    method("valueOf", function_value_of),
};

const ClassDeclaration function_class = {
    .name = "Function",
    .members = function_members,
    .construct = function_construct,
    .types = {Tag::Function},
};

}  // namespace

std::string function_source(ScriptEngine* engine, const Arguments& args) {
    const uint32_t count = args.count();
    std::string source = "function (";
    bool any = false;
    // Arguments that are not strings are left out, with their separators.
    for (uint32_t i = 0; i + 1 < count; ++i) {
        const StringRecord* parameter = args.string(i);
        if (parameter == nullptr) {
            continue;
        }
        if (any) {
            source += ", ";
        }
        append_string(engine, parameter, &source);
        any = true;
    }
    source += ") {";
    if (const StringRecord* body = count >= 1 ? args.string(count - 1) : nullptr) {
        append_string(engine, body, &source);
    }
    source += "}";
    return source;
}

void register_function_class(ScriptEngine* engine) { declare_class(engine, function_class); }

}  // namespace quill
