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

// A new Date object holding the time value (0 when it lies beyond the limit); Null when the Date
// class is not registered.
Value make_date_object(ScriptEngine* engine, double time);

// The standard time-zone bias the engine's dates use, in minutes, positive west of Greenwich (0 when
// the Date class is not registered): local time = time value - bias minutes.
int date_time_zone_bias(ScriptEngine* engine);

}  // namespace quill
