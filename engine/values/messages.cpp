// The message table.
#include "engine/values/messages.h"

namespace quill {

const char* message_text(Message message) {
    static const char* const texts[] = {
#define QUILL_MESSAGE_TEXT(name, text) text,
        QUILL_MESSAGES(QUILL_MESSAGE_TEXT)
#undef QUILL_MESSAGE_TEXT
    };
    return texts[static_cast<int>(message)];
}

}  // namespace quill
