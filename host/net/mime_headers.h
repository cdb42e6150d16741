// Header fields: finding a part's header block and a field in it, parameters of a field value,
// encoded words (RFC 2047) both ways.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarpon::mime {

// Where a header block ends (after the CR LF of its last line) and the body begins.
struct HeaderSplit {
    size_t headers_end;
    size_t body_start;
};
enum class HeaderEnd : uint8_t {
    // The first empty line ends the headers (a message's own header block).
    BlankLine,
    // So does the first line that is not a header field: some mailers start a part's body right
    // after its header lines.
    NonFieldLine,
};
// The header block of `text`; without an end it runs to the end of the text and the body is empty.
HeaderSplit split_headers(std::string_view text, HeaderEnd rule);

// The value of the first field called `name` (compared without regard to case) that begins a line
// of the header block: continuation lines joined, tabs made spaces, blanks trimmed at both ends.
std::optional<std::string> find_header(std::string_view headers, std::string_view name);
// A field value up to its first ';', trimmed ("text/plain" of "text/plain; charset=us-ascii").
std::string_view main_value(std::string_view value);
// A parameter of a field value (name compared without regard to case), quoted or not.
std::optional<std::string> find_parameter(std::string_view value, std::string_view name);

// Every encoded word of a header value decoded and converted from its charset to local text (left
// in its own bytes when the charset is not known here); white space between two encoded words goes.
std::string decode_encoded_words(std::string_view value);
// The Subject field line for a local-text subject ("Subject: \r\n" for an empty one): base64 encoded
// words in `charset`, each within 75 characters and each line within 76, on continuation lines.
std::string subject_field(std::string_view subject, std::string_view charset);

}  // namespace tarpon::mime
