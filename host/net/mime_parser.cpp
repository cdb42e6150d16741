#include "host/net/mime_parser.h"

#include <algorithm>
#include <optional>
#include <string>

#include "host/net/mime_headers.h"
#include "host/net/mime_text.h"

namespace tarpon::mime {

namespace {

// Multiparts nest no deeper than this; the parts of deeper ones are left out, so that hostile
// nesting cannot exhaust the stack.
constexpr int nesting_limit = 32;

// A delimiter line "--boundary" (or the closing "--boundary--") found in a multipart's body.
struct Delimiter {
    size_t content_end;  // where the part before it ends: the line break that begins the line
    size_t next;         // just after the line
    bool closing;
    // The line ends of the message are bare LFs (as some programs store mail), not CR LF.
    bool bare_line_feeds;
};

class Parser {
  public:
    explicit Parser(std::string_view message) : m_message(message) {}

    ParsedMessage run() {
        parse(0, m_message.size(), 0);
        return std::move(m_parts);
    }

  private:
    // The part text[a, b): its own headers, then its parts or its body.
    void parse(size_t a, size_t b, int depth) {
        const std::string_view text = m_message.substr(a, b - a);
        const HeaderSplit split =
            split_headers(text, depth == 0 ? HeaderEnd::BlankLine : HeaderEnd::NonFieldLine);
        const std::string_view headers = text.substr(0, split.headers_end);
        const std::optional<std::string> content_type = find_header(headers, "Content-Type");
        if (content_type && starts_with_ignoring_case(main_value(*content_type), "multipart/")) {
            const std::optional<std::string> boundary = find_parameter(*content_type, "boundary");
            if (boundary && !boundary->empty() && depth < nesting_limit) {
                parse_multipart(a + split.body_start, b, "--" + *boundary, depth + 1);
            }
            return;
        }
        size_t body_end = b;
        if (depth == 0 && text.size() - split.body_start >= 4 && text.ends_with("\r\n\r\n")) {
            body_end -= 4;
        }
        add_leaf(headers, content_type, a + split.body_start, body_end);
    }

    void parse_multipart(size_t body, size_t b, const std::string& dash_boundary, int depth) {
        std::optional<Delimiter> delimiter = find_delimiter(body, b, body, dash_boundary);
        while (delimiter && !delimiter->closing) {
            const size_t start = delimiter->next;
            delimiter = find_delimiter(start, b, body, dash_boundary);
            // A message cut short ends its last part at its end.
            size_t end = delimiter ? delimiter->content_end : b;
            const std::string_view line_break = delimiter && delimiter->bare_line_feeds ? "\n" : "\r\n";
            if (end - start >= line_break.size() &&
                m_message.substr(end - line_break.size(), line_break.size()) == line_break) {
                end -= line_break.size();
            }
            parse(start, end, depth);
        }
    }

    // The first delimiter line at or after `from` within [body, b).
    std::optional<Delimiter> find_delimiter(size_t from, size_t b, size_t body,
                                            const std::string& dash_boundary) const {
        const std::string_view range = m_message.substr(0, b);
        for (size_t at = range.find(dash_boundary, from); at != std::string_view::npos;
             at = range.find(dash_boundary, at + 1)) {
            const bool after_crlf = at >= body + 2 && range.substr(at - 2, 2) == "\r\n";
            const bool after_lf = !after_crlf && at >= body + 1 && range[at - 1] == '\n';
            if (at != body && !after_crlf && !after_lf) {
                continue;
            }
            size_t i = at + dash_boundary.size();
            const bool closing = range.substr(i, 2) == "--";
            if (closing) {
                i += 2;
            }
            while (i < b && is_blank(range[i])) {
                ++i;
            }
            if (i < b && range.substr(i, 2) != "\r\n" && range[i] != '\n') {
                continue;  // a longer boundary that begins with this one
            }
            const size_t next = i >= b ? b : range[i] == '\n' ? i + 1 : i + 2;
            // A delimiter right after the previous one's line ends an empty part.
            const size_t break_length = after_crlf ? 2 : after_lf ? 1 : 0;
            const size_t content_end = at >= from + break_length ? at - break_length : at;
            return Delimiter{content_end, next, closing, after_lf};
        }
        return std::nullopt;
    }

