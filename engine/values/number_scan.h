// Reading numbers from text: the integer scanner and the decimal string-to-double conversion.
#pragma once

#include <cstdint>

namespace quill {

// White space the scanners skip: the ASCII controls 9-13, the blank, and the Unicode white-space
// characters (the same set in every build).
bool is_scan_space(char16_t c);

enum class ScanKind { None, Integer, Double };

struct IntegerScan {
    ScanKind kind = ScanKind::None;
    int64_t integer = 0;       // with kind Integer
    double number = 0.0;       // with kind Double (the integer left the 64-bit range)
    const char16_t* stop;      // just after the last digit; the start of the text when no digit
};

// Scans an optionally signed integer from NUL-terminated text. Radix 0 is automatic ("0x" selects
// 16, a leading "0" selects 8, otherwise 10); a digit is accepted when its value is below the radix
// taken as unsigned.
IntegerScan scan_integer(const char16_t* text, uint32_t radix);

struct DecimalScan {
    double value = 0.0;
    const char16_t* stop;  // the start of the text when nothing was consumed
};

// The longest valid prefix of: white space, a sign, digits with an optional fraction, an optional
// exponent introduced by 'e', 'E', 'd' or 'D'. Knows no names such as Infinity.
DecimalScan scan_decimal(const char16_t* text);

}  // namespace quill
