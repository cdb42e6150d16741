// The byte queues, charsets and character and line boundaries of the Socket class.
#include "host/net/socket_text.h"

#include <algorithm>

namespace tarpon::host::net {

void ByteQueue::take(size_t count) {
    m_head += std::min(count, size());
    if (m_head == m_bytes.size()) {
        clear();
    } else if (m_head >= m_bytes.size() / 2) {
        m_bytes.erase(0, m_head);
        m_head = 0;
    }
}

std::string ByteQueue::take_bytes(size_t count) {
    std::string taken(bytes().substr(0, count));
    take(taken.size());
    return taken;
}

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length a UTF-8 lead byte announces; 0 for a byte that cannot start a sequence.
size_t utf8_sequence_length(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Whether the second byte of a sequence is allowed after its lead: the ranges that rule out
// overlong forms, surrogates and code points above U+10FFFF.
bool valid_second_byte(unsigned char lead, unsigned char second) {
    switch (lead) {
    case 0xE0:
        return second >= 0xA0 && second <= 0xBF;
    case 0xED:
        return second >= 0x80 && second <= 0x9F;
    case 0xF0:
        return second >= 0x90 && second <= 0xBF;
    case 0xF4:
        return second >= 0x80 && second <= 0x8F;
    default:
        return is_continuation(second);
    }
}

// The length of the well-formed sequence at the start of `bytes` (0 when it is malformed), or
// nothing when the bytes so far are a well-formed beginning that needs more.
std::optional<size_t> utf8_sequence_at(std::string_view bytes) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const size_t length = utf8_sequence_length(lead);
    if (length <= 1) {
        return length;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i >= bytes.size()) {
            return std::nullopt;
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (i == 1 ? !valid_second_byte(lead, byte) : !is_continuation(byte)) {
            return 0;
        }
    }
    return length;
}

void append_utf16(std::u16string& out, uint32_t code_point) {
    if (code_point >= 0x10000) {
        code_point -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(code_point));
    }
}

void append_utf8(std::string& out, uint32_t code_point) {
    if (code_point < 0x80) {
        out.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
}

constexpr char16_t replacement = 0xFFFD;

} // namespace

std::optional<Charset> charset_named(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), ascii_lower);
    if (lower == "ansi") {
        return Charset::Ansi;
    }
    if (lower == "utf-8") {
        return Charset::Utf8;
    }
    if (lower == "utf-16le") {
        return Charset::Utf16le;
    }
    if (lower == "binary") {
        return Charset::Binary;
    }
    return std::nullopt;
}

const char* charset_name(Charset charset) {
    switch (charset) {
    case Charset::Ansi:
        return "ansi";
    case Charset::Utf8:
        return "utf-8";
    case Charset::Utf16le:
        return "utf-16le";
    case Charset::Binary:
        return "binary";
    }
    return "ansi";
}

size_t first_character_length(Charset charset, std::string_view bytes, LeadBytePredicate is_lead_byte) {
    if (bytes.empty()) {
        return 0;
    }
    switch (charset) {
    case Charset::Binary:
        return 1;
    case Charset::Utf16le: {
        if (bytes.size() < 2) {
            return 0;
        }
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[0]) |
                                                static_cast<unsigned char>(bytes[1]) << 8);
        // A high surrogate waits for its partner; anything else is one unit.
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (bytes.size() < 4) {
                return 0;
            }
            const auto next = static_cast<char16_t>(static_cast<unsigned char>(bytes[2]) |
                                                    static_cast<unsigned char>(bytes[3]) << 8);
            return next >= 0xDC00 && next <= 0xDFFF ? 4 : 2;
        }
        return 2;
    }
    case Charset::Utf8: {
        const std::optional<size_t> length = utf8_sequence_at(bytes);
        if (!length) {
            return 0;
        }
        return std::max<size_t>(*length, 1);
    }
    case Charset::Ansi:
        if (is_lead_byte != nullptr && is_lead_byte(static_cast<unsigned char>(bytes[0]))) {
            return bytes.size() >= 2 ? 2 : 0;
        }
        return 1;
    }
    return 1;
}

