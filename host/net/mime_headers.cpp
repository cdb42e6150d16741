#include "host/net/mime_headers.h"

#include <algorithm>

#include "host/net/mime_charset.h"
#include "host/net/mime_codec.h"
#include "host/net/mime_text.h"

namespace tarpon::mime {

namespace {

// The longest encoded word, and the longest line holding encoded words.
constexpr size_t encoded_word_limit = 75;
constexpr size_t encoded_line_limit = 76;

// The line at `start`: its text without the line break, and where the next line begins.
struct Line {
    std::string_view text;
    size_t next;
};

Line line_at(std::string_view text, size_t start) {
    const size_t feed = text.find('\n', start);
    const size_t end = feed == std::string_view::npos ? text.size() : feed;
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return {line, feed == std::string_view::npos ? text.size() : feed + 1};
}

// "Name:" with a name of visible characters.
bool is_field_line(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
        return false;
    }
    for (size_t i = 0; i < colon; ++i) {
        if (line[i] <= ' ' || line[i] > '~') {
            return false;
        }
    }
    return true;
}

bool is_token_char(char c) { return c > ' ' && c <= '~' && c != '?'; }

// An encoded word at text[start] ("=?charset?B?text?="): its decoded local text and its length.
struct EncodedWord {
    std::string text;
    size_t length;
};

// Finds encoded words in one header value. Encoded text holds no white space, so the search for a
// word's end stops at the first blank; a search that found no end tells every later word that
// starts before where it stopped that it has none either, which keeps the scan linear.
class EncodedWordScanner {
  public:
    explicit EncodedWordScanner(std::string_view text) : m_text(text) {}

    std::optional<EncodedWord> at(size_t start) {
        const std::string_view text = m_text;
        if (text.compare(start, 2, "=?") != 0) {
            return std::nullopt;
        }
        size_t i = start + 2;
        const size_t charset_start = i;
        while (i < text.size() && is_token_char(text[i])) {
            ++i;
        }
        if (i == charset_start || i + 3 > text.size() || text[i] != '?' || text[i + 2] != '?') {
            return std::nullopt;
        }
        std::string_view charset = text.substr(charset_start, i - charset_start);
        // A language after '*' (RFC 2231) is not part of the charset.
        charset = charset.substr(0, charset.find('*'));
        const char method = ascii_lower(text[i + 1]);
        if (method != 'b' && method != 'q') {
            return std::nullopt;
        }
        const size_t body_start = i + 3;
        if (body_start < m_no_end_before) {
            return std::nullopt;
        }
        size_t close = body_start;
        while (close < text.size() && text[close] > ' ' && text[close] <= '~' &&
               !(text[close] == '?' && close + 1 < text.size() && text[close + 1] == '=')) {
            ++close;
        }
        if (close + 1 >= text.size() || text[close] != '?') {
            m_no_end_before = close;
            return std::nullopt;
        }
        const std::string_view body = text.substr(body_start, close - body_start);
        const std::string bytes = method == 'b' ? base64_decode(body) : q_decode(body);
        std::optional<std::string> local = to_local_text(charset, bytes);
        return EncodedWord{local ? std::move(*local) : bytes, close + 2 - start};
    }

  private:
    std::string_view m_text;
    size_t m_no_end_before = 0;
};

}  // namespace

HeaderSplit split_headers(std::string_view text, HeaderEnd rule) {
    size_t start = 0;
    while (start < text.size()) {
        const Line line = line_at(text, start);
        if (line.text.empty()) {
            return {start, line.next};
        }
        const bool continues = start > 0 && is_blank(line.text.front());
        if (rule == HeaderEnd::NonFieldLine && !continues && !is_field_line(line.text)) {
            return {start, start};
        }
        start = line.next;
    }
    return {text.size(), text.size()};
}

