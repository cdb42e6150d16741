// The interpreter: one dispatch loop over word code on the engine's stack, re-entrant through
// native handlers.
#pragma once

#include <cstdint>

#include "engine/values/value.h"

namespace quill {
struct ScriptEngine;
struct CodeBlock;
}  // namespace quill

namespace quill::vm {

// Runs a code block from the engine's saved stack top: pushes a Function value for the block, the
// `cells` cells of the argument block (count cell first), this (Null when self is null) and an
// entry frame, then executes until END or a RETURN from the entry frame. The result goes to the
// engine result; runtime errors leave by a non-local exit.
// Requires: the innermost protection record belongs to the caller (a load or call service), so that
// try records this invocation pushes are told apart from those of outer invocations.
void run_code(ScriptEngine* engine, const Value* self, CodeBlock* block, uint32_t cells, const Value* args);

// Runs a script function value with a receiver (the engine's script invoker for native code).
void invoke_function(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells, Value* args);

// Calls a script function with this Null and two arguments as call_in_frame (services.h) does, but
// without its dispatch on the callee: the entry of native code that calls one script function many
// times over under a protected frame of its own (a sort's comparator). The result goes to the
// engine result; a failure exits to that frame.
// Requires: `function` is a Function with code; the innermost protection record is the caller's
// host-level record.
void invoke_with_two(ScriptEngine* engine, const Value& function, const Value& first, const Value& second);

}  // namespace quill::vm
