// The Boolean class: the constructor of boolean values and the members of every boolean.
#pragma once

namespace quill {

struct ScriptEngine;

// Stores the Boolean class object in its global slot and enters the class as the per-type handler
// of Boolean values. Runs once, at engine creation.
void register_boolean_class(ScriptEngine* engine);

}  // namespace quill
