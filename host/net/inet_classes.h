// The registration functions of the network utility classes, one per class file.
#pragma once

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

void register_inet_class(quill::ScriptEngine* engine);      // inet_win32.cpp
void register_ip_config_class(quill::ScriptEngine* engine); // ip_config_win32.cpp

} // namespace tarpon::host
