// The host's message loop step that scripts run through processMsg: it empties the thread's queue
// so that windows stay responsive and notifications reach their handlers while a script waits.
#pragma once

#include "platform/windows.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// What the projector adds to the loop; a host without a main window leaves every hook empty.
struct MessageLoopHooks {
    // True when the application consumed the message (accelerators and the like).
    bool (*pre_translate)(MSG* message) = nullptr;
    // The application's shutdown routine, run when the quit message is taken.
    void (*shutdown)() = nullptr;
    // True when a close of the main window was put off while a script ran; clears that state.
    bool (*take_pending_close)() = nullptr;
};

void set_message_loop_hooks(const MessageLoopHooks& hooks);

// Dispatches waiting messages until the queue is empty (true), the quit message arrives or a close
// of the main window is pending (false).
bool process_messages();

// Defines the global function processMsg.
void register_message_loop_functions(quill::ScriptEngine* engine);

}  // namespace tarpon::host
