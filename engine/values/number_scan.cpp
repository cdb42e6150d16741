// The integer scanner and the decimal string-to-double conversion.
#include "engine/values/number_scan.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace quill {

bool is_scan_space(char16_t c) {
    switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

namespace {

// The value of a digit character (letters count from 10), or a value no radix accepts.
uint32_t digit_value(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'z') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'Z') {
        return c - u'A' + 10;
    }
    return std::numeric_limits<uint32_t>::max();
}

const char16_t* skip_space(const char16_t* p) {
    while (is_scan_space(*p)) {
        ++p;
    }
    return p;
}

// Digits of a power-of-two radix read as a bit stream: the first 53 significant bits form the
// mantissa, the rest rounds to nearest with ties to even.
double bits_to_double(const char16_t* digits, const char16_t* end, uint32_t radix) {
    int bits_per_digit = 0;
    while ((1u << bits_per_digit) < radix) {
        ++bits_per_digit;
    }
    uint64_t mantissa = 0;
    int mantissa_bits = 0;
    int64_t dropped_bits = 0;  // significant bits after the 53rd
    bool round_bit = false;
    bool sticky = false;
    for (const char16_t* p = digits; p < end; ++p) {
        uint32_t d = digit_value(*p);
        for (int b = bits_per_digit - 1; b >= 0; --b) {
            bool bit = ((d >> b) & 1u) != 0;
            if (mantissa_bits == 0 && !bit) {
                continue;  // leading zeros
            }
            if (mantissa_bits < 53) {
                mantissa = (mantissa << 1) | (bit ? 1u : 0u);
                ++mantissa_bits;
            } else {
                if (dropped_bits == 0) {
                    round_bit = bit;
                } else if (bit) {
                    sticky = true;
                }
                ++dropped_bits;
            }
        }
    }
    if (round_bit && (sticky || (mantissa & 1u) != 0)) {
        ++mantissa;  // may reach 2^53, which ldexp still represents exactly
    }
    return std::ldexp(static_cast<double>(mantissa), static_cast<int>(dropped_bits > 100000 ? 100000 : dropped_bits));
}

// Reads the ASCII form of a decimal number (digits, '.', 'e', exponent) correctly rounded.
double decimal_to_double(const std::string& text, int64_t magnitude) {
    double value = 0.0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Past the double range: the decimal magnitude tells overflow from underflow.
        return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return value;
}

}  // namespace

IntegerScan scan_integer(const char16_t* text, uint32_t radix) {
    IntegerScan result;
    result.stop = text;
    const char16_t* p = skip_space(text);
    bool negative = false;
    if (*p == u'-' || *p == u'+') {
        negative = *p == u'-';
        p = skip_space(p + 1);
    }
    if (radix == 0) {
        if (p[0] == u'0' && (p[1] == u'x' || p[1] == u'X')) {
            radix = 16;
            p += 2;
        } else {
            radix = p[0] == u'0' ? 8 : 10;
        }
    } else if (radix == 16 && p[0] == u'0' && (p[1] == u'x' || p[1] == u'X')) {
        p += 2;
    }

    const char16_t* digits = p;
    int64_t integer = 0;
    double number = 0.0;
    bool overflow = false;
    for (; digit_value(*p) < radix; ++p) {
        uint32_t d = digit_value(*p);
        number = number * radix + d;
        if (!overflow) {
            int64_t next;
            if (__builtin_mul_overflow(integer, static_cast<int64_t>(radix), &next) ||
                __builtin_add_overflow(next, static_cast<int64_t>(d), &next)) {
                overflow = true;
            } else {
                integer = next;
            }
        }
    }
    if (p == digits) {
        return result;
    }
    if (overflow) {
        if (radix == 10) {
            std::string run(digits, p);
            number = decimal_to_double(run, static_cast<int64_t>(run.size()));
        } else if ((radix & (radix - 1)) == 0) {
            number = bits_to_double(digits, p, radix);
        }
        result.kind = ScanKind::Double;
        result.number = negative ? -number : number;
    } else {
        result.kind = ScanKind::Integer;
        // Negation wraps like all integer arithmetic; only 0 - INT64_MIN could, and it cannot arise here.
        result.integer = negative ? -integer : integer;
    }
    result.stop = p;
    return result;
}

DecimalScan scan_decimal(const char16_t* text) {
    DecimalScan result;
    result.stop = text;
    const char16_t* p = skip_space(text);
    bool negative = false;
    if (*p == u'-' || *p == u'+') {
        negative = *p == u'-';
        ++p;
    }
    std::string ascii;
    int64_t integer_digits = 0;  // significant digits before the point
    int64_t leading_fraction_zeros = 0;
    bool seen_significant = false;
    bool any_digit = false;
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        ascii.push_back(static_cast<char>(*p));
        any_digit = true;
        seen_significant = seen_significant || *p != u'0';
        if (seen_significant) {
            ++integer_digits;
        }
    }
    if (*p == u'.') {
        const char16_t* q = p + 1;
        std::string fraction;
        for (; *q >= u'0' && *q <= u'9'; ++q) {
            fraction.push_back(static_cast<char>(*q));
            if (!seen_significant) {
                if (*q == u'0') {
                    ++leading_fraction_zeros;
                } else {
                    seen_significant = true;
                }
            }
        }
        if (any_digit || !fraction.empty()) {
            any_digit = true;
            ascii.push_back('.');
            ascii += fraction;
            p = q;
        }
    }
    if (!any_digit) {
        return result;
    }
    if (*p == u'e' || *p == u'E' || *p == u'd' || *p == u'D') {
        const char16_t* q = p + 1;
        bool exponent_negative = false;
        if (*q == u'-' || *q == u'+') {
            exponent_negative = *q == u'-';
            ++q;
        }
        if (*q >= u'0' && *q <= u'9') {
            int64_t exponent = 0;
            for (; *q >= u'0' && *q <= u'9'; ++q) {
                // Past a million the exponent only decides between infinity and zero.
                if (exponent < 1000000) {
                    exponent = exponent * 10 + (*q - u'0');
                }
            }
            p = q;
            ascii += exponent_negative ? "e-" : "e";
            ascii += std::to_string(exponent);
            integer_digits += exponent_negative ? -exponent : exponent;
        }
    }
    int64_t magnitude = seen_significant ? integer_digits - leading_fraction_zeros : 0;
    double value = decimal_to_double(ascii, magnitude);
    result.value = negative ? -value : value;
    result.stop = p;
    return result;
}

}  // namespace quill
