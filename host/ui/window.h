// Window objects: scripts see any window of the system through a Window object for its handle.
#pragma once

#include <cstddef>

#include "engine/values/value.h"
#include "platform/windows.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// A Window object for the handle, made the way every producer of Window objects makes them (the
// constructor, Shell.run, ...); null when the handle names no window or the engine has no Window
// class. Every object of one handle in one engine shares one wrapper.
quill::Value make_window_object(quill::ScriptEngine* engine, HWND handle);

// The wrappers alive in all engines: one per window and engine while any of its objects lives.
size_t window_wrapper_count();

}  // namespace tarpon::host
