#include "host/net/mime_codec.h"

#include <array>
#include <cstdint>

namespace tarpon::mime {

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";
constexpr char base64_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Lines of quoted-printable text are broken before they would pass this many characters, which
// keeps them, with the '=' of the soft break, within the 76 a line may have.
constexpr size_t quoted_line_limit = 73;

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The length of a soft break at text[i] (which is '='): '=', white space, then CR LF or LF, or the
// end of the text. 0 when it is not one.
size_t soft_break_length(std::string_view text, size_t i) {
    size_t j = i + 1;
    while (j < text.size() && is_blank(text[j])) {
        ++j;
    }
    if (j == text.size()) {
        return j - i;
    }
    if (text[j] == '\n') {
        return j + 1 - i;
    }
    if (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') {
        return j + 2 - i;
    }
    return 0;
}

std::string quoted_decode(std::string_view text, bool underscore_is_space) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '=') {
            if (i + 2 < text.size() && hex_value(text[i + 1]) >= 0 && hex_value(text[i + 2]) >= 0) {
                out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
                i += 3;
                continue;
            }
            if (const size_t length = soft_break_length(text, i); length > 0) {
                i += length;
                continue;
            }
        }
        out += underscore_is_space && c == '_' ? ' ' : c;
        ++i;
    }
    return out;
}

std::array<int8_t, 256> base64_values() {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 64; ++i) {
        values[static_cast<unsigned char>(base64_alphabet[i])] = static_cast<int8_t>(i);
    }
    return values;
}

}  // namespace

std::string quoted_printable_encode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    size_t line = 0;  // characters on the current output line
    auto put = [&](std::string_view unit) {
        if (line + unit.size() > quoted_line_limit) {
            out += "=\r\n";
            line = 0;
        }
        out += unit;
        line += unit.size();
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\n' || byte == '\r') {
            out += static_cast<char>(byte);
            line = byte == '\n' ? 0 : line;
            continue;
        }
        const bool at_line_end = i + 1 == bytes.size() || bytes[i + 1] == '\r' || bytes[i + 1] == '\n';
        const bool literal = (byte >= 32 && byte < 127 && byte != '=' && !(byte == ' ' && at_line_end)) ||
                             (byte == '\t' && !at_line_end);
        if (literal) {
            put(std::string_view(&bytes[i], 1));
        } else {
            const char unit[3] = {'=', hex_digits[byte >> 4], hex_digits[byte & 15]};
            put(std::string_view(unit, 3));
        }
    }
    if (line > 0) {
        out += "=\r\n";
    }
    return out;
}

std::string quoted_printable_decode(std::string_view text) { return quoted_decode(text, false); }

std::string q_decode(std::string_view text) { return quoted_decode(text, true); }

std::string base64_encode(std::string_view bytes, size_t line_length) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4 + (line_length > 0 ? bytes.size() / line_length * 2 + 2 : 0));
    size_t line = 0;
    auto put = [&](char c) {
        out += c;
        if (line_length > 0 && ++line == line_length) {
            out += "\r\n";
            line = 0;
        }
    };
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t group =
            static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
            (left > 1 ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 : 0) |
            (left > 2 ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 2])) : 0);
        put(base64_alphabet[group >> 18 & 63]);
        put(base64_alphabet[group >> 12 & 63]);
        put(left > 1 ? base64_alphabet[group >> 6 & 63] : '=');
        put(left > 2 ? base64_alphabet[group & 63] : '=');
    }
    if (line > 0) {
        out += "\r\n";
    }
    return out;
}

std::string base64_decode(std::string_view text) {
    static const std::array<int8_t, 256> values = base64_values();
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const int value = values[static_cast<unsigned char>(c)];
        if (value < 0) {
            continue;
        }
        bits = bits << 6 | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xFF);
        }
    }
    return out;
}

}  // namespace tarpon::mime
