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

// Calls of one script function with this Null and two arguments, made many times over by native
// code under a protected frame of its own (a sort's comparator). Each call is made as call_in_frame
// (services.h) would make it, but without its dispatch on the callee, and with the entry frame laid
// out once, at the engine's saved stack top: a call writes only the cells a script may have changed.
// Each result goes to the engine result; a failure exits to that frame.
// Requires: `function` is a Function with code; the innermost protection record is the caller's
// host-level record while the object is used, and the saved stack top is where it was when the
// object was made (calls leave it there).
class RepeatedCall {
public:
    // Raises a stack overflow when the stack has no room for the function.
    RepeatedCall(ScriptEngine* engine, const Value& function);
    void call(const Value& first, const Value& second);

private:
    ScriptEngine* m_engine;
    Value* m_top;
    Value* m_frame;
    // Where the function starts, and the frame's cells header as that start leaves it.
    const uint32_t* m_start;
    Value m_cells;
};

}  // namespace quill::vm
