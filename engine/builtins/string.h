// The String class: the constructor of string values and the members of every string.
#pragma once

namespace quill {

struct ScriptEngine;

// Stores the String class object in its global slot and enters the class as the per-type handler
// of String values. Runs once, at engine creation.
void register_string_class(ScriptEngine* engine);

}  // namespace quill
