// The texts of numbers.
//
// Number.format hands a script's format to the C library's formatter only after taking it apart
// here: the formatter never sees the script's text, only a format rebuilt from the one conversion
// that was found and checked, with the value passed as the type that conversion reads. So no format
// can read a second argument ("%s%s"), write through one ("%n"), or print past a buffer.
#include "engine/builtins/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/values/config.h"

namespace quill {

namespace {

// Largest width or precision a format may ask for. With both at this bound the longest conversion
// (a "%f" of the largest double: 309 digits, the point, 255 decimals, a sign) fits conversion_buffer.
constexpr int max_field = 255;
constexpr size_t conversion_buffer = 1024;

enum class Kind { Signed, Unsigned, Floating };

// One conversion of a format, as parsed: flags in the order "-+ #0", each at most once.
struct Conversion {
    bool left = false;       // '-'
    bool plus = false;       // '+'
    bool space = false;      // ' '
    bool alternate = false;  // '#'
    bool zero = false;       // '0'
    int width = -1;          // -1: none
    int precision = -1;      // -1: none
    int bits = 32;           // integer conversions: how many low bits of the value count
    char letter = 0;
    Kind kind = Kind::Signed;
};

struct ParsedFormat {
    std::u16string before;
    std::u16string after;
    Conversion conversion;
};

// The length modifiers an integer conversion may carry and the bits of the value each passes on.
// None and "l" mean 32 bits, as on Windows, where long has 32 bits. Longer texts come first.
struct LengthModifier {
    std::u16string_view text;
    int bits;
};
constexpr LengthModifier length_modifiers[] = {
    {u"I64", 64}, {u"I32", 32}, {u"ll", 64}, {u"hh", 8}, {u"h", 16}, {u"l", 32},
};

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads decimal digits at *at; false when the number exceeds max_field.
bool read_field(std::u16string_view format, size_t* at, int* out) {
    int value = 0;
    while (*at < format.size() && is_digit(format[*at])) {
        value = value * 10 + (format[*at] - u'0');
        if (value > max_field) {
            return false;
        }
        ++*at;
    }
    *out = value;
    return true;
}

bool starts_with(std::u16string_view text, size_t at, std::u16string_view prefix) {
    return text.substr(at, prefix.size()) == prefix;
}

// Parses the conversion whose '%' is just before *at and moves *at past it.
std::optional<Conversion> parse_conversion(std::u16string_view format, size_t* at) {
    Conversion c;
    for (; *at < format.size(); ++*at) {
        switch (format[*at]) {
        case u'-': c.left = true; continue;
        case u'+': c.plus = true; continue;
        case u' ': c.space = true; continue;
        case u'#': c.alternate = true; continue;
        case u'0': c.zero = true; continue;
        default: break;
        }
        break;
    }
    if (*at < format.size() && is_digit(format[*at]) && !read_field(format, at, &c.width)) {
        return std::nullopt;
    }
    if (*at < format.size() && format[*at] == u'.') {
        ++*at;
        if (!read_field(format, at, &c.precision)) {
            return std::nullopt;
        }
    }
    std::u16string_view length;
    for (const LengthModifier& l : length_modifiers) {
        if (starts_with(format, *at, l.text)) {
            length = l.text;
            c.bits = l.bits;
            *at += l.text.size();
            break;
        }
    }
    if (*at >= format.size()) {
        return std::nullopt;
    }
    char16_t letter = format[(*at)++];
    switch (letter) {
    case u'd': case u'i':
        c.kind = Kind::Signed;
        break;
    case u'u': case u'o': case u'x': case u'X':
        c.kind = Kind::Unsigned;
        break;
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G':
        if (!length.empty() && length != u"l") {
            return std::nullopt;  // the payload is a double, whatever the length says
        }
        c.kind = Kind::Floating;
        break;
    default:
        return std::nullopt;  // %s, %c, %n, %p, %a, '*' and everything else
    }
    c.letter = static_cast<char>(letter);
    return c;
}

// Splits a format into the text before its one conversion, the conversion and the text after it.
std::optional<ParsedFormat> parse_format(std::u16string_view format) {
    ParsedFormat parsed;
    bool found = false;
    size_t at = 0;
    while (at < format.size()) {
        std::u16string& literal = found ? parsed.after : parsed.before;
        if (format[at] != u'%') {
            literal += format[at++];
            continue;
        }
        if (at + 1 < format.size() && format[at + 1] == u'%') {
            literal += u'%';
            at += 2;
            continue;
        }
        if (found) {
            return std::nullopt;  // a second conversion
        }
        ++at;
        std::optional<Conversion> conversion = parse_conversion(format, &at);
        if (!conversion) {
            return std::nullopt;
        }
        parsed.conversion = *conversion;
        found = true;
    }
    if (!found) {
        return std::nullopt;
    }
    return parsed;
}

// The printf format of a conversion. Flags that have no defined meaning for the conversion are left
// out, so the C library is never asked for undefined behaviour; the width is left out on request.
std::string printf_format(const Conversion& c, bool with_width, const char* length, char letter) {
    std::string f = "%";
    if (c.left && with_width) {
        f += '-';
    }
    if (c.kind != Kind::Unsigned) {
        if (c.plus) {
            f += '+';
        } else if (c.space) {
            f += ' ';
        }
    }
    if (c.alternate && (c.kind == Kind::Floating || letter == 'o' || letter == 'x' || letter == 'X')) {
        f += '#';
    }
    if (c.zero && !c.left && with_width) {
        f += '0';
    }
    if (with_width && c.width >= 0) {
        f += std::to_string(c.width);
    }
    if (c.precision >= 0) {
        f += '.';
        f += std::to_string(c.precision);
    }
    f += length;
    f += letter;
    return f;
}

// Calls the formatter with a format this file built. False when it fails or the text does not fit.
template <typename T>
bool run_printf(const std::string& format, T value, std::string* out) {
    char buffer[conversion_buffer];
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    int written = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (written < 0 || static_cast<size_t>(written) >= sizeof buffer) {
        return false;
    }
    out->assign(buffer, static_cast<size_t>(written));
    return true;
}

// Writes the exponent of an "e" form with at least three digits: C libraries differ here (two on
// most, three on Windows), this system always shows three.
void widen_exponent(std::string* text) {
    size_t e = text->find_first_of("eE");
    if (e == std::string::npos || e + 1 >= text->size()) {
        return;
    }
    size_t digits = e + 2;  // after the sign
    size_t count = text->size() - digits;
    if (count < 3) {
        text->insert(digits, 3 - count, '0');
    }
}

// Pads a conversion's text to the width, as the formatter would have: on the right for '-', with
// zeros after the sign for '0' (numbers only), otherwise with blanks on the left.
void pad(std::string* text, const Conversion& c, bool may_zero_pad) {
    if (c.width < 0 || text->size() >= static_cast<size_t>(c.width)) {
        return;
    }
    size_t missing = static_cast<size_t>(c.width) - text->size();
    if (c.left) {
        text->append(missing, ' ');
    } else if (c.zero && may_zero_pad) {
        char first = text->empty() ? 0 : text->front();
        text->insert(first == '-' || first == '+' || first == ' ' ? 1 : 0, missing, '0');
    } else {
        text->insert(0, missing, ' ');
    }
}

bool is_upper(char letter) { return letter >= 'A' && letter <= 'Z'; }

bool format_double(double value, const Conversion& c, std::string* out) {
    if (!std::isfinite(value)) {
        std::string text = std::signbit(value) ? "-" : c.plus ? "+" : c.space ? " " : "";
        text += std::isinf(value) ? (is_upper(c.letter) ? "INF" : "inf") : (is_upper(c.letter) ? "NAN" : "nan");
        pad(&text, c, false);
        *out = std::move(text);
        return true;
    }
    if (c.letter == 'f' || c.letter == 'F') {
        // No exponent and, for a finite value, no letters: "%F" is "%f".
        return run_printf(printf_format(c, true, "", 'f'), value, out);
    }
    // The e and g forms are formatted without the width, which applies after the exponent is widened.
    if (!run_printf(printf_format(c, false, "", c.letter), value, out)) {
        return false;
    }
    widen_exponent(out);
    pad(out, c, true);
    return true;
}

bool format_integer(int64_t value, const Conversion& c, std::string* out) {
    std::string format = printf_format(c, true, "ll", c.letter);
    if (c.kind == Kind::Signed) {
        long long v = c.bits == 8 ? static_cast<int8_t>(value)
                      : c.bits == 16 ? static_cast<int16_t>(value)
                      : c.bits == 32 ? static_cast<int32_t>(value)
                                     : value;
        return run_printf(format, v, out);
    }
    auto bits = static_cast<uint64_t>(value);
    unsigned long long v = c.bits == 8 ? static_cast<uint8_t>(bits)
                           : c.bits == 16 ? static_cast<uint16_t>(bits)
                           : c.bits == 32 ? static_cast<uint32_t>(bits)
                                          : bits;
    return run_printf(format, v, out);
}

}  // namespace

std::string integer_text(int64_t value, int radix) {
    if (radix < 2 || radix > 36) {
        radix = 10;
    }
    auto magnitude = static_cast<uint64_t>(value);
    bool negative = radix == 10 && value < 0;
    if (negative) {
        magnitude = 0 - magnitude;  // also right for the most negative value
    }
    char digits[65];
    size_t at = sizeof digits;
    do {
        digits[--at] = "0123456789abcdefghijklmnopqrstuvwxyz"[magnitude % static_cast<uint64_t>(radix)];
        magnitude /= static_cast<uint64_t>(radix);
    } while (magnitude != 0);
    std::string text = negative ? "-" : "";
    text.append(digits + at, sizeof digits - at);
    return text;
}

std::string double_text(double value) {
    Conversion g;
    g.kind = Kind::Floating;
    g.letter = 'g';
    std::string text;
    format_double(value, g, &text);  // "%g" of a finite double is at most 13 characters
    return text;
}

std::optional<std::u16string> format_number(std::u16string_view format, const Value& value) {
    std::optional<ParsedFormat> parsed = parse_format(format);
    if (!parsed) {
        return std::nullopt;
    }
    const Conversion& c = parsed->conversion;
    std::string converted;
    if (value.tag == Tag::Number && c.kind == Kind::Floating) {
        if (!format_double(value.payload.number, c, &converted)) {
            return std::nullopt;
        }
    } else if (value.tag == Tag::Integer && c.kind != Kind::Floating) {
        if (!format_integer(value.payload.integer, c, &converted)) {
            return std::nullopt;
        }
    } else {
        return std::nullopt;  // the conversion does not fit the value
    }
    std::u16string text = std::move(parsed->before);
    text.append(converted.begin(), converted.end());
    text += parsed->after;
    if (text.size() > config::number_text_limit) {
        text.resize(config::number_text_limit);
    }
    return text;
}

}  // namespace quill
