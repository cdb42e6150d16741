// The Number class: the constructor of numbers, their members (toString with a radix, valueOf,
// format) and the number constants.
#pragma once

namespace quill {

struct ScriptEngine;

// Stores the Number class object in its global slot and enters the class as the per-type handler of
// Integer, Number and NaN values. Runs once, at engine creation.
void register_number_class(ScriptEngine* engine);

}  // namespace quill
