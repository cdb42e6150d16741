// The registration list of the built-in classes.
#include "engine/runtime/registration.h"

#include "engine/builtins/array.h"
#include "engine/builtins/boolean.h"
#include "engine/builtins/date.h"
#include "engine/builtins/function.h"
#include "engine/builtins/globals.h"
#include "engine/builtins/math.h"
#include "engine/builtins/number.h"
#include "engine/builtins/object.h"
#include "engine/builtins/regexp.h"
#include "engine/builtins/string.h"
#include "engine/runtime/class_slots.h"

namespace quill::runtime {

namespace {

// The built-in classes at their places in the registration order.
const ClassRegistration builtin_classes[] = {
    {ClassSlot::GlobalFunctions, register_global_functions},
    // The URI functions belong with the application's globals; until those exist they come here,
    // so that every host (the command-line one included) has them.
    {ClassSlot::GlobalFunctions, register_uri_functions},
    {ClassSlot::Date, register_date_class},
    {ClassSlot::Math, register_math_object},
    {ClassSlot::RegExp, register_regexp_class},
    {ClassSlot::Array, register_array_class},
    {ClassSlot::Boolean, register_boolean_class},
    {ClassSlot::Function, register_function_class},
    {ClassSlot::Number, register_number_class},
    {ClassSlot::String, register_string_class},
    {ClassSlot::Object, register_object_class},
};

}  // namespace

void register_classes(ScriptEngine* engine, const vm::EngineConfig& config) {
    for (uint32_t slot = 0; slot < static_cast<uint32_t>(ClassSlot::Count); ++slot) {
        for (const ClassRegistration& entry : builtin_classes) {
            if (static_cast<uint32_t>(entry.slot) == slot) {
                entry.register_class(engine);
            }
        }
        for (size_t i = 0; i < config.host_class_count; ++i) {
            if (static_cast<uint32_t>(config.host_classes[i].slot) == slot) {
                config.host_classes[i].register_class(engine);
            }
        }
    }
}

}  // namespace quill::runtime
