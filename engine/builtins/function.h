// The Function class: the string form of script functions and new Function(p1, ..., pn, body),
// which compiles a function from text in the running engine.
#pragma once

#include <string>

#include "engine/values/arguments.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// Stores the Function class object in its global slot and enters the class as the per-type handler
// of Function values. Runs once, at engine creation.
void register_function_class(ScriptEngine* engine);

// The source text new Function compiles from its arguments: "function (p1, p2) {body}", the
// parameters being every argument but the last that is a String, the body the last argument when it
// is a String. Texts are in the system code page.
std::string function_source(ScriptEngine* engine, const Arguments& args);

}  // namespace quill
