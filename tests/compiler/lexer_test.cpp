#include "engine/compiler/lexer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace quill::compiler {
namespace {

// Every token of a source, the end token included, and the diagnostic text. An error stops the scan
// and leaves `failed` set.
struct Scan {
    std::vector<Token> tokens;
    std::string diagnostics;
    bool failed = false;

    std::vector<int> kinds() const {
        std::vector<int> out;
        for (const Token& t : tokens) {
            out.push_back(t.kind);
        }
        return out;
    }
};

Scan scan(std::string_view source, uint32_t flags = 0) {
    Scan result;
    Diagnostics diagnostics;
    Lexer lexer(source, flags, diagnostics);
    try {
        for (;;) {
            result.tokens.push_back(lexer.next());
            if (result.tokens.back().kind == tok::end) {
                break;
            }
        }
    } catch (const CompileError&) {
        result.failed = true;
    }
    result.diagnostics = diagnostics.text();
    return result;
}

std::string error_of(std::string_view source) {
    Scan result = scan(source);
    EXPECT_TRUE(result.failed) << source;
    return result.diagnostics;
}

Token only_token(std::string_view source) {
    Scan result = scan(source);
    EXPECT_FALSE(result.failed) << result.diagnostics;
    EXPECT_EQ(result.tokens.size(), 2u) << source;
    return result.tokens.empty() ? Token{} : result.tokens.front();
}

std::string string_value(std::string_view source) {
    Token token = only_token(source);
    EXPECT_EQ(token.kind, tok::string) << source;
    return token.text;
}

TEST(Lexer, OperatorsAreMatchedLongestFirst) {
    EXPECT_EQ(scan("a>>>=b>>>c>>=d>>e>=f>g").kinds(),
              (std::vector<int>{tok::identifier, tok::ushr_assign, tok::identifier, tok::ushr, tok::identifier,
                                tok::shr_assign, tok::identifier, tok::shr, tok::identifier, tok::ge,
                                tok::identifier, '>', tok::identifier, tok::end}));
    EXPECT_EQ(scan("!== != ! === == = <<= << <= <").kinds(),
              (std::vector<int>{tok::strict_ne, tok::ne, '!', tok::strict_eq, tok::eq, '=', tok::shl_assign, tok::shl,
                                tok::le, '<', tok::end}));
    EXPECT_EQ(scan("++ += + -- -= - && &= & || |= | ^= ^ *= * %= % /= /").kinds(),
              (std::vector<int>{tok::plus_plus, tok::add_assign, '+', tok::minus_minus, tok::sub_assign, '-',
                                tok::and_and, tok::and_assign, '&', tok::or_or, tok::or_assign, '|', tok::xor_assign,
                                '^', tok::mul_assign, '*', tok::mod_assign, '%', tok::div_assign, '/', tok::end}));
    // Single characters keep their own codes; a lone '#' is 35.
    EXPECT_EQ(scan("( ) ; ? ~ # . :").kinds(), (std::vector<int>{40, 41, 59, 63, 126, 35, '.', ':', tok::end}));
    // Slashes are division tokens: only the parser starts a regular expression.
    EXPECT_EQ(scan("a / b / c").kinds(),
              (std::vector<int>{tok::identifier, '/', tok::identifier, '/', tok::identifier, tok::end}));
}

TEST(Lexer, KeywordsAndIdentifiers) {
    const char* words[] = {"break",  "continue", "delete",   "else",    "for",     "function", "if",     "in",
                           "new",    "return",   "this",     "typeof",  "var",     "void",     "while",  "with",
                           "case",   "catch",    "class",    "const",   "debugger", "default", "do",     "enum",
                           "export", "extends",  "finally",  "import",  "super",   "switch",   "throw",  "try",
                           "null",   "true",     "false"};
    int code = tok::kw_break;
    for (const char* word : words) {
        EXPECT_EQ(keyword_code(word), code++) << word;
    }
    EXPECT_EQ(keyword_code("undefined"), tok::kw_undefined);
    EXPECT_EQ(keyword_code("Break"), tok::end);
    EXPECT_EQ(keyword_code("arguments"), tok::end);

    Token identifier = only_token("$_a1_$");
    EXPECT_EQ(identifier.kind, tok::identifier);
    EXPECT_EQ(identifier.text, "$_a1_$");
    std::string long_name(1000, 'x');
    EXPECT_EQ(only_token(long_name).text, long_name);
}

TEST(Lexer, DecimalLiterals) {
    Token one = only_token("1.");
    EXPECT_EQ(one.kind, tok::number);
    EXPECT_EQ(one.number, 1.0);
    EXPECT_EQ(only_token(".5").number, 0.5);
    EXPECT_EQ(only_token("1.5e3").number, 1500.0);
    EXPECT_EQ(only_token("25E-1").number, 2.5);
    EXPECT_EQ(only_token("0.25").number, 0.25);

    Token largest = only_token("9223372036854775807");
    EXPECT_EQ(largest.kind, tok::integer);
    EXPECT_EQ(largest.integer, INT64_MAX);
    Token beyond = only_token("9223372036854775808");
    EXPECT_EQ(beyond.kind, tok::number);
    EXPECT_EQ(beyond.number, 9223372036854775808.0);
    // Past 2^64 the digits no longer fit 64 bits: still the floating value, never a wrapped integer.
    Token huge = only_token("100000000000000000000000");
    EXPECT_EQ(huge.kind, tok::number);
    EXPECT_EQ(huge.number, 1e23);

    EXPECT_EQ(error_of("x = 1e;"), "error: line 0: invalid exponent part in a decimal literal\r\n");
    EXPECT_EQ(error_of("\n1e+"), "error: line 1: invalid exponent part in a decimal literal\r\n");
}

TEST(Lexer, HexadecimalAndOctalLiterals) {
    EXPECT_EQ(only_token("0x1F").integer, 31);
    EXPECT_EQ(only_token("0XaB").integer, 171);
    EXPECT_EQ(only_token("0x").integer, 0);
    EXPECT_EQ(only_token("0xFFFFFFFFFFFFFFFF").integer, -1);
    EXPECT_EQ(only_token("017").integer, 15);
    EXPECT_EQ(only_token("0").integer, 0);

    Scan nine = scan("08 09");
    ASSERT_EQ(nine.kinds(), (std::vector<int>{tok::integer, tok::integer, tok::integer, tok::integer, tok::end}));
    EXPECT_EQ(nine.tokens[0].integer, 0);
    EXPECT_EQ(nine.tokens[1].integer, 8);
    EXPECT_EQ(nine.tokens[3].integer, 9);
}

TEST(Lexer, StringEscapes) {
    EXPECT_EQ(string_value(R"("\u0041\u1241")"), "AA");
    EXPECT_EQ(string_value(R"('\101\0101')"), "AA");
    EXPECT_EQ(string_value(R"("\x41\x6a")"), "Aj");
    EXPECT_EQ(string_value(R"("\a\b\f\n\r\t\v")"), "\a\b\f\n\r\t\v");
    EXPECT_EQ(string_value(R"("\"\'\?\\")"), "\"'?\\");
    EXPECT_EQ(string_value(R"('say "hi"')"), "say \"hi\"");
    EXPECT_EQ(string_value("\"\""), "");
    // Octal escapes stop at the first non-octal digit, and at three digits (four after a 0).
    EXPECT_EQ(string_value(R"("\18\1234")"), std::string("\001" "8" "S" "4"));
    // A zero byte from an escape stays in the text.
    EXPECT_EQ(string_value(R"("a\0b")"), std::string("a\0b", 3));
    // A backslash before a line feed continues the line.
    Scan continued = scan("\"ab\\\ncd\" x");
    EXPECT_EQ(continued.tokens[0].text, "abcd");
    EXPECT_EQ(continued.tokens[1].line, 1u);
}

TEST(Lexer, StringDiagnostics) {
    Scan unknown = scan(R"("\q")");
    EXPECT_FALSE(unknown.failed);
    EXPECT_EQ(unknown.tokens[0].text, "q");
    EXPECT_EQ(unknown.diagnostics, "warning: line 0: unknown escape sequence '\\q'\r\n");

    EXPECT_EQ(error_of("\"abc\n\ndef"), "error: line 2: unterminated string constant\r\n");
    EXPECT_EQ(error_of("'abc\\"), "error: line 0: unterminated string constant\r\n");
    EXPECT_EQ(error_of("\"\\x4"), "error: line 0: unterminated string constant\r\n");
    EXPECT_EQ(error_of("\"\\u00"), "error: line 0: unterminated string constant\r\n");
    EXPECT_EQ(error_of(R"("\x4g")"), "error: line 0: illegal character '\\x4g'\r\n");
    EXPECT_EQ(error_of(R"("\u12G4")"), "error: line 0: illegal unicode character '\\u12G4'\r\n");

    // A line feed inside a literal stays there; with the flag its first one draws a warning.
    Scan plain = scan("\"a\nb\nc\"");
    EXPECT_EQ(plain.tokens[0].text, "a\nb\nc");
    EXPECT_EQ(plain.diagnostics, "");
    Scan warned = scan("\"a\nb\nc\" \"d\ne\"", CF_WARN_LINE_TERMINATORS);
    EXPECT_EQ(warned.diagnostics,
              "warning: line 1: ECMAScript don't allow line terminators in string constants\r\n"
              "warning: line 3: ECMAScript don't allow line terminators in string constants\r\n");
}

TEST(Lexer, CharacterLiterals) {
    EXPECT_EQ(only_token("#'a'").integer, 97);
    EXPECT_EQ(only_token("#'\\n'").integer, 10);
    EXPECT_EQ(only_token("#'\\''").integer, 39);
    EXPECT_EQ(only_token("#'\\xff'").integer, -1);
    EXPECT_EQ(only_token("#'\xe9'").integer, -23);
    EXPECT_EQ(only_token("#'a'").kind, tok::integer);
    EXPECT_EQ(error_of("#'ab'"), "error: line 0: illegal character\r\n");
    EXPECT_EQ(error_of("#'"), "error: line 0: unterminated character constant\r\n");
}

TEST(Lexer, CommentsWhiteSpaceAndLines) {
    Scan s = scan("a /* one\ntwo */ b // rest\n#! also a comment\nc #! here too\n\td");
    ASSERT_EQ(s.kinds(), (std::vector<int>{tok::identifier, tok::identifier, tok::identifier, tok::identifier,
                                           tok::end}));
    EXPECT_EQ(s.tokens[0].line, 0u);
    EXPECT_EQ(s.tokens[1].line, 1u);
    EXPECT_EQ(s.tokens[2].line, 3u);
    EXPECT_EQ(s.tokens[3].line, 4u);
    EXPECT_EQ(s.tokens[4].line, 4u);

    // An unterminated block comment ends the input quietly; so does a zero byte.
    EXPECT_EQ(scan("a /* never closed\n").kinds(), (std::vector<int>{tok::identifier, tok::end}));
    EXPECT_EQ(scan(std::string_view("a\0b", 3)).kinds(), (std::vector<int>{tok::identifier, tok::end}));
    // Vertical tab, form feed and carriage return are white space.
    EXPECT_EQ(scan("a\v\f\r\tb").kinds(), (std::vector<int>{tok::identifier, tok::identifier, tok::end}));
}

TEST(Lexer, BytesAboveAsciiNeverLookLikeTokenCodes) {
    // 0x80 and 0x84 would otherwise read as the end token and as an identifier without a name.
    Scan s = scan("\x80 \x84 \xff");
    EXPECT_EQ(s.kinds(), (std::vector<int>{-128, -124, -1, tok::end}));
}

TEST(Lexer, PeekKeepsOneTokenAndCountsArguments) {
    Diagnostics diagnostics;
    Lexer lexer("arguments(arguments)\nx", 0, diagnostics);
    EXPECT_EQ(lexer.peek().kind, tok::identifier);
    EXPECT_EQ(lexer.peek().text, "arguments");
    EXPECT_EQ(lexer.arguments_count(), 0u);  // peeking does not count
    lexer.next();
    EXPECT_EQ(lexer.arguments_count(), 1u);
    lexer.next();
    lexer.next();
    lexer.next();
    EXPECT_EQ(lexer.arguments_count(), 2u);
    EXPECT_EQ(lexer.last_line(), 0u);
    EXPECT_EQ(lexer.next().text, "x");
    EXPECT_EQ(lexer.last_line(), 1u);
}

// The parser consumes the '/' token, then asks for the body.
RegExpBody regexp(std::string_view source, std::string* diagnostics_out = nullptr, bool* failed = nullptr) {
    Diagnostics diagnostics;
    Lexer lexer(source, 0, diagnostics);
    RegExpBody body;
    try {
        EXPECT_EQ(lexer.next().kind, '/');
        body = lexer.scan_regexp_body();
    } catch (const CompileError&) {
        if (failed != nullptr) {
            *failed = true;
        }
    }
    if (diagnostics_out != nullptr) {
        *diagnostics_out = diagnostics.text();
    }
    return body;
}

TEST(Lexer, RegularExpressionBodies) {
    RegExpBody simple = regexp("/a+b/gim;");
    EXPECT_EQ(simple.pattern, "a+b");
    EXPECT_EQ(simple.flags, 7);
    EXPECT_EQ(regexp("/x/mg").flags, 5);
    EXPECT_EQ(regexp("/x/").flags, 0);

    // Escapes: some decoded, control letters stored as the character, the rest kept with their backslash.
    EXPECT_EQ(regexp(R"(/\d\/\.\1\x41\u0042\101\n\t\cA/)").pattern, "\\d\\/\\.\\1AB\\101\n\t\\cA");
    EXPECT_EQ(regexp(R"(/a\/b/)").pattern, "a\\/b");
    EXPECT_EQ(regexp("/a\\\nb/").pattern, "ab");

    std::string diagnostics;
    bool failed = false;
    regexp("\n/abc\n\ndef", &diagnostics, &failed);
    EXPECT_TRUE(failed);
    EXPECT_EQ(diagnostics, "error: line 1: unterminated regular expression constant\r\n");
}

}  // namespace
}  // namespace quill::compiler
