// The Object class: the constructor of plain objects (object literals are made with it too) and the
// members every plain object has when it does not define them itself: toString, toSource, valueOf.
#pragma once

namespace quill {

struct ScriptEngine;

// Stores the Object class object in its global slot and enters the class as the per-type handler of
// Object values. Runs once, at engine creation.
void register_object_class(ScriptEngine* engine);

}  // namespace quill
