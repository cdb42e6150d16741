// The POSIX-style interface over the library's wide-character expressions. The flags translate the
// way the library's own POSIX functions translate them; those functions live in its compiled part,
// which not every build has, so this file stands in for them with the header-only part.
#include "engine/builtins/posix_regex.h"

#include <algorithm>
#include <exception>
#include <new>

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

using Expression = boost::basic_regex<wchar_t, CodeUnitTraits>;

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

}  // namespace

struct PosixRegex {
    Expression expression;
    boost::match_flag_type match_flags = boost::match_default;
    size_t group_count = 0;
    // The results of the last search, kept so that the next one reuses their storage; a search
    // runs no script code, so no other search of the expression can start while one runs.
    mutable boost::match_results<const wchar_t*> match;
};

RegexText::RegexText(std::u16string_view text, size_t first) : m_first(std::min(first, text.size())) {
    text.remove_prefix(m_first);
    m_units.assign(text.begin(), text.end());
    m_nul_from = m_nul_at = end();
}

size_t RegexText::part_end(size_t start) const {
    if (start < m_nul_from || start > m_nul_at) {
        size_t at = m_units.find(L'\0', start - m_first);
        m_nul_from = start;
        m_nul_at = at == std::wstring::npos ? end() : m_first + at;
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
    *out = regex;
    return reg_ok;
}

int regex_execute(const PosixRegex* regex, const RegexText& text, size_t start, size_t pair_count,
                  RegexPair* pairs) {
    if (regex == nullptr || start < text.first() || start > text.end()) {
        return reg_nomatch;
    }
    const wchar_t* units = text.m_units.data();  // holds position text.first() of the original text
    const wchar_t* first = units + (start - text.first());
    const wchar_t* last = units + (text.part_end(start) - text.first());
    auto position = [&](const wchar_t* at) { return static_cast<int64_t>(at - units) + static_cast<int64_t>(text.first()); };
    boost::match_results<const wchar_t*>& match = regex->match;
    try {
        if (!boost::regex_search(first, last, match, regex->expression, regex->match_flags)) {
            return reg_nomatch;
        }
    } catch (const boost::regex_error& error) {
        return error.code();
    } catch (const std::bad_alloc&) {
        return reg_espace;
    } catch (...) {
        return reg_e_unknown;
    }
    const size_t groups = std::min(pair_count, regex->group_count + 1);
    for (size_t i = 0; i < groups; ++i) {
        const auto& sub = match[static_cast<int>(i)];
        pairs[i] = sub.matched ? RegexPair{position(sub.first), position(sub.second)} : RegexPair{-1, -1};
    }
    std::fill(pairs + groups, pairs + pair_count, RegexPair{-1, -1});
    return reg_ok;
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
