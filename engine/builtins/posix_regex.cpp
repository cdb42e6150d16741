// The POSIX-style interface over the library's wide-character expressions. The flags translate the
// way the library's own POSIX functions translate them; those functions live in its compiled part,
// which not every build has, so this file stands in for them with the header-only part.
#include "engine/builtins/posix_regex.h"

#include "engine/values/code_units.h"

#include <algorithm>
#include <bitset>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include <boost/regex.hpp>

namespace quill {

namespace {

namespace detail = boost::BOOST_REGEX_DETAIL_NS;

wchar_t ascii_lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The library's C-library traits, with case mapping, character classes, digits and collation
// reduced to what every C library agrees on: only 'A'-'Z' and 'a'-'z' change case (as in String's
// case mapping), only ASCII code units belong to the named classes or count as digits in repeat
// counts and escapes, and ranges compare code units. So every build matches alike, whatever its C
// library's wide-character tables hold.
struct CodeUnitTraits : boost::c_regex_traits<wchar_t> {
    wchar_t translate_nocase(wchar_t c) const { return ascii_lower(c); }

    static bool isctype(wchar_t c, char_class_type mask) {
        if (c < 0x80) {
            return c_regex_traits<wchar_t>::isctype(c, mask);
        }
        return (mask & detail::char_class_unicode) != 0 && c > 0xFF;
    }

    static int value(wchar_t c, int radix) { return c < 0x80 ? c_regex_traits<wchar_t>::value(c, radix) : -1; }

    static string_type transform(const wchar_t* first, const wchar_t* last) { return string_type(first, last); }

    static string_type transform_primary(const wchar_t* first, const wchar_t* last) {
        string_type key(first, last);
        std::transform(key.begin(), key.end(), key.begin(), ascii_lower);
        return key;
    }
};

// The traits of the byte-wide twin of an expression (see RegexText), which only ever sees ASCII
// text: each answer is the one CodeUnitTraits gives for the same code unit, so that a pattern
// compiles to the same sets, classes and repeat counts in both widths.
struct ByteTraits : boost::c_regex_traits<char> {
    static wchar_t unit(char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); }

    char translate_nocase(char c) const { return static_cast<char>(ascii_lower(unit(c))); }

    static bool isctype(char c, char_class_type mask) { return CodeUnitTraits::isctype(unit(c), mask); }

    static int value(char c, int radix) { return CodeUnitTraits::value(unit(c), radix); }

    static string_type transform(const char* first, const char* last) { return string_type(first, last); }

    static string_type transform_primary(const char* first, const char* last) {
        string_type key(first, last);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](char c) { return static_cast<char>(ascii_lower(unit(c))); });
        return key;
    }
};

using Expression = boost::basic_regex<wchar_t, CodeUnitTraits>;
using ByteExpression = boost::basic_regex<char, ByteTraits>;

bool all_ascii(std::u16string_view text) {
    char16_t seen = 0;
    for (char16_t c : text) {
        seen |= c;
    }
    return seen < 0x80;
}

// The library's syntax options for a set of compile flags.
Expression::flag_type syntax_options(int flags) {
    Expression::flag_type options = (flags & reg_extended) != 0 ? Expression::extended : Expression::basic;
    if ((flags & reg_nocollate) != 0) {
        options &= ~Expression::collate;
    }
    if ((flags & reg_icase) != 0) {
        options |= Expression::icase;
    }
    if ((flags & reg_escape_in_lists) != 0) {
        options &= ~Expression::no_escape_in_lists;
    }
    return options;
}

// OPTIMIZATION: two common shapes of pattern are searched without the library: a run of literal
// characters (",", "ERROR") and one literal character or bracket expression of literal characters
// and ranges repeated with '+' (" +", "[0-9]+"). A search finds what the library would: the
// leftmost occurrence, and for a repeat the longest run there, with no groups. Only the extended
// syntax without ignore-case qualifies, and only characters that are special nowhere in it.
struct Shortcut {
    enum class Kind { none, literal, run };
    Kind kind = Kind::none;
    std::string bytes;     // the literal
    std::wstring units;    // the same, wide
    std::bitset<128> set;  // the code units a run is made of
};

bool is_ascii_alnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Characters that stand for themselves inside a bracket expression and out of one.
bool is_plain(char16_t c) { return is_ascii_alnum(c) || std::u16string_view(u" ,;_/@%&!~<>#\"'").find(c) != std::u16string_view::npos; }

