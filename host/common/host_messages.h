// Every message text of the host objects, in one table, used by name (as the engine's own are in
// engine/values/messages.h). Texts are the system's own and must stay exactly as written.
#pragma once

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// X(name, text); a text may hold one "%s". The classes of the system report through the system's
// own texts (system_error.h); classes with texts of their own list them here.
#define TARPON_HOST_MESSAGES(X)                                                                   \
    /* The common dialogs' own failures (their codes have no text in the system's table). */     \
    X(DialogCancelled, "The dialog box was closed without a choice.")                             \
    X(DialogFailure, "The dialog box could not be created.")                                      \
    X(DialogBadSetup, "The dialog box was given settings it cannot use.")                         \
    X(DialogResources, "The dialog box could not load its resources.")                            \
    X(DialogMemory, "There was not enough memory for the dialog box.")                            \
    X(DialogRegisterMessage, "The dialog box could not register its messages.")                   \
    X(DialogNoFonts, "There are no fonts to choose from.")                                        \
    X(DialogFontSizeRange, "The smallest font size asked for is larger than the largest.")        \
    X(DialogSubclass, "The file dialog could not take over the list of files.")                   \
    X(DialogInvalidFileName, "The file name is not valid.")                                       \
    X(DialogBufferTooSmall, "The chosen file names are too long for the dialog's buffer.")

enum class HostMessage {
#define TARPON_HOST_MESSAGE_ENUM(name, text) name,
    TARPON_HOST_MESSAGES(TARPON_HOST_MESSAGE_ENUM)
#undef TARPON_HOST_MESSAGE_ENUM
};

const char* host_message_text(HostMessage message);
// Stores the text (with the detail in place of its "%s") in the engine's message buffer.
void store_host_message(quill::ScriptEngine* engine, HostMessage message, const char* detail = "");

}  // namespace tarpon::host
