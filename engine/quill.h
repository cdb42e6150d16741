// The Quill Script engine as hosts see it: create an engine, run compiled modules, call script
// functions and methods, read the result and the last message, watch collections.
//
//   quill::EngineHandle* engine = quill::create_engine();
//   if (!quill::run_compiled_file(engine, "init.qsc")) {
//       std::fprintf(stderr, "%s\n", quill::last_message(engine));
//   }
//   quill::destroy_engine(engine);
//
// Every call runs under its own protection record: a runtime error or an uncaught throw in the
// script makes it return false with the text in the message buffer; nothing throws to the host.
// An engine is used by one thread, the one that created it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/values/engine.h"
#include "engine/values/value.h"
#include "engine/vm/services.h"

namespace quill {

using vm::EngineConfig;
using vm::EngineHandle;

// Makes an engine with every built-in class registered; a null configuration means the defaults
// (4096 stack cells, flags 0x58200, no hook). Null when the engine cannot be made.
inline EngineHandle* create_engine(const EngineConfig* config = nullptr) { return vm::create_engine(config); }
// Runs every finalizer and frees the engine. A null handle is ignored.
inline void destroy_engine(EngineHandle* engine) { vm::destroy_engine(engine); }

// Loads a compiled module ("QS1b") and runs its top-level code. The result is what that code left.
inline bool run_compiled_bytes(EngineHandle* engine, const void* bytes, size_t length) {
    return vm::run_compiled_bytes(engine, static_cast<const uint8_t*>(bytes), length);
}
inline bool run_compiled_file(EngineHandle* engine, const char* path) { return vm::run_compiled_file(engine, path); }

// Calls the global function `name` (this is null) with the given arguments.
bool call_function(EngineHandle* engine, const char* name, const Value* arguments, uint32_t count);
// Calls method `name` of a value with the given arguments.
bool call_method(EngineHandle* engine, const Value& receiver, const char* name, const Value* arguments,
                 uint32_t count);

// The value the last run or call left, valid until the next one.
inline const Value& last_result(EngineHandle* engine) { return engine->engine->result; }
// The result's string conversion, as UTF-8 (Linux) or in the ANSI code page (Windows).
std::string last_result_text(EngineHandle* engine);
// The text a failure left: the runtime error, the uncaught value's text, or a compilation's
// diagnostics, or why a module could not be read. Cleared when a run or call starts; native code
// that failed quietly during a run that then succeeded (an eval of a text that does not compile, a
// regular-expression search the matcher gave up) may leave its text here too.
inline const char* last_message(EngineHandle* engine) { return engine->engine->message; }

// Called with the code 2 after each collection; a non-zero answer n stops the running script with
// "Runtime error: hook break n".
inline void set_hook(EngineHandle* engine, EngineHook hook, void* user_data) {
    engine->engine->hook = hook;
    engine->engine->hook_data = user_data;
}
// Receives warnings and trace messages, which the engine otherwise discards.
inline void set_trace(EngineHandle* engine, TraceSink sink, void* user_data) {
    engine->engine->trace_sink = sink;
    engine->engine->trace_data = user_data;
}

}  // namespace quill
