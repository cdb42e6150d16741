// The registration functions of the classes of the user interface, one per class file.
#pragma once

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

void register_window_class(quill::ScriptEngine* engine);  // window.cpp

}  // namespace tarpon::host
