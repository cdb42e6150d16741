// The virtual machine's services: engines made from a configuration, running compiled modules, and
// calling script functions and methods from native code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/values/engine.h"
#include "engine/values/value.h"

namespace quill {
struct ClassRegistration;  // engine/runtime/class_slots.h
}

namespace quill::vm {

// Configuration bits.
inline constexpr uint32_t config_flag_creation = 1u << 1;   // becomes engine flag bit 0
inline constexpr uint32_t config_flag_option0 = 1u << 2;    // compiler option bit 0
inline constexpr uint32_t config_flag_option1 = 1u << 3;    // compiler option bit 1
inline constexpr uint32_t config_flag_warn_undefined = 1u << 9;

struct EngineConfig {
    uint32_t stack_cells = config::default_stack_cells;
    void* owner = nullptr;
    uint32_t flags = 0x58200;  // the other bits are compiler options
    EngineHook hook = nullptr;
    void* hook_data = nullptr;
    intptr_t host_words[2] = {0, -1};
    // The host's classes, each registered at its place among the built-in ones; in list order
    // where several share a place. The list must outlive the engine.
    const ClassRegistration* host_classes = nullptr;
    size_t host_class_count = 0;
};

// The engine handle: the configuration (copied) and the engine.
struct EngineHandle {
    EngineConfig config;
    ScriptEngine* engine = nullptr;
    // Set when the last run failed before any of its script ran: the file could not be read, the
    // source did not compile, or the module was refused.
    bool script_unusable = false;
};

// Makes the handle and the engine record from the configuration, then runs `set_up` (the class
// registrations of the layer above) under a protection record. Null when the engine cannot be
// made (out of memory, a set-up that failed).
EngineHandle* create_engine(const EngineConfig* config, void (*set_up)(EngineHandle* handle));
// Runs every finalizer, then frees everything. A null handle is ignored.
void destroy_engine(EngineHandle* handle);

// Runs a native procedure under a protection record.
bool protected_run(EngineHandle* handle, void (*procedure)(ScriptEngine* engine, void* data), void* data);

// Read the module (as compiled bytes or from a file opened in binary mode), load it and run ".main".
bool run_compiled_bytes(EngineHandle* handle, const uint8_t* bytes, size_t length);
bool run_compiled_file(EngineHandle* handle, const char* path);

// `cells` counts the argument block's cells, the count cell included. On success the engine result
// holds what the function returned; on failure the message buffer says why.
bool call_function(ScriptEngine* engine, const char* name, const Value* function, uint32_t cells, Value* args);
bool call_function_value(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells,
                         Value* args);
bool call_method(ScriptEngine* engine, const Value& receiver, const char* name, uint32_t cells, Value* args);

// Calls a function value with a receiver as call_function_value does (message cleared, result
// Undefined, the saved stack top as it was afterwards), but inside the caller's protected frame
// rather than a frame of its own: for native code that calls one function many times over (a sort's
// comparator) and runs all those calls under a single run_protected. A failure exits to that frame
// with the text in the message buffer.
// Requires: the innermost protection record is the caller's host-level record.
void call_in_frame(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells,
                   Value* args);

}  // namespace quill::vm
