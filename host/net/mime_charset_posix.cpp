// The local text is UTF-8 here; the charsets known are UTF-8, ISO-8859-1 and US-ASCII.
#include "host/net/mime_charset.h"

#include <algorithm>

namespace tarpon::mime {

namespace {

constexpr uint32_t utf8_page = 65001;
constexpr uint32_t latin1_page = 1252;
constexpr uint32_t ascii_page = 20127;

}  // namespace

std::string local_charset() { return "utf-8"; }

std::optional<std::string> to_local_text(std::string_view charset, std::string_view bytes) {
    switch (code_page_for_charset(charset)) {
    case utf8_page:
        return std::string(bytes);
    case latin1_page: {
        std::string out;
        out.reserve(bytes.size() * 2);
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                out += c;
            } else {
                out += static_cast<char>(0xC0 | byte >> 6);
                out += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return out;
    }
    case ascii_page: {
        std::string out(bytes);
        for (char& c : out) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                c = '?';
            }
        }
        return out;
    }
    default:
        return std::nullopt;
    }
}

size_t local_character_length(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return std::min(length, text.size() - i);
}

}  // namespace tarpon::mime
