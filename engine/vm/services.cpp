// Engine creation, compiled-module runs and the call services.
#include "engine/vm/services.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/values/atoms.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/method_call.h"
#include "engine/values/protected_run.h"
#include "engine/values/records.h"
#include "engine/values/stack_roots.h"
#include "engine/values/string_record.h"
#include "engine/vm/interpreter.h"
#include "engine/vm/loader.h"
#include "engine/vm/module.h"

namespace quill::vm {

namespace {

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

}  // namespace

EngineHandle* create_engine(const EngineConfig* config, void (*set_up)(EngineHandle* handle)) {
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

    bool ok = set_up == nullptr || run_protected(engine, [handle, set_up] { set_up(handle); });
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

namespace {

// A module that could not be had: the message is set, there is no result.
bool unusable(EngineHandle* handle) {
    handle->engine->result = Value::undefined();
    handle->script_unusable = true;
    return false;
}

bool load(EngineHandle* handle, const Module& module) {
    bool refused = false;
    bool ok = load_module(handle->engine, module, &refused);
    handle->script_unusable = refused;
    return ok;
}

}  // namespace

bool run_compiled_bytes(EngineHandle* handle, const uint8_t* bytes, size_t length) {
    const char* problem = nullptr;
    std::optional<Module> module = read_module(bytes, length, &problem);
    if (!module) {
        set_message(handle->engine, Message::InvalidModule, problem);
        return unusable(handle);
    }
    return load(handle, *module);
}

// A file that cannot be read leaves the path and the system's reason as the message; one that holds
// no whole module, the reader's reason.
bool run_compiled_file(EngineHandle* handle, const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        set_message(handle->engine, Message::CantReadModuleFile,
                    (std::string(path) + ": " + std::strerror(errno)).c_str());
        return unusable(handle);
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
        return unusable(handle);
    }
    return load(handle, *module);
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

// What run_protected does around each call and a successful call still needs: a call that returns
// leaves no protection record behind (an invocation drops the try records it pushed), so only the
// message, the result and the stack top are set here.
void call_in_frame(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells,
                   Value* args) {
    Value* saved_top = engine->stack.saved_top;
    clear_message(engine);
    engine->result = Value::undefined();
    call_value(engine, self, function, cells, args);
    engine->stack.saved_top = saved_top;
}

bool call_method(ScriptEngine* engine, const Value& receiver, const char* name, uint32_t cells, Value* args) {
    Atom method = -1;
    bool interned = run_protected(engine, [&] { method = intern(engine, name); });
    return interned && quill::call_method(engine, receiver, method, cells, args);
}

}  // namespace quill::vm
