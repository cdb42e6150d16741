#include "engine/values/text_codec.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

TEST(TextCodec, AsciiRoundTrips) {
    EXPECT_EQ(narrow_to_utf16("plain text"), u"plain text");
    EXPECT_EQ(utf16_to_narrow(u"plain text"), "plain text");
    EXPECT_EQ(narrow_to_utf16(""), u"");
    EXPECT_EQ(utf16_to_narrow(std::u16string_view(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextCodec, UnrepresentableCharactersNeverFail) {
    std::string narrow = utf16_to_narrow(u"\u20AC\U0001F600\xD800");
    EXPECT_FALSE(narrow.empty());
    EXPECT_FALSE(narrow_to_utf16(narrow).empty());
}

#ifndef _WIN32
TEST(TextCodec, Utf8BothWays) {
    EXPECT_EQ(narrow_to_utf16("\xC3\xA9"), u"\u00E9");
    EXPECT_EQ(narrow_to_utf16("\xE2\x82\xAC"), u"\u20AC");
    EXPECT_EQ(narrow_to_utf16("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(utf16_to_narrow(u"\u00E9\u20AC\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // A three-byte character takes more than two bytes a code unit.
    EXPECT_EQ(utf16_to_narrow_length(u"\u20AC\u20AC"), 6u);
}

TEST(TextCodec, InvalidBytesStandForThemselves) {
    EXPECT_EQ(narrow_to_utf16("a\xFF" "b"), u"a\u00FFb");
    EXPECT_EQ(narrow_to_utf16("\xC3"), u"\u00C3");               // cut sequence
    EXPECT_EQ(narrow_to_utf16("\xC0\xAF"), u"\u00C0\u00AF");     // over-long form
    EXPECT_EQ(narrow_to_utf16("\xF4\x90\x80\x80"), u"\u00F4\u0090\u0080\u0080");  // past U+10FFFF
    EXPECT_EQ(narrow_to_utf16("\xE2\x82"), u"\u00E2\u0082");
}

TEST(TextCodec, LoneSurrogatesSurviveTheRoundTrip) {
    std::u16string lone(u"x\xDC00y\xD800");
    EXPECT_EQ(narrow_to_utf16(utf16_to_narrow(lone)), lone);
}
#endif

}  // namespace
}  // namespace quill
