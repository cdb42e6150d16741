// A small POSIX-style interface to the regular-expression library over UTF-16 text: compile a pattern
// with REG_* flags, execute it filling an array of match pairs, turn an error code into text, free.
//
// Every code unit is handed to the library as one character of its own, so positions are code-unit
// positions in every build. The library's exceptions never leave this interface: a pattern that is
// too complex to compile is a compile error, and a search that exceeds the library's bounds on work
// or stack is a failed search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quill {

// Compile flags, with the values the library gives them in its POSIX interface.
inline constexpr int reg_extended = 0001;         // extended syntax
inline constexpr int reg_icase = 0002;            // letters match regardless of case
inline constexpr int reg_newline = 0010;          // '.' does not match a line feed
inline constexpr int reg_nocollate = 0400;        // ranges compare code units, not collation keys
inline constexpr int reg_escape_in_lists = 01000; // '\' escapes inside [...]

// Result codes (the library's POSIX error numbers).
inline constexpr int reg_ok = 0;
inline constexpr int reg_nomatch = 1;
inline constexpr int reg_espace = 12;
inline constexpr int reg_e_unknown = 21;

// One match pair: code-unit positions of a match or group, -1 for both when it did not take part.
struct RegexPair {
    int64_t start;
    int64_t end;
};

// A compiled expression; made by regex_compile, released by regex_free.
struct PosixRegex;

// Text prepared for searches: a copy of the code units from `first` on, in one of the library's
// character types. Searches count positions in the original text.
//
// OPTIMIZATION: a text of ASCII code units only is copied as bytes, and an expression whose pattern
// is ASCII only has a byte-wide twin (see regex_compile); the two search it together. On ASCII text
// the twin matches exactly as the wide expression does, but the library tests its bracket
// expressions against a table instead of comparing strings, several times faster.
class RegexText {
public:
    RegexText(std::u16string_view text, size_t first);
    size_t first() const { return m_first; }
    // One past the last position of the original text.
    size_t end() const { return m_first + m_length; }
    // Where a search from `start` stops: the first U+0000 at or after it, else the end.
    size_t part_end(size_t start) const;
    // Whether the copy is in bytes (every code unit below 0x80).
    bool is_ascii() const { return m_ascii; }

private:
    friend int regex_execute(const PosixRegex*, const RegexText&, size_t, size_t, RegexPair*);
    std::string m_bytes;           // the copy when m_ascii
    mutable std::wstring m_units;  // the copy otherwise; when m_ascii, made by the first search
                                   // that has no byte-wide expression
    size_t m_first;
    size_t m_length = 0;
    bool m_ascii = true;
    mutable size_t m_nul_from = 0;  // the last part_end question and its answer
    mutable size_t m_nul_at = 0;
};

// Compiles the pattern up to its first U+0000. Returns reg_ok and the expression, or an error code
// and null.
int regex_compile(PosixRegex** out, std::u16string_view pattern, int flags);

// Searches the text from `start` (between text.first() and text.end()) up to the first U+0000 at or
// after it, as a text of its own: '^' matches at `start`. On a match fills pair_count pairs (pair 0
// the whole match, pair n group n, unmatched ones and those beyond the groups -1) with positions in
// the original text and returns reg_ok; otherwise leaves the pairs alone and returns reg_nomatch or
// the library's error code.
int regex_execute(const PosixRegex* regex, const RegexText& text, size_t start, size_t pair_count,
                  RegexPair* pairs);

// The number of groups of the expression; 0 for a null one.
size_t regex_group_count(const PosixRegex* regex);

// Compiles the pattern as regex_compile does only to see whether it compiles: reg_ok or the error
// code.
int regex_check(std::u16string_view pattern, int flags);

// The library's text for an error code.
std::string regex_error_text(int code);

// A null expression is ignored.
void regex_free(PosixRegex* regex);

}  // namespace quill
