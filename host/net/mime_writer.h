// Writing a message: the header fields Mail keeps, then the body in the layout its parts call for,
// with the byte range of every body recorded as it is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/net/mime_message.h"

namespace tarpon::mime {

// One part to write, its body already encoded.
struct PartContent {
    TransferEncoding encoding = TransferEncoding::QuotedPrintable;
    std::string content_type;  // attachments and items
    std::string charset;       // text and HTML: "" writes the message's charset
    std::string name;          // an attachment's name; an item's name and Content-ID joined by '*'
    std::string body;
};

struct MessageContent {
    std::optional<PartContent> text;
    std::optional<PartContent> html;
    std::vector<PartContent> attachments;
    std::vector<PartContent> items;
};

// A new text or HTML body from local text (quoted-printable, the message's charset).
PartContent new_text_part(std::string_view text);
// A new attachment or item from a file's bytes (base64).
PartContent new_file_part(std::string_view bytes, std::string_view content_type, std::string_view name);
// The parts of a parsed message, bodies copied as they are encoded.
MessageContent content_of(std::string_view message, const ParsedMessage& parts);

// What makes the boundaries of one message differ from those of any other: the process and the
// time. Each boundary of a message also takes a number of its own.
struct BoundarySeed {
    uint32_t process = 0;
    uint32_t ticks = 0;
};

struct WrittenMessage {
    std::string text;
    ParsedMessage parts;  // the ranges of the bodies in `text`, as reading it back finds them
};

// The whole message. Texts in the header fields are local text written as they are (line breaks in
// them become spaces, so that a value can never add a field); the subject is written as encoded
// words in `charset`.
WrittenMessage write_message(const MessageHeaders& headers, const MessageContent& content,
                             std::string_view charset, BoundarySeed seed);

}  // namespace tarpon::mime
