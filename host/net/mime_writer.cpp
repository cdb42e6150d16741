#include "host/net/mime_writer.h"

#include <cstdio>

#include "host/net/mime_codec.h"
#include "host/net/mime_headers.h"
#include "host/net/mime_text.h"

namespace tarpon::mime {

namespace {

constexpr std::string_view preamble = "This is a multi-part message in MIME format.\r\n\r\n";

// A header value on one line: CR and LF become spaces.
std::string one_line(std::string_view value) {
    std::string line(value);
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return line;
}

// The content type of a file part, on one line. A multipart type would make the part a container
// of parts when the message is read again, losing its body: such a part is written as plain data.
std::string file_content_type(std::string_view type) {
    std::string line = one_line(type);
    const size_t start = line.find_first_not_of(' ');
    if (start != std::string::npos &&
        starts_with_ignoring_case(std::string_view(line).substr(start), "multipart/")) {
        return "application/octet-stream";
    }
    return line;
}

// A text for a quoted parameter value: on one line, quotes and backslashes escaped.
std::string quotable(std::string_view value) {
    std::string text;
    for (const char c : one_line(value)) {
        if (c == '"' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text;
}

class Writer {
  public:
    Writer(const MessageContent& content, std::string_view charset, BoundarySeed seed)
        : m_content(content), m_charset(charset), m_seed(seed) {}

    WrittenMessage run(const MessageHeaders& headers) {
        write_headers(headers);
        const bool attachments = !m_content.attachments.empty();
        const bool html = m_content.html.has_value();
        const bool items = !m_content.items.empty();
        if (!attachments && !html && !items) {
            // A plain text message (an empty text when there is none).
            m_out.parts.text = write_text_part(std::nullopt, m_content.text, "text/plain");
        } else if (attachments && !html && !items) {
            const std::string mixed = boundary();
            put("Content-Type: multipart/mixed;\r\n\tboundary=\"" + mixed + "\"\r\n\r\n");
            put(preamble);
            m_out.parts.text = write_text_part(mixed, m_content.text, "text/plain");
            write_attachments(mixed);
        } else if (attachments && html && !items) {
            // The HTML goes with the text as an alternative, before the attachments.
            const std::string mixed = boundary();
            put("Content-Type: multipart/mixed;\r\n\tboundary=\"" + mixed + "\"\r\n\r\n");
            put(preamble);
            put("--" + mixed + "\r\n");
            write_alternative();
            write_attachments(mixed);
        } else if (!attachments && items) {
            // Items without an HTML body get an empty one, so that they are read back as items.
            const std::string related = boundary();
            put("Content-Type: multipart/related;\r\n\ttype=\"multipart/alternative\";\r\n\tboundary=\"" +
                related + "\"\r\n\r\n");
            put(preamble);
            put("--" + related + "\r\n");
            write_alternative();
            write_items(related);
            put("--" + related + "--\r\n\r\n");
        } else {
            // An HTML body alone, or attachments with items.
            const std::string outer = boundary();
            if (attachments) {
                put("Content-Type: multipart/mixed;\r\n\tboundary=\"" + outer + "\"\r\n\r\n");
            } else {
                put("Content-Type: multipart/related;\r\n\ttype=\"multipart/alternative\";\r\n\tboundary=\"" +
                    outer + "\"\r\n\r\n");
            }
            put(preamble);
            put("--" + outer + "\r\n");
            const std::string inner = boundary();
            put("Content-Type: multipart/related;\r\n\tboundary=\"" + inner +
                "\";\r\n\ttype=\"multipart/alternative\"\r\n\r\n");
            put("--" + inner + "\r\n");
            write_alternative();
            write_items(inner);
            put("--" + inner + "--\r\n\r\n");
            write_attachments(outer);
        }
        return std::move(m_out);
    }

  private:
    void put(std::string_view text) { m_out.text += text; }

    void write_headers(const MessageHeaders& headers) {
        put("From: " + one_line(headers.from.value_or(" ")) + "\r\n");
        put("To: " + one_line(headers.to.value_or(" ")) + "\r\n");
        if (headers.reply_to) {
            put("Reply-To: " + one_line(*headers.reply_to) + "\r\n");
        }
        if (headers.cc) {
            put("CC: " + one_line(*headers.cc) + "\r\n");
        }
        if (headers.bcc) {
            put("BCC: " + one_line(*headers.bcc) + "\r\n");
        }
        put(subject_field(headers.subject ? one_line(*headers.subject) : "", m_charset));
        if (headers.date) {
            put("Date: " + one_line(*headers.date) + "\r\n");
        }
        put("MIME-Version: 1.0\r\nX-Mailer: Tarpon.Quill\r\n");
        put("X-Priority: " + std::to_string(headers.priority) + "\r\n");
    }

    // A boundary no body of the message contains.
    std::string boundary() {
        for (;;) {
            char text[64];
            std::snprintf(text, sizeof text, "====_TARPON_MAIL_PART_%X.%X.%X_====", m_seed.process,
                          m_seed.ticks, m_next_boundary++);
            if (!appears_in_bodies(text)) {
                return text;
            }
        }
    }

    bool appears_in_bodies(std::string_view boundary) const {
        auto in = [&](const PartContent& part) { return part.body.find(boundary) != std::string::npos; };
        if ((m_content.text && in(*m_content.text)) || (m_content.html && in(*m_content.html))) {
            return true;
        }
        for (const PartContent& part : m_content.attachments) {
            if (in(part)) {
                return true;
            }
        }
        for (const PartContent& part : m_content.items) {
            if (in(part)) {
                return true;
            }
        }
        return false;
    }

    MimePart write_body(std::string_view body) {
        MimePart part;
        part.start = static_cast<int64_t>(m_out.text.size());
        put(body);
        part.end = static_cast<int64_t>(m_out.text.size());
        return part;
    }

    void write_text_part_headers(const std::optional<PartContent>& content, std::string_view type) {
        const std::string charset =
            content && !content->charset.empty() ? quotable(content->charset) : m_charset;
        const TransferEncoding encoding = content ? content->encoding : TransferEncoding::QuotedPrintable;
        put("Content-Type: " + std::string(type) + "; charset=\"" + charset + "\"\r\n");
        put("Content-Transfer-Encoding: " + std::string(encoding_name(encoding)) + "\r\n");
    }

    // A text or HTML part (an empty body when there is none): its range, with what reading it gives.
    // Without a boundary the part is the message's whole body.
    MimePart write_text_part(const std::optional<std::string>& boundary,
                             const std::optional<PartContent>& content, std::string_view type) {
        if (boundary) {
            put("--" + *boundary + "\r\n");
        }
        write_text_part_headers(content, type);
        put("\r\n");
        MimePart part = write_body(content ? content->body : std::string_view());
        put("\r\n\r\n");
        part.content_type = type;
        part.encoding = content ? content->encoding : TransferEncoding::QuotedPrintable;
        part.charset = content && !content->charset.empty() ? one_line(content->charset) : m_charset;
        return part;
    }

    void write_alternative() {
        const std::string alternative = boundary();
        put("Content-Type: multipart/alternative;\r\n\tboundary=\"" + alternative + "\"\r\n\r\n");
        m_out.parts.text = write_text_part(alternative, m_content.text, "text/plain");
        m_out.parts.html = write_text_part(alternative, m_content.html, "text/html");
        put("--" + alternative + "--\r\n\r\n");
    }

    MimePart write_file_part(const std::string& boundary, const PartContent& content,
                             std::string_view last_header) {
        put("--" + boundary + "\r\n");
        put("Content-Type: " + file_content_type(content.content_type) + "; name=\"" +
            quotable(content.name) + "\"\r\n");
        put("Content-Transfer-Encoding: " + std::string(encoding_name(content.encoding)) + "\r\n");
        put(last_header);
        put("\r\n");
        MimePart part = write_body(content.body);
        put("\r\n\r\n");
        part.encoding = content.encoding;
        part.content_type = main_value(file_content_type(content.content_type));
        return part;
    }

    void write_attachments(const std::string& boundary) {
        for (const PartContent& attachment : m_content.attachments) {
            MimePart part = write_file_part(boundary, attachment,
                                            "Content-Disposition: attachment; filename=\"" +
                                                quotable(attachment.name) + "\"\r\n");
            part.name = one_line(attachment.name);
            m_out.parts.attachments.push_back(std::move(part));
        }
        put("--" + boundary + "--\r\n\r\n");
    }

    void write_items(const std::string& boundary) {
        for (const PartContent& item : m_content.items) {
            PartContent named = item;
            named.name = std::string(item_file_name(item.name));
            // The Content-ID goes between angle brackets, so it cannot hold them.
            std::string id = one_line(item_content_id(item.name));
            std::erase_if(id, [](char c) { return c == '<' || c == '>'; });
            MimePart part =
                write_file_part(boundary, named, id.empty() ? "" : "Content-ID: <" + id + ">\r\n");
            part.name = item_name(one_line(named.name), id);
            m_out.parts.items.push_back(std::move(part));
        }
    }

    const MessageContent& m_content;
    std::string m_charset;
    BoundarySeed m_seed;
    uint32_t m_next_boundary = 0;
    WrittenMessage m_out;
};

}  // namespace

PartContent new_text_part(std::string_view text) {
    PartContent part;
    part.encoding = TransferEncoding::QuotedPrintable;
    part.body = quoted_printable_encode(text);
    return part;
}

PartContent new_file_part(std::string_view bytes, std::string_view content_type, std::string_view name) {
    PartContent part;
    part.encoding = TransferEncoding::Base64;
    part.content_type = content_type;
    part.name = name;
    part.body = base64_encode(bytes, base64_file_line);
    return part;
}

MessageContent content_of(std::string_view message, const ParsedMessage& parts) {
    auto copy = [&](const MimePart& part) {
        PartContent content;
        content.encoding = part.encoding;
        content.content_type = part.content_type;
        content.charset = part.charset;
        content.name = part.name;
        content.body = part_body(message, part);
        return content;
    };
    MessageContent content;
    if (parts.text.present()) {
        content.text = copy(parts.text);
    }
    if (parts.html.present()) {
        content.html = copy(parts.html);
    }
    for (const MimePart& part : parts.attachments) {
        content.attachments.push_back(copy(part));
    }
    for (const MimePart& part : parts.items) {
        content.items.push_back(copy(part));
    }
    return content;
}

WrittenMessage write_message(const MessageHeaders& headers, const MessageContent& content,
                             std::string_view charset, BoundarySeed seed) {
    return Writer(content, charset, seed).run(headers);
}

}  // namespace tarpon::mime
