// The Array class: the constructor, the `length` property and the eleven array methods.
#pragma once

#include <cstdint>

namespace quill {

struct ScriptEngine;

// Registers the class under the global name "Array" and as the per-type handler of the Array tag,
// so that array values find their methods and `length` through it and their string conversion is
// their join. Runs once, at engine creation.
void register_array_class(ScriptEngine* engine);

}  // namespace quill
