// The classes an engine registers at creation: the built-in ones and the host's, each at its place
// in the registration order (class_slots.h).
#pragma once

#include "engine/vm/services.h"

namespace quill::runtime {

// Every class at its place: at each place the built-in ones first, then the host's in its order.
void register_classes(ScriptEngine* engine, const vm::EngineConfig& config);

}  // namespace quill::runtime
