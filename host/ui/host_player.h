// The player control a host lends to the movie objects (FlashPlayer, MovieClip). The projector
// installs a source that names its control while the control exists; a host without one
// (quill.exe) installs none, and there every member of the movie objects gives Undefined.
#pragma once

#include <cstdint>

#include "platform/com.h"
#include "platform/windows.h"

namespace tarpon::host {

struct HostPlayerSource {
    // The control's dispatch interface (no reference added); null while there is no control.
    IDispatch* (*control)() = nullptr;
    // The control's window; null while there is none.
    HWND (*window)() = nullptr;
};

// An empty source takes the lending back.
void set_host_player_source(const HostPlayerSource& source);

IDispatch* host_player_control();
HWND host_player_window();

}  // namespace tarpon::host

namespace quill {
struct ScriptEngine;
struct Value;
}

namespace tarpon::host {

// Calls member `id` of the lent control with exactly `count` arguments (see dispatch_invoke). False
// with `result` Undefined and no error text when there is no control.
bool player_invoke(quill::ScriptEngine* engine, DISPID id, WORD flags, const quill::Value* args, uint32_t count,
                   quill::Value* result, const char* name);

}  // namespace tarpon::host
