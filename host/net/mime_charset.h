// Charsets of message text. Text leaves and enters Mail as 8-bit text in the system's code page (the
// local text); a message declares the charset of what it holds. The conversions are the system's:
// the Windows code pages, and elsewhere UTF-8, ISO-8859-1 and US-ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarpon::mime {

// The charset name a message declares for text in the code page.
std::string_view charset_for_code_page(uint32_t code_page);
// The code page of a charset name (compared without regard to case), 0 when it is not one we know.
uint32_t code_page_for_charset(std::string_view charset);

// The charset of the local text.
std::string local_charset();
// Text in the named charset as local text; nothing when the charset is unknown here. Characters the
// local text cannot hold become the system's replacement ('?').
std::optional<std::string> to_local_text(std::string_view charset, std::string_view bytes);
// The length in bytes of the local text's character that starts at text[i] (at least 1, never past
// the end), so that text cut into pieces is never cut inside a character. Requires: i < size.
size_t local_character_length(std::string_view text, size_t i);

}  // namespace tarpon::mime
