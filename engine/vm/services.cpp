// Engine creation, module runs and the call services.
#include "engine/vm/services.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/builtins/array.h"
#include "engine/builtins/boolean.h"
#include "engine/builtins/date.h"
#include "engine/builtins/function.h"
#include "engine/builtins/globals.h"
#include "engine/builtins/math.h"
#include "engine/builtins/number.h"
#include "engine/builtins/object.h"
#include "engine/builtins/regexp.h"
#include "engine/builtins/string.h"
#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/method_call.h"
#include "engine/values/protected_run.h"
#include "engine/values/records.h"
#include "engine/values/stack_roots.h"
#include "engine/compiler/driver.h"
#include "engine/values/string_record.h"
#include "engine/vm/interpreter.h"
#include "engine/vm/loader.h"
#include "engine/vm/module.h"

namespace quill::vm {

namespace {

// The built-in classes at their places in the registration order.
const ClassRegistration builtin_classes[] = {
    {ClassSlot::GlobalFunctions, register_global_functions},
    // The URI functions belong with the application's globals; until those exist they come here,
    // so that every host (the command-line one included) has them.
    {ClassSlot::GlobalFunctions, register_uri_functions},
    {ClassSlot::Date, register_date_class},
    {ClassSlot::Math, register_math_object},
    {ClassSlot::RegExp, register_regexp_class},
    {ClassSlot::Array, register_array_class},
    {ClassSlot::Boolean, register_boolean_class},
    {ClassSlot::Function, register_function_class},
    {ClassSlot::Number, register_number_class},
    {ClassSlot::String, register_string_class},
    {ClassSlot::Object, register_object_class},
};

// Every class at its place: at each place the built-in ones first, then the host's in its order.
void register_classes(ScriptEngine* engine, const EngineConfig& config) {
    for (uint32_t slot = 0; slot < static_cast<uint32_t>(ClassSlot::Count); ++slot) {
        for (const ClassRegistration& entry : builtin_classes) {
            if (static_cast<uint32_t>(entry.slot) == slot) {
                entry.register_class(engine);
            }
        }
        for (size_t i = 0; i < config.host_class_count; ++i) {
            if (static_cast<uint32_t>(config.host_classes[i].slot) == slot) {
                config.host_classes[i].register_class(engine);
            }
        }
    }
}

const char* module_function_name(ScriptEngine* engine, const uint32_t* code) { return function_name_at(engine, code); }
int module_line(ScriptEngine* engine, const char** source_name) { return line_at(engine, source_name); }

[[noreturn]] void fail_with(ScriptEngine* engine, Message message) {
    set_message(engine, message);
    unwind_to_innermost(engine);
}

// Calls a function value with a receiver, inside a protected frame.
void call_value(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells, Value* args) {
    if (function.tag == Tag::Function && function.payload.function->code != nullptr) {
        invoke_function(engine, self, function, cells, args);
        return;
    }
    if (function.tag == Tag::HostObject && function.payload.host->cls->call != nullptr) {
        // The callee and a copy of the block go on the stack, as the interpreter gives them: the
        // handler may run script code (a conversion), and a collection there must not free them.
        HostRecord* record = function.payload.host;
        StackRoots callee(engine, &function, 1);
        RootedArguments block(engine, args, cells);
        Value result;
        record->cls->call(engine, record->cls, record->instance, &result, block.block());
        engine->result = result;
        return;
    }
    fail_with(engine, Message::UndefinedFunction);
}

bool run_module_bytes(EngineHandle* handle, const std::vector<uint8_t>& bytes) {
    std::optional<Module> module = read_module(bytes.data(), bytes.size());
    return module && load_module(handle->engine, *module);
}

// A text that did not compile leaves its diagnostics in the message buffer and no result.
bool run_compiled_output(EngineHandle* handle, const compiler::CompileOutput& output) {
    if (!output.ok) {
        handle->engine->result = Value::undefined();
        return false;
    }
    return run_module_bytes(handle, output.module);
}

// eval(text) and evals(path): compile and run in the engine whose handle is the instance data.
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
    auto* handle = static_cast<EngineHandle*>(call.instance);
    PlainPtr<char> text = string_to_narrow(engine, source);
    run_compiled_output(handle, compiler::compile_text(engine, text.get(), compile_flags(handle)));
    *call.result = engine->result;
}

void evals_call(MemberCall& call) {
    const StringRecord* path_string = call.args.string(0);
    if (path_string == nullptr) {
        return;
    }
    ScriptEngine* engine = call.engine;
    auto* handle = static_cast<EngineHandle*>(call.instance);
    PlainPtr<char> path = string_to_narrow(engine, path_string);
    run_compiled_output(handle, compiler::compile_file(engine, path.get(), compile_flags(handle)));
    *call.result = engine->result;
}

// Each is an object of a class of its own whose instance data is the engine's handle (not owned).
const ClassDeclaration eval_function = {.call = eval_call, .fixed_properties = true};
const ClassDeclaration evals_function = {.call = evals_call, .fixed_properties = true};

void register_eval(EngineHandle* handle) {
    ScriptEngine* engine = handle->engine;
    for (auto [name, declaration] : {std::pair{"eval", &eval_function}, {"evals", &evals_function}}) {
        HostClass* cls = declare_class(engine, *declaration);
        set_global(engine, name, make_host_object(engine, cls, handle));
    }
}

bool has_extension(const char* path, const char* extension) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr || std::strlen(dot) != std::strlen(extension)) {
        return false;
    }
    for (size_t i = 0; dot[i] != 0; ++i) {
        if (std::tolower(static_cast<unsigned char>(dot[i])) != extension[i]) {
            return false;
        }
    }
    return true;
}