Shortcut shortcut_of(std::u16string_view pattern, int flags) {
    Shortcut shortcut;
    if ((flags & reg_extended) == 0 || (flags & reg_icase) != 0 || pattern.empty()) {
        return shortcut;
    }
    if (pattern.back() != u'+') {
        for (char16_t c : pattern) {
            if (!is_plain(c) && c != u'-' && c != u':' && c != u'=') {
                return shortcut;
            }
        }
        shortcut.bytes.assign(pattern.begin(), pattern.end());
        shortcut.units.assign(pattern.begin(), pattern.end());
        shortcut.kind = Shortcut::Kind::literal;
        return shortcut;
    }
    std::u16string_view atom = pattern.substr(0, pattern.size() - 1);
    if (atom.size() == 1 && is_plain(atom[0])) {
        shortcut.set.set(atom[0]);
    } else if (atom.size() >= 3 && atom.front() == u'[' && atom.back() == u']') {
        const std::u16string_view items = atom.substr(1, atom.size() - 2);
        for (size_t i = 0; i < items.size();) {
            const char16_t first = items[i];
            if (!is_plain(first)) {
                return shortcut;
            }
            if (i + 2 < items.size() && items[i + 1] == u'-') {
                const char16_t last = items[i + 2];
                if (!is_ascii_alnum(first) || !is_ascii_alnum(last) || last < first) {
                    return shortcut;
                }
                for (char16_t c = first; c <= last; ++c) {
                    shortcut.set.set(c);
                }
                i += 3;
            } else {
                shortcut.set.set(first);
                i += 1;
            }
        }
    } else {
        return shortcut;
    }
    shortcut.kind = Shortcut::Kind::run;
    return shortcut;
}

// A search of [first, last) by a shortcut; on a match sets [*match_first, *match_last).
template <class Char>
bool shortcut_search(const Shortcut& shortcut, const std::basic_string<Char>& literal, const Char* first,
                     const Char* last, const Char** match_first, const Char** match_last) {
    if (shortcut.kind == Shortcut::Kind::literal) {
        const std::basic_string_view<Char> text(first, static_cast<size_t>(last - first));
        const size_t at = text.find(literal);
        if (at == std::basic_string_view<Char>::npos) {
            return false;
        }
        *match_first = first + at;
        *match_last = first + at + literal.size();
        return true;
    }
    auto in_run = [&](Char c) {
        const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
        return unit < 128 && shortcut.set.test(unit);
    };
    const Char* at = std::find_if(first, last, in_run);
    if (at == last) {
        return false;
    }
    *match_first = at;
    *match_last = std::find_if_not(at, last, in_run);
    return true;
}

}  // namespace

struct PosixRegex {
    Expression expression;
    // The byte-wide twin, for ASCII text; only an ASCII pattern has one (has_bytes).
    ByteExpression bytes;
    bool has_bytes = false;
    Shortcut shortcut;
    boost::match_flag_type match_flags = boost::match_default;
    size_t group_count = 0;
    // The results of the last search in each width, kept so that the next one reuses their
    // storage; a search runs no script code, so no other search of the expression can start while
    // one runs.
    mutable boost::match_results<const wchar_t*> match;
    mutable boost::match_results<const char*> byte_match;
};

RegexText::RegexText(std::u16string_view text, size_t first) : m_first(std::min(first, text.size())) {
    text.remove_prefix(m_first);
    m_length = text.size();
    m_bytes.resize(m_length);
    m_ascii = copy_ascii(text.data(), m_length, m_bytes.data());
    if (!m_ascii) {
        m_bytes.clear();
        m_units.assign(text.begin(), text.end());
    }
    m_nul_from = m_nul_at = end();
}

size_t RegexText::part_end(size_t start) const {
    if (start < m_nul_from || start > m_nul_at) {
        const size_t from = start - m_first;
        const size_t at = m_ascii ? m_bytes.find('\0', from) : m_units.find(L'\0', from);
        m_nul_from = start;
        m_nul_at = at == std::string::npos ? end() : m_first + at;
    }
    return m_nul_at;
}

