// Conversion between UTF-16 engine text and the platform's narrow text ("the ANSI code page").
//
// On Windows the narrow side is the system code page (CP_ACP). Elsewhere it is UTF-8, where any byte
// that is not part of a valid sequence stands for the code unit of the same value, so decoding never
// fails; lone surrogates are written as three-byte sequences and read back unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quill {

// Code units needed for the narrow text, and the conversion into a buffer of that many units.
size_t narrow_to_utf16_length(std::string_view narrow);
void narrow_to_utf16(std::string_view narrow, char16_t* out, size_t out_length);

// Bytes needed for the narrow form of the text, and the conversion into a buffer of that many bytes.
size_t utf16_to_narrow_length(std::u16string_view wide);
void utf16_to_narrow(std::u16string_view wide, char* out, size_t out_length);

// Convenience forms for code outside the hot paths.
std::u16string narrow_to_utf16(std::string_view narrow);
std::string utf16_to_narrow(std::u16string_view wide);

}  // namespace quill
