// The lexer: characters of the source text into tokens.
//
// The stream gives 8-bit characters, 0 at the end of the input (a zero byte in the text ends it as
// well), and takes back the character just read. The line counter counts the line feeds consumed:
// reading one adds a line, giving it back removes it again, so a line feed that ends a token without
// belonging to it is counted once, when the next token reads it.
#include "engine/compiler/lexer.h"

#include <array>
#include <cstdlib>

#include "engine/compiler/compiler_messages.h"
#include "engine/values/atoms.h"

namespace quill::compiler {

namespace {

struct Keyword {
    const char* word;
    int code;
};

// The keyword table: 36 words in 32 chains picked by the low 5 bits of the engine hash.
constexpr Keyword keywords[] = {
    {"break", tok::kw_break},       {"continue", tok::kw_continue}, {"delete", tok::kw_delete},
    {"else", tok::kw_else},         {"for", tok::kw_for},           {"function", tok::kw_function},
    {"if", tok::kw_if},             {"in", tok::kw_in},             {"new", tok::kw_new},
    {"return", tok::kw_return},     {"this", tok::kw_this},         {"typeof", tok::kw_typeof},
    {"var", tok::kw_var},           {"void", tok::kw_void},         {"while", tok::kw_while},
    {"with", tok::kw_with},         {"case", tok::kw_case},         {"catch", tok::kw_catch},
    {"class", tok::kw_class},       {"const", tok::kw_const},       {"debugger", tok::kw_debugger},
    {"default", tok::kw_default},   {"do", tok::kw_do},             {"enum", tok::kw_enum},
    {"export", tok::kw_export},     {"extends", tok::kw_extends},   {"finally", tok::kw_finally},
    {"import", tok::kw_import},     {"super", tok::kw_super},       {"switch", tok::kw_switch},
    {"throw", tok::kw_throw},       {"try", tok::kw_try},           {"null", tok::kw_null},
    {"true", tok::kw_true},         {"false", tok::kw_false},       {"undefined", tok::kw_undefined},
};

constexpr int keyword_chain_count = 32;
constexpr int no_keyword = -1;

struct KeywordTable {
    std::array<int, keyword_chain_count> head;
    std::array<int, std::size(keywords)> next;

