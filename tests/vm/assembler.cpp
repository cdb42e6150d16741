// The test assembler: one line at a time into a ModuleWriter, jumps to labels patched at the end.
#include "tests/vm/assembler.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <map>

#include "engine/values/text_codec.h"
#include "engine/vm/module_writer.h"
#include "engine/vm/opcodes.h"

namespace quill::vm::testing {

namespace {

struct Token {
    enum Kind { Word, String, RegExp } kind = Word;
    std::string word;     // Word
    std::u16string text;  // String and RegExp
    uint8_t flags = 0;    // RegExp
};

// Thrown for bad input; assemble() turns it into "line N: ...".
struct AssemblyError {
    std::string what;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void hex_digits(std::string_view line, size_t& i, char16_t* out) {
    unsigned value = 0;
    for (int k = 0; k < 4; ++k, ++i) {
        char c = i < line.size() ? line[i] : '\0';
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) throw AssemblyError{"\\u needs four hex digits"};
        value = value * 16 + static_cast<unsigned>(digit);
    }
    *out = static_cast<char16_t>(value);
}

// Reads a quoted string or a /regexp/ starting at line[i] (the opening delimiter).
std::u16string delimited(std::string_view line, size_t& i, char delimiter) {
    std::u16string text;
    for (++i;; ++i) {
        if (i >= line.size()) throw AssemblyError{std::string("missing closing ") + delimiter};
        char c = line[i];
        if (c == delimiter) {
            ++i;
            return text;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            throw AssemblyError{"use \\u escapes for text that is not ASCII"};
        }
        if (c != '\\') {
            text += static_cast<char16_t>(c);
            continue;
        }
        if (++i >= line.size()) throw AssemblyError{"text ends in a backslash"};
        if (delimiter == '/') {
            // A pattern keeps its escapes, \/ included, for the pattern compiler.
            text += u'\\';
            text += static_cast<char16_t>(line[i]);
            continue;
        }
        switch (line[i]) {
        case 'n':
            text += u'\n';
            break;
        case 'r':
            text += u'\r';
            break;
        case 't':
            text += u'\t';
            break;
        case '0':
            text += u'\0';
            break;
        case '"':
        case '\\':
            text += static_cast<char16_t>(line[i]);
            break;
        case 'u': {
            ++i;
            char16_t unit;
            hex_digits(line, i, &unit);
            --i;
            text += unit;
            break;
        }
        default:
            throw AssemblyError{std::string("unknown escape \\") + line[i]};
        }
    }
}

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && is_space(line[i])) ++i;
        if (i >= line.size() || line[i] == ';') return tokens;
        Token t;
        if (line[i] == '"') {
            t.kind = Token::String;
            t.text = delimited(line, i, '"');
        } else if (line[i] == '/') {
            t.kind = Token::RegExp;
            t.text = delimited(line, i, '/');
            for (; i < line.size() && !is_space(line[i]) && line[i] != ';'; ++i) {
                switch (line[i]) {
                case 'g':
                    t.flags |= 1;
                    break;
                case 'i':
                    t.flags |= 2;
                    break;
                case 'm':
                    t.flags |= 4;
                    break;
                default:
                    throw AssemblyError{std::string("unknown regexp flag ") + line[i]};
                }
            }
        } else {
            size_t start = i;
            while (i < line.size() && !is_space(line[i]) && line[i] != ';') ++i;
            t.word = std::string(line.substr(start, i - start));
        }
        tokens.push_back(std::move(t));
    }
}

// Decimal or 0x-hexadecimal, with an optional sign.
bool parse_integer(std::string_view text, int64_t* out) {
    bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return false;
    if (base == 10 && magnitude > (negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1)) return false;
    *out = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
    return true;
}

int64_t integer_in(const Token& t, int64_t low, int64_t high) {
    int64_t value = 0;
    if (t.kind != Token::Word || !parse_integer(t.word, &value)) throw AssemblyError{"a number is needed"};
    if (value < low || value > high) throw AssemblyError{"number out of range: " + t.word};
    return value;
}

// "#N": a raw constant index.
bool raw_index(const Token& t, int64_t* out) {
    if (t.kind != Token::Word || t.word.size() < 2 || t.word[0] != '#') return false;
    if (!parse_integer(std::string_view(t.word).substr(1), out) || *out < 0 || *out > UINT32_MAX) {
        throw AssemblyError{"bad constant index " + t.word};
    }
    return true;
}

std::string narrow_text(const Token& t) { return t.kind == Token::Word ? t.word : utf16_to_narrow(t.text); }

class Assembler {
public:
    explicit Assembler(uint32_t id_seed) : m_writer(id_seed) {}

    void line(std::string_view text) {
        std::vector<Token> tokens = tokenize(text);
        size_t first = 0;
        if (!tokens.empty() && tokens[0].kind == Token::Word && tokens[0].word.size() > 1 &&
            tokens[0].word.back() == ':') {
            std::string label = tokens[0].word.substr(0, tokens[0].word.size() - 1);
            if (!m_labels.emplace(label, m_writer.code_size()).second) {
                throw AssemblyError{"label defined twice: " + label};
            }
            first = 1;
        }
        if (first == tokens.size()) return;
        const Token& head = tokens[first];
        if (head.kind != Token::Word) throw AssemblyError{"an instruction or directive is needed"};
        std::vector<Token> args(tokens.begin() + static_cast<std::ptrdiff_t>(first) + 1, tokens.end());
        if (head.word[0] == '.') {
            directive(head.word, args);
        } else {
            instruction(head.word, args);
        }
    }

