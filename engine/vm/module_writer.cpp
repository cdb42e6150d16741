// Writing QS1b modules.
#include "engine/vm/module_writer.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <cassert>
#include <chrono>
#include <random>

namespace quill::vm {

namespace {

constexpr size_t header_size = 56;

void put_u32_be(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void put_u32_le(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint8_t type_byte(ConstantType type) { return static_cast<uint8_t>(type); }

}  // namespace

ModuleWriter::ModuleWriter(uint32_t id_seed) : m_id_seed(id_seed) {}

ModuleWriter::ModuleWriter()
    : m_id_seed(std::random_device{}() ^
                static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

std::string_view ModuleWriter::record_bytes(uint32_t index) const {
    const uint32_t start = m_record_starts[index];
    const uint32_t end = index + 1 < m_constant_count ? m_record_starts[index + 1] : static_cast<uint32_t>(m_constants.size());
    return {reinterpret_cast<const char*>(m_constants.data()) + start, end - start};
}

void ModuleWriter::grow_index() {
    std::vector<uint32_t> index(m_index.empty() ? 64 : m_index.size() * 2, 0);
    const size_t mask = index.size() - 1;
    for (uint32_t record = 0; record < m_constant_count; ++record) {
        size_t slot = std::hash<std::string_view>{}(record_bytes(record)) & mask;
        while (index[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        index[slot] = record + 1;
    }
    m_index.swap(index);
}

uint32_t ModuleWriter::intern() {
    if (2 * (static_cast<size_t>(m_constant_count) + 1) > m_index.size()) {
        grow_index();
    }
    const size_t mask = m_index.size() - 1;
    size_t slot = std::hash<std::string_view>{}(std::string_view(m_record)) & mask;
    for (; m_index[slot] != 0; slot = (slot + 1) & mask) {
        if (record_bytes(m_index[slot] - 1) == m_record) {
            return m_index[slot] - 1;
        }
    }
    m_index[slot] = m_constant_count + 1;
    m_record_starts.push_back(static_cast<uint32_t>(m_constants.size()));
    m_constants.insert(m_constants.end(), m_record.begin(), m_record.end());
    return m_constant_count++;
}

void ModuleWriter::begin_record(ConstantType type) {
    m_record.clear();
    m_record.push_back(static_cast<char>(type_byte(type)));
}

void ModuleWriter::put_record_utf16(std::u16string_view text) {
    auto size = static_cast<uint32_t>(text.size() * 2);
    for (int shift = 24; shift >= 0; shift -= 8) m_record.push_back(static_cast<char>(size >> shift));
    for (char16_t c : text) {
        m_record.push_back(static_cast<char>(c));
        m_record.push_back(static_cast<char>(c >> 8));
    }
}

uint32_t ModuleWriter::add_null() {
    begin_record(ConstantType::Null);
    return intern();
}

uint32_t ModuleWriter::add_nan() {
    begin_record(ConstantType::NaN);
    return intern();
}

uint32_t ModuleWriter::add_boolean(bool value) {
    begin_record(ConstantType::Boolean);
    m_record.push_back(static_cast<char>(value ? 1 : 0));
    return intern();
}

uint32_t ModuleWriter::add_integer(int64_t value) {
    begin_record(ConstantType::Integer);
    auto bits = static_cast<uint64_t>(value);
    for (int shift = 56; shift >= 0; shift -= 8) m_record.push_back(static_cast<char>(bits >> shift));
    return intern();
}

uint32_t ModuleWriter::add_number(double value) {
    // Little-endian, unlike every other field of the sections.
    begin_record(ConstantType::Number);
    auto bits = std::bit_cast<uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8) m_record.push_back(static_cast<char>(bits >> shift));
    return intern();
}

uint32_t ModuleWriter::add_string(std::u16string_view text) {
    begin_record(ConstantType::String);
    put_record_utf16(text);
    return intern();
}

uint32_t ModuleWriter::add_name(std::string_view name) {
    assert(name.find('\0') == std::string_view::npos && "a name ends at its first zero byte");
    begin_record(ConstantType::Name);
    m_record.append(name);
    m_record.push_back(0);
    return intern();
}

uint32_t ModuleWriter::add_regexp(std::u16string_view pattern, uint8_t flags) {
    begin_record(ConstantType::RegExp);
    m_record.push_back(static_cast<char>(flags));
    put_record_utf16(pattern);
    return intern();
}

uint32_t ModuleWriter::add_constant(const ModuleConstant& c) {
    switch (c.type) {
    case ConstantType::Null:
        return add_null();
    case ConstantType::NaN:
        return add_nan();
    case ConstantType::Boolean:
        return add_boolean(c.boolean);
    case ConstantType::Integer:
        return add_integer(c.integer);
    case ConstantType::Number:
        return add_number(c.number);
    case ConstantType::String:
        return add_string(c.text);
    case ConstantType::Name:
        return add_name(c.name);
    case ConstantType::RegExp:
        return add_regexp(c.text, c.regexp_flags);
    }
    return add_null();
}

void ModuleWriter::add_function(std::string_view name, uint32_t offset) {
    assert(name.find('\0') == std::string_view::npos && "a name ends at its first zero byte");
    m_functions.insert(m_functions.end(), name.begin(), name.end());
    m_functions.push_back(0);
    put_u32_be(m_functions, offset);
    ++m_function_count;
}

uint32_t ModuleWriter::emit(Op op) {
    assert(opcode_info(static_cast<uint8_t>(op)).operand == OperandKind::None);
    uint32_t at = code_size();
    m_code.push_back(static_cast<uint8_t>(op));
    return at;
}

uint32_t ModuleWriter::emit(Op op, int64_t operand) {
    uint32_t at = code_size();
    OperandKind kind = opcode_info(static_cast<uint8_t>(op)).operand;
    m_code.push_back(static_cast<uint8_t>(op));
    switch (kind) {
    case OperandKind::None:
        assert(!"emit(op, operand) on an instruction without operand");
        break;
    case OperandKind::Byte:
        assert(operand >= -128 && operand <= 255);
        m_code.push_back(static_cast<uint8_t>(operand));
        break;
    case OperandKind::Short:
        assert(operand >= -32768 && operand <= 65535);
        m_code.push_back(static_cast<uint8_t>(operand >> 8));
        m_code.push_back(static_cast<uint8_t>(operand));
        break;
    default:
        assert(operand >= INT32_MIN && operand <= UINT32_MAX);
        put_u32_be(m_code, static_cast<uint32_t>(operand));
        break;
    }
    return at;
}

void ModuleWriter::patch_jump(uint32_t jump, uint32_t target) {
    assert(jump + jump_size <= m_code.size() && is_jump(static_cast<Op>(m_code[jump])));
    int64_t after = static_cast<int64_t>(jump) + jump_size;
    auto displacement = static_cast<uint32_t>(static_cast<int64_t>(target) - after);
    for (int i = 0; i < 4; ++i) m_code[jump + 1 + i] = static_cast<uint8_t>(displacement >> (24 - 8 * i));
}

void ModuleWriter::add_source(std::string_view name) {
    m_debug.push_back(1);
    put_u32_be(m_debug, static_cast<uint32_t>(name.size()));
    m_debug.insert(m_debug.end(), name.begin(), name.end());
}

void ModuleWriter::add_line(uint32_t offset, uint32_t line) {
    m_debug.push_back(2);
    put_u32_be(m_debug, offset);
    put_u32_be(m_debug, line);
}

size_t ModuleWriter::module_size() const {
    return header_size + m_code.size() + m_constants.size() + 4 + m_functions.size() + m_debug.size();
}

bool ModuleWriter::write(const std::function<bool(const uint8_t* bytes, size_t size)>& sink) const {
    uint8_t count[4];
    count[0] = static_cast<uint8_t>(m_function_count >> 24);
    count[1] = static_cast<uint8_t>(m_function_count >> 16);
    count[2] = static_cast<uint8_t>(m_function_count >> 8);
    count[3] = static_cast<uint8_t>(m_function_count);
    const size_t sizes[4] = {m_code.size(), m_constants.size(), sizeof count + m_functions.size(), m_debug.size()};

    uint8_t header[header_size];
    std::fill(std::begin(header), std::end(header), 0xFF);  // bytes 52..55 stay: the table's terminator
    header[0] = 'Q';
    header[1] = 'S';
    header[2] = '1';
    header[3] = 'b';
    std::mt19937 random(m_id_seed);
    size_t offset = header_size;
    for (uint32_t type = 0; type < 4; ++type) {
        uint8_t* entry = header + 4 + 12 * type;
        put_u32_le(entry, static_cast<uint32_t>(random()) << 8 | type);
        put_u32_le(entry + 4, static_cast<uint32_t>(offset));
        put_u32_le(entry + 8, static_cast<uint32_t>(sizes[type]));
        offset += sizes[type];
    }
    auto put = [&sink](const uint8_t* bytes, size_t size) { return size == 0 || sink(bytes, size); };
    return put(header, sizeof header) && put(m_code.data(), m_code.size()) &&
           put(m_constants.data(), m_constants.size()) && put(count, sizeof count) &&
           put(m_functions.data(), m_functions.size()) && put(m_debug.data(), m_debug.size());
}

std::vector<uint8_t> ModuleWriter::finish() const {
    std::vector<uint8_t> out;
    out.reserve(module_size());
    write([&out](const uint8_t* bytes, size_t size) {
        out.insert(out.end(), bytes, bytes + size);
        return true;
    });
    return out;
}

}  // namespace quill::vm
