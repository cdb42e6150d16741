// Failures of system calls inside host objects are not script errors: the method returns what its
// class says and the system's message text for the error code goes to the engine's message buffer.
#pragma once

#include <cstdint>

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// Stores the system's text for the code (neutral language, system default sublanguage), cut to the
// message buffer.
void store_system_error(quill::ScriptEngine* engine, uint32_t code);
// The same for the calling thread's last error (GetLastError).
void store_last_error(quill::ScriptEngine* engine);

}  // namespace tarpon::host
