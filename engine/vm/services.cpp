// Engine creation, module runs and the call services.
#include "engine/vm/services.h"

#include <cstdio>
#include <vector>

#include "engine/values/atoms.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/method_call.h"
#include "engine/values/protected_run.h"
#include "engine/values/records.h"
#include "engine/values/standin_types.h"
#include "engine/vm/interpreter.h"
#include "engine/vm/loader.h"
#include "engine/vm/module.h"

namespace quill::vm {

namespace {

// The class registrations run at creation, in this order. The built-in and host classes join the
// list as they are written; until the built-in value classes exist, stand-ins give values their text.
using Registration = void (*)(ScriptEngine* engine);
const Registration registrations[] = {
    install_standin_type_handlers,
};

const char* module_function_name(ScriptEngine* engine, const uint32_t* code) { return function_name_at(engine, code); }
int module_line(ScriptEngine* engine, const char** source_name) { return line_at(engine, source_name); }

void fail_with(ScriptEngine* engine, Message message, const char* name = nullptr) {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    set_message(engine, message_text(message), name != nullptr ? name : "");
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    unwind_to_innermost(engine);
}

// Calls a function value with a receiver, inside a protected frame.
void call_value(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells, Value* args) {
    if (function.tag == Tag::Function && function.payload.function->code != nullptr) {
        invoke_function(engine, self, function, cells, args);
        return;
    }
    if (function.tag == Tag::HostObject && function.payload.host->cls->call != nullptr) {
        HostRecord* record = function.payload.host;
        Value no_arguments = Value::integer(0);
        Value result;
        record->cls->call(engine, record->cls, record->instance, &result, args != nullptr ? args : &no_arguments);
        engine->result = result;
        return;
    }
    fail_with(engine, Message::UndefinedFunction);
}

}  // namespace

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
    engine->owner = c.owner;
    engine->flags = (c.flags & config_flag_creation) != 0 ? engine_flag_creation : 0;
    engine->function_name_at = module_function_name;
    engine->line_at = module_line;
    engine->invoke_script = invoke_function;

    bool ok = run_protected(engine, [engine] {
        for (Registration registration : registrations) {
            registration(engine);
        }
    });
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

bool run_compiled_bytes(EngineHandle* handle, const uint8_t* bytes, size_t length) {
    std::optional<Module> module = read_module(bytes, length);
    if (!module) {
        clear_message(handle->engine);
        handle->engine->result = Value::undefined();
        return false;
    }
    return load_module(handle->engine, *module);
}

bool run_compiled_file(EngineHandle* handle, const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    std::optional<Module> module;
    if (file != nullptr) {
        module = read_module_file(file);
        std::fclose(file);
    }
    if (!module) {
        clear_message(handle->engine);
        handle->engine->result = Value::undefined();
        return false;
    }
    return load_module(handle->engine, *module);
}

bool call_function(ScriptEngine* engine, const char* name, const Value* function, uint32_t cells, Value* args) {
    return run_protected(engine, [&] {
        Value callee = name != nullptr ? engine->globals.items[intern(engine, name)]
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
