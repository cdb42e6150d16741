#include "host/data/stream_codec.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <limits>

#include "engine/values/text_codec.h"
#include "host/net/mime_codec.h"

namespace tarpon::host::data {

namespace {

constexpr char16_t replacement = 0xFFFD;

char16_t ascii_lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool same_name(std::u16string_view name, std::string_view ascii) {
    if (name.size() != ascii.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        if (ascii_lower(name[i]) != static_cast<unsigned char>(ascii[i])) {
            return false;
        }
    }
    return true;
}

uint8_t byte_at(std::string_view bytes, size_t i) { return static_cast<uint8_t>(bytes[i]); }

// How long the UTF-8 sequence a lead byte starts is (0: not a lead byte), and the range its second
// byte must lie in (which rules out overlong forms, surrogates and values past U+10FFFF).
struct Lead {
    size_t length;
    uint8_t second_low;
    uint8_t second_high;
};

Lead utf8_lead(uint8_t b, bool encoded_surrogates = false) {
    if (b < 0x80) return {1, 0, 0};
    if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
    if (b == 0xE0) return {3, 0xA0, 0xBF};
    if (b == 0xED) return {3, 0x80, encoded_surrogates ? uint8_t{0xBF} : uint8_t{0x9F}};
    if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
    if (b == 0xF0) return {4, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
    if (b == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// How many bytes from `at` continue the sequence validly (the lead byte counted), up to its length.
size_t utf8_valid_prefix(std::string_view bytes, size_t at, const Lead& lead) {
    size_t n = 1;
    while (n < lead.length && at + n < bytes.size()) {
        const uint8_t b = byte_at(bytes, at + n);
        const bool fits = n == 1 ? (b >= lead.second_low && b <= lead.second_high) : (b >= 0x80 && b <= 0xBF);
        if (!fits) {
            break;
        }
        ++n;
    }
    return n;
}

void append_code_point(std::u16string& out, uint32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

Decoded decode_utf8(std::string_view bytes, bool at_end) {
    Decoded result;
    result.text.reserve(bytes.size());
    size_t at = 0;
    while (at < bytes.size()) {
        const uint8_t b = byte_at(bytes, at);
        const Lead lead = utf8_lead(b);
        if (lead.length == 1) {
            result.text.push_back(b);
            ++at;
            continue;
        }
        if (lead.length == 0) {
            result.text.push_back(replacement);
            ++at;
            continue;
        }
        const size_t valid = utf8_valid_prefix(bytes, at, lead);
        if (valid == lead.length) {
            uint32_t c = b & (0xFF >> (lead.length + 1));
            for (size_t i = 1; i < lead.length; ++i) {
                c = (c << 6) | (byte_at(bytes, at + i) & 0x3F);
            }
            append_code_point(result.text, c);
            at += lead.length;
        } else if (at + valid == bytes.size() && !at_end) {
            break;  // cut short by the end: the rest may come with the next bytes
        } else {
            // An invalid or unfinished sequence: one replacement for its valid beginning.
            result.text.push_back(replacement);
            at += valid;
        }
    }
    result.used = at;
    return result;
}

Decoded decode_utf16le(std::string_view bytes, bool at_end) {
    Decoded result;
    const size_t units = bytes.size() / 2;
    result.text.reserve(units + 1);
    for (size_t i = 0; i < units; ++i) {
        result.text.push_back(static_cast<char16_t>(byte_at(bytes, 2 * i) | (byte_at(bytes, 2 * i + 1) << 8)));
    }
    result.used = units * 2;
    if (!at_end) {
        // A high surrogate at the end waits for its partner.
        if (!result.text.empty() && result.text.back() >= 0xD800 && result.text.back() <= 0xDBFF) {
            result.text.pop_back();
            result.used -= 2;
        }
    } else if (bytes.size() % 2 != 0) {
        result.text.push_back(replacement);
        result.used = bytes.size();
    }
    return result;
}

Decoded decode_ansi(std::string_view bytes, bool at_end) {
    Decoded result;
    result.used = at_end ? bytes.size() : bytes.size() - ansi_cut_tail(bytes);
    result.text = quill::narrow_to_utf16(bytes.substr(0, result.used));
    return result;
}

std::string encode_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = replacement;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::optional<Charset> charset_named(std::u16string_view name) {
    if (same_name(name, "ansi")) return Charset::Ansi;
    if (same_name(name, "utf-8")) return Charset::Utf8;
    if (same_name(name, "utf-16le")) return Charset::Utf16Le;
    if (same_name(name, "binary")) return Charset::Binary;
    return std::nullopt;
}

const char* charset_name(Charset charset) {
    switch (charset) {
    case Charset::Ansi: return "ansi";
    case Charset::Utf8: return "utf-8";
    case Charset::Utf16Le: return "utf-16le";
    case Charset::Binary: return "binary";
    }
    return "ansi";
}

size_t utf8_cut_tail(std::string_view bytes, bool encoded_surrogates) {
    // A sequence is at most four bytes, so its lead byte is among the last four.
    const size_t first = bytes.size() > 4 ? bytes.size() - 4 : 0;
    for (size_t at = bytes.size(); at > first; --at) {
        const Lead lead = utf8_lead(byte_at(bytes, at - 1), encoded_surrogates);
        if (lead.length == 0 && byte_at(bytes, at - 1) >= 0x80 && byte_at(bytes, at - 1) <= 0xBF) {
            continue;  // a continuation byte: look further back for its lead
        }
        const size_t start = at - 1;
        if (lead.length > 1 && start + lead.length > bytes.size() &&
            start + utf8_valid_prefix(bytes, start, lead) == bytes.size()) {
            return bytes.size() - start;
        }
        return 0;
    }
    return 0;
}

Decoded decode_text(Charset charset, std::string_view bytes, bool at_end) {
    switch (charset) {
    case Charset::Utf8:
        return decode_utf8(bytes, at_end);
    case Charset::Utf16Le:
        return decode_utf16le(bytes, at_end);
    case Charset::Binary: {
        Decoded result;
        result.text.resize(bytes.size());
        std::transform(bytes.begin(), bytes.end(), result.text.begin(),
                       [](char b) { return static_cast<char16_t>(static_cast<uint8_t>(b)); });
        result.used = bytes.size();
        return result;
    }
    case Charset::Ansi:
        break;
    }
    return decode_ansi(bytes, at_end);
}

std::optional<std::string> encode_text(Charset charset, std::u16string_view text) {
    switch (charset) {
    case Charset::Utf8:
        return encode_utf8(text);
    case Charset::Utf16Le: {
        std::string out(text.size() * 2, '\0');
        for (size_t i = 0; i < text.size(); ++i) {
            out[2 * i] = static_cast<char>(text[i] & 0xFF);
            out[2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
        return out;
    }
    case Charset::Binary: {
        std::string out(text.size(), '\0');
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] > 0xFF) {
                return std::nullopt;
            }
            out[i] = static_cast<char>(text[i]);
        }
        return out;
    }
    case Charset::Ansi:
        break;
    }
    return quill::utf16_to_narrow(text);
}

size_t unit_size(Charset charset) { return charset == Charset::Utf16Le ? 2 : 1; }

size_t find_line_feed(Charset charset, std::string_view bytes, size_t from) {
    if (charset != Charset::Utf16Le) {
        return bytes.find('\n', from);
    }
    for (size_t at = from; at + 1 < bytes.size(); at += 2) {
        if (bytes[at] == '\n' && bytes[at + 1] == '\0') {
            return at;
        }
    }
    return std::string_view::npos;
}

std::optional<std::string> zlib_compress(std::string_view bytes, int level) {
    if (bytes.size() > std::numeric_limits<uLong>::max()) {
        return std::nullopt;
    }
    uLongf length = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(length, '\0');
    const int status = compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                                 reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()), level);
    if (status != Z_OK) {
        return std::nullopt;
    }
    out.resize(length);
    return out;
}

std::optional<std::string> zlib_uncompress(std::string_view bytes, size_t limit) {
    if (bytes.size() > limit) {
        return std::nullopt;  // its output could not stay within the limit anyway
    }
    limit = std::min(limit, bytes.size() > limit / inflate_ratio_bound ? limit : bytes.size() * inflate_ratio_bound);
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return std::nullopt;
    }
    std::string out;
    constexpr size_t chunk = 64 * 1024;
    size_t consumed = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        if (out.size() > limit) {
            break;
        }
        const size_t input = std::min<size_t>(bytes.size() - consumed, UINT_MAX);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + consumed));
        stream.avail_in = static_cast<uInt>(input);
        // Room for one more chunk, or one byte past the limit so that passing it shows.
        const size_t room = std::min(chunk, limit + 1 - out.size());
        const size_t before = out.size();
        out.resize(before + room);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
        consumed += input - stream.avail_in;
        out.resize(before + (room - stream.avail_out));
        if (status == Z_BUF_ERROR && stream.avail_out != 0) {
            break;  // no progress possible: the input ended before the stream did
        }
        if (status == Z_BUF_ERROR) {
            status = Z_OK;  // the output was full; go on with more room
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || out.size() > limit || consumed != bytes.size()) {
        return std::nullopt;
    }
    return out;
}

std::string base64_encode(std::string_view bytes) { return mime::base64_encode(bytes, 0); }

std::optional<std::string> base64_decode(std::string_view text) {
    size_t digits = 0;
    size_t padding = 0;
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
            continue;
        }
        if (c == '=') {
            ++padding;
            continue;
        }
        if (base64_value(c) < 0 || padding != 0) {
            return std::nullopt;  // a foreign character, or a digit after the padding
        }
        ++digits;
    }
    // The last group holds 2 or 3 digits (1 or 2 bytes) or is full; padding, when there is any,
    // fills it to 4 exactly.
    const size_t last = digits % 4;
    if (last == 1 || (padding != 0 && (last + padding != 4))) {
        return std::nullopt;
    }
    return mime::base64_decode(text);
}

}  // namespace tarpon::host::data