std::optional<std::string> find_header(std::string_view headers, std::string_view name) {
    for (size_t start = 0; start < headers.size();) {
        Line line = line_at(headers, start);
        start = line.next;
        if (line.text.size() <= name.size() || line.text[name.size()] != ':' ||
            !starts_with_ignoring_case(line.text, name)) {
            continue;
        }
        std::string value(line.text.substr(name.size() + 1));
        while (start < headers.size()) {
            line = line_at(headers, start);
            if (line.text.empty() || !is_blank(line.text.front())) {
                break;
            }
            value += line.text;
            start = line.next;
        }
        // Tabs, and CRs that end no line, are spaces.
        for (char& c : value) {
            if (c == '\t' || c == '\r') {
                c = ' ';
            }
        }
        return std::string(trim_blanks(value));
    }
    return std::nullopt;
}

std::string_view main_value(std::string_view value) { return trim_blanks(value.substr(0, value.find(';'))); }

std::optional<std::string> find_parameter(std::string_view value, std::string_view name) {
    size_t i = value.find(';');
    while (i != std::string_view::npos && i < value.size()) {
        ++i;  // past ';'
        while (i < value.size() && is_blank(value[i])) {
            ++i;
        }
        const size_t name_start = i;
        while (i < value.size() && value[i] != '=' && value[i] != ';') {
            ++i;
        }
        const std::string_view parameter = trim_blanks(value.substr(name_start, i - name_start));
        if (i >= value.size() || value[i] == ';') {
            continue;  // a parameter without a value
        }
        ++i;  // past '='
        while (i < value.size() && is_blank(value[i])) {
            ++i;
        }
        std::string text;
        if (i < value.size() && value[i] == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) {
                    ++i;
                }
                text += value[i];
            }
            i = value.find(';', i);
        } else {
            const size_t end = value.find(';', i);
            text = trim_blanks(
                value.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
            i = end;
        }
        if (equal_ignoring_case(parameter, name)) {
            return text;
        }
    }
    return std::nullopt;
}

std::string decode_encoded_words(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    size_t i = 0;
    // Where the text after the last encoded word began in `out`, or npos when there was none.
    size_t after_word = std::string::npos;
    EncodedWordScanner scanner(value);
    while (i < value.size()) {
        if (value[i] == '=' && i + 1 < value.size() && value[i + 1] == '?') {
            if (std::optional<EncodedWord> word = scanner.at(i)) {
                if (after_word != std::string::npos &&
                    out.find_first_not_of(" \t\r\n", after_word) == std::string::npos) {
                    out.resize(after_word);
                }
                out += word->text;
                after_word = out.size();
                i += word->length;
                continue;
            }
        }
        out += value[i];
        ++i;
        if (after_word != std::string::npos && !is_blank(value[i - 1])) {
            after_word = std::string::npos;
        }
    }
    return out;
}

std::string subject_field(std::string_view subject, std::string_view charset) {
    if (subject.empty()) {
        return "Subject: \r\n";
    }
    const std::string_view lead = "Subject: ";
    const size_t overhead = charset.size() + 7;  // "=?" charset "?B?" ... "?="
    std::string field(lead);
    size_t budget = std::min(encoded_word_limit, encoded_line_limit - lead.size());
    for (size_t start = 0; start < subject.size();) {
        const size_t characters = budget > overhead ? budget - overhead : 0;
        const size_t byte_budget = std::max<size_t>(characters / 4 * 3, 3);
        size_t end = start;
        do {
            end += local_character_length(subject, end);
        } while (end < subject.size() && end + local_character_length(subject, end) - start <= byte_budget);
        if (start > 0) {
            field += "\r\n\t";
        }
        field += "=?";
        field += charset;
        field += "?B?";
        field += base64_encode(subject.substr(start, end - start), 0);
        field += "?=";
        start = end;
        budget = std::min(encoded_word_limit, encoded_line_limit - 1);
    }
    field += "\r\n";
    return field;
}

}  // namespace tarpon::mime
