#include "host/common/host_messages.h"

#include <string>

#include "engine/values/errors.h"

namespace tarpon::host {

const char* host_message_text(HostMessage message) {
    switch (message) {
#define TARPON_HOST_MESSAGE_CASE(name, text) \
    case HostMessage::name:                  \
        return text;
        TARPON_HOST_MESSAGES(TARPON_HOST_MESSAGE_CASE)
#undef TARPON_HOST_MESSAGE_CASE
    }
    return "";
}

void store_host_message(quill::ScriptEngine* engine, HostMessage message, const char* detail) {
    std::string text = host_message_text(message);
    if (size_t at = text.find("%s"); at != std::string::npos) {
        text.replace(at, 2, detail != nullptr ? detail : "");
    }
    quill::set_message(engine, "%s", text.c_str());
}

}  // namespace tarpon::host
