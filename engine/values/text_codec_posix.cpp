// Narrow text is UTF-8 here. Decoding never fails: a byte that does not begin a valid sequence
// stands for the code unit of the same value. Lone surrogates are encoded as three bytes and such
// sequences decode back to the same code unit, so engine text survives the round trip.
#include "engine/values/text_codec.h"

#include <cstdint>

namespace quill {

namespace {

// Decodes one character at text[i]: its code point and the bytes it takes.
struct Decoded {
    uint32_t code_point;
    size_t bytes;
};

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

Decoded decode(std::string_view text, size_t i) {
    auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    unsigned char b0 = at(0);
    size_t left = text.size() - i;
    if (b0 < 0x80) {
        return {b0, 1};
    }
    if (b0 >= 0xC2 && b0 <= 0xDF && left >= 2 && continuation(at(1))) {
        return {((b0 & 0x1Fu) << 6) | (at(1) & 0x3Fu), 2};
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && left >= 3 && continuation(at(1)) && continuation(at(2))) {
        uint32_t cp = ((b0 & 0x0Fu) << 12) | ((at(1) & 0x3Fu) << 6) | (at(2) & 0x3Fu);
        if (cp >= 0x800) {
            return {cp, 3};
        }
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && left >= 4 && continuation(at(1)) && continuation(at(2)) &&
        continuation(at(3))) {
        uint32_t cp = ((b0 & 0x07u) << 18) | ((at(1) & 0x3Fu) << 12) | ((at(2) & 0x3Fu) << 6) | (at(3) & 0x3Fu);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            return {cp, 4};
        }
    }
    return {b0, 1};
}

}  // namespace

size_t narrow_to_utf16_length(std::string_view narrow) {
    size_t units = 0;
    for (size_t i = 0; i < narrow.size();) {
        Decoded d = decode(narrow, i);
        units += d.code_point >= 0x10000 ? 2 : 1;
        i += d.bytes;
    }
    return units;
}

void narrow_to_utf16(std::string_view narrow, char16_t* out, size_t out_length) {
    size_t o = 0;
    for (size_t i = 0; i < narrow.size() && o < out_length;) {
        Decoded d = decode(narrow, i);
        i += d.bytes;
        if (d.code_point >= 0x10000) {
            uint32_t v = d.code_point - 0x10000;
            out[o++] = static_cast<char16_t>(0xD800 + (v >> 10));
            if (o < out_length) {
                out[o++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
            }
        } else {
            out[o++] = static_cast<char16_t>(d.code_point);
        }
    }
}

namespace {

// Walks the UTF-16 text as code points, pairing surrogates where they form a pair.
template <typename Emit>
void for_each_code_point(std::u16string_view wide, Emit&& emit) {
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        }
        emit(c);
    }
}

size_t utf8_length(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

}  // namespace

size_t utf16_to_narrow_length(std::u16string_view wide) {
    size_t bytes = 0;
    for_each_code_point(wide, [&](uint32_t c) { bytes += utf8_length(c); });
    return bytes;
}

void utf16_to_narrow(std::u16string_view wide, char* out, size_t out_length) {
    size_t o = 0;
    for_each_code_point(wide, [&](uint32_t c) {
        size_t n = utf8_length(c);
        if (o + n > out_length) {
            o = out_length;
            return;
        }
        switch (n) {
        case 1:
            out[o++] = static_cast<char>(c);
            break;
        case 2:
            out[o++] = static_cast<char>(0xC0 | (c >> 6));
            out[o++] = static_cast<char>(0x80 | (c & 0x3F));
            break;
        case 3:
            out[o++] = static_cast<char>(0xE0 | (c >> 12));
            out[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[o++] = static_cast<char>(0x80 | (c & 0x3F));
            break;
        default:
            out[o++] = static_cast<char>(0xF0 | (c >> 18));
            out[o++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[o++] = static_cast<char>(0x80 | (c & 0x3F));
            break;
        }
    });
}

}  // namespace quill
