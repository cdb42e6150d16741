// Test-only stand-ins for the createControl step, which the player host's library supplies in the
// projector. The bridge tests do not link that library; these let them link and register nothing.
#include "projector/bridge/application_functions.h"

namespace tarpon::projector {

void register_create_control(quill::ScriptEngine*) {}
void destroy_script_controls() {}

}  // namespace tarpon::projector