    KeywordTable() {
        head.fill(no_keyword);
        for (int i = static_cast<int>(std::size(keywords)) - 1; i >= 0; --i) {
            std::string_view word = keywords[i].word;
            uint32_t chain = engine_hash(word.data(), word.size()) & (keyword_chain_count - 1);
            next[i] = head[chain];
            head[chain] = i;
        }
    }
};

bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_octal(int c) { return c >= '0' && c <= '7'; }
bool is_hex(int c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_identifier_part(int c) { return is_letter(c) || is_digit(c) || c == '$' || c == '_'; }

int hex_value(int c) {
    if (is_digit(c)) {
        return c - '0';
    }
    return (c | 0x20) - 'a' + 10;
}

// The code a byte of its own has as a token: ASCII as it is, higher bytes sign-extended.
int single_character_code(int c) { return static_cast<int>(static_cast<int8_t>(static_cast<uint8_t>(c))); }

// The operators scanned longest first: the one-character forms, the two-character forms after them,
// and the three- and four-character forms, each from its shorter prefix.
struct Operator {
    const char* text;
    int code;
};

constexpr Operator operators[] = {
    {"!=", tok::ne},          {"!==", tok::strict_ne},  {"%=", tok::mod_assign},   {"&&", tok::and_and},
    {"&=", tok::and_assign},  {"*=", tok::mul_assign},  {"++", tok::plus_plus},    {"+=", tok::add_assign},
    {"--", tok::minus_minus}, {"-=", tok::sub_assign},  {"/=", tok::div_assign},   {"<=", tok::le},
    {"<<", tok::shl},         {"<<=", tok::shl_assign}, {"==", tok::eq},           {"===", tok::strict_eq},
    {">=", tok::ge},          {">>", tok::shr},         {">>=", tok::shr_assign},  {">>>", tok::ushr},
    {">>>=", tok::ushr_assign}, {"^=", tok::xor_assign}, {"|=", tok::or_assign},   {"||", tok::or_or},
};

// The code of an operator text, or 0.
int operator_code(std::string_view text) {
    for (const Operator& op : operators) {
        if (text == op.text) {
            return op.code;
        }
    }
    return 0;
}

bool starts_operator(int c) {
    switch (c) {
    case '!': case '%': case '&': case '*': case '+': case '-': case '/':
    case '<': case '=': case '>': case '^': case '|':
        return true;
    default:
        return false;
    }
}

}  // namespace

int keyword_code(std::string_view word) {
    static const KeywordTable table;
    uint32_t chain = engine_hash(word.data(), word.size()) & (keyword_chain_count - 1);
    for (int i = table.head[chain]; i != no_keyword; i = table.next[i]) {
        if (word == keywords[i].word) {
            return keywords[i].code;
        }
    }
    return tok::end;
}

Lexer::Lexer(std::string_view source, uint32_t flags, Diagnostics& diagnostics)
    : m_source(source), m_flags(flags), m_diagnostics(diagnostics) {}

Lexer::Lexer(const SourceText& source, uint32_t flags, Diagnostics& diagnostics)
    : m_source(source.bytes), m_file(source.file), m_flags(flags), m_diagnostics(diagnostics) {}

namespace {
constexpr size_t source_block_size = 64 * 1024;
}

bool Lexer::refill() {
    if (m_file == nullptr) {
        return false;
    }
    if (m_block == nullptr) {
        m_block = std::make_unique<char[]>(1 + source_block_size);
    }
    m_block[0] = m_source.empty() ? '\0' : m_source.back();
    const size_t got = std::fread(m_block.get() + 1, 1, source_block_size, m_file);
    if (got == 0) {
        m_file = nullptr;  // the end, or a read error the caller finds on the file
        return false;
    }
    m_source = std::string_view(m_block.get(), 1 + got);
    m_position = 1;
    return true;
}

int Lexer::read() {
    if ((m_position >= m_source.size() && !refill()) || m_source[m_position] == '\0') {
        return 0;
    }
    int c = static_cast<uint8_t>(m_source[m_position++]);
    if (c == '\n') {
        ++m_line;
    }
    return c;
}

// Requires: c is the character the last read() returned (0 gives back nothing).
void Lexer::unread(int c) {
    if (c == 0) {
        return;
    }
    --m_position;
    if (c == '\n') {
        --m_line;
    }
}

int Lexer::peek_char() {
    int c = read();
    unread(c);
    return c;
}

Token Lexer::next() {
    Token token;
    if (m_has_peeked) {
        token = std::move(m_peeked);
        m_has_peeked = false;
    } else {
        token = scan();
    }
    m_last_line = token.line;
    if (token.kind == tok::identifier && token.text == "arguments") {
        ++m_arguments_count;
    }
    return token;
}

const Token& Lexer::peek() {
    if (!m_has_peeked) {
        m_peeked = scan();
        m_has_peeked = true;
    }
    return m_peeked;
}

void Lexer::unterminated(const char* kind, uint32_t line) {
    m_diagnostics.fail(line, compiler_message(CompilerMessage::UnterminatedConstant), kind);
}

Token Lexer::scan() {
    Token token;
    for (;;) {
        int c = read();
        token.line = m_line;
        if (c == 0) {
            token.kind = tok::end;
            return token;
        }
        if ((c >= 9 && c <= 13) || c == ' ') {
            continue;
        }
        if (c == '/' && peek_char() == '*') {
            read();
            for (;;) {
                int d = read();
                if (d == 0) {
                    break;  // an unterminated comment ends the input
                }
                if (d == '*' && peek_char() == '/') {
                    read();
                    break;
                }
            }
            continue;
        }
        if ((c == '/' && peek_char() == '/') || (c == '#' && peek_char() == '!')) {
            for (int d = read(); d != 0 && d != '\n'; d = read()) {
            }
            continue;
        }
        if (starts_operator(c)) {
            std::string text(1, static_cast<char>(c));
            for (;;) {
                int d = read();
                text.push_back(static_cast<char>(d));
                if (d == 0 || operator_code(text) == 0) {
                    text.pop_back();
                    unread(d);
                    break;
                }
            }
            token.kind = text.size() == 1 ? c : operator_code(text);
            return token;
        }
        if (c == '"' || c == '\'') {
            scan_quoted(c, token);
            return token;
        }
        if (is_letter(c) || c == '$' || c == '_') {
            token.text.push_back(static_cast<char>(c));
            int d;
            while (is_identifier_part(d = read())) {
                token.text.push_back(static_cast<char>(d));
            }
            unread(d);
            token.kind = keyword_code(token.text);
            if (token.kind == tok::end) {
                token.kind = tok::identifier;
            } else {
                token.text.clear();
            }
            return token;
        }
        if (c == '#' && peek_char() == '\'') {
            read();
            int value = read();
            if (value == 0) {
                unterminated("character", m_line);
            }
            if (value == '\\') {
                value = decode_escape(read(), "character", std::nullopt);
            }
            int close = read();
            if (close == 0) {
                unterminated("character", m_line);
            }
            if (close != '\'') {
                m_diagnostics.fail(m_line, "%s", compiler_message(CompilerMessage::IllegalCharacter));
            }
            token.kind = tok::integer;
            token.integer = static_cast<int8_t>(static_cast<uint8_t>(value));
            return token;
        }
        if (is_digit(c) || (c == '.' && is_digit(peek_char()))) {
            scan_number(c, token);
            return token;
        }
        token.kind = single_character_code(c);
        return token;
    }
}

void Lexer::scan_number(int first, Token& token) {
    token.kind = tok::integer;
    if (first == '0') {
        int c = peek_char();
        if (c == 'x' || c == 'X') {
            read();
            uint64_t value = 0;
            int d;
            while (is_hex(d = read())) {
                value = value * 16 + static_cast<uint64_t>(hex_value(d));
            }
            unread(d);
            token.integer = static_cast<int64_t>(value);
            return;
        }
        if (is_octal(c)) {
            uint64_t value = 0;
            int d;
            while (is_octal(d = read())) {
                value = value * 8 + static_cast<uint64_t>(d - '0');
            }
            unread(d);
            token.integer = static_cast<int64_t>(value);
            return;
        }
        if (c != '.' && c != 'e' && c != 'E') {
            token.integer = 0;
            return;
        }
    }

    std::string text;
    int c = first;
    while (is_digit(c)) {
        text.push_back(static_cast<char>(c));
        c = read();
    }
    bool floating = false;
    if (c == '.') {
        floating = true;
        text.push_back('.');
        while (is_digit(c = read())) {
            text.push_back(static_cast<char>(c));
        }
    }
    if (c == 'e' || c == 'E') {
        floating = true;
        text.push_back(static_cast<char>(c));
        c = read();
        if (c == '+' || c == '-') {
            text.push_back(static_cast<char>(c));
            c = read();
        }
        if (!is_digit(c)) {
            m_diagnostics.fail(m_line, "%s", compiler_message(CompilerMessage::InvalidExponent));
        }
        while (is_digit(c)) {
            text.push_back(static_cast<char>(c));
            c = read();
        }
    }
    unread(c);

    if (!floating) {
        // Digits only: an integer while the value stays below 2^63, a floating literal beyond.
        uint64_t value = 0;
        bool fits = true;
        for (char digit : text) {
            auto d = static_cast<uint64_t>(digit - '0');
            if (value > (UINT64_MAX - d) / 10) {
                fits = false;
                break;
            }
            value = value * 10 + d;
        }
        if (fits && value < (uint64_t{1} << 63)) {
            token.integer = static_cast<int64_t>(value);
            return;
        }
    }
    token.kind = tok::number;
    token.number = std::strtod(text.c_str(), nullptr);
}

void Lexer::scan_quoted(int quote, Token& token) {
    token.kind = tok::string;
    bool warned = false;
    for (;;) {
        int c = read();
        if (c == quote) {
            return;
        }
        if (c == 0) {
            unterminated("string", m_line);
        }
        if (c == '\n') {
            if ((m_flags & CF_WARN_LINE_TERMINATORS) != 0 && !warned) {
                m_diagnostics.warn(m_line, compiler_message(CompilerMessage::LineTerminatorInConstant), "string");
                warned = true;
            }
            token.text.push_back('\n');
            continue;
        }
        if (c == '\\') {
            int e = read();
            if (e == '\n') {
                continue;  // line continuation
            }
            c = decode_escape(e, "string", std::nullopt);
        }
        token.text.push_back(static_cast<char>(c));
    }
}

// Decodes the escape whose letter `c` follows a backslash. End of input raises "unterminated" at
// `unterminated_line`, or at the stream's line when it has none.
int Lexer::decode_escape(int c, const char* kind, std::optional<uint32_t> unterminated_line) {
    auto line_for_end = [&] { return unterminated_line.value_or(m_line); };
    switch (c) {
    case 0:
        unterminated(kind, line_for_end());
    case '"':
    case '\'':
    case '?':
    case '\\':
        return c;
    case 'a':
        return 7;
    case 'b':
        return 8;
    case 'f':
        return 12;
    case 'n':
        return 10;
    case 'r':
        return 13;
    case 't':
        return 9;
    case 'v':
        return 11;
    case 'x': {
        int h1 = read();
        if (h1 == 0) {
            unterminated(kind, line_for_end());
        }
        int h2 = read();
        if (h2 == 0) {
            unterminated(kind, line_for_end());
        }
        if (!is_hex(h1) || !is_hex(h2)) {
            m_diagnostics.fail(m_line, compiler_message(CompilerMessage::IllegalHexEscape), "\\x", h1, h2);
        }
        return hex_value(h1) * 16 + hex_value(h2);
    }
    case 'u': {
        int h[4];
        for (int& digit : h) {
            digit = read();
            if (digit == 0) {
                unterminated(kind, line_for_end());
            }
        }
        for (int digit : h) {
            if (!is_hex(digit)) {
                m_diagnostics.fail(m_line, compiler_message(CompilerMessage::IllegalUnicodeEscape), "\\u", h[0],
                                   h[1], h[2], h[3]);
            }
        }
        // Only the low byte survives: the text is 8-bit.
        return hex_value(h[2]) * 16 + hex_value(h[3]);
    }
    default:
        break;
    }
    if (is_octal(c)) {
        int limit = c == '0' ? 4 : 3;
        int value = c - '0';
        for (int count = 1; count < limit; ++count) {
            int d = read();
            if (!is_octal(d)) {
                unread(d);
                break;
            }
            value = (value * 8 + (d - '0')) & 0xFF;
        }
        return value;
    }
    m_diagnostics.warn(m_line, compiler_message(CompilerMessage::UnknownEscape), '\\', c);
    return c;
}

RegExpBody Lexer::scan_regexp_body() {
    const char* kind = "regular expression";
    uint32_t start_line = m_last_line;
    RegExpBody body;
    for (;;) {
        int c = read();
        if (c == 0) {
            unterminated(kind, start_line);
        }
        if (c == '/') {
            break;
        }
        if (c != '\\') {
            body.pattern.push_back(static_cast<char>(c));
            continue;
        }
        int e = read();
        switch (e) {
        case 0:
            unterminated(kind, start_line);
        case '\n':
            break;  // line continuation
        case '0':
        case 'u':
        case 'x':
            body.pattern.push_back(static_cast<char>(decode_escape(e, kind, start_line)));
            break;
        case 'c': {
            int x = read();
            if (x == 0) {
                unterminated(kind, start_line);
            }
            body.pattern += "\\c";
            body.pattern.push_back(static_cast<char>(x));
            break;
        }
        case 'f':
            body.pattern.push_back('\f');
            break;
        case 'n':
            body.pattern.push_back('\n');
            break;
        case 'r':
            body.pattern.push_back('\r');
            break;
        case 't':
            body.pattern.push_back('\t');
            break;
        case 'v':
            body.pattern.push_back('\v');
            break;
        default:
            body.pattern.push_back('\\');
            body.pattern.push_back(static_cast<char>(e));
            break;
        }
    }
    for (;;) {
        int c = read();
        if (c == 'g') {
            body.flags |= 1;
        } else if (c == 'i') {
            body.flags |= 2;
        } else if (c == 'm') {
            body.flags |= 4;
        } else {
            unread(c);
            break;
        }
    }
    return body;
}

}  // namespace quill::compiler
