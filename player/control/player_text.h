// Text between the container's BSTRs (UTF-16) and the movie's strings (UTF-8; movies before
// version 6 use the ANSI code page, so bytes that are not UTF-8 are read as ANSI).
#pragma once

#include "platform/windows.h"

#include <oleauto.h>

#include <string>
#include <string_view>

namespace tarpon::player {

std::string movie_text(const wchar_t* text, size_t length);
// A BSTR argument as movie text; a null BSTR is the empty string.
std::string movie_text(BSTR text);
std::wstring wide_text(std::string_view text);
// A new BSTR the caller frees; null only when out of memory.
BSTR new_bstr(std::string_view text);
BSTR new_bstr(const std::wstring& text);

// An ASCII-only comparison without regard to case.
bool same_ascii_text(std::wstring_view a, std::wstring_view b);

} // namespace tarpon::player
