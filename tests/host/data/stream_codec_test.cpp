// The byte forms under the stream classes: charsets read in pieces, zlib both ways with hostile
// input, and base64.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "host/data/stream_codec.h"

namespace tarpon::host::data {
namespace {

// Decodes the bytes handed over in pieces of the given sizes, as reads of a stream would, holding
// what each piece leaves unused for the next.
std::u16string decode_in_pieces(Charset charset, const std::string& bytes, size_t piece) {
    std::u16string text;
    std::string held;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        held += bytes.substr(at, piece);
        const bool at_end = at + piece >= bytes.size();
        Decoded decoded = decode_text(charset, held, at_end);
        text += decoded.text;
        held.erase(0, decoded.used);
    }
    EXPECT_TRUE(held.empty());
    return text;
}

TEST(StreamCharsets, Utf8SequencesSplitAtEveryByte) {
    // One, two, three and four byte sequences; the last is U+1F600 as a surrogate pair.
    const std::u16string text = u"a\u00e9\u20ac\U0001F600z";
    const std::string bytes = *encode_text(Charset::Utf8, text);
    ASSERT_EQ(bytes, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    for (size_t piece = 1; piece <= bytes.size(); ++piece) {
        EXPECT_EQ(decode_in_pieces(Charset::Utf8, bytes, piece), text) << "pieces of " << piece;
    }
    // Every cut inside the four-byte sequence holds the sequence's beginning back, whole.
    const std::string smile = "\xF0\x9F\x98\x80";
    for (size_t cut = 1; cut < 4; ++cut) {
        const Decoded first = decode_text(Charset::Utf8, smile.substr(0, cut), false);
        EXPECT_EQ(first.used, 0u) << cut;
        EXPECT_TRUE(first.text.empty());
    }
}

TEST(StreamCharsets, Utf8BadBytesAndCutsAtTheEnd) {
    // A lone continuation byte, an overlong form, an encoded surrogate: one U+FFFD per bad piece.
    EXPECT_EQ(decode_text(Charset::Utf8, "a\x80" "b", false).text, u"a\uFFFDb");
    EXPECT_EQ(decode_text(Charset::Utf8, "\xC0\xAF", false).text, u"\uFFFD\uFFFD");
    EXPECT_EQ(decode_text(Charset::Utf8, "\xED\xA0\x80", false).text, u"\uFFFD\uFFFD\uFFFD");
    // A sequence broken by another lead byte is bad at once, not held.
    const Decoded broken = decode_text(Charset::Utf8, "\xE2\x82" "A", false);
    EXPECT_EQ(broken.text, u"\uFFFDA");
    EXPECT_EQ(broken.used, 3u);
    // At the end of the data a cut sequence is decoded as it stands.
    const Decoded last = decode_text(Charset::Utf8, "x\xF0\x9F", true);
    EXPECT_EQ(last.text, u"x\uFFFD");
    EXPECT_EQ(last.used, 3u);
    // Unpaired surrogates have no UTF-8 form of their own.
    EXPECT_EQ(*encode_text(Charset::Utf8, std::u16string(1, u'\xD800') + u"a"), "\xEF\xBF\xBD" "a");
}

TEST(StreamCharsets, Utf16LeSurrogatePairSplit) {
    const std::u16string text = u"A\U0001F600B";
    const std::string bytes = *encode_text(Charset::Utf16Le, text);
    ASSERT_EQ(bytes.size(), 8u);
    for (size_t piece = 1; piece <= bytes.size(); ++piece) {
        EXPECT_EQ(decode_in_pieces(Charset::Utf16Le, bytes, piece), text) << "pieces of " << piece;
    }
    // The high surrogate alone waits for its partner; an odd last byte waits for its pair.
    EXPECT_EQ(decode_text(Charset::Utf16Le, bytes.substr(0, 4), false).used, 2u);
    EXPECT_EQ(decode_text(Charset::Utf16Le, bytes.substr(0, 3), false).used, 2u);
    // Unpaired surrogates round-trip unchanged: UTF-16 loses nothing of a script string.
    const std::u16string lone = std::u16string(1, u'\xDC00') + u"x" + std::u16string(1, u'\xD800');
    EXPECT_EQ(decode_text(Charset::Utf16Le, *encode_text(Charset::Utf16Le, lone), true).text, lone);
    EXPECT_EQ(decode_text(Charset::Utf16Le, std::string_view("a\0b", 3), true).text, u"a\uFFFD");
}

TEST(StreamCharsets, BinaryKeepsEveryByteAndRefusesWideUnits) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    const Decoded decoded = decode_text(Charset::Binary, bytes, false);
    ASSERT_EQ(decoded.text.size(), 256u);
    EXPECT_EQ(decoded.text[255], u'\xFF');
    EXPECT_EQ(*encode_text(Charset::Binary, decoded.text), bytes);
    EXPECT_FALSE(encode_text(Charset::Binary, u"ok\u0100").has_value());
}

TEST(StreamCharsets, AnsiRoundTripAndNames) {
    EXPECT_EQ(decode_text(Charset::Ansi, *encode_text(Charset::Ansi, u"plain text"), true).text, u"plain text");
    EXPECT_EQ(charset_named(u"UTF-8"), Charset::Utf8);
    EXPECT_EQ(charset_named(u"Binary"), Charset::Binary);
    EXPECT_FALSE(charset_named(u"latin-1").has_value());
    EXPECT_FALSE(charset_named(u"utf8").has_value());
}

TEST(StreamCharsets, LineFeedsOnUnitBoundaries) {
    EXPECT_EQ(find_line_feed(Charset::Utf8, "ab\r\ncd", 0), 3u);
    // In UTF-16LE the byte 0x0A inside another unit (U+0A0A, U+010A) is no line end.
    const std::string wide = *encode_text(Charset::Utf16Le, u"\u0A0A\u010A\n");
    EXPECT_EQ(find_line_feed(Charset::Utf16Le, wide, 0), 4u);
    EXPECT_EQ(find_line_feed(Charset::Utf16Le, wide.substr(1), 0), std::string::npos);
}

std::string sample_bytes(size_t size) {
    std::string bytes;
    uint32_t state = 12345;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245 + 12345;
        bytes.push_back(static_cast<char>((state >> 16) % 7 == 0 ? state >> 8 : 'a' + (i % 13)));
    }
    return bytes;
}

