// The Date class: objects that hold one time value, with getters and setters in local time and in
// UTC, two text forms and a tolerant parser.
#pragma once

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// Stores the Date class in its global slot and reads the time zone, once: the engine keeps the
// standard offset it finds for as long as it lives and never applies daylight saving.
void register_date_class(ScriptEngine* engine);

// Whether the value is a Date object; its time value goes to `time` when it is.
bool date_time_value(const Value& value, double* time);

}  // namespace quill
