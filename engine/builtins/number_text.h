// The texts of numbers: an Integer in a radix, the "%g" form of a double, and Number.format's
// printf-style formats, which come from scripts and so are checked before any formatter sees them.
//
// Every text here is the same on every platform: the exponent of a double always has at least three
// digits (1e21 is "1e+021"), and infinities and NaN doubles are written as "inf", "-inf", "nan" and
// "-nan" whatever the C library would make of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/values/value.h"

namespace quill {

// The digits of an Integer in a radix from 2 to 36 ('0'-'9', then 'a'-'z'); any other radix means 10.
// Radix 10 is signed; every other radix writes the 64 bits as an unsigned number.
std::string integer_text(int64_t value, int radix);

// The "%g" form of a double: six significant digits, exponent form when the exponent is below -4 or
// at least 6, exponent with at least three digits.
std::string double_text(double value);

// The value (an Integer or a Number) formatted with a printf-style format, or nothing when the
// format is refused. A format is accepted when it holds exactly one conversion, and that conversion
// fits the value:
//   - for a Number: e E f F g G, with the length "l" (no effect) or none;
//   - for an Integer: d i (signed) or u o x X (unsigned), where no length and "l" take the low 32 bits
//     (the meaning "%d" and "%ld" have on Windows), "h" 16 and "hh" 8 bits, "ll", "I64" the whole
//     value, and "I32" 32 bits;
//   - flags from "-+ #0", a width and a precision of at most 255 each, written as digits ('*' refused).
// Text around the conversion is kept as it stands, with "%%" giving "%". The result is cut to
// config::number_text_limit code units.
std::optional<std::u16string> format_number(std::u16string_view format, const Value& value);

}  // namespace quill
