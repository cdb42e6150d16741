// The module listing.
#include "engine/vm/disassembler.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "engine/vm/opcodes.h"

namespace quill::vm {

namespace {

void append_format(std::string& out, const char* format, auto... args) {
    char buffer[128];
    int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n > 0) out.append(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

void append_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Escapes for the characters that would break a one-line listing; other ASCII passes unchanged.
bool append_simple_escape(std::string& out, uint32_t c, char quote) {
    switch (c) {
    case '\n':
        out += "\\n";
        return true;
    case '\r':
        out += "\\r";
        return true;
    case '\t':
        out += "\\t";
        return true;
    case '\\':
        if (quote == 0) return false;  // a bare pattern keeps its escapes as written
        out += "\\\\";
        return true;
    default:
        if (quote != 0 && c == static_cast<unsigned char>(quote)) {
            out += '\\';
            out += quote;
            return true;
        }
        return false;
    }
}

// UTF-16 text, quoted with `quote` (or bare when it is 0): control characters and lone surrogates
// as \uXXXX, everything else as UTF-8.
std::string quoted_utf16(std::u16string_view text, char quote) {
    std::string out;
    if (quote != 0) out += quote;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (append_simple_escape(out, c, quote)) continue;
        bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                    text[i + 1] <= 0xDFFF;
        if (pair) {
            append_utf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF)) {
            append_format(out, "\\u%04X", static_cast<unsigned>(c));
        } else {
            append_utf8(out, c);
        }
    }
    if (quote != 0) out += quote;
    return out;
}

// Narrow text (names, source names), quoted; control bytes as \xNN, other bytes unchanged.
std::string quoted_narrow(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (append_simple_escape(out, c, '"')) continue;
        if (c < 0x20 || c == 0x7F) {
            append_format(out, "\\x%02X", static_cast<unsigned>(c));
        } else {
            out += ch;
        }
    }
    out += '"';
    return out;
}

// The shortest text that reads back as the same double; it always shows a number is no integer.
std::string number_text(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d < 0 ? "-Infinity" : "Infinity";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

const char* type_word(ConstantType type) {
    switch (type) {
    case ConstantType::Null:
        return "null";
    case ConstantType::NaN:
        return "nan";
    case ConstantType::Boolean:
        return "boolean";
    case ConstantType::Integer:
        return "integer";
    case ConstantType::Number:
        return "number";
    case ConstantType::String:
        return "string";
    case ConstantType::Name:
        return "name";
    case ConstantType::RegExp:
        return "regexp";
    }
    return "?";
}

const char* parse_error_text(ParseError error) {
    switch (error) {
    case ParseError::None:
        return "no error";
    case ParseError::UnknownRecord:
        return "unknown constant or debug record type";
    case ParseError::Truncated:
        return "a record runs past the end of its section";
    case ParseError::NameTooLong:
        return "a name longer than 255 bytes";
    case ParseError::BadFunctionTable:
        return "bad function table";
    }
    return "unknown error";
}

// A line record as the listing shows it, with the source name in force at it.
struct LineNote {
    uint32_t offset;
    uint32_t line;
    const std::string* source;
};

std::vector<LineNote> line_notes(const ParsedModule& module) {
    std::vector<LineNote> notes;
    const std::string* source = nullptr;
    for (const DebugRecord& r : module.debug) {
        if (r.type == 1) {
            source = &r.source_name;
        } else if (r.type == 2) {
            notes.push_back({r.offset, r.line, source});
        }
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const LineNote& a, const LineNote& b) { return a.offset < b.offset; });
    return notes;
}

class Lister {
public:
    explicit Lister(const ParsedModule& module) : m_module(module), m_notes(line_notes(module)) {}

    std::string run() {
        list_constants();
        if (m_module.functions.empty()) {
            if (!m_module.code.empty()) {
                append_format(m_out, "\ncode without function table [0, %zu)\n", m_module.code.size());
                list_code(0, static_cast<uint32_t>(m_module.code.size()));
            }
        }
        for (const ModuleFunction& f : m_module.functions) {
            // A hand-made module may carry any range: keep it inside the code.
            auto size = static_cast<uint32_t>(std::min<size_t>(m_module.code.size(), UINT32_MAX));
            uint32_t start = std::min(f.offset, size);
            uint32_t end = std::clamp(f.end, start, size);
            m_out += "\nfunction ";
            m_out += quoted_narrow(f.name);
            append_format(m_out, " [%" PRIu32 ", %" PRIu32 ")\n", start, end);
            list_code(start, end);
        }
        return std::move(m_out);
    }

private:
    void list_constants() {
        append_format(m_out, "constants (%zu)\n", m_module.constants.size());
        for (size_t i = 0; i < m_module.constants.size(); ++i) {
            const ModuleConstant& c = m_module.constants[i];
            append_format(m_out, "%6zu  ", i);
            if (c.type == ConstantType::Null || c.type == ConstantType::NaN) {
                m_out += constant_text(c);
            } else {
                m_out += type_word(c.type);
                m_out += ' ';
                m_out += constant_text(c);
            }
            m_out += '\n';
        }
    }

