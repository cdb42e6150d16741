// eval and evals.
#include "engine/runtime/eval.h"

#include <utility>

#include "engine/compiler/driver.h"
#include "engine/runtime/run.h"
#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"

namespace quill::runtime {

namespace {

// eval(text): a String is compiled and run, and its result is eval's; any other value is its own
// result. A text that does not compile leaves its diagnostics in the message buffer.
void eval_call(MemberCall& call) {
    if (!call.args.has(0)) {
        return;
    }
    const StringRecord* source = call.args.string(0);
    if (source == nullptr) {
        *call.result = call.args[0];
        return;
    }
    ScriptEngine* engine = call.engine;
    auto* handle = static_cast<vm::EngineHandle*>(call.instance);
    PlainPtr<char> text = string_to_narrow(engine, source);
    run_compiled_output(handle, compiler::compile_text(engine, text.get(), compile_flags(handle)));
    *call.result = engine->result;
}

// evals(path): the source file compiled and run.
void evals_call(MemberCall& call) {
    const StringRecord* path_string = call.args.string(0);
    if (path_string == nullptr) {
        return;
    }
    ScriptEngine* engine = call.engine;
    auto* handle = static_cast<vm::EngineHandle*>(call.instance);
    PlainPtr<char> path = string_to_narrow(engine, path_string);
    run_compiled_output(handle, compiler::compile_file(engine, path.get(), compile_flags(handle)));
    *call.result = engine->result;
}

// Each is an object of a class of its own whose instance data is the engine's handle (not owned).
const ClassDeclaration eval_function = {.call = eval_call, .fixed_properties = true};
const ClassDeclaration evals_function = {.call = evals_call, .fixed_properties = true};

}  // namespace

void register_eval(vm::EngineHandle* handle) {
    ScriptEngine* engine = handle->engine;
    for (auto [name, declaration] : {std::pair{"eval", &eval_function}, {"evals", &evals_function}}) {
        HostClass* cls = declare_class(engine, *declaration);
        set_global(engine, name, make_host_object(engine, cls, handle));
    }
}

}  // namespace quill::runtime
