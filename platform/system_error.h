// The system's message text for an error code.
#pragma once

#include <cstdint>
#include <string>

namespace tarpon::platform {

// The text Windows gives for the code (neutral language, the system's default sublanguage), in the
// ANSI code page, without the line break the system puts at its end. A code the system has no text
// for gives "error <code>".
std::string system_error_text(uint32_t code);

}  // namespace tarpon::platform
