#include "engine/values/string_record.h"

#include <cstring>

#include "engine_fixture.h"

namespace quill::testing {
namespace {

using StringTest = EngineTest;

TEST_F(StringTest, Makers) {
    static const char16_t chars[] = u"static";
    Value fixed = make_static_string(engine, chars, 6);
    EXPECT_TRUE(fixed.payload.string->is_static());
    EXPECT_EQ(fixed.payload.string->chars, chars);
    EXPECT_EQ(fixed.payload.string->properties, nullptr);

    Value copy = make_string_copy(engine, chars, 6);
    EXPECT_FALSE(copy.payload.string->is_static());
    EXPECT_NE(copy.payload.string->chars, chars);
    EXPECT_EQ(text(copy), "static");

    for (Value empty : {make_string_from_narrow(engine, nullptr, 5), make_string_from_narrow(engine, "abc", 0)}) {
        EXPECT_EQ(empty.payload.string->length, 0u);
    }
}

TEST_F(StringTest, PlatformTextCopies) {
    Value s = str("caf\xC3\xA9");
    auto wide = string_to_wide(engine, s.payload.string);
    EXPECT_EQ(std::u16string(wide.get()), s.payload.string->view());
    auto narrow = string_to_narrow(engine, s.payload.string);
    EXPECT_EQ(std::strlen(narrow.get()), utf16_to_narrow_length(s.payload.string->view()));
    EXPECT_EQ(text(make_string_from_narrow(engine, narrow.get(), std::strlen(narrow.get()))), text(s));
}

TEST_F(StringTest, Comparison) {
    auto cmp = [&](std::u16string_view a, std::u16string_view b) {
        return compare_strings(make_string_copy(engine, a).payload.string, make_string_copy(engine, b).payload.string);
    };
    EXPECT_EQ(cmp(u"ab", u"abc"), -1);
    EXPECT_EQ(cmp(u"b", u"abc"), 1);
    EXPECT_EQ(cmp(u"abc", u"abc"), 0);
    EXPECT_EQ(cmp(u"", u""), 0);
    EXPECT_EQ(cmp(u"\xFFFF", u"a"), 1);  // code units compare unsigned
    EXPECT_EQ(cmp(u"Z", u"a"), -1);
}

}  // namespace
}  // namespace quill::testing
