// The POSIX-style layer over the regular-expression library: how the flags reach it, its error
// codes and texts, the positions it reports, where a search stops, and hostile patterns.
#include "engine/builtins/posix_regex.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quill::testing {
namespace {

constexpr int constructor_flags = reg_extended | reg_nocollate | reg_escape_in_lists;

struct Compiled {
    std::unique_ptr<PosixRegex, void (*)(PosixRegex*)> regex{nullptr, regex_free};
    int code = reg_ok;
};

Compiled compile(std::u16string_view pattern, int flags = constructor_flags) {
    PosixRegex* regex = nullptr;
    Compiled result;
    result.code = regex_compile(&regex, pattern, flags);
    result.regex.reset(regex);
    return result;
}

// The whole match as [start,end), or "none".
std::string match_of(std::u16string_view pattern, std::u16string_view text, int flags = constructor_flags,
                 size_t start = 0) {
    Compiled c = compile(pattern, flags);
    EXPECT_EQ(c.code, reg_ok) << regex_error_text(c.code);
    RegexPair pair{-7, -7};
    if (regex_execute(c.regex.get(), RegexText(text, start), start, 1, &pair) != reg_ok) {
        return "none";
    }
    return "[" + std::to_string(pair.start) + "," + std::to_string(pair.end) + ")";
}

TEST(PosixRegexTest, FlagsReachTheLibrary) {
    EXPECT_EQ(match_of(u"b+", u"ABBc"), "none");
    EXPECT_EQ(match_of(u"b+", u"ABBc", constructor_flags | reg_icase), "[1,3)");
    // '.' matches a line feed unless the expression is multiline; a non-matching list always does.
    EXPECT_EQ(match_of(u"a.b", u"a\nb"), "[0,3)");
    EXPECT_EQ(match_of(u"a.b", u"a\nb", constructor_flags | reg_newline), "none");
    EXPECT_EQ(match_of(u"a[^x]b", u"a\nb", constructor_flags | reg_newline), "[0,3)");
    // A backslash in a list escapes only with reg_escape_in_lists.
    EXPECT_EQ(match_of(u"[\\]]", u"x]"), "[1,2)");
    EXPECT_EQ(match_of(u"[\\]]", u"x]", reg_extended), "none");
    EXPECT_EQ(match_of(u"[\\]]", u"x\\]", reg_extended), "[1,3)");
    // Without reg_extended the basic syntax: '+' is an ordinary character.
    EXPECT_EQ(match_of(u"a+", u"aa+", 0), "[1,3)");
}

// Only ASCII letters fold, only ASCII belongs to the named classes, and ranges compare code units,
// with or without collation: every build matches alike.
TEST(PosixRegexTest, CaseAndClassesAreThoseOfAscii) {
    const std::u16string e_acute(1, u'\u00E9');
    const std::u16string E_acute(1, u'\u00C9');
    EXPECT_EQ(match_of(e_acute, E_acute, constructor_flags | reg_icase), "none");
    EXPECT_EQ(match_of(u"[[:alpha:]]", u"1" + e_acute + u"x"), "[2,3)");
    EXPECT_EQ(match_of(u"\\s", u"\u00A0\u2028 "), "[2,3)");
    EXPECT_EQ(match_of(u"[a-z]", u"\u00E9b", reg_extended), "[1,2)");
    EXPECT_EQ(match_of(u"[\u00E0-\u00EF]", e_acute, reg_extended | reg_icase), "[0,1)");
}

TEST(PosixRegexTest, ErrorsHaveTheLibrarysCodesAndTexts) {
    EXPECT_EQ(compile(u"(").code, 8);
    EXPECT_EQ(regex_error_text(8), "Unmatched marking parenthesis ( or \\(.");
    EXPECT_EQ(compile(u"[a").code, 7);
    EXPECT_EQ(compile(u"*a").code, 13);
    EXPECT_EQ(compile(u"a{2,1}").code, 10);
    EXPECT_EQ(regex_error_text(reg_e_unknown), "Unknown error.");
    EXPECT_EQ(regex_error_text(-3), "Unknown error.");
    EXPECT_EQ(regex_error_text(400), "Unknown error.");
    Compiled failed = compile(u"(");
    EXPECT_EQ(failed.regex, nullptr);
    // An expression nested too deeply is refused as too complex, not by running out of stack.
    EXPECT_EQ(compile(std::u16string(100000, u'(')).code, 18);
    // The pattern ends at its first U+0000.
    Compiled cut = compile(std::u16string(u"a(\0)", 4));
    EXPECT_EQ(cut.code, 8);
}

TEST(PosixRegexTest, PairsArePositionsInTheWholeText) {
    Compiled c = compile(u"(a)(x)?(b)|(z)");
    ASSERT_EQ(c.code, reg_ok);
    const std::u16string text = u"ab--ab";
    RegexText units(text, 2);
    EXPECT_EQ(units.first(), 2u);
    EXPECT_EQ(units.end(), 6u);
    RegexPair pairs[7];
    ASSERT_EQ(regex_execute(c.regex.get(), units, 3, 7, pairs), reg_ok);
    const RegexPair expected[7] = {{4, 6}, {4, 5}, {-1, -1}, {5, 6}, {-1, -1}, {-1, -1}, {-1, -1}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(pairs[i].start, expected[i].start) << i;
        EXPECT_EQ(pairs[i].end, expected[i].end) << i;
    }
    // No match leaves the pairs alone; positions outside the prepared part find nothing.
    pairs[0] = {9, 9};
    EXPECT_EQ(regex_execute(c.regex.get(), units, 5, 1, pairs), reg_nomatch);
    EXPECT_EQ(regex_execute(c.regex.get(), units, 1, 1, pairs), reg_nomatch);
    EXPECT_EQ(regex_execute(c.regex.get(), units, 7, 1, pairs), reg_nomatch);
    EXPECT_EQ(regex_execute(nullptr, units, 2, 1, pairs), reg_nomatch);
    EXPECT_EQ(pairs[0].start, 9);
    // A first position beyond the text prepares nothing.
    EXPECT_EQ(RegexText(text, 99).first(), text.size());
}

// A search sees the text from its start to the next U+0000; '^' and '$' match at those ends.
TEST(PosixRegexTest, SearchesStopAtTheFirstNul) {
    const std::u16string text(u"ab\0ab\0", 6);
    RegexText units(text, 0);
    EXPECT_EQ(units.part_end(0), 2u);
    EXPECT_EQ(units.part_end(2), 2u);
    EXPECT_EQ(units.part_end(3), 5u);
    EXPECT_EQ(units.part_end(1), 2u);
    EXPECT_EQ(units.part_end(6), 6u);
    EXPECT_EQ(match_of(u"b$", text), "[1,2)");
    EXPECT_EQ(match_of(u"^a", text, constructor_flags, 3), "[3,4)");
    EXPECT_EQ(match_of(u"b\\x00", text), "none");
    EXPECT_EQ(match_of(u"x*$", text, constructor_flags, 5), "[5,5)");
    EXPECT_EQ(match_of(u"x*$", text, constructor_flags, 6), "[6,6)");
}

// An ASCII pattern on ASCII text runs through a byte-wide twin of the expression; any other text
// through the wide expression. A non-ASCII unit after a U+0000 forces the wide one without changing
// what the search sees, so each case must give the same pairs both ways.
TEST(PosixRegexTest, ByteWideTwinMatchesAsTheWideExpression) {
    struct Case {
        std::u16string_view pattern;
        int flags;
    };
    const int icase = constructor_flags | reg_icase;
    const int multiline = constructor_flags | reg_newline;
    const Case cases[] = {
        {u"[0-9]+", constructor_flags},      {u" +", constructor_flags},
        {u"[^a-z ]+", constructor_flags},    {u"[a-f]+", icase},
        {u"[[:alpha:]_]+", constructor_flags}, {u"[[:upper:]]+", icase},
        {u"[[:space:][:punct:]]", constructor_flags}, {u"\\w+\\s*", constructor_flags},
        {u"(a|ab)(c|bcd)(d*)", constructor_flags}, {u"^([0-9]+)-([0-9]+)", constructor_flags},
        {u"a.c", multiline},                 {u"a[^x]c", multiline},
        {u"x$", multiline},                  {u"(x)?(y)?z", constructor_flags},
        {u"[[=a=]]+", constructor_flags},     {u"[[.hyphen.]]", constructor_flags},
        {u"[\\]x]+", constructor_flags},      {u"[\\]x]+", reg_extended},
        {u"[\\x20-\\x7e]+", constructor_flags}, {u"[\\x01-\\xff]b", constructor_flags},
        {u"b{2,3}", constructor_flags},      {u"\\bab", constructor_flags},
        {u"[A-z]+", reg_extended},           {u"ERROR|WARN", icase},
    };
    const std::u16string_view texts[] = {
        u"", u"abc", u"AbC-12 3_x", u"a\nc a\tc abbcd", u"  x\ny z  ", u"2024-05-17 12:30 WARN xyz",
        u"---hyphen]]x]\\", u"bbbb ab cab", u"Error warn ERROR", u"\x7f\x01b~\x1f",
    };
    for (const Case& c : cases) {
        Compiled compiled = compile(c.pattern, c.flags);
        ASSERT_EQ(compiled.code, reg_ok) << std::string(c.pattern.begin(), c.pattern.end());
        for (std::u16string_view text : texts) {
            std::u16string wide(text);
            wide += u'\0';
            wide += u'\u0100';
            for (size_t start = 0; start <= text.size(); ++start) {
                RegexPair narrow_pairs[5];
                RegexPair wide_pairs[5];
                const int narrow_code = regex_execute(compiled.regex.get(), RegexText(text, 0), start, 5, narrow_pairs);
                const int wide_code = regex_execute(compiled.regex.get(), RegexText(wide, 0), start, 5, wide_pairs);
                ASSERT_EQ(narrow_code, wide_code);
                for (int i = 0; narrow_code == reg_ok && i < 5; ++i) {
                    EXPECT_EQ(narrow_pairs[i].start, wide_pairs[i].start)
                        << std::string(c.pattern.begin(), c.pattern.end()) << " at " << start << " pair " << i;
                    EXPECT_EQ(narrow_pairs[i].end, wide_pairs[i].end);
                }
            }
        }
    }
}

// A literal pattern and a single repeated character or bracket expression are searched without the
// library; the same pattern in a group goes through it, and the whole match must be the same.
TEST(PosixRegexTest, ShortcutsMatchAsTheLibrary) {
    const std::u16string_view patterns[] = {
        u",", u"ERROR", u"a-b:c=d", u" +", u"a+", u"[0-9]+", u"[a-fA-F0-9_]+", u"[ ,;]+", u"[Z-a]+",
        u"[0-9], *", u"[[:digit:]]+", u"[^0-9]+", u"[a-]+", u"[]a]+", u"a.c", u"[0-9]*",
    };
    const std::u16string texts[] = {
        u"", u"ERROR WARN ERRO", u"12,,345 6", u"a-b:c=d a-b:c=e", u"  x   y ", u"abcdef0123_ghij",
        u"Zz[\\]^_`az", std::u16string(u"12\0" u"34", 5), u"\u00e9\u0130 12\u0661 aa", u"a,b, c",
    };
    for (std::u16string_view pattern : patterns) {
        Compiled direct = compile(pattern);
        Compiled grouped = compile(u"(" + std::u16string(pattern) + u")");
        ASSERT_EQ(direct.code, reg_ok);
        ASSERT_EQ(grouped.code, reg_ok);
        for (const std::u16string& text : texts) {
            const RegexText units(text, 0);
            for (size_t start = 0; start <= text.size(); ++start) {
                RegexPair direct_pairs[2] = {{-7, -7}, {-7, -7}};
                RegexPair grouped_pairs[2];
                const int direct_code = regex_execute(direct.regex.get(), units, start, 2, direct_pairs);
                ASSERT_EQ(direct_code, regex_execute(grouped.regex.get(), units, start, 2, grouped_pairs));
                if (direct_code == reg_ok) {
                    EXPECT_EQ(direct_pairs[0].start, grouped_pairs[0].start)
                        << std::string(pattern.begin(), pattern.end()) << " at " << start;
                    EXPECT_EQ(direct_pairs[0].end, grouped_pairs[0].end);
                    EXPECT_EQ(direct_pairs[1].start, -1);
                }
            }
        }
    }
}

// A search the library gives up on (too many states to try) is a failed search, not a crash.
TEST(PosixRegexTest, SearchesTooCostlyFail) {
    Compiled c = compile(u"(a*)*b");
    ASSERT_EQ(c.code, reg_ok);
    const std::u16string text(3000, u'a');
    RegexPair pair{-1, -1};
    const int code = regex_execute(c.regex.get(), RegexText(text, 0), 0, 1, &pair);
    EXPECT_EQ(code, 18) << regex_error_text(code);  // too complex
    EXPECT_EQ(pair.start, -1);
}

}  // namespace
}  // namespace quill::testing
