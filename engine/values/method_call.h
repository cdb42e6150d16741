// Calling a method of a value from native code, as the engine's call service does.
#pragma once

#include <cstdint>

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// Runs under its own protection record. A HostObject asks its class method handler; an Object looks
// the name up own or inherited and runs a script function with the receiver as this, falling back
// to the Object class's per-type handler; other tags ask their per-type handler. On success the
// engine result holds the method's result; on failure the message buffer says why ("Warning: unknown
// method \"name\"" when nobody answers). `cells` counts the argument block's cells (count included).
// A native handler gets the receiver and a copy of the block on the stack, as calls from the
// interpreter do, so that both live through collections in script code the handler runs.
bool call_method(ScriptEngine* engine, const Value& receiver, Atom method, uint32_t cells, Value* args);

}  // namespace quill
