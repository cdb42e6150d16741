// Engines as hosts make them: the virtual machine's engine with every class of the configuration
// registered, and eval.
#pragma once

#include "engine/vm/services.h"

namespace quill::runtime {

// Null when the engine cannot be made (out of memory, a registration that failed).
vm::EngineHandle* create_engine(const vm::EngineConfig* config);

}  // namespace quill::runtime
