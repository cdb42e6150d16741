// Reading QS1b containers, parsing their sections, decoding instructions.
//
// Everything here treats its input as untrusted: every length and offset is checked against what is
// left before it is used, with arithmetic that cannot overflow.
#include "engine/vm/module.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include "engine/vm/opcodes.h"

namespace quill::vm {

namespace {

constexpr uint8_t magic[4] = {'Q', 'S', '1', 'b'};
constexpr uint32_t table_terminator = 0xFFFFFFFF;
constexpr size_t table_entry_size = 12;

uint32_t read_u32_le(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t read_u32_be(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// A cursor over one section's bytes. Every read checks what is left first.
class SectionReader {
public:
    explicit SectionReader(const std::vector<uint8_t>& bytes) : m_data(bytes.data()), m_size(bytes.size()) {}

    bool at_end() const { return m_pos == m_size; }
    size_t left() const { return m_size - m_pos; }

    bool u8(uint8_t* out) {
        if (left() < 1) return false;
        *out = m_data[m_pos++];
        return true;
    }
    bool u32(uint32_t* out) {
        if (left() < 4) return false;
        *out = read_u32_be(m_data + m_pos);
        m_pos += 4;
        return true;
    }
    // The next `count` bytes, or null when fewer are left.
    const uint8_t* take(size_t count) {
        if (left() < count) return nullptr;
        const uint8_t* p = m_data + m_pos;
        m_pos += count;
        return p;
    }

    enum class NameResult { Ok, TooLong, Unterminated };

    // A name: bytes up to a zero byte, which is consumed. A name is never longer than
    // max_name_length, so the scan never looks further than that.
    NameResult name(std::string* out) {
        size_t limit = left() < max_name_length + 1 ? left() : max_name_length + 1;
        const void* zero = limit == 0 ? nullptr : std::memchr(m_data + m_pos, 0, limit);
        if (zero == nullptr) {
            return limit == max_name_length + 1 ? NameResult::TooLong : NameResult::Unterminated;
        }
        size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (m_data + m_pos));
        out->assign(reinterpret_cast<const char*>(m_data + m_pos), length);
        m_pos += length + 1;
        return NameResult::Ok;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// UTF-16LE text of `length` bytes; an odd trailing byte is ignored.
std::u16string utf16le_text(const uint8_t* p, size_t length) {
    std::u16string text(length / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
    }
    return text;
}

ParseError parse_constant(SectionReader& in, ModuleConstant* c) {
    uint8_t type = 0;
    in.u8(&type);
    switch (type) {
    case static_cast<uint8_t>(ConstantType::Null):
    case static_cast<uint8_t>(ConstantType::NaN):
        c->type = static_cast<ConstantType>(type);
        return ParseError::None;
    case static_cast<uint8_t>(ConstantType::Boolean): {
        uint8_t flag = 0;
        if (!in.u8(&flag)) return ParseError::Truncated;
        c->type = ConstantType::Boolean;
        c->boolean = flag != 0;
        return ParseError::None;
    }
    case static_cast<uint8_t>(ConstantType::Integer): {
        const uint8_t* p = in.take(8);
        if (p == nullptr) return ParseError::Truncated;
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | p[i];
        c->type = ConstantType::Integer;
        c->integer = static_cast<int64_t>(bits);
        return ParseError::None;
    }
    case static_cast<uint8_t>(ConstantType::Number): {
        // The one little-endian field inside the sections.
        const uint8_t* p = in.take(8);
        if (p == nullptr) return ParseError::Truncated;
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
        c->type = ConstantType::Number;
        c->number = std::bit_cast<double>(bits);
        return ParseError::None;
    }
    case static_cast<uint8_t>(ConstantType::String):
    case static_cast<uint8_t>(ConstantType::RegExp): {
        bool is_regexp = type == static_cast<uint8_t>(ConstantType::RegExp);
        uint8_t flags = 0;
        if (is_regexp && !in.u8(&flags)) return ParseError::Truncated;
        uint32_t length = 0;
        if (!in.u32(&length)) return ParseError::Truncated;
        const uint8_t* p = in.take(length);
        if (p == nullptr) return ParseError::Truncated;
        c->type = static_cast<ConstantType>(type);
        c->regexp_flags = flags;
        c->text = utf16le_text(p, length);
        return ParseError::None;
    }
    case static_cast<uint8_t>(ConstantType::Name):
        switch (in.name(&c->name)) {
        case SectionReader::NameResult::Ok:
            c->type = ConstantType::Name;
            return ParseError::None;
        case SectionReader::NameResult::TooLong:
            return ParseError::NameTooLong;
        case SectionReader::NameResult::Unterminated:
            return ParseError::Truncated;
        }
        return ParseError::Truncated;
    default:
        return ParseError::UnknownRecord;
    }
}

ParseError parse_constants(const Section& section, std::vector<ModuleConstant>* out) {
    SectionReader in(section.bytes);
    while (!in.at_end()) {
        ModuleConstant c;
        if (ParseError e = parse_constant(in, &c); e != ParseError::None) return e;
        out->push_back(std::move(c));
    }
    return ParseError::None;
}

// The count must match the entries exactly: no entry is read beyond it and no byte may follow the
// last one. Offsets never decrease (two equal offsets make an empty function) and stay within the
// code.
ParseError parse_functions(const Section& section, size_t code_size, std::vector<ModuleFunction>* out) {
    SectionReader in(section.bytes);
    uint32_t count = 0;
    if (!in.u32(&count)) return ParseError::BadFunctionTable;
    uint32_t previous = 0;
    // The count comes from the input: entries are added as they are read, never reserved up front.
    for (uint32_t i = 0; i < count; ++i) {
        ModuleFunction f;
        switch (in.name(&f.name)) {
        case SectionReader::NameResult::Ok:
            break;
        case SectionReader::NameResult::TooLong:
            return ParseError::NameTooLong;
        case SectionReader::NameResult::Unterminated:
            return ParseError::BadFunctionTable;
        }
        if (!in.u32(&f.offset)) return ParseError::BadFunctionTable;
        if (f.offset < previous || f.offset > code_size) return ParseError::BadFunctionTable;
        previous = f.offset;
        out->push_back(std::move(f));
    }
    if (!in.at_end()) return ParseError::BadFunctionTable;
    for (size_t i = 0; i < out->size(); ++i) {
        (*out)[i].end = i + 1 < out->size() ? (*out)[i + 1].offset : static_cast<uint32_t>(code_size);
    }
    return ParseError::None;
}

ParseError parse_debug(const Section& section, std::vector<DebugRecord>* out) {
    SectionReader in(section.bytes);
    while (!in.at_end()) {
        DebugRecord r;
        in.u8(&r.type);
        if (r.type == 1) {
            uint32_t length = 0;
            if (!in.u32(&length)) return ParseError::Truncated;
            const uint8_t* p = in.take(length);
            if (p == nullptr) return ParseError::Truncated;
            r.source_name.assign(reinterpret_cast<const char*>(p), length);
        } else if (r.type == 2) {
            if (!in.u32(&r.offset) || !in.u32(&r.line)) return ParseError::Truncated;
        } else {
            return ParseError::UnknownRecord;
        }
        out->push_back(std::move(r));
    }
    return ParseError::None;
}

struct TableEntry {
    uint8_t type;
    uint32_t offset;
    uint32_t size;
};

}  // namespace

const Section* Module::first(uint8_t type) const {
    for (const Section& s : sections) {
        if (s.type == type) return &s;
    }
    return nullptr;
}

const Section* Module::last(uint8_t type) const {
    for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
        if (it->type == type) return &*it;
    }
    return nullptr;
}

std::optional<Module> read_module(const uint8_t* bytes, size_t length, const char** problem) {
    auto fail = [problem](const char* why) -> std::optional<Module> {
        if (problem != nullptr) *problem = why;
        return std::nullopt;
    };
    const char* not_a_module = "not a compiled module";
    if (bytes == nullptr) return fail(not_a_module);
    if (length > 0 && bytes[0] == '#') {
        const void* newline = std::memchr(bytes, '\n', length);
        if (newline == nullptr) return fail(not_a_module);
        size_t skipped = static_cast<size_t>(static_cast<const uint8_t*>(newline) - bytes) + 1;
        bytes += skipped;
        length -= skipped;
    }
    if (length < sizeof magic || std::memcmp(bytes, magic, sizeof magic) != 0) return fail(not_a_module);
    const char* table_cut = "the section table is cut off";
    const char* past_the_end = "a section runs past the end of the module";
    if (length < 8) return fail(table_cut);

    // Check the whole table before copying anything.
    std::vector<TableEntry> entries;
    size_t pos = sizeof magic;
    for (;;) {
        if (length - pos < 4) return fail(table_cut);  // no terminator before the end
        uint32_t id = read_u32_le(bytes + pos);
        if (id == table_terminator) break;
        if (length - pos < table_entry_size) return fail(table_cut);
        uint32_t offset = read_u32_le(bytes + pos + 4);
        uint32_t size = read_u32_le(bytes + pos + 8);
        if (offset > length || size > length - offset) return fail(past_the_end);
        entries.push_back({static_cast<uint8_t>(id & 0xFF), offset, size});
        pos += table_entry_size;
    }

    // Only the sections a module is read from are kept: the first code, constants and function
    // table and the last debug section. Copying every entry would let a small input that names
    // its whole length thousands of times demand gigabytes.
    std::array<const TableEntry*, 4> chosen{};
    for (const TableEntry& e : entries) {
        if (e.type == section_debug || (e.type < section_debug && chosen[e.type] == nullptr)) {
            chosen[e.type] = &e;
        }
    }
    Module module;
    for (const TableEntry& e : entries) {
        if (e.type > section_debug || chosen[e.type] != &e) continue;
        Section s;
        s.type = e.type;
        s.bytes.assign(bytes + e.offset, bytes + e.offset + e.size);
        module.sections.push_back(std::move(s));
    }
    return module;
}

std::optional<Module> read_module_file(std::FILE* file, const char** problem) {
    if (file == nullptr) return read_module(nullptr, 0, problem);
    std::vector<uint8_t> data;
    uint8_t block[4096];
    for (;;) {
        size_t got = std::fread(block, 1, sizeof block, file);
        data.insert(data.end(), block, block + got);
        if (got < sizeof block) break;
    }
    if (std::ferror(file)) {
        if (problem != nullptr) *problem = std::strerror(errno);
        return std::nullopt;
    }
    return read_module(data.data(), data.size(), problem);
}

ParseError parse_module(const Module& module, ParsedModule* out) {
    ParsedModule parsed;
    if (const Section* code = module.first(section_code)) parsed.code = code->bytes;
    if (const Section* constants = module.first(section_constants)) {
        if (ParseError e = parse_constants(*constants, &parsed.constants); e != ParseError::None) return e;
    }
    if (const Section* functions = module.first(section_functions)) {
        ParseError e = parse_functions(*functions, parsed.code.size(), &parsed.functions);
        if (e != ParseError::None) return e;
    }
    if (const Section* debug = module.last(section_debug)) {
        parsed.has_debug = true;
        if (ParseError e = parse_debug(*debug, &parsed.debug); e != ParseError::None) return e;
    }
    *out = std::move(parsed);
    return ParseError::None;
}

bool decode_instruction(const std::vector<uint8_t>& code, uint32_t offset, uint32_t end, Instruction* out) {
    if (end > code.size()) end = static_cast<uint32_t>(code.size());
    *out = Instruction{};
    out->offset = offset;
    if (offset >= end) {
        out->size = 0;
        return false;
    }
    out->opcode = code[offset];
    const OpcodeInfo& info = opcode_info(out->opcode);
    if (info.mnemonic == nullptr) return true;  // not an opcode: one byte, no operand

    int size = encoded_size(info.operand);
    out->size = static_cast<uint8_t>(size);
    if (static_cast<uint32_t>(size) > end - offset) return false;
    const uint8_t* p = code.data() + offset + 1;
    switch (info.operand) {
    case OperandKind::None:
        break;
    case OperandKind::Byte:
        out->operand = static_cast<int8_t>(p[0]);
        break;
    case OperandKind::Short:
        out->operand = static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
        break;
    case OperandKind::Jump:
    case OperandKind::Immediate:
        out->operand = static_cast<int32_t>(read_u32_be(p));
        break;
    case OperandKind::Name:
    case OperandKind::Constant:
        out->operand = read_u32_be(p);
        break;
    }
    return true;
}

}  // namespace quill::vm
