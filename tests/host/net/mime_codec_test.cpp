// The transfer encodings: what other mailers write decodes, and what we write reads back.
#include "host/net/mime_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace tarpon::mime {
namespace {

std::string all_bytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes;
}

TEST(QuotedPrintable, EncodesWhatMustBeEscapedAndEndsWithASoftBreak) {
    EXPECT_EQ(quoted_printable_encode("a=b\x01\x7f\xe9"), "a=3Db=01=7F=E9=\r\n");
    EXPECT_EQ(quoted_printable_encode("line\r\nnext\r\n"), "line\r\nnext\r\n");
    EXPECT_EQ(quoted_printable_encode(""), "");
}

TEST(QuotedPrintable, WhiteSpaceBeforeALineBreakIsEscapedSoItSurvivesTransport) {
    EXPECT_EQ(quoted_printable_encode("a \r\nb\t\nc "), "a=20\r\nb=09\nc=20=\r\n");
    EXPECT_EQ(quoted_printable_decode(quoted_printable_encode("a \r\nb\t\nc ")), "a \r\nb\t\nc ");
}

TEST(QuotedPrintable, LongLinesAreBrokenWithoutSplittingAnEscape) {
    const std::string text = std::string(72, 'x') + "\xe9" + std::string(100, 'y');
    const std::string encoded = quoted_printable_encode(text);
    size_t line_start = 0;
    for (size_t end = encoded.find("\r\n"); end != std::string::npos;
         end = encoded.find("\r\n", line_start)) {
        EXPECT_LE(end - line_start, 74u);
        line_start = end + 2;
    }
    EXPECT_EQ(encoded.substr(0, 75), std::string(72, 'x') + "=\r\n");
    EXPECT_EQ(quoted_printable_decode(encoded), text);
}

TEST(QuotedPrintable, DecodesEitherCaseAndSoftBreaksOfAnyLineEnd) {
    EXPECT_EQ(quoted_printable_decode("caf=e9 caf=E9"), "caf\xe9 caf\xe9");
    EXPECT_EQ(quoted_printable_decode("soft=\r\nbreak, old=\nstyle, padded= \t\r\nend"),
              "softbreak, oldstyle, paddedend");
    // An '=' that starts nothing is kept.
    EXPECT_EQ(quoted_printable_decode("1 =G0 = x="), "1 =G0 = x");
    EXPECT_EQ(quoted_printable_decode("=4"), "=4");
}

TEST(QuotedPrintable, EveryByteRoundTrips) {
    const std::string bytes = all_bytes() + all_bytes();
    EXPECT_EQ(quoted_printable_decode(quoted_printable_encode(bytes)), bytes);
}

TEST(Base64, EncodesWithTheLineLengthAsked) {
    EXPECT_EQ(base64_encode("Hi", 0), "SGk=");
    EXPECT_EQ(base64_encode("Hi", base64_text_line), "SGk=\r\n");
    EXPECT_EQ(base64_encode("", base64_file_line), "");
    const std::string encoded = base64_encode(std::string(57, 'a'), base64_file_line);
    EXPECT_EQ(encoded.size(), 78u);
    EXPECT_EQ(encoded.substr(76), "\r\n");
    const std::string two_lines = base64_encode(std::string(60, 'a'), base64_file_line);
    EXPECT_EQ(two_lines.find("\r\n"), 76u);
    EXPECT_EQ(two_lines.size(), 76u + 2 + 4 + 2);
}

TEST(Base64, DecodingPassesOverLineBreaksAndStrayCharactersAndStopsAtPadding) {
    EXPECT_EQ(base64_decode("SGVs\r\nbG8s IHdv\tcmxk!"), "Hello, world");
    EXPECT_EQ(base64_decode("SGk=IGlnbm9yZWQ="), "Hi");
    EXPECT_EQ(base64_decode(""), "");
    EXPECT_EQ(base64_decode("S"), "");
}

TEST(Base64, EveryByteRoundTripsAtBothLineLengths) {
    const std::string bytes = all_bytes() + "x";
    EXPECT_EQ(base64_decode(base64_encode(bytes, base64_file_line)), bytes);
    EXPECT_EQ(base64_decode(base64_encode(bytes, base64_text_line)), bytes);
}

TEST(QEncoding, UnderscoreIsASpace) { EXPECT_EQ(q_decode("a_b=5Fc=20d"), "a b_c d"); }

}  // namespace
}  // namespace tarpon::mime
