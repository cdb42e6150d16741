// The Quill Script engine as hosts see it: the one header a host includes.
//
//   quill::EngineConfig config;                      // stack size, flags, hook, the host's classes
//   config.host_classes = my_classes;                // {ClassSlot::X, register_x_class}, ...
//   config.host_class_count = std::size(my_classes);
//   quill::EngineHandle* engine = quill::create_engine(&config);
//   quill::run_native(engine, [&](quill::ScriptEngine* e) { quill::set_global(e, "answer", quill::Value::integer(42)); });
//   if (!quill::run_script_file(engine, "init.qls")) {
//       std::fprintf(stderr, "%s\n", quill::last_message(engine));
//   }
//   quill::destroy_engine(engine);
//
// Creating: create_engine with a configuration whose host_classes each take their place in the
// registration order (ClassSlot). Defining: native functions and classes are declared with
// declare_class (engine/values/class_declaration.h: member tables, the Arguments reader,
// make_instance), global values with set_global, strings and arrays with the value makers below,
// all inside run_native (or a handler), which catches what they raise. Running: source text, bytes
// and files, script files of either kind, compiled modules as bytes or files. Compiling: a source to
// a module, and a module's listing. Calling: script functions and methods. Results and messages:
// last_result, last_result_text, last_message, the hook and the trace sink.
//
// Every run and call goes under its own protection record: a runtime error or an uncaught throw in
// the script makes it return false with the text in the message buffer; nothing throws to the host.
// An engine is used by one thread, the one that created it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/runtime/class_slots.h"
#include "engine/runtime/engine_setup.h"
#include "engine/runtime/run.h"
#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/value.h"
#include "engine/vm/services.h"

namespace quill {

using vm::EngineConfig;
using vm::EngineHandle;

// {==== Creating

// Makes an engine with every built-in class and the configuration's host classes registered; a null
// configuration means the defaults (4096 stack cells, flags 0x58200, no hook, no host classes). Null
// when the engine cannot be made.
inline EngineHandle* create_engine(const EngineConfig* config = nullptr) { return runtime::create_engine(config); }
// Runs every finalizer and frees the engine. A null handle is ignored.
inline void destroy_engine(EngineHandle* engine) { vm::destroy_engine(engine); }

// }====

// {==== Defining

// Runs native code that defines globals and classes (or reads values) under a protection record:
// false, with the text in the message buffer, when it raised (out of memory, a conversion's error).
template <typename Procedure>
bool run_native(EngineHandle* engine, Procedure&& procedure) {
    ScriptEngine* e = engine->engine;
    return run_protected(e, [&] { procedure(e); });
}

// A String of text in the system code page (UTF-8 on Linux, the ANSI code page on Windows).
inline Value string_value(ScriptEngine* engine, std::string_view text) {
    return make_string_from_narrow(engine, text);
}
// A new Array of the values, at indexes 0 .. n - 1.
Value array_value(ScriptEngine* engine, const std::vector<Value>& elements);

// }====

// {==== Running

// Loads a compiled module ("QS1b") and runs its top-level code. The result is what that code left.
inline bool run_compiled_bytes(EngineHandle* engine, const void* bytes, size_t length) {
    return vm::run_compiled_bytes(engine, static_cast<const uint8_t*>(bytes), length);
}
inline bool run_compiled_file(EngineHandle* engine, const char* path) { return vm::run_compiled_file(engine, path); }

// Compiles a source with the engine's compile flags, loads it and runs it. A source that does not
// compile leaves its diagnostics in the message buffer.
inline bool run_source_text(EngineHandle* engine, const char* text) { return runtime::run_source_text(engine, text); }
inline bool run_source_bytes(EngineHandle* engine, const char* bytes, size_t length) {
    return runtime::run_source_bytes(engine, bytes, length);
}
inline bool run_source_file(EngineHandle* engine, const char* path) { return runtime::run_source_file(engine, path); }
// ".qsc" files (any letter case) run as compiled modules, ".qls" files as source, any other file by
// its content (the magic "QS1b", after an optional "#" first line, means a compiled module).
inline bool run_script_file(EngineHandle* engine, const char* path) { return runtime::run_script_file(engine, path); }
// Whether run_script_file takes the file for a compiled module.
inline bool is_compiled_script_file(const char* path) { return runtime::is_compiled_script_file(path); }

// }====

// {==== Compiling

// What compiling a source gives: the module's bytes when it compiled, and the diagnostics (warnings
// and errors, one per line) either way.
struct CompiledModule {
    bool ok = false;
    std::vector<uint8_t> module;
    std::string diagnostics;
};

// Compiles with the engine's compile flags; `debug_info` keeps line information in the module.
CompiledModule compile_source_text(EngineHandle* engine, std::string_view text, bool debug_info = false);
// The same for a file; with a `module_path` the module is written there instead of returned.
CompiledModule compile_source_file(EngineHandle* engine, const char* path, bool debug_info = false,
                                   const char* module_path = nullptr);
// Whether the text compiles, with the engine's flags, leaving the engine untouched (no diagnostics
// in its message buffer).
bool source_compiles(const EngineHandle* engine, std::string_view text);
// The listing of a module's code; false when the bytes hold no module.
bool list_module(const void* bytes, size_t length, std::string* listing);

// }====

// {==== Calling

// Calls the global function `name` (this is null) with the given arguments.
bool call_function(EngineHandle* engine, const char* name, const Value* arguments, uint32_t count);
// Calls method `name` of a value with the given arguments.
bool call_method(EngineHandle* engine, const Value& receiver, const char* name, const Value* arguments,
                 uint32_t count);

// }====

// {==== Results and messages

// The value the last run or call left, valid until the next one.
inline const Value& last_result(EngineHandle* engine) { return engine->engine->result; }
// The result's string conversion, as UTF-8 (Linux) or in the ANSI code page (Windows).
std::string last_result_text(EngineHandle* engine);
// The text a failure left: the runtime error, the uncaught value's text, or a compilation's
// diagnostics, or why a module could not be read. Cleared when a run or call starts; native code
// that failed quietly during a run that then succeeded (an eval of a text that does not compile, a
// regular-expression search the matcher gave up) may leave its text here too.
inline const char* last_message(EngineHandle* engine) { return engine->engine->message; }
// Whether the last run failed before any of its script ran: the file could not be read, the source
// did not compile, or the module was refused. Otherwise a failed run raised or threw.
inline bool last_run_unusable(const EngineHandle* engine) { return engine->script_unusable; }

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

// A full collection from where the last run left the stack, then the heap's consistency check:
// false when the heap is inconsistent. For tests and fuzzing.
bool collect_and_check_heap(EngineHandle* engine);

// }====

}  // namespace quill
