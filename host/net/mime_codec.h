// The transfer encodings of MIME bodies and encoded words: quoted-printable and base64, both ways.
// The decoders take any bytes; what does not fit the encoding is passed over, never an error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarpon::mime {

// Quoted-printable for a body. Bytes below 32 other than tab, CR and LF, '=' and bytes from 127 up
// become "=XX"; a space or tab just before a line break (or at the very end) becomes "=20"/"=09",
// since a reader drops white space at the end of a line. Lines are broken with a soft break "=\r\n"
// before they pass 73 characters; a final partial line ends with a soft break too.
std::string quoted_printable_encode(std::string_view bytes);
// "=XX" (hexadecimal digits in either case) gives the byte; a soft break ("=" before CR LF or LF,
// with any white space between) is dropped; any other '=' is kept.
std::string quoted_printable_decode(std::string_view text);
// The "Q" encoding of an encoded word: as quoted-printable, and '_' stands for a space.
std::string q_decode(std::string_view text);

// Base64 line lengths: the text encoder's and the file encoder's; 0 writes one unbroken run.
constexpr size_t base64_text_line = 72;
constexpr size_t base64_file_line = 76;
// Standard alphabet with '=' padding; "\r\n" after every `line_length` characters and after a final
// partial line.
std::string base64_encode(std::string_view bytes, size_t line_length);
// Decodes up to the first '=' (or the end), passing over every character outside the alphabet.
std::string base64_decode(std::string_view text);

}  // namespace tarpon::mime
