// The registration functions of the classes of the network and of mail, one per class file.
#pragma once

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

void register_mail_class(quill::ScriptEngine* engine);  // mail.cpp
void register_socket_class(quill::ScriptEngine* engine);  // socket_win32.cpp

}  // namespace tarpon::host
