// The byte forms behind the stream classes: text in each charset and back, with a multi-byte
// sequence cut at the end of a read kept for the next one; zlib's wrapped deflate both ways, with
// the inflated size bounded; and base64 read strictly. Portable, so every build and the fuzzer use
// the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarpon::host::data {

enum class Charset : uint8_t {
    Ansi,     // the engine's code-page pair (the system code page on Windows)
    Utf8,
    Utf16Le,
    Binary,   // one byte per code unit, 0-255
};

// The charset named by "ansi", "utf-8", "utf-16le" or "binary" (ASCII letters in any case); nothing
// for any other name.
std::optional<Charset> charset_named(std::u16string_view name);
const char* charset_name(Charset charset);

struct Decoded {
    std::u16string text;
    size_t used = 0;  // bytes taken from the front of the input; the rest waits for more
};

// Decodes the bytes. Unless `at_end`, a sequence that the end of the bytes cuts short is left
// unused, so that the caller can put the next bytes behind it; at the end it is decoded as it
// stands. Bytes that are not valid UTF-8 each give U+FFFD, and so does a lone final byte of
// UTF-16LE; UTF-16LE keeps unpaired surrogates as they are.
Decoded decode_text(Charset charset, std::string_view bytes, bool at_end);

// The bytes of the text; nothing when a code unit has no byte form in the charset (above 255 in
// binary). UTF-8 writes an unpaired surrogate as U+FFFD.
std::optional<std::string> encode_text(Charset charset, std::u16string_view text);

// Bytes at the end of ANSI text that begin a character the end cuts short (the system's lead
// bytes on Windows, an unfinished UTF-8 sequence elsewhere).
size_t ansi_cut_tail(std::string_view bytes);
// The same for UTF-8; with `encoded_surrogates` a surrogate's three-byte form counts as a
// character (as the engine's own narrow text away from Windows has it).
size_t utf8_cut_tail(std::string_view bytes, bool encoded_surrogates = false);

// The line end of the charset at the front of the bytes starting at `from` (a code unit boundary):
// where the next "\n" begins, or npos. Lines end at "\n"; a "\r" before it belongs to the line end.
size_t find_line_feed(Charset charset, std::string_view bytes, size_t from);
// Code units of the charset (1, or 2 for UTF-16LE).
size_t unit_size(Charset charset);

// zlib (RFC 1950) form of the bytes at the level (0-9, or -1 for zlib's default); nothing when
// zlib fails (out of memory).
std::optional<std::string> zlib_compress(std::string_view bytes, int level);

// The largest content inflated in memory: a stream that would grow past it is refused.
inline constexpr size_t inflate_limit = size_t{1} << 30;
// Deflate cannot compress better than about 1032 to 1, so a larger ratio means hostile input.
inline constexpr size_t inflate_ratio_bound = 1032;

// The bytes of one complete zlib stream making up the whole input; nothing when the input is not
// one (bad header or data, check value wrong, cut short, bytes after its end) or when the output
// would pass `limit` bytes or inflate_ratio_bound times the input's size.
std::optional<std::string> zlib_uncompress(std::string_view bytes, size_t limit = inflate_limit);

// Base64 of the bytes, one unbroken line.
std::string base64_encode(std::string_view bytes);
// The bytes of base64 text: the standard alphabet, '=' padding optional but only at the end, line
// breaks, blanks and tabs passed over; nothing for any other character or a length that cannot be
// base64.
std::optional<std::string> base64_decode(std::string_view text);

}  // namespace tarpon::host::data