size_t complete_prefix(Charset charset, std::string_view bytes, LeadBytePredicate is_lead_byte) {
    switch (charset) {
    case Charset::Binary:
        return bytes.size();
    case Charset::Utf16le: {
        size_t end = bytes.size() & ~static_cast<size_t>(1);
        // A high surrogate in the last whole unit may be waiting for its partner.
        if (end >= 2) {
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[end - 2]) |
                                                    static_cast<unsigned char>(bytes[end - 1]) << 8);
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                end -= 2;
            }
        }
        return end;
    }
    case Charset::Utf8: {
        // Only the last three bytes can belong to an unfinished sequence: find its lead byte.
        const size_t size = bytes.size();
        for (size_t back = 1; back <= std::min<size_t>(size, 3); ++back) {
            const size_t start = size - back;
            const auto byte = static_cast<unsigned char>(bytes[start]);
            if (is_continuation(byte)) {
                continue;
            }
            return utf8_sequence_at(bytes.substr(start)) ? size : start;
        }
        return size;
    }
    case Charset::Ansi: {
        if (is_lead_byte == nullptr) {
            return bytes.size();
        }
        // Walk the characters from the start: a trail byte may have any value, so only a walk
        // tells a final lead byte from the trail byte of the character before it.
        size_t i = 0;
        while (i < bytes.size()) {
            if (is_lead_byte(static_cast<unsigned char>(bytes[i]))) {
                if (i + 1 >= bytes.size()) {
                    return i;
                }
                i += 2;
            } else {
                ++i;
            }
        }
        return bytes.size();
    }
    }
    return bytes.size();
}

std::u16string decode_bytes(Charset charset, std::string_view bytes) {
    std::u16string out;
    switch (charset) {
    case Charset::Binary:
    case Charset::Ansi:
        out.reserve(bytes.size());
        for (const char byte : bytes) {
            out.push_back(static_cast<unsigned char>(byte));
        }
        break;
    case Charset::Utf16le:
        out.reserve(bytes.size() / 2);
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        break;
    case Charset::Utf8: {
        out.reserve(bytes.size());
        size_t i = 0;
        while (i < bytes.size()) {
            const std::optional<size_t> length = utf8_sequence_at(bytes.substr(i));
            if (!length || *length == 0) {
                out.push_back(replacement);
                ++i;
                continue;
            }
            const auto lead = static_cast<unsigned char>(bytes[i]);
            uint32_t code_point = *length == 1 ? lead : lead & (0x7F >> *length);
            for (size_t k = 1; k < *length; ++k) {
                code_point = code_point << 6 | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
            }
            append_utf16(out, code_point);
            i += *length;
        }
        break;
    }
    }
    return out;
}

std::optional<std::string> encode_text(Charset charset, std::u16string_view text) {
    std::string out;
    switch (charset) {
    case Charset::Binary:
    case Charset::Ansi:
        out.reserve(text.size());
        for (const char16_t unit : text) {
            if (unit > 0xFF) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(unit));
        }
        break;
    case Charset::Utf16le:
        out.reserve(text.size() * 2);
        for (const char16_t unit : text) {
            out.push_back(static_cast<char>(unit & 0xFF));
            out.push_back(static_cast<char>(unit >> 8));
        }
        break;
    case Charset::Utf8:
        out.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t unit = text[i];
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
                ++i;
            } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                append_utf8(out, replacement);
            } else {
                append_utf8(out, unit);
            }
        }
        break;
    }
    return out;
}

std::optional<LineEnd> find_line_end(Charset charset, std::string_view bytes) {
    if (charset == Charset::Utf16le) {
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] == '\n' && bytes[i + 1] == '\0') {
                const bool cr = i >= 2 && bytes[i - 2] == '\r' && bytes[i - 1] == '\0';
                return LineEnd{cr ? i - 2 : i, i + 2};
            }
        }
        return std::nullopt;
    }
    // A line feed byte is never part of a longer character in the other charsets: UTF-8 bytes of
    // longer sequences are all above 127, and ANSI trail bytes are at least 0x40.
    const size_t at = bytes.find('\n');
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const bool cr = at >= 1 && bytes[at - 1] == '\r';
    return LineEnd{cr ? at - 1 : at, at + 1};
}

} // namespace tarpon::host::net
