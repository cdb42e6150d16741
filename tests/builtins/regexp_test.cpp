// The RegExp class, beyond what tests/scripts/builtins/RegExp shows: the texts a pattern that does
// not compile sends to the trace hook, and the maker of regular-expression constants.
#include "engine/builtins/regexp.h"

#include <string>
#include <vector>

#include "engine/builtins/posix_regex.h"
#include "engine/values/engine.h"
#include "engine/vm/services.h"
#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

using RegExpTest = ValueClassTest;

TEST_F(RegExpTest, FailuresSendTheLibrarysTextToTheTraceHook) {
    ASSERT_TRUE(construct("RegExp", {str(u"(")})) << engine->message;
    EXPECT_EQ(engine->result.tag, Tag::Null);
    ASSERT_TRUE(call("RegExp", {str(u"a{2")})) << engine->message;
    EXPECT_EQ(engine->result.tag, Tag::Null);
    ASSERT_TRUE(construct("RegExp", {str(u"a"), str(u"g")})) << engine->message;
    const Value made = engine->result;
    EXPECT_TRUE(is_regexp(made));
    ASSERT_TRUE(method(made, "compile", {str(u"[x")})) << engine->message;
    EXPECT_EQ(engine->result.tag, Tag::Boolean);
    EXPECT_EQ(engine->result.payload.flag, 0u);
    ASSERT_TRUE(method(made, "compile", {str(u"x")})) << engine->message;
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "RegExp runtime error: Unmatched marking parenthesis ( or \\(.",
                            "RegExp runtime error: Unmatched quantified repeat operator { or \\{.",
                            "RegExp runtime error: Unmatched [ or [^ in character class declaration.",
                        }));
}

TEST_F(RegExpTest, ConstantsAreMadeWithTheConstructorsFlags) {
    ASSERT_NE(engine->make_regexp, nullptr);
    Value made;
    ASSERT_TRUE(run_protected(engine, [&] {
        ASSERT_TRUE(engine->make_regexp(engine, u"[\\]]", 4, 0xFF, &made));
    }));
    ASSERT_TRUE(method(made, "toString")) << engine->message;
    EXPECT_EQ(result_text(), "/[\\]]/gim");
    ASSERT_TRUE(method(made, "test", {str(u"]")})) << engine->message;
    EXPECT_EQ(engine->result.payload.flag, 1u);
    bool made_bad = true;
    ASSERT_TRUE(run_protected(engine, [&] { made_bad = engine->make_regexp(engine, u"(", 1, 0, &made); }));
    EXPECT_FALSE(made_bad);
    EXPECT_EQ(warnings.size(), 1u);
}

// A search the library abandons (too costly) gives what a failed one gives, but unlike a failed one
// it leaves the library's reason in the message buffer and at the trace hook, once per search.
TEST_F(RegExpTest, AbandonedSearchesLeaveTheLibrarysReason) {
    const char* searches =
        "s = 'aaaaaaaaaaaaaaaaaaaaaab';"
        "[re.test(s), re.exec(s), s.search(re), s.replace(re, 'X'), s.match(re), s.split(re).length,"
        " s.match(new RegExp(re.source, 'g')).length].join(',');";
    ASSERT_TRUE(quill::run_source_text(handle, (std::string("re = /z/;") + searches).c_str()))
        << engine->message;
    EXPECT_EQ(result_text(), "false,undefined,-1,aaaaaaaaaaaaaaaaaaaaaab,undefined,1,0");
    EXPECT_STREQ(engine->message, "");
    EXPECT_TRUE(warnings.empty());

    ASSERT_TRUE(quill::run_source_text(handle, (std::string("re = /(a*)*b/;") + searches).c_str()))
        << engine->message;
    EXPECT_EQ(result_text(), "false,undefined,-1,aaaaaaaaaaaaaaaaaaaaaab,undefined,1,0");
    const std::string reason = "RegExp runtime error: " + regex_error_text(18);
    EXPECT_EQ(engine->message, reason);
    EXPECT_EQ(warnings, std::vector<std::string>(7, reason));
}

}  // namespace
}  // namespace quill::testing
