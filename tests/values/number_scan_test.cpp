#include "engine/values/number_scan.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quill {
namespace {

IntegerScan scan(const char16_t* text, uint32_t radix = 0) { return scan_integer(text, radix); }

TEST(IntegerScanner, RadixSelection) {
    EXPECT_EQ(scan(u"  -  42abc").integer, -42);
    EXPECT_EQ(scan(u"0x1F").integer, 31);
    EXPECT_EQ(scan(u"017").integer, 15);
    EXPECT_EQ(scan(u"08").integer, 0);  // octal: the 8 stops the scan
    EXPECT_EQ(scan(u"1F", 16).integer, 31);
    EXPECT_EQ(scan(u"0x1F", 16).integer, 31);
    EXPECT_EQ(scan(u"0x1F", 10).integer, 0);
    EXPECT_EQ(scan(u"zz", 36).integer, 35 * 36 + 35);
    EXPECT_EQ(scan(u"11", 1).kind, ScanKind::None);
    EXPECT_EQ(scan(u"0", 1).kind, ScanKind::Integer);
    // A radix above 36 accepts every letter; one taken as unsigned accepts them too.
    EXPECT_EQ(scan(u"z", 100).integer, 35);
    EXPECT_EQ(scan(u"z", static_cast<uint32_t>(-1)).integer, 35);
}

TEST(IntegerScanner, StopPositions) {
    const char16_t* text = u"  12px";
    EXPECT_EQ(scan(text).stop, text + 4);
    const char16_t* none = u"  xyz";
    IntegerScan s = scan(none);
    EXPECT_EQ(s.kind, ScanKind::None);
    EXPECT_EQ(s.stop, none);
    EXPECT_EQ(scan(u"").kind, ScanKind::None);
    EXPECT_EQ(scan(u"-").kind, ScanKind::None);
    EXPECT_EQ(scan(u"\u3000\u00A07").integer, 7);
}

TEST(IntegerScanner, OverflowBecomesADouble) {
    IntegerScan max = scan(u"9223372036854775807");
    EXPECT_EQ(max.kind, ScanKind::Integer);
    EXPECT_EQ(max.integer, INT64_MAX);
    IntegerScan over = scan(u"9223372036854775808");
    EXPECT_EQ(over.kind, ScanKind::Double);
    EXPECT_EQ(over.number, 9223372036854775808.0);
    EXPECT_EQ(scan(u"-9223372036854775808").number, -9223372036854775808.0);
    // Decimal digits past the double precision round correctly.
    EXPECT_EQ(scan(u"123456789012345678901234567890").number, 1.2345678901234568e29);
    EXPECT_TRUE(std::isinf(scan(std::u16string(400, u'9').c_str()).number));
}

TEST(IntegerScanner, PowerOfTwoRadixesRoundToNearestEven) {
    // 2^64 + 2^11 is a tie between 2^64 and 2^64 + 2^12: the even mantissa wins.
    EXPECT_EQ(scan(u"0x10000000000000800").number, 18446744073709551616.0);
    // 2^64 + 3 * 2^11 is a tie too; now rounding up is even.
    EXPECT_EQ(scan(u"0x10000000000001800").number, 18446744073709559808.0);
    // Any later 1 bit breaks the tie upward.
    EXPECT_EQ(scan(u"0x10000000000000801").number, 18446744073709555712.0);
    std::u16string binary = u"1" + std::u16string(64, u'0');
    EXPECT_EQ(scan(binary.c_str(), 2).number, 18446744073709551616.0);
    // Octal reads three bits a digit; all 1 bits round up to the next power of two.
    EXPECT_EQ(scan(u"01777777777777777777777").number, 18446744073709551616.0);
}

TEST(DecimalScanner, LongestValidPrefix) {
    auto value = [](const char16_t* text) { return scan_decimal(text).value; };
    EXPECT_EQ(value(u"1e3"), 1000.0);
    EXPECT_EQ(value(u"  -2.5E-1xyz"), -0.25);
    EXPECT_EQ(value(u"3d2"), 300.0);
    EXPECT_EQ(value(u".5"), 0.5);
    EXPECT_EQ(value(u"5."), 5.0);
    EXPECT_EQ(value(u"1e"), 1.0);
    EXPECT_EQ(value(u"1e+"), 1.0);
    EXPECT_EQ(value(u"0.1"), 0.1);
    EXPECT_TRUE(std::isinf(value(u"1e999")));
    EXPECT_EQ(value(u"1e-999"), 0.0);
    EXPECT_EQ(value(u"1e99999999999999999999"), INFINITY);
    for (const char16_t* nothing : {u"", u".", u"e5", u"Infinity", u"+", u" - 1"}) {
        EXPECT_EQ(scan_decimal(nothing).stop, nothing);
    }
    const char16_t* text = u"12.5e2rest";
    EXPECT_EQ(scan_decimal(text).stop, text + 6);
    const char16_t* cut = u"1e+";
    EXPECT_EQ(scan_decimal(cut).stop, cut + 1);
}

}  // namespace
}  // namespace quill
