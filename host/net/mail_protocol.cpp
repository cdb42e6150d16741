#include "host/net/mail_protocol.h"

#include <algorithm>
#include <charconv>

#include "host/common/md5.h"
#include "host/net/mime_codec.h"

namespace tarpon::host::mail {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_word(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && (blank(text.front()) || text.front() == '\r' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (blank(text.back()) || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// The words of a text separated by blanks.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && blank(text[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < text.size() && !blank(text[i])) {
            ++i;
        }
        if (i > start) {
            result.push_back(text.substr(start, i - start));
        }
    }
    return result;
}

std::optional<uint64_t> number(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string hex(const Md5Digest& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

// The address part of one entry of an address list.
std::string address_of(std::string_view entry) {
    // The last "<...>" outside quotes holds the address (a display name may hold '<' in quotes).
    bool quoted = false;
    size_t open = std::string_view::npos;
    size_t close = std::string_view::npos;
    for (size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        if (c == '\\' && quoted) {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '<') {
            open = i;
            close = std::string_view::npos;
        } else if (!quoted && c == '>' && open != std::string_view::npos && close == std::string_view::npos) {
            close = i;
        }
    }
    if (open != std::string_view::npos && close != std::string_view::npos) {
        return std::string(trim(entry.substr(open + 1, close - open - 1)));
    }
    // A bare address, perhaps with a comment beside it: "user@example.org (User)".
    std::string bare;
    int comment = 0;
    for (const char c : entry) {
        if (c == '(') {
            ++comment;
        } else if (c == ')' && comment > 0) {
            --comment;
        } else if (comment == 0) {
            bare.push_back(c);
        }
    }
    return std::string(trim(bare));
}

}  // namespace

void LineBuffer::append(std::string_view bytes) {
    if (m_start > 0 && m_start >= m_bytes.size() / 2) {
        m_bytes.erase(0, m_start);
        m_start = 0;
    }
    m_bytes.append(bytes);
}

std::optional<std::string> LineBuffer::take_line() {
    if (m_overflowed) {
        return std::nullopt;
    }
    const size_t end = m_bytes.find('\n', m_start);
    if (end == std::string::npos) {
        if (m_bytes.size() - m_start > m_limit + 1) {
            m_overflowed = true;
        }
        return std::nullopt;
    }
    size_t line_end = end;
    if (line_end > m_start && m_bytes[line_end - 1] == '\r') {
        --line_end;
    }
    if (line_end - m_start > m_limit) {
        m_overflowed = true;
        return std::nullopt;
    }
    std::string line = m_bytes.substr(m_start, line_end - m_start);
    m_start = end + 1;
    return line;
}

std::string LineBuffer::take_rest() {
    std::string rest = m_bytes.substr(m_start);
    m_bytes.clear();
    m_start = 0;
    return rest;
}

std::optional<SmtpLine> parse_smtp_line(std::string_view line) {
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    SmtpLine result;
    result.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (line.size() == 3) {
        return result;
    }
    if (line[3] != ' ' && line[3] != '-') {
        return std::nullopt;
    }
    result.last = line[3] == ' ';
    result.text = line.substr(4);
    return result;
}

SmtpReplyReader::Status SmtpReplyReader::add(std::string_view line) {
    const std::optional<SmtpLine> parsed = parse_smtp_line(line);
    if (!parsed || (!m_reply.lines.empty() && parsed->code != m_reply.code) ||
        m_reply.lines.size() >= max_reply_lines || m_reply.full.size() + line.size() + 2 > max_reply_size) {
        return Status::Malformed;
    }
    m_reply.code = parsed->code;
    m_reply.lines.emplace_back(parsed->text);
    if (!m_reply.full.empty()) {
        m_reply.full += "\r\n";
    }
    m_reply.full += line;
    return parsed->last ? Status::Done : Status::More;
}

SmtpCapabilities parse_capabilities(const SmtpReply& ehlo) {
    SmtpCapabilities offered;
    // The first line greets; every later one names an extension and its parameters.
    for (size_t i = 1; i < ehlo.lines.size(); ++i) {
        const std::vector<std::string_view> parts = words(ehlo.lines[i]);
        if (parts.empty()) {
            continue;
        }
        if (same_word(parts[0], "STARTTLS")) {
            offered.starttls = true;
        } else if (same_word(parts[0], "SIZE") && parts.size() > 1) {
            if (const std::optional<uint64_t> limit = number(parts[1]); limit && *limit > 0) {
                offered.size_limit = limit;
            }
        } else if (same_word(parts[0], "AUTH") || same_word(parts[0], "AUTH=")) {
            for (size_t j = 1; j < parts.size(); ++j) {
                offered.plain |= same_word(parts[j], "PLAIN");
                offered.login |= same_word(parts[j], "LOGIN");
                offered.cram_md5 |= same_word(parts[j], "CRAM-MD5");
            }
        } else if (parts[0].size() > 5 && same_word(parts[0].substr(0, 5), "AUTH=")) {
            // The old form some servers still send: "AUTH=LOGIN PLAIN".
            std::vector<std::string_view> names = parts;
            names[0].remove_prefix(5);
            for (const std::string_view name : names) {
                offered.plain |= same_word(name, "PLAIN");
                offered.login |= same_word(name, "LOGIN");
                offered.cram_md5 |= same_word(name, "CRAM-MD5");
            }
        }
    }
    return offered;
}

std::optional<AuthMechanism> choose_auth(std::string_view setting, const SmtpCapabilities& offered,
                                         bool have_user) {
    if (same_word(setting, "none")) {
        return AuthMechanism::None;
    }
    if (same_word(setting, "plain")) {
        return AuthMechanism::Plain;
    }
    if (same_word(setting, "login")) {
        return AuthMechanism::Login;
    }
    if (same_word(setting, "cram-md5")) {
        return AuthMechanism::CramMd5;
    }
    if (!same_word(setting, "auto")) {
        return std::nullopt;
    }
    if (!have_user) {
        return AuthMechanism::None;
    }
    if (offered.cram_md5) {
        return AuthMechanism::CramMd5;
    }
    if (offered.plain) {
        return AuthMechanism::Plain;
    }
    if (offered.login) {
        return AuthMechanism::Login;
    }
    return AuthMechanism::None;
}

std::string plain_response(std::string_view user, std::string_view password) {
    std::string credentials;
    credentials.push_back('\0');
    credentials += user;
    credentials.push_back('\0');
    credentials += password;
    return mime::base64_encode(credentials, 0);
}

std::string cram_md5_response(std::string_view challenge_base64, std::string_view user,
                              std::string_view password) {
    const std::string challenge = mime::base64_decode(challenge_base64);
    const std::string answer = std::string(user) + " " + hex(hmac_md5(password, challenge));
    return mime::base64_encode(answer, 0);
}

std::vector<std::string> split_recipients(std::string_view header_value) {
    std::vector<std::string> result;
    const auto flush = [&](size_t start, size_t end) {
        std::string address = address_of(header_value.substr(start, end - start));
        if (!address.empty()) {
            result.push_back(std::move(address));
        }
    };
    bool quoted = false;
    bool angle = false;
    int comment = 0;
    size_t start = 0;
    for (size_t i = 0; i < header_value.size(); ++i) {
        const char c = header_value[i];
        if (quoted) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++comment;
        } else if (c == ')' && comment > 0) {
            --comment;
        } else if (comment > 0) {
            continue;
        } else if (c == '<') {
            angle = true;
        } else if (c == '>') {
            angle = false;
        } else if ((c == ',' || c == ';') && !angle) {
            flush(start, i);
            start = i + 1;
        }
    }
    flush(start, header_value.size());
    return result;
}

std::string sender_address(std::string_view header_value) {
    std::vector<std::string> addresses = split_recipients(header_value);
    return addresses.empty() ? std::string() : std::move(addresses.front());
}

std::string without_bcc(std::string_view message) {
    std::string result;
    result.reserve(message.size());
    size_t at = 0;
    bool dropping = false;
    while (at < message.size()) {
        size_t end = message.find('\n', at);
        end = end == std::string_view::npos ? message.size() : end + 1;
        const std::string_view line = message.substr(at, end - at);
        const std::string_view bare = trim(line);
        if (bare.empty() && (line.empty() || line[0] == '\r' || line[0] == '\n')) {
            // The empty line: the body follows untouched.
            result += message.substr(at);
            return result;
        }
        if (!blank(line[0])) {
            dropping = line.size() >= 4 && same_word(line.substr(0, 4), "bcc:");
        }
        if (!dropping) {
            result += line;
        }
        at = end;
    }
    return result;
}

std::string data_text(std::string_view message) {
    std::string result;
    result.reserve(message.size() + message.size() / 32 + 8);
    bool line_start = true;
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
                ++i;
            }
            result += "\r\n";
            line_start = true;
            continue;
        }
        if (line_start && c == '.') {
            result.push_back('.');
        }
        result.push_back(c);
        line_start = false;
    }
    if (!line_start) {
        result += "\r\n";
    }
    result += ".\r\n";
    return result;
}

