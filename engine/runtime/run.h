// Running scripts from source: source text, bytes and files through the compiler, and script files
// that may hold either source or a compiled module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/vm/services.h"

namespace quill::compiler {
struct CompileOutput;
}

namespace quill::runtime {

// Compile a source with the engine's compile flags, load it and run ".main". A source that does not
// compile leaves its diagnostic text in the message buffer.
bool run_source_text(vm::EngineHandle* handle, const char* text);
bool run_source_bytes(vm::EngineHandle* handle, const char* bytes, size_t length);
bool run_source_file(vm::EngineHandle* handle, const char* path);
// ".qsc" files (any letter case) run as compiled modules, ".qls" files as source; any other file
// by its content: the magic "QS1b" (after an optional "#" first line) means a compiled module.
bool run_script_file(vm::EngineHandle* handle, const char* path);
// Whether run_script_file takes the file for a compiled module.
bool is_compiled_script_file(const char* path);

// Runs what the compiler made; a text that did not compile leaves its diagnostics in the message
// buffer and no result.
bool run_compiled_output(vm::EngineHandle* handle, const compiler::CompileOutput& output);

// The compile flags the engine's configuration gives.
uint32_t compile_flags(const vm::EngineHandle* handle);

}  // namespace quill::runtime
