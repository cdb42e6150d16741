// The byte side of Socket: where a character or a line ends in bytes that arrive in pieces, and the
// charsets both ways.
#include "host/net/socket_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tarpon::host::net {
namespace {

TEST(SocketTextTest, QueueTakesFromTheFrontWhateverItsSize) {
    ByteQueue queue;
    queue.append("abcdef");
    EXPECT_EQ(queue.take_bytes(2), "ab");
    queue.append("gh");
    EXPECT_EQ(queue.bytes(), "cdefgh");
    EXPECT_EQ(queue.take_bytes(100), "cdefgh");
    EXPECT_TRUE(queue.empty());
    // Many small takes from a long queue keep what is left intact.
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        expected += std::to_string(i) + ",";
    }
    queue.append(expected);
    std::string taken;
    while (!queue.empty()) {
        taken += queue.take_bytes(7);
    }
    EXPECT_EQ(taken, expected);
}

TEST(SocketTextTest, CharsetNames) {
    EXPECT_EQ(charset_named("UTF-8"), Charset::Utf8);
    EXPECT_EQ(charset_named("utf-16le"), Charset::Utf16le);
    EXPECT_EQ(charset_named("Binary"), Charset::Binary);
    EXPECT_EQ(charset_named("ansi"), Charset::Ansi);
    EXPECT_FALSE(charset_named("utf8"));
    EXPECT_FALSE(charset_named(""));
    EXPECT_STREQ(charset_name(Charset::Utf16le), "utf-16le");
}

// Every cut of a UTF-8 text: the complete prefix never splits a sequence, and decoding the pieces
// one after another gives the whole text.
TEST(SocketTextTest, Utf8PiecesDecodeToTheWhole) {
    const std::string bytes = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
    const std::u16string whole = u"a\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(decode_bytes(Charset::Utf8, bytes), whole);
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        const size_t first = complete_prefix(Charset::Utf8, std::string_view(bytes).substr(0, cut));
        EXPECT_LE(first, cut);
        EXPECT_GE(first + 3, cut) << cut;
        const std::u16string joined = decode_bytes(Charset::Utf8, bytes.substr(0, first)) +
                                      decode_bytes(Charset::Utf8, bytes.substr(first));
        EXPECT_EQ(joined, whole) << cut;
    }
}

// Bytes that can never finish a character do not hold back what follows: they become U+FFFD.
TEST(SocketTextTest, MalformedUtf8NeverBlocks) {
    EXPECT_EQ(complete_prefix(Charset::Utf8, "ab\x80"), 3u); // stray continuation
    EXPECT_EQ(complete_prefix(Charset::Utf8, "ab\xC3\x41"),
              4u);                                               // lead followed by ASCII
    EXPECT_EQ(complete_prefix(Charset::Utf8, "ab\xE0\x80"), 4u); // overlong form
    EXPECT_EQ(complete_prefix(Charset::Utf8, "ab\xED\xA0"), 4u); // a surrogate
    EXPECT_EQ(complete_prefix(Charset::Utf8, "ab\xFF"), 3u);
    EXPECT_EQ(complete_prefix(Charset::Utf8, "ab\xF0\x9F\x98"), 2u); // still arriving
    EXPECT_EQ(decode_bytes(Charset::Utf8, "\xC0\xAF\x78\xED\xA0\x80"), u"\ufffd\ufffdx\ufffd\ufffd\ufffd");
    EXPECT_EQ(first_character_length(Charset::Utf8, "\x80z"), 1u);
    EXPECT_EQ(first_character_length(Charset::Utf8, "\xE2\x82"), 0u);
    EXPECT_EQ(first_character_length(Charset::Utf8, "\xE2\x82\xAC!"), 3u);
}

TEST(SocketTextTest, Utf16KeepsUnitsAndSurrogatePairsWhole) {
    const std::string bytes("A\0=\xD8\0\xDE", 6); // "A", then U+1F600 as D83D DE00
    EXPECT_EQ(complete_prefix(Charset::Utf16le, bytes.substr(0, 1)), 0u);
    EXPECT_EQ(complete_prefix(Charset::Utf16le, bytes.substr(0, 4)), 2u);
    EXPECT_EQ(complete_prefix(Charset::Utf16le, bytes.substr(0, 5)), 2u);
    EXPECT_EQ(complete_prefix(Charset::Utf16le, bytes), 6u);
    EXPECT_EQ(first_character_length(Charset::Utf16le, bytes.substr(2)), 4u);
    EXPECT_EQ(decode_bytes(Charset::Utf16le, bytes), u"A\U0001F600");
    EXPECT_EQ(encode_text(Charset::Utf16le, u"A\U0001F600"), bytes);
}

TEST(SocketTextTest, AnsiLeadBytesWaitForTheirTrailByte) {
    const auto lead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
    // A trail byte may look like a lead byte: only a walk from the start tells them apart.
    EXPECT_EQ(complete_prefix(Charset::Ansi, "a\x81\x81", +lead), 3u);
    EXPECT_EQ(complete_prefix(Charset::Ansi, "a\x81\x81\x81", +lead), 3u);
    EXPECT_EQ(complete_prefix(Charset::Ansi, "a\x81", nullptr), 2u);
    EXPECT_EQ(first_character_length(Charset::Ansi, "\x81", +lead), 0u);
}

TEST(SocketTextTest, EncodingRefusesWhatItCannotCarry) {
    EXPECT_EQ(encode_text(Charset::Binary, std::u16string(u"\u00ff\u0000A", 3)), std::string("\xFF\0A", 3));
    EXPECT_FALSE(encode_text(Charset::Binary, u"a\u0100"));
    // A lone surrogate becomes U+FFFD, not bytes no decoder accepts.
    EXPECT_EQ(encode_text(Charset::Utf8, u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(encode_text(Charset::Utf8, u"\U0001F600"), "\xF0\x9F\x98\x80");
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(encode_text(Charset::Binary, decode_bytes(Charset::Binary, all)), all);
}

TEST(SocketTextTest, LineEnds) {
    EXPECT_FALSE(find_line_end(Charset::Utf8, "no end\r"));
    const auto crlf = find_line_end(Charset::Ansi, "ab\r\ncd\n");
    ASSERT_TRUE(crlf);
    EXPECT_EQ(crlf->text_length, 2u);
    EXPECT_EQ(crlf->total_length, 4u);
    const auto lf = find_line_end(Charset::Binary, "\nx");
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->text_length, 0u);
    EXPECT_EQ(lf->total_length, 1u);
    // In UTF-16LE only the unit 10 at an even offset ends a line: U+0A0D does not.
    const std::string wide("\x0D\x0A"
                           "a\0\r\0\n\0",
                           8);
    const auto unit = find_line_end(Charset::Utf16le, wide);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->text_length, 4u);
    EXPECT_EQ(unit->total_length, 8u);
}

} // namespace
} // namespace tarpon::host::net