    std::vector<uint8_t> finish() {
        for (const auto& [offset, label] : m_fixups) {
            auto it = m_labels.find(label);
            if (it == m_labels.end()) throw AssemblyError{"undefined label " + label};
            m_writer.patch_jump(offset, it->second);
        }
        return m_writer.finish();
    }

private:
    static void expect_count(const std::vector<Token>& args, size_t count) {
        if (args.size() != count) throw AssemblyError{"expected " + std::to_string(count) + " operand(s)"};
    }

    void directive(const std::string& name, const std::vector<Token>& args) {
        if (name == ".byte") {
            if (args.empty()) throw AssemblyError{".byte needs values"};
            for (const Token& t : args) {
                m_writer.code().push_back(static_cast<uint8_t>(integer_in(t, 0, 255)));
            }
        } else if (name == ".function") {
            expect_count(args, 1);
            m_writer.begin_function(narrow_text(args[0]));
        } else if (name == ".source") {
            expect_count(args, 1);
            m_writer.add_source(narrow_text(args[0]));
        } else if (name == ".line") {
            expect_count(args, 1);
            auto number = static_cast<uint32_t>(integer_in(args[0], 0, UINT32_MAX));
            m_writer.add_line(m_writer.code_size(), number);
        } else {
            throw AssemblyError{"unknown directive " + name};
        }
    }

    void instruction(const std::string& mnemonic, const std::vector<Token>& args) {
        int opcode = opcode_by_mnemonic(mnemonic.c_str());
        if (opcode < 0) throw AssemblyError{"unknown mnemonic " + mnemonic};
        auto op = static_cast<Op>(opcode);
        OperandKind kind = opcode_info(static_cast<uint8_t>(opcode)).operand;
        if (kind == OperandKind::None) {
            expect_count(args, 0);
            m_writer.emit(op);
            return;
        }
        expect_count(args, 1);
        const Token& arg = args[0];
        int64_t value = 0;
        switch (kind) {
        case OperandKind::None:
            break;
        case OperandKind::Byte:
            m_writer.emit(op, integer_in(arg, -128, 255));
            break;
        case OperandKind::Short:
            m_writer.emit(op, integer_in(arg, -32768, 65535));
            break;
        case OperandKind::Immediate:
            m_writer.emit(op, integer_in(arg, INT32_MIN, INT32_MAX));
            break;
        case OperandKind::Jump:
            if (arg.kind == Token::Word && parse_integer(arg.word, &value)) {
                m_writer.emit(op, integer_in(arg, INT32_MIN, INT32_MAX));
            } else if (arg.kind == Token::Word) {
                m_fixups.emplace_back(m_writer.emit(op, 0), arg.word);
            } else {
                throw AssemblyError{"a jump needs a label"};
            }
            break;
        case OperandKind::Name:
            if (!raw_index(arg, &value)) {
                if (arg.kind == Token::RegExp) throw AssemblyError{"a name is needed"};
                value = m_writer.add_name(narrow_text(arg));
            }
            m_writer.emit(op, value);
            break;
        case OperandKind::Constant:
            if (!raw_index(arg, &value)) value = constant(arg);
            m_writer.emit(op, value);
            break;
        }
    }

    uint32_t constant(const Token& t) {
        if (t.kind == Token::String) return m_writer.add_string(t.text);
        if (t.kind == Token::RegExp) return m_writer.add_regexp(t.text, t.flags);
        const std::string& w = t.word;
        if (w == "null") return m_writer.add_null();
        if (w == "NaN") return m_writer.add_nan();
        if (w == "true" || w == "false") return m_writer.add_boolean(w == "true");
        if (w == "Infinity") return m_writer.add_number(HUGE_VAL);
        if (w == "-Infinity") return m_writer.add_number(-HUGE_VAL);
        int64_t integer = 0;
        if (parse_integer(w, &integer)) return m_writer.add_integer(integer);
        double number = 0;
        auto [end, error] = std::from_chars(w.data(), w.data() + w.size(), number);
        if (error == std::errc() && end == w.data() + w.size()) return m_writer.add_number(number);
        throw AssemblyError{"not a constant: " + w};
    }

    ModuleWriter m_writer;
    std::map<std::string, uint32_t> m_labels;
    std::vector<std::pair<uint32_t, std::string>> m_fixups;  // jump offset, label
};

}  // namespace

Assembly assemble(std::string_view source, uint32_t id_seed) {
    Assembler assembler(id_seed);
    Assembly result;
    int number = 1;
    try {
        for (size_t start = 0; start <= source.size(); ++number) {
            size_t end = source.find('\n', start);
            if (end == std::string_view::npos) end = source.size();
            assembler.line(source.substr(start, end - start));
            start = end + 1;
        }
        number = 0;
        result.bytes = assembler.finish();
    } catch (const AssemblyError& e) {
        result.error = number == 0 ? e.what : "line " + std::to_string(number) + ": " + e.what;
    }
    return result;
}

std::vector<uint8_t> assemble_or_fail(std::string_view source, uint32_t id_seed) {
    Assembly a = assemble(source, id_seed);
    if (!a.error.empty()) ADD_FAILURE() << "assembler: " << a.error;
    return a.bytes;
}

}  // namespace quill::vm::testing
