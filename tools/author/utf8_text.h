// tarpon.toml is UTF-8; the settings hold text in the ANSI code page. On Linux the two are the
// same; on Windows the text is converted through UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace tarpon::author {

std::string ansi_from_utf8(std::string_view utf8);
std::string utf8_from_ansi(std::string_view ansi);

}  // namespace tarpon::author
