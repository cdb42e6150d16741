#include "tools/author/utf8_text.h"

namespace tarpon::author {

std::string ansi_from_utf8(std::string_view utf8) { return std::string(utf8); }
std::string utf8_from_ansi(std::string_view ansi) { return std::string(ansi); }

}  // namespace tarpon::author
