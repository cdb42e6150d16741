// The registration functions of the classes of the network and of mail, one per class file.
#pragma once

#include <optional>
#include <string>

#include "engine/values/value.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

void register_mail_class(quill::ScriptEngine* engine);  // mail.cpp
void register_socket_class(quill::ScriptEngine* engine);  // socket_win32.cpp
void register_send_mail_class(quill::ScriptEngine* engine);  // mail_transfer_win32.cpp
void register_recv_mail_class(quill::ScriptEngine* engine);  // mail_transfer_win32.cpp

// What SendMail takes from a Mail object: its text as asText gives it and the address fields.
struct MailToSend {
    std::string text;
    std::string from;
    std::string to;
    std::string cc;
    std::string bcc;
};
// Nothing when the value is not a Mail object.
std::optional<MailToSend> mail_to_send(const quill::Value& value);
// A new Mail object holding the message text, as load would leave it; null when its message file
// cannot be made.
quill::Value new_mail(quill::ScriptEngine* engine, std::string text);

}  // namespace tarpon::host
