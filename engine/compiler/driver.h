// The compiler driver: one source in, the bytes of a compiled module out, with the diagnostic text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compiler/compilation.h"

namespace quill {
struct ScriptEngine;
}

namespace quill::compiler {

struct CompileOutput {
    bool ok = false;
    std::vector<uint8_t> module;  // when ok and no output file was given
    std::string diagnostics;      // warning and error lines, "\r\n" after each
};

// Compiles a text in memory (named "string") or a file (named by its path). A listing file, when
// given, receives the listing; an output file, when given, the module bytes (which are then written
// there straight from the pieces they were built in, and not returned). The diagnostic text is
// also left in the engine: cut to fit its message buffer, and whole in engine->diagnostics.
CompileOutput compile_text(ScriptEngine* engine, std::string_view text, uint32_t flags,
                           const char* listing_path = nullptr, const char* output_path = nullptr);
CompileOutput compile_file(ScriptEngine* engine, const char* path, uint32_t flags,
                           const char* listing_path = nullptr, const char* output_path = nullptr);

// The compile flags an engine configuration's option word gives; bit 0 is set when the first
// option field (the stack size) is non-zero.
uint32_t compile_flags_from_options(uint32_t option_word, uint32_t first_option_field);

}  // namespace quill::compiler
