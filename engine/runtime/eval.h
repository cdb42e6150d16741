// eval(text) and evals(path): scripts compiled and run by a running script, in its engine.
#pragma once

#include "engine/vm/services.h"

namespace quill::runtime {

// Defines eval and evals for the engine of the handle.
void register_eval(vm::EngineHandle* handle);

}  // namespace quill::runtime
