// Text for the UTF-16 side of Windows (WCHAR). Engine strings are UTF-16 already, so they cross as
// they are; 8-bit text goes through the engine's one code-page pair.
#pragma once

#include <string>
#include <string_view>

namespace tarpon::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "WCHAR is a UTF-16 code unit on Windows");

std::wstring to_wide(std::u16string_view text);
std::u16string from_wide(std::wstring_view text);
// ANSI code page text to and from WCHAR text.
std::wstring ansi_to_wide(std::string_view text);
std::string wide_to_ansi(std::wstring_view text);

}  // namespace tarpon::platform
