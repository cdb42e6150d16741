// The projector's own message texts, shown to the user in message boxes. They must stay exactly as
// written. (The texts of the application data are in projector/appdata/messages.h.)
#pragma once

namespace tarpon::projector::text {

constexpr const char* sockets_failed = "Failed to initialize the WIndows Socket!";
constexpr const char* player_failed = "Failed to load the Macromedia Flash Player!";
constexpr const char* oleaut_too_old =
    "The OleAut32.dll in your system is too old to run this application. Do you want to update it?\r\n\r\n"
    "If you decide to update the dll, be sure to close any other running applications.";
constexpr const char* oleaut_update_failed = "Failed to update the OleAut32.dll!";

// Debug traces of the FSCommand bridge.
constexpr const char* trace_command = "FSCommand(\"%s\", \"%s\")\r\n";
constexpr const char* trace_missing_script = "Warning: Quill Script \"%s\" not found.\r\n";
constexpr const char* trace_failed_run = "%s\r\n";

}  // namespace tarpon::projector::text
