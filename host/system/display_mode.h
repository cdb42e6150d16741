// Display modes as scripts see them: plain objects with the four Integer properties bitsPerPel,
// pelsWidth, pelsHeight and displayFrequency.
#pragma once

#include "engine/values/value.h"
#include "platform/windows.h"

namespace quill {
struct ScriptEngine;
struct PropertyTable;
} // namespace quill

namespace tarpon::host {

// A new display-mode object for the mode.
quill::Value display_mode_object(quill::ScriptEngine* engine, const DEVMODEA& mode);

// Changes the primary display's mode to the current one with the fields the object has
// (each taken as a 32-bit integer) replaced, only testing it when the object's `test` property is
// true, and writes the system's result code into `test`. Its property values are converted, which
// may run script code.
void change_display_mode(quill::ScriptEngine* engine, quill::PropertyTable* object);

} // namespace tarpon::host
