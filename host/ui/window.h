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
// constructor, Shell.run, the application functions, the movie objects); null when the handle names
// no window or the engine has no Window class. Every object of one window in one engine shares one
// wrapper, and with it one set of event handlers; the window's messages go through the wrapper's
// dispatching procedure while any of its objects lives.
quill::Value make_window_object(quill::ScriptEngine* engine, HWND handle);

// The window of a Window object: null for any other value, for the object of no window (handle 0)
// and for an object whose window is gone.
HWND window_object_handle(const quill::Value& window);

// Stores the handler a right-button press in the window calls (and which then swallows the press),
// for host objects that offer it to scripts under a name of their own (the player control's context
// menu). False, storing nothing, when `window` is no Window object or `handler` no Function.
bool set_window_right_button_handler(const quill::Value& window, const quill::Value& handler);

// The wrappers alive in all engines: one per window and engine while any of its objects lives.
size_t window_wrapper_count();

}  // namespace tarpon::host