    void list_code(uint32_t start, uint32_t end) {
        m_last_source = nullptr;
        m_next_note = static_cast<size_t>(
            std::lower_bound(m_notes.begin(), m_notes.end(), start,
                             [](const LineNote& n, uint32_t offset) { return n.offset < offset; }) -
            m_notes.begin());
        uint32_t offset = start;
        while (offset < end) {
            list_notes_up_to(offset);
            Instruction ins;
            bool complete = decode_instruction(m_module.code, offset, end, &ins);
            const OpcodeInfo& info = opcode_info(ins.opcode);
            append_format(m_out, "%6" PRIu32 "  ", offset);
            if (info.mnemonic == nullptr) {
                append_format(m_out, ".byte 0x%02X\n", static_cast<unsigned>(ins.opcode));
                offset += 1;
                continue;
            }
            if (!complete) {
                append_format(m_out, "%-14s  <truncated: %" PRIu32 " of %d bytes>\n", info.mnemonic,
                              end - offset, static_cast<int>(ins.size));
                break;
            }
            if (info.operand == OperandKind::None) {
                m_out += info.mnemonic;
            } else {
                append_format(m_out, "%-14s  ", info.mnemonic);
                m_out += operand_text(ins, info.operand, start, end);
            }
            m_out += '\n';
            offset += ins.size;
        }
    }

    void list_notes_up_to(uint32_t offset) {
        while (m_next_note < m_notes.size() && m_notes[m_next_note].offset <= offset) {
            const LineNote& n = m_notes[m_next_note++];
            if (n.source != nullptr && n.source != m_last_source) {
                m_out += "        ; source ";
                m_out += quoted_narrow(*n.source);
                m_out += '\n';
                m_last_source = n.source;
            }
            append_format(m_out, "        ; line %" PRIu32 "\n", n.line);
        }
    }

    std::string operand_text(const Instruction& ins, OperandKind kind, uint32_t start, uint32_t end) const {
        std::string text;
        switch (kind) {
        case OperandKind::None:
            break;
        case OperandKind::Byte:
        case OperandKind::Short:
        case OperandKind::Immediate:
            append_format(text, "%" PRId64, ins.operand);
            break;
        case OperandKind::Jump: {
            int64_t target = static_cast<int64_t>(ins.offset) + ins.size + ins.operand;
            append_format(text, "-> %" PRId64, target);
            if (target < start || target > end) text += "  (outside the function)";
            break;
        }
        case OperandKind::Name:
        case OperandKind::Constant: {
            auto index = static_cast<uint64_t>(ins.operand);
            if (index >= m_module.constants.size()) {
                append_format(text, "<bad constant %" PRIu64 ">", index);
                break;
            }
            const ModuleConstant& c = m_module.constants[index];
            if (kind == OperandKind::Name && c.type != ConstantType::Name) {
                append_format(text, "<constant %" PRIu64 " is no name>", index);
            } else if (kind == OperandKind::Constant && c.type == ConstantType::Name) {
                text = "name " + constant_text(c);
            } else {
                text = constant_text(c);
            }
            break;
        }
        }
        return text;
    }

    const ParsedModule& m_module;
    std::vector<LineNote> m_notes;
    size_t m_next_note = 0;
    const std::string* m_last_source = nullptr;
    std::string m_out;
};

}  // namespace

std::string constant_text(const ModuleConstant& c) {
    switch (c.type) {
    case ConstantType::Null:
        return "null";
    case ConstantType::NaN:
        return "NaN";
    case ConstantType::Boolean:
        return c.boolean ? "true" : "false";
    case ConstantType::Integer:
        return std::to_string(c.integer);
    case ConstantType::Number:
        return number_text(c.number);
    case ConstantType::String:
        return quoted_utf16(c.text, '"');
    case ConstantType::Name:
        return quoted_narrow(c.name);
    case ConstantType::RegExp: {
        std::string text = "/" + quoted_utf16(c.text, 0) + "/";
        if (c.regexp_flags & 1) text += 'g';
        if (c.regexp_flags & 2) text += 'i';
        if (c.regexp_flags & 4) text += 'm';
        if (c.regexp_flags & ~7) {
            append_format(text, " (flags 0x%02X)", static_cast<unsigned>(c.regexp_flags));
        }
        return text;
    }
    }
    return "?";
}

std::string disassemble(const ParsedModule& module) { return Lister(module).run(); }

bool disassemble(const uint8_t* bytes, size_t length, std::string* out) {
    std::optional<Module> module = read_module(bytes, length);
    if (!module) {
        *out = "not a compiled module: wrong magic, short input or a section past the end\n";
        return false;
    }
    ParsedModule parsed;
    if (ParseError e = parse_module(*module, &parsed); e != ParseError::None) {
        *out = std::string("bad compiled module: ") + parse_error_text(e) + "\n";
        return false;
    }
    *out = disassemble(parsed);
    return true;
}

}  // namespace quill::vm