// Whether the file holds a compiled module: "QS1b" at its start or after a "#" first line.
bool looks_compiled(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    int c = std::fgetc(file);
    if (c == '#') {
        while (c != EOF && c != '\n') {
            c = std::fgetc(file);
        }
    } else if (c != EOF) {
        std::ungetc(c, file);
    }
    char magic[4] = {};
    bool compiled = std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "QS1b", 4) == 0;
    std::fclose(file);
    return compiled;
}

}  // namespace

uint32_t compile_flags(const EngineHandle* handle) {
    return compiler::compile_flags_from_options(handle->config.flags, handle->config.stack_cells);
}

bool run_source_text(EngineHandle* handle, const char* text) {
    return run_compiled_output(handle, compiler::compile_text(handle->engine, text, compile_flags(handle)));
}

bool run_source_bytes(EngineHandle* handle, const char* bytes, size_t length) {
    // The text ends at its first NUL, as a terminated copy would.
    std::string text(bytes, length);
    return run_source_text(handle, text.c_str());
}

bool run_source_file(EngineHandle* handle, const char* path) {
    return run_compiled_output(handle, compiler::compile_file(handle->engine, path, compile_flags(handle)));
}

bool run_script_file(EngineHandle* handle, const char* path) {
    if (has_extension(path, ".qsc")) {
        return run_compiled_file(handle, path);
    }
    if (has_extension(path, ".qls")) {
        return run_source_file(handle, path);
    }
    return looks_compiled(path) ? run_compiled_file(handle, path) : run_source_file(handle, path);
}

EngineHandle* create_engine(const EngineConfig* config) {
    auto* handle = new (std::nothrow) EngineHandle{};
    if (handle == nullptr) {
        return nullptr;
    }
    if (config != nullptr) {
        handle->config = *config;
    }
    const EngineConfig& c = handle->config;
    ScriptEngine* engine = create_engine_record(c.stack_cells);
    if (engine == nullptr) {
        delete handle;
        return nullptr;
    }
    handle->engine = engine;
    engine->service_handle = handle;
    engine->owner = c.owner;
    engine->flags = (c.flags & config_flag_creation) != 0 ? engine_flag_creation : 0;
    engine->function_name_at = module_function_name;
    engine->line_at = module_line;
    engine->invoke_script = invoke_function;

    bool ok = run_protected(engine, [engine, &c] { register_classes(engine, c); });
    if (!ok) {
        destroy_engine(handle);
        return nullptr;
    }
    if ((c.flags & config_flag_warn_undefined) != 0) {
        engine->flags |= engine_flag_warn_undefined;
    }
    engine->compiler_options = ((c.flags & config_flag_option0) != 0 ? 1u : 0u) |
                               ((c.flags & config_flag_option1) != 0 ? 2u : 0u);
    engine->hook = c.hook;
    engine->hook_data = c.hook_data;
    engine->host_words[0] = c.host_words[0];
    engine->host_words[1] = c.host_words[1];
    if (!run_protected(engine, [handle] { register_eval(handle); })) {
        destroy_engine(handle);
        return nullptr;
    }
    return handle;
}

void destroy_engine(EngineHandle* handle) {
    if (handle == nullptr) {
        return;
    }
    destroy_engine_record(handle->engine);
    delete handle;
}

bool protected_run(EngineHandle* handle, void (*procedure)(ScriptEngine* engine, void* data), void* data) {
    ScriptEngine* engine = handle->engine;
    return run_protected(engine, [&] { procedure(engine, data); });
}

bool run_compiled_bytes(EngineHandle* handle, const uint8_t* bytes, size_t length) {
    const char* problem = nullptr;
    std::optional<Module> module = read_module(bytes, length, &problem);
    if (!module) {
        set_message(handle->engine, Message::InvalidModule, problem);
        handle->engine->result = Value::undefined();
        return false;
    }
    return load_module(handle->engine, *module);
}

// A file that cannot be read leaves the path and the system's reason as the message; one that holds
// no whole module, the reader's reason.
bool run_compiled_file(EngineHandle* handle, const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        set_message(handle->engine, Message::CantReadModuleFile,
                    (std::string(path) + ": " + std::strerror(errno)).c_str());
        handle->engine->result = Value::undefined();
        return false;
    }
    const char* problem = nullptr;
    std::optional<Module> module = read_module_file(file, &problem);
    const bool unreadable = std::ferror(file) != 0;
    std::fclose(file);
    if (!module) {
        if (unreadable) {
            set_message(handle->engine, Message::CantReadModuleFile,
                        (std::string(path) + ": " + problem).c_str());
        } else {
            set_message(handle->engine, Message::InvalidModule, problem);
        }
        handle->engine->result = Value::undefined();
        return false;
    }
    return load_module(handle->engine, *module);
}

bool call_function(ScriptEngine* engine, const char* name, const Value* function, uint32_t cells, Value* args) {
    return run_protected(engine, [&] {
        Value callee = name != nullptr ? get_global(engine, name)
                                       : (function != nullptr ? *function : Value::undefined());
        call_value(engine, Value::null(), callee, cells, args);
    });
}

bool call_function_value(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells,
                         Value* args) {
    return run_protected(engine, [&] { call_value(engine, self, function, cells, args); });
}

bool call_method(ScriptEngine* engine, const Value& receiver, const char* name, uint32_t cells, Value* args) {
    Atom method = -1;
    bool interned = run_protected(engine, [&] { method = intern(engine, name); });
    return interned && quill::call_method(engine, receiver, method, cells, args);
}

}  // namespace quill::vm
