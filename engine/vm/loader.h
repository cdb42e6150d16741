// Loading compiled modules into an engine: constants, code blocks, global functions, ".main".
#pragma once

#include <cstdint>

#include "engine/vm/module.h"

namespace quill {
struct ScriptEngine;
}

namespace quill::vm {

// Under its own protection record: appends the module's constants, verifies and translates each
// function into word code, installs the named functions as globals and runs ".main". On failure the
// message buffer says why; constants and functions installed before the failure stay. `refused`, when
// given, tells whether the failure came before ".main" started (the module was refused).
bool load_module(ScriptEngine* engine, const Module& module, bool* refused = nullptr);

// The name of the function whose word code contains the position; ".main" when none does.
const char* function_name_at(ScriptEngine* engine, const uint32_t* code);
// The source name and line of the engine's saved code position; -1 (and a null name) without
// line information.
int line_at(ScriptEngine* engine, const char** source_name);

}  // namespace quill::vm
