// What a MIME message is to Mail: the header fields it knows, and the parts of the body as byte
// ranges of the message text with the encoding, type and name of each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::mime {

// The transfer encoding of a part; the numbers are Mail's encoding numbers.
enum class TransferEncoding : uint8_t {
    Binary = 0,  // 7bit, 8bit, binary and anything unknown: the bytes as they are
    QuotedPrintable = 1,
    Base64 = 2,
};

// "binary", "quoted-printable" or "base64".
std::string_view encoding_name(TransferEncoding encoding);
// The encoding a Content-Transfer-Encoding value names, compared without regard to case.
TransferEncoding encoding_named(std::string_view name);

// Content types, names and charsets kept for a part are cut to this many bytes.
constexpr size_t part_field_limit = 259;

// One leaf part of a message: its body is text[start, end) of the message, still encoded.
struct MimePart {
    TransferEncoding encoding = TransferEncoding::Binary;
    std::string content_type;  // the Content-Type value up to ';' ("text/plain")
    std::string charset;       // the charset parameter, "" when the part declares none
    // An attachment's name; an HTML item's name and Content-ID joined by '*' (the bare name when
    // it has no Content-ID).
    std::string name;
    int64_t start = -1;  // below 0: the part is absent (text and HTML slots only)
    int64_t end = -1;

    bool present() const { return start >= 0; }
};

// The part's body out of the message text (empty for an absent part or a range outside the text).
std::string_view part_body(std::string_view message, const MimePart& part);
// The part's body with its transfer encoding undone.
std::string decoded_body(std::string_view message, const MimePart& part);

// An HTML item's name joined with its Content-ID ('*' in the name becomes '_'), and the two halves
// of such a name.
std::string item_name(std::string_view name, std::string_view content_id);
std::string_view item_file_name(std::string_view joined);
std::string_view item_content_id(std::string_view joined);

// The header fields Mail reads and writes, as 8-bit text in the system's code page.
struct MessageHeaders {
    std::optional<std::string> from;
    std::optional<std::string> reply_to;
    std::optional<std::string> to;
    std::optional<std::string> subject;
    std::optional<std::string> cc;
    std::optional<std::string> bcc;
    std::optional<std::string> date;
    int32_t priority = 3;  // 3 when the message has no X-Priority header
};

// The parts Mail tells apart: one text body, one HTML body, the HTML's inline items and the
// attachments, in the order they appear.
struct ParsedMessage {
    MimePart text;
    MimePart html;
    std::vector<MimePart> attachments;
    std::vector<MimePart> items;
};

}  // namespace tarpon::mime
