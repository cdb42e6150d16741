// Small text helpers of the MIME code: names in messages are ASCII and compared without regard to
// case, whatever the locale.
#pragma once

#include <string_view>

namespace tarpon::mime {

inline char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) {
            return false;
        }
    }
    return true;
}

inline bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

// The position of `needle` in text at or after `from`, compared without regard to case; npos if none.
inline size_t find_ignoring_case(std::string_view text, std::string_view needle, size_t from = 0) {
    if (needle.size() > text.size()) {
        return std::string_view::npos;
    }
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (equal_ignoring_case(text.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

inline std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace tarpon::mime
