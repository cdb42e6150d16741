// The global values and functions of the language: NaN, Infinity, parseInt, parseFloat, escape,
// unescape, isNaN, isFinite, trace, and the four URI functions.
#pragma once

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct HostClass;

// Installs, in this order, NaN, Infinity, parseInt, parseFloat, escape, unescape, isNaN, isFinite and
// trace into their global slots. Each function is a HostObject of a class of its own with only a
// call handler and no instance data. Runs once, at engine creation, before any script.
void register_global_functions(ScriptEngine* engine);

// Installs encodeURI, decodeURI, encodeURIComponent and decodeURIComponent (in that order), shaped
// like the functions above. They belong to the language but are installed with the application's
// own globals.
void register_uri_functions(ScriptEngine* engine);

// The engine's trace hook, a native of the call-handler shape: each argument's text goes to the
// trace sink, where warnings go too (discarded when there is none). Never stops the script; leaves
// the result Undefined. `trace` is this function.
void trace_hook(ScriptEngine* engine, HostClass* cls, void* instance, Value* result, Value* args);

}  // namespace quill
