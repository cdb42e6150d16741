// String-to-number conversion and Number.format formats. The input is "number text, NUL, format";
// both are read in the ANSI code page. The numbers the text gives, and a few extreme ones, are
// formatted with the format, and integers written in a radix must read back the same.
#include <cmath>
#include <limits>

#include "engine/builtins/number_text.h"
#include "engine/values/config.h"
#include "engine/values/conversions.h"
#include "engine/values/number_scan.h"
#include "engine/values/text_codec.h"
#include "fuzz/fuzz_engine.h"

namespace {

using namespace quill;

void check_stop(const char16_t* stop, const std::u16string& text) {
    if (stop < text.c_str() || stop > text.c_str() + text.size()) {
        fuzz::finding("a scan stopped outside its text");
    }
}

void check_format(std::u16string_view format, const Value& value) {
    std::optional<std::u16string> text = format_number(format, value);
    if (text && text->size() > config::number_text_limit) {
        fuzz::finding("a formatted number is longer than the limit");
    }
}

// Writing a non-negative integer in a radix and scanning it back gives the integer.
void check_round_trip(int64_t value, int radix) {
    if (value < 0) {
        return;
    }
    std::string digits = integer_text(value, radix);
    std::u16string wide(digits.begin(), digits.end());
    IntegerScan scan = scan_integer(wide.c_str(), static_cast<uint32_t>(radix));
    if (scan.kind != ScanKind::Integer || scan.integer != value || *scan.stop != u'\0') {
        fuzz::finding("an integer does not read back in its radix", digits.c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [number_part, format_part] = fuzz::split_at_nul(data, size);
    std::u16string text = narrow_to_utf16(number_part);
    std::u16string format = narrow_to_utf16(format_part);

    Value converted = string_to_number(text.data(), static_cast<uint32_t>(text.size()));
    DecimalScan decimal = scan_decimal(text.c_str());
    check_stop(decimal.stop, text);

    std::vector<Value> values = {converted, Value::number(decimal.value)};
    uint32_t radixes[] = {0, 2, 8, 10, 16, 36, 37, size > 0 ? data[0] : 1u};
    for (uint32_t radix : radixes) {
        IntegerScan scan = scan_integer(text.c_str(), radix);
        check_stop(scan.stop, text);
        if (scan.kind == ScanKind::Integer) {
            values.push_back(Value::integer(scan.integer));
            if (radix >= 2 && radix <= 36) {
                check_round_trip(scan.integer, static_cast<int>(radix));
            }
        } else if (scan.kind == ScanKind::Double) {
            values.push_back(Value::number(scan.number));
        }
    }
    for (double extreme : {0.0, -0.0, 1e-320, std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::infinity(), std::nan("")}) {
        values.push_back(Value::number(extreme));
    }
    for (int64_t extreme : {int64_t{0}, int64_t{-1}, std::numeric_limits<int64_t>::min(),
                            std::numeric_limits<int64_t>::max()}) {
        values.push_back(Value::integer(extreme));
    }

    for (const Value& value : values) {
        check_format(format, value);
        if (value.tag == Tag::Integer) {
            check_round_trip(value.payload.integer, 10);
            integer_text(value.payload.integer, size > 1 ? data[1] : 10);
        } else if (value.tag == Tag::Number) {
            double_text(value.payload.number);
        }
    }
    return 0;
}
