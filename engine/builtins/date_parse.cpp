// The tolerant date parser behind Date.parse and new Date(text).
//
// The text is scanned once, left to right. Numbers take their meaning from what is already known
// and from the characters around them: a number before ':' is an hour or a minute, one before '/'
// a month or a day, one of 70 and above (or the third part of m/d/y) a year, one after '+' or '-'
// a zone offset in hours or hhmm; words are month and day names, "am"/"pm" and zone names, and may
// be abbreviated to any prefix of two letters or more. Text in parentheses is a comment. What fits
// none of this makes the whole text invalid.
#include "engine/builtins/date_parse.h"

#include <cstdint>
#include <cstring>

#include "engine/builtins/date_time.h"

namespace quill {

namespace {

enum class WordKind { AmPm, DayName, Month, Zone };

struct Word {
    const char* text;
    WordKind kind;
    int value;  // am 0 / pm 1, the month number, or the zone's minutes west of Greenwich
};

// Searched from the last entry to the first: the first entry the word is a prefix of wins.
constexpr Word words[] = {
    {"am", WordKind::AmPm, 0},         {"pm", WordKind::AmPm, 1},
    {"monday", WordKind::DayName, 0},  {"tuesday", WordKind::DayName, 0},
    {"wednesday", WordKind::DayName, 0}, {"thursday", WordKind::DayName, 0},
    {"friday", WordKind::DayName, 0},  {"saturday", WordKind::DayName, 0},
    {"sunday", WordKind::DayName, 0},  {"january", WordKind::Month, 0},
    {"february", WordKind::Month, 1},  {"march", WordKind::Month, 2},
    {"april", WordKind::Month, 3},     {"may", WordKind::Month, 4},
    {"june", WordKind::Month, 5},      {"july", WordKind::Month, 6},
    {"august", WordKind::Month, 7},    {"september", WordKind::Month, 8},
    {"october", WordKind::Month, 9},   {"november", WordKind::Month, 10},
    {"december", WordKind::Month, 11}, {"gmt", WordKind::Zone, 0},
    {"ut", WordKind::Zone, 0},         {"utc", WordKind::Zone, 0},
    {"est", WordKind::Zone, 300},      {"edt", WordKind::Zone, 240},
    {"cst", WordKind::Zone, 360},      {"cdt", WordKind::Zone, 300},
    {"mst", WordKind::Zone, 420},      {"mdt", WordKind::Zone, 360},
    {"pst", WordKind::Zone, 480},      {"pdt", WordKind::Zone, 420},
};
constexpr int word_count = sizeof words / sizeof words[0];

// Numbers are fields of a date; one that does not fit 31 bits makes the text invalid.
constexpr int64_t largest_number = 2147483647;

// A field not seen yet (0 and negative values are real field values).
constexpr int64_t unset = INT64_MIN;

bool is_digit(unsigned c) { return c >= '0' && c <= '9'; }
bool is_letter(unsigned c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
unsigned lower(unsigned c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
// White space and control characters; the terminating NUL counts too, so the end of the text
// passes every test below that accepts a blank.
bool is_blank(unsigned c) { return c <= ' '; }

// The entry of the word table for a run of letters, or null.
const Word* find_word(const unsigned char* run, size_t length) {
    for (int w = word_count - 1; w >= 0; --w) {
        const char* text = words[w].text;
        if (length > std::strlen(text)) {
            continue;
        }
        size_t i = 0;
        while (i < length && lower(run[i]) == static_cast<unsigned char>(text[i])) {
            ++i;
        }
        if (i == length) {
            return &words[w];
        }
    }
    return nullptr;
}

class DateScanner {
public:
    explicit DateScanner(const char* text) : m_s(reinterpret_cast<const unsigned char*>(text)) {}

    bool scan() {
        while (m_s[m_i] != 0) {
            unsigned c = m_s[m_i++];
            if (is_blank(c) || c == ',' || c == '-') {
                if (c == '-' && is_digit(m_s[m_i])) {
                    m_separator = '-';
                }
            } else if (c == '(') {
                skip_comment();
            } else if (is_digit(c)) {
                if (!number(c)) {
                    return false;
                }
            } else if (c == '/' || c == ':' || c == '+') {
                m_separator = c;
            } else if (is_letter(c)) {
                if (!word()) {
                    return false;
                }
            } else {
                return false;
            }
        }
        return m_year != unset && m_month != unset && m_day != unset;
    }

    double time_value(double local_tza) const {
        auto or_zero = [](int64_t field) { return field == unset ? 0.0 : static_cast<double>(field); };
        double t = make_date(make_day(static_cast<double>(m_year), static_cast<double>(m_month),
                                      static_cast<double>(m_day)),
                             make_time(or_zero(m_hour), or_zero(m_minute), or_zero(m_second), 0));
        return m_offset == unset ? t + local_tza : t + static_cast<double>(m_offset) * 60000;
    }

private:
    // After '(': up to the matching ')', nested parentheses counted, or to the end.
    void skip_comment() {
        int depth = 1;
        while (m_s[m_i] != 0 && depth > 0) {
            unsigned c = m_s[m_i++];
            depth += c == '(' ? 1 : (c == ')' ? -1 : 0);
        }
    }

    bool number(unsigned first) {
        int64_t n = first - '0';
        while (is_digit(m_s[m_i])) {
            n = n * 10 + (m_s[m_i++] - '0');
            if (n > largest_number) {
                return false;
            }
        }
        unsigned next = m_s[m_i];
        unsigned separator = m_separator;
        m_separator = 0;

        if (separator == '+' || separator == '-') {
            // Hours below 24, otherwise hhmm; "+" is east of Greenwich, where offsets are negative.
            int64_t minutes = n < 24 ? n * 60 : (n / 100) * 60 + n % 100;
            if (m_offset != unset && m_offset != 0) {
                return false;
            }
            m_offset = separator == '+' ? -minutes : minutes;
            m_explicit_offset = true;
        } else if (n >= 70 || (separator == '/' && m_month != unset && m_day != unset && m_year == unset)) {
            if (m_year != unset || !(is_blank(next) || next == ',' || next == '/')) {
                return false;
            }
            m_year = n < 100 ? n + 1900 : n;
        } else if (next == ':') {
            return fill_first(&m_hour, &m_minute, n, n);
        } else if (next == '/') {
            return fill_first(&m_month, &m_day, n - 1, n);
        } else if (!(is_blank(next) || next == ',' || next == '-')) {
            return false;
        } else if (m_explicit_offset && n < 60) {
            m_offset = m_offset < 0 ? m_offset - n : m_offset + n;
        } else if (m_hour != unset && m_minute == unset) {
            m_minute = n;
        } else if (m_minute != unset && m_second == unset) {
            m_second = n;
        } else if (m_day == unset) {
            m_day = n;
        } else {
            return false;
        }
        return true;
    }

    // Gives the first of two unset fields its value; false when both are set.
    static bool fill_first(int64_t* first, int64_t* second, int64_t first_value, int64_t second_value) {
        if (*first == unset) {
            *first = first_value;
        } else if (*second == unset) {
            *second = second_value;
        } else {
            return false;
        }
        return true;
    }

    bool word() {
        size_t start = m_i - 1;
        while (is_letter(m_s[m_i])) {
            ++m_i;
        }
        size_t length = m_i - start;
        const Word* entry = length >= 2 ? find_word(m_s + start, length) : nullptr;
        if (entry == nullptr) {
            return false;
        }
        switch (entry->kind) {
        case WordKind::DayName:
            return true;
        case WordKind::AmPm:
            if (m_hour == unset || m_hour < 0 || m_hour > 12) {
                return false;
            }
            if (entry->value == 0) {
                m_hour = m_hour == 12 ? 0 : m_hour;
            } else {
                m_hour = m_hour == 12 ? 12 : m_hour + 12;
            }
            return true;
        case WordKind::Month:
            if (m_month != unset) {
                return false;
            }
            m_month = entry->value;
            return true;
        case WordKind::Zone:
            m_offset = entry->value;
            return true;
        }
        return false;
    }

    const unsigned char* m_s;
    size_t m_i = 0;
    unsigned m_separator = 0;
    bool m_explicit_offset = false;  // an offset after '+' or '-' was seen
    int64_t m_year = unset;
    int64_t m_month = unset;
    int64_t m_day = unset;
    int64_t m_hour = unset;
    int64_t m_minute = unset;
    int64_t m_second = unset;
    int64_t m_offset = unset;  // minutes west of Greenwich
};

}  // namespace

bool parse_date_text(const char* text, double local_tza, double* result) {
    DateScanner scanner(text);
    if (!scanner.scan()) {
        return false;
    }
    *result = scanner.time_value(local_tza);
    return true;
}

}  // namespace quill
