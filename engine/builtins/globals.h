// The global values and functions of the language: NaN, Infinity, parseInt, parseFloat, escape,
// unescape, isNaN, isFinite, trace, and the four URI functions.
#pragma once

namespace quill {

struct ScriptEngine;

// Installs, in this order, NaN, Infinity, parseInt, parseFloat, escape, unescape, isNaN, isFinite and
// trace into their global slots. Each function is the class object of a declared class of its own
// with only a call handler. Runs once, at engine creation, before any script.
void register_global_functions(ScriptEngine* engine);

// Installs encodeURI, decodeURI, encodeURIComponent and decodeURIComponent (in that order), shaped
// like the functions above. They belong to the language but are installed with the application's
// own globals.
void register_uri_functions(ScriptEngine* engine);

}  // namespace quill