int regex_compile(PosixRegex** out, std::u16string_view pattern, int flags) {
    *out = nullptr;
    pattern = pattern.substr(0, std::min(pattern.find(u'\0'), pattern.size()));
    std::wstring units(pattern.begin(), pattern.end());
    auto* regex = new (std::nothrow) PosixRegex;
    if (regex == nullptr) {
        return reg_espace;
    }
    int code = reg_ok;
    try {
        regex->expression.assign(units.data(), units.data() + units.size(), syntax_options(flags));
        regex->group_count = regex->expression.mark_count();
    } catch (const boost::regex_error& error) {
        code = error.code();
    } catch (const std::bad_alloc&) {
        code = reg_espace;
    } catch (...) {
        code = reg_e_unknown;
    }
    if (code != reg_ok) {
        delete regex;
        return code;
    }
    regex->match_flags = (flags & reg_newline) != 0 ? boost::match_not_dot_newline : boost::match_default;
    if (regex->group_count == 0) {
        regex->shortcut = shortcut_of(pattern, flags);
    }
    if (all_ascii(pattern)) {
        // A twin that does not compile (an escape beyond a byte) or disagrees on the groups is
        // simply not used.
        const std::string bytes(pattern.begin(), pattern.end());
        try {
            regex->bytes.assign(bytes.data(), bytes.data() + bytes.size(), syntax_options(flags));
            regex->has_bytes = regex->bytes.mark_count() == regex->group_count;
        } catch (...) {
            regex->has_bytes = false;
        }
    }
    *out = regex;
    return reg_ok;
}

namespace {

// One search over [first, last) of `units`, which holds position `origin` of the original text.
template <class Char, class Compiled>
int search(const Compiled& expression, boost::match_results<const Char*>& match, boost::match_flag_type flags,
           const Char* units, size_t origin, const Char* first, const Char* last, size_t pair_count,
           size_t group_count, RegexPair* pairs) {
    try {
        if (!boost::regex_search(first, last, match, expression, flags)) {
            return reg_nomatch;
        }
    } catch (const boost::regex_error& error) {
        return error.code();
    } catch (const std::bad_alloc&) {
        return reg_espace;
    } catch (...) {
        return reg_e_unknown;
    }
    auto position = [&](const Char* at) { return static_cast<int64_t>(at - units) + static_cast<int64_t>(origin); };
    const size_t groups = std::min(pair_count, group_count + 1);
    for (size_t i = 0; i < groups; ++i) {
        const auto& sub = match[static_cast<int>(i)];
        pairs[i] = sub.matched ? RegexPair{position(sub.first), position(sub.second)} : RegexPair{-1, -1};
    }
    std::fill(pairs + groups, pairs + pair_count, RegexPair{-1, -1});
    return reg_ok;
}

}  // namespace

int regex_execute(const PosixRegex* regex, const RegexText& text, size_t start, size_t pair_count,
                  RegexPair* pairs) {
    if (regex == nullptr || start < text.first() || start > text.end()) {
        return reg_nomatch;
    }
    const size_t from = start - text.first();
    const size_t to = text.part_end(start) - text.first();
    if (regex->shortcut.kind != Shortcut::Kind::none) {
        auto found = [&](const auto* units, const auto& literal) {
            const auto* match_first = units;
            const auto* match_last = units;
            if (!shortcut_search(regex->shortcut, literal, units + from, units + to, &match_first, &match_last)) {
                return reg_nomatch;
            }
            if (pair_count > 0) {
                pairs[0] = {static_cast<int64_t>(text.first()) + (match_first - units),
                            static_cast<int64_t>(text.first()) + (match_last - units)};
                std::fill(pairs + 1, pairs + pair_count, RegexPair{-1, -1});
            }
            return reg_ok;
        };
        return text.is_ascii() ? found(text.m_bytes.data(), regex->shortcut.bytes)
                               : found(text.m_units.data(), regex->shortcut.units);
    }
    if (text.is_ascii() && regex->has_bytes) {
        const char* units = text.m_bytes.data();
        return search(regex->bytes, regex->byte_match, regex->match_flags, units, text.first(), units + from,
                      units + to, pair_count, regex->group_count, pairs);
    }
    if (text.is_ascii() && text.m_units.size() != text.m_bytes.size()) {
        // Only the wide expression: the wide copy is made on the first search that needs it.
        text.m_units.assign(text.m_bytes.begin(), text.m_bytes.end());
    }
    const wchar_t* units = text.m_units.data();
    return search(regex->expression, regex->match, regex->match_flags, units, text.first(), units + from,
                  units + to, pair_count, regex->group_count, pairs);
}

int regex_check(std::u16string_view pattern, int flags) {
    PosixRegex* compiled = nullptr;
    int code = regex_compile(&compiled, pattern, flags);
    regex_free(compiled);
    return code;
}

std::string regex_error_text(int code) {
    if (code < 0 || code > reg_e_unknown) {
        code = reg_e_unknown;
    }
    return detail::get_default_error_string(static_cast<boost::regex_constants::error_type>(code));
}

size_t regex_group_count(const PosixRegex* regex) { return regex != nullptr ? regex->group_count : 0; }

void regex_free(PosixRegex* regex) { delete regex; }

}  // namespace quill
