// Stand-in per-type handlers that give booleans, numbers and strings their text until the built-in
// classes are registered. Used by the demo and the tests of this layer.
#pragma once

namespace quill {

struct ScriptEngine;

// Enters minimal classes for Boolean, Integer, Number, NaN and String into the per-type handler
// table; each answers toString (and valueOf with the value itself).
void install_standin_type_handlers(ScriptEngine* engine);

}  // namespace quill
