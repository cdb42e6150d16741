#include "projector/appdata/messages.h"

#include <zlib.h>

namespace tarpon::appdata {

const char* message_text(Message message) {
    switch (message) {
#define TARPON_APPDATA_MESSAGE_CASE(name, text) \
    case Message::name:                         \
        return text;
        TARPON_APPDATA_MESSAGES(TARPON_APPDATA_MESSAGE_CASE)
#undef TARPON_APPDATA_MESSAGE_CASE
    }
    return "";
}

const char* zlib_status_text(int status) {
    switch (status) {
    case Z_BUF_ERROR: return message_text(Message::ZlibBuffer);
    case Z_MEM_ERROR: return message_text(Message::ZlibMemory);
    case Z_DATA_ERROR: return message_text(Message::ZlibData);
    case Z_STREAM_ERROR: return message_text(Message::ZlibStream);
    default: return message_text(Message::ZlibOther);
    }
}

}  // namespace tarpon::appdata