    void add_leaf(std::string_view headers, const std::optional<std::string>& content_type, size_t start,
                  size_t end) {
        MimePart part;
        part.start = static_cast<int64_t>(start);
        part.end = static_cast<int64_t>(end);
        // A part without a Content-Type is plain text.
        const std::string type_value = content_type.value_or("text/plain");
        part.content_type = cut(main_value(type_value));
        part.charset = cut(find_parameter(type_value, "charset").value_or(""));
        if (const std::optional<std::string> encoding = find_header(headers, "Content-Transfer-Encoding")) {
            part.encoding = encoding_named(main_value(*encoding));
        }
        const std::string name = find_parameter(type_value, "name").value_or("");
        const std::optional<std::string> disposition_value = find_header(headers, "Content-Disposition");
        const std::string_view disposition = disposition_value ? main_value(*disposition_value) : "";
        if (!equal_ignoring_case(disposition, "attachment")) {
            if (equal_ignoring_case(part.content_type, "text/html") && !m_parts.html.present()) {
                m_parts.html = std::move(part);
                return;
            }
            const bool text = starts_with_ignoring_case(part.content_type, "text/");
            if (text && !m_parts.text.present() && (name.empty() || !m_parts.html.present())) {
                m_parts.text = std::move(part);
                return;
            }
            if (!name.empty() && m_parts.html.present()) {
                part.name = cut(item_name(name, content_id(headers)));
                m_parts.items.push_back(std::move(part));
                return;
            }
        }
        if (part.content_type.empty()) {
            part.content_type = "application/octet-stream";
        }
        std::string attachment_name = name;
        if (attachment_name.empty() && disposition_value) {
            attachment_name = find_parameter(*disposition_value, "filename").value_or("");
        }
        if (attachment_name.empty()) {
            attachment_name = "attachment " + std::to_string(m_parts.attachments.size() + 1);
        }
        part.name = cut(attachment_name);
        m_parts.attachments.push_back(std::move(part));
    }

    static std::string content_id(std::string_view headers) {
        const std::optional<std::string> value = find_header(headers, "Content-ID");
        if (!value) {
            return "";
        }
        const size_t open = value->find('<');
        const size_t close = value->find('>', open == std::string::npos ? 0 : open);
        if (open == std::string::npos || close == std::string::npos) {
            return *value;
        }
        return value->substr(open + 1, close - open - 1);
    }

    static std::string cut(std::string_view text) { return std::string(text.substr(0, part_field_limit)); }

    std::string_view m_message;
    ParsedMessage m_parts;
};

}  // namespace

MessageHeaders parse_headers(std::string_view message) {
    const std::string_view headers =
        message.substr(0, split_headers(message, HeaderEnd::BlankLine).headers_end);
    auto field = [&](std::string_view name) -> std::optional<std::string> {
        std::optional<std::string> value = find_header(headers, name);
        if (value) {
            return decode_encoded_words(*value);
        }
        return std::nullopt;
    };
    MessageHeaders fields;
    fields.from = field("From");
    fields.reply_to = field("Reply-To");
    fields.to = field("To");
    fields.subject = field("Subject");
    fields.cc = field("CC");
    fields.bcc = field("BCC");
    fields.date = field("Date");
    if (const std::optional<std::string> priority = find_header(headers, "X-Priority")) {
        const size_t digits =
            std::min({priority->find_first_not_of("0123456789"), priority->size(), size_t{9}});
        if (digits > 0) {
            fields.priority = std::stoi(priority->substr(0, digits));
        }
    }
    return fields;
}

ParsedMessage parse_message(std::string_view message) { return Parser(message).run(); }

}  // namespace tarpon::mime
