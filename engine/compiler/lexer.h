// The lexer: turns the 8-bit source text of a script into tokens, one at a time and on demand, with
// one token of lookahead for the parser.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/compiler/compilation.h"

namespace quill::compiler {

// Token codes. A single-character token has the character's own code ('(' is 40, ';' is 59); a byte
// of 128 or more that starts no token is returned sign-extended, so it can never be mistaken for one
// of the codes below.
namespace tok {
inline constexpr int end = 128;         // end of input
inline constexpr int integer = 129;     // integer literal, 64-bit
inline constexpr int number = 130;      // floating literal
inline constexpr int string = 131;      // string literal
inline constexpr int identifier = 132;  // identifier (not a keyword)

// Keywords.
inline constexpr int kw_break = 133;
inline constexpr int kw_continue = 134;
inline constexpr int kw_delete = 135;
inline constexpr int kw_else = 136;
inline constexpr int kw_for = 137;
inline constexpr int kw_function = 138;
inline constexpr int kw_if = 139;
inline constexpr int kw_in = 140;
inline constexpr int kw_new = 141;
inline constexpr int kw_return = 142;
inline constexpr int kw_this = 143;
inline constexpr int kw_typeof = 144;
inline constexpr int kw_var = 145;
inline constexpr int kw_void = 146;
inline constexpr int kw_while = 147;
inline constexpr int kw_with = 148;
inline constexpr int kw_case = 149;
inline constexpr int kw_catch = 150;
inline constexpr int kw_class = 151;  // reserved: no grammar rule accepts 151 to 158, 160 and 161
inline constexpr int kw_const = 152;
inline constexpr int kw_debugger = 153;
inline constexpr int kw_default = 154;
inline constexpr int kw_do = 155;
inline constexpr int kw_enum = 156;
inline constexpr int kw_export = 157;
inline constexpr int kw_extends = 158;
inline constexpr int kw_finally = 159;
inline constexpr int kw_import = 160;
inline constexpr int kw_super = 161;
inline constexpr int kw_switch = 162;
inline constexpr int kw_throw = 163;
inline constexpr int kw_try = 164;
inline constexpr int kw_null = 165;
inline constexpr int kw_true = 166;
inline constexpr int kw_false = 167;
inline constexpr int kw_undefined = 192;

// Operators of more than one character.
inline constexpr int eq = 168;          // ==
inline constexpr int ne = 169;          // !=
inline constexpr int le = 170;          // <=
inline constexpr int ge = 171;          // >=
inline constexpr int and_and = 172;     // &&
inline constexpr int or_or = 173;       // ||
inline constexpr int plus_plus = 174;   // ++
inline constexpr int minus_minus = 175; // --
inline constexpr int mul_assign = 176;  // *=
inline constexpr int div_assign = 177;  // /=
inline constexpr int mod_assign = 178;  // %=
inline constexpr int add_assign = 179;  // +=
inline constexpr int sub_assign = 180;  // -=
inline constexpr int and_assign = 181;  // &=
inline constexpr int xor_assign = 182;  // ^=
inline constexpr int or_assign = 183;   // |=
inline constexpr int shl_assign = 184;  // <<=
inline constexpr int shl = 185;         // <<
inline constexpr int shr = 186;         // >>
inline constexpr int ushr = 187;        // >>>
inline constexpr int shr_assign = 188;  // >>=
inline constexpr int ushr_assign = 189; // >>>=
inline constexpr int strict_eq = 190;   // ===
inline constexpr int strict_ne = 191;   // !==
}  // namespace tok

// The keyword code of a word, or tok::end when the word is not a keyword.
int keyword_code(std::string_view word);

struct Token {
    int kind = tok::end;
    uint32_t line = 0;    // line of the stream where the token starts (the first line is 0)
    int64_t integer = 0;  // integer literals
    double number = 0.0;  // floating literals
    std::string text;     // string literals and identifiers; may hold zero bytes (string escapes)
};

// The body of a regular-expression literal.
struct RegExpBody {
    std::string pattern;
    uint8_t flags = 0;  // 1 global (g), 2 ignore case (i), 4 multiline (m)
};

class Lexer {
public:
    // Warnings and errors go to `diagnostics`; `flags` are the compile flags (line-terminator
    // warnings). The source is read up to its end or its first zero byte.
    Lexer(std::string_view source, uint32_t flags, Diagnostics& diagnostics);
    // The same for a source whose file, if it has one, is read on after its bytes.
    Lexer(const SourceText& source, uint32_t flags, Diagnostics& diagnostics);

    // Consumes a token: the peeked one if there is one, else a new one.
    Token next();
    // The next token, kept for the following next() or peek().
    const Token& peek();

    // Reads a regular-expression literal whose opening '/' token was just consumed (nothing may
    // have been peeked after it).
    RegExpBody scan_regexp_body();

    // Line of the last consumed token.
    uint32_t last_line() const { return m_last_line; }
    // Number of "arguments" identifier tokens consumed so far.
    uint32_t arguments_count() const { return m_arguments_count; }
    // The line counter of the stream.
    uint32_t line() const { return m_line; }

private:
    int read();
    void unread(int c);
    int peek_char();

    Token scan();
    void scan_number(int first, Token& token);
    void scan_quoted(int quote, Token& token);
    int decode_escape(int c, const char* kind, std::optional<uint32_t> unterminated_line);
    [[noreturn]] void unterminated(const char* kind, uint32_t line);

    // Reads the next block of the file; false at its end.
    bool refill();

    // The text being read: the source's bytes, then each block of its file in turn, with the last
    // byte of the text before it first (what unread may give back).
    std::string_view m_source;
    size_t m_position = 0;
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_block;
    uint32_t m_line = 0;
    uint32_t m_flags;
    Diagnostics& m_diagnostics;

    Token m_peeked;
    bool m_has_peeked = false;
    uint32_t m_last_line = 0;
    uint32_t m_arguments_count = 0;
};

}  // namespace quill::compiler