TEST(StreamCompression, RoundTripsAtEveryLevel) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{1000}, size_t{300000}}) {
        const std::string bytes = sample_bytes(size);
        for (int level = 0; level <= 9; level += 3) {
            const std::optional<std::string> packed = zlib_compress(bytes, level);
            ASSERT_TRUE(packed.has_value());
            ASSERT_GE(packed->size(), 2u);
            EXPECT_EQ(static_cast<uint8_t>((*packed)[0]) & 0x0F, 8) << "a zlib header: deflate";
            EXPECT_EQ(zlib_uncompress(*packed), bytes) << size << " at level " << level;
        }
    }
}

TEST(StreamCompression, RefusesWhatIsNotOneWholeStream) {
    const std::string packed = *zlib_compress(sample_bytes(5000), 6);
    EXPECT_FALSE(zlib_uncompress("").has_value());
    EXPECT_FALSE(zlib_uncompress("plain text, not compressed").has_value());
    // Raw deflate and gzip are other wrappers.
    EXPECT_FALSE(zlib_uncompress(packed.substr(2)).has_value());
    EXPECT_FALSE(zlib_uncompress(std::string("\x1F\x8B\x08\x00", 4) + packed).has_value());
    // Cut anywhere, or with its check value wrong, or with bytes after its end.
    for (const size_t cut : {size_t{1}, size_t{2}, packed.size() / 2, packed.size() - 4, packed.size() - 1}) {
        EXPECT_FALSE(zlib_uncompress(packed.substr(0, cut)).has_value()) << cut;
    }
    std::string wrong_check = packed;
    wrong_check.back() = static_cast<char>(wrong_check.back() ^ 1);
    EXPECT_FALSE(zlib_uncompress(wrong_check).has_value());
    EXPECT_FALSE(zlib_uncompress(packed + "x").has_value());
}

TEST(StreamCompression, ABombStopsAtTheBound) {
    // 64 MiB of zeros packs into some 64 KiB: within zlib's ratio bound, but past a lowered limit.
    const std::string zeros(64u << 20, '\0');
    const std::string bomb = *zlib_compress(zeros, 9);
    ASSERT_LT(bomb.size() * inflate_ratio_bound, size_t{128} << 20);
    EXPECT_FALSE(zlib_uncompress(bomb, size_t{1} << 20).has_value());
    EXPECT_FALSE(zlib_uncompress(bomb, zeros.size() - 1).has_value());
    EXPECT_EQ(zlib_uncompress(bomb, zeros.size())->size(), zeros.size());

    // The ratio bound never refuses what deflate itself makes at its best: one byte repeated.
    const std::string ones(8u << 20, '1');
    EXPECT_EQ(zlib_uncompress(*zlib_compress(ones, 9)), ones);
    EXPECT_GE(inflate_limit, size_t{1} << 30);
}

TEST(StreamBase64, RoundTripsAndRefusesBadText) {
    for (const std::string& bytes : {std::string(), std::string("f"), std::string("fo"), std::string("foo"),
                                    std::string("foob"), std::string("\0\xFF\x80 binary", 10)}) {
        const std::string text = base64_encode(bytes);
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(base64_decode(text), bytes) << text;
    }
    EXPECT_EQ(base64_encode("foobar"), "Zm9vYmFy");
    // Line breaks and blanks pass; missing padding is accepted.
    EXPECT_EQ(base64_decode("Zm9v\r\nYmFy\n"), "foobar");
    EXPECT_EQ(base64_decode("Zm9vYg"), "foob");
    // Foreign characters, a digit after padding, too much padding, an impossible length.
    for (const char* bad : {"Zm9v!mFy", "Zm9vYg==Zg==", "Zm9vYg===", "Zm9vY", "Zg=", "Z===", "=", "Zm9v-_"}) {
        EXPECT_FALSE(base64_decode(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace tarpon::host::data
