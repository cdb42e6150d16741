// A stand-in per-type handler that gives strings their text until the String class is registered.
// Used by the engine's creation, the demo and the tests of this layer.
#pragma once

namespace quill {

struct ScriptEngine;

// Enters a minimal class for String values into the per-type handler table; it answers toString
// and valueOf with the string itself.
void install_standin_type_handlers(ScriptEngine* engine);

}  // namespace quill
