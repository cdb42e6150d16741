// Engine creation with the registration list and eval.
#include "engine/runtime/engine_setup.h"

#include "engine/runtime/eval.h"
#include "engine/runtime/registration.h"

namespace quill::runtime {

namespace {

void set_up(vm::EngineHandle* handle) {
    register_classes(handle->engine, handle->config);
    register_eval(handle);
}

}  // namespace

vm::EngineHandle* create_engine(const vm::EngineConfig* config) { return vm::create_engine(config, set_up); }

}  // namespace quill::runtime