std::optional<Pop3Status> parse_pop3_status(std::string_view line) {
    Pop3Status status;
    if (line.substr(0, 3) == "+OK") {
        status.ok = true;
        line.remove_prefix(3);
    } else if (line.substr(0, 4) == "-ERR") {
        line.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    if (!line.empty() && line[0] != ' ') {
        return std::nullopt;
    }
    status.text = trim(line);
    return status;
}

Pop3MultiLineReader::Status Pop3MultiLineReader::add(std::string_view line) {
    if (line == ".") {
        return Status::Done;
    }
    if (!line.empty() && line[0] == '.') {
        line.remove_prefix(1);
    }
    if (m_text.size() + line.size() + 2 > m_limit) {
        return Status::TooLarge;
    }
    m_text += line;
    m_text += "\r\n";
    return Status::More;
}

uint64_t message_limit(uint64_t stated) {
    // A quarter more and 64 KiB, within 1 GiB whatever the server says.
    constexpr uint64_t ceiling = uint64_t{1} << 30;
    const uint64_t bounded = std::min(stated, ceiling);
    return std::min(bounded + bounded / 4 + 64 * 1024, ceiling);
}

std::optional<Pop3Listing> parse_listing(std::string_view text) {
    const std::vector<std::string_view> parts = words(text);
    if (parts.size() < 2) {
        return std::nullopt;
    }
    const std::optional<uint64_t> n = number(parts[0]);
    if (!n) {
        return std::nullopt;
    }
    return Pop3Listing{*n, std::string(parts[1])};
}

std::optional<uint64_t> parse_stat(std::string_view text) {
    const std::vector<std::string_view> parts = words(text);
    if (parts.empty()) {
        return std::nullopt;
    }
    return number(parts[0]);
}

std::string apop_stamp(std::string_view greeting) {
    const size_t open = greeting.find('<');
    if (open == std::string_view::npos) {
        return {};
    }
    const size_t close = greeting.find('>', open);
    if (close == std::string_view::npos) {
        return {};
    }
    return std::string(greeting.substr(open, close - open + 1));
}

std::string apop_digest(std::string_view stamp, std::string_view password) {
    return hex(md5(std::string(stamp) + std::string(password)));
}

}  // namespace tarpon::host::mail
