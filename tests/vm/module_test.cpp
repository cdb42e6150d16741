#include "engine/vm/module.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "engine/vm/module_writer.h"
#include "tests/vm/assembler.h"

namespace quill::vm {
namespace {

using Bytes = std::vector<uint8_t>;

void put_le(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_be(Bytes& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A container laid out by hand: magic, one table entry { id, offset, size } per section in the
// order given, the terminator, then the sections back to back.
Bytes container(const std::vector<std::pair<uint32_t, Bytes>>& sections) {
    Bytes out{'Q', 'S', '1', 'b'};
    auto offset = static_cast<uint32_t>(4 + 12 * sections.size() + 4);
    for (const auto& [id, bytes] : sections) {
        put_le(out, id);
        put_le(out, offset);
        put_le(out, static_cast<uint32_t>(bytes.size()));
        offset += static_cast<uint32_t>(bytes.size());
    }
    put_le(out, 0xFFFFFFFF);
    for (const auto& [id, bytes] : sections) out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

// A function table with the count written as given.
Bytes function_table(uint32_t count, const std::vector<std::pair<std::string, uint32_t>>& entries) {
    Bytes out;
    put_be(out, count);
    for (const auto& [name, offset] : entries) {
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
        put_be(out, offset);
    }
    return out;
}

std::optional<Module> read(const Bytes& bytes) { return read_module(bytes.data(), bytes.size()); }

ParseError parse(std::vector<Section> sections, ParsedModule* out) {
    Module m;
    m.sections = std::move(sections);
    return parse_module(m, out);
}

ParsedModule parse_ok(const Bytes& bytes) {
    ParsedModule parsed;
    std::optional<Module> module = read(bytes);
    EXPECT_TRUE(module.has_value());
    EXPECT_EQ(module ? parse_module(*module, &parsed) : ParseError::None, ParseError::None);
    return parsed;
}

TEST(ModuleReader, WriterLayoutAndIdBits) {
    auto build = [](uint32_t seed) {
        ModuleWriter w(seed);
        w.begin_function(".main");
        w.emit(Op::PUSH_1);
        w.add_integer(5);
        return w.finish();
    };
    Bytes bytes = build(7);
    // Four entries (types 0 to 3, in order), the terminator at 52, the code at 56, sections back
    // to back, an empty debug section.
    Bytes expected_table;
    uint32_t sizes[4] = {1, 9, 4 + 6 + 4, 0};
    uint32_t offset = 56;
    for (uint32_t type = 0; type < 4; ++type) {
        put_le(expected_table, type | (bytes[4 + 12 * type + 1] | bytes[4 + 12 * type + 2] << 8 |
                                       bytes[4 + 12 * type + 3] << 16) << 8);
        put_le(expected_table, offset);
        put_le(expected_table, sizes[type]);
        offset += sizes[type];
    }
    put_le(expected_table, 0xFFFFFFFF);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{'Q', 'S', '1', 'b'}));
    EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 56), expected_table);
    EXPECT_EQ(bytes.size(), offset);
    EXPECT_EQ(bytes[56], static_cast<uint8_t>(Op::PUSH_1));

    // One seed, one module; another seed changes the id words' upper 24 bits and nothing else.
    EXPECT_EQ(build(7), bytes);
    Bytes other = build(8);
    ASSERT_EQ(other.size(), bytes.size());
    int differing = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        bool id_bits = i >= 4 && i < 52 && (i - 4) % 12 >= 1 && (i - 4) % 12 <= 3;
        EXPECT_TRUE(id_bits || bytes[i] == other[i]) << "byte " << i;
        differing += bytes[i] != other[i];
    }
    EXPECT_GT(differing, 0);
}

TEST(ModuleReader, HashLineIsSkipped) {
    Bytes plain = testing::assemble_or_fail(".function .main\nPUSH_CONST \"hi\"\nRETURN\n");
    Bytes with_line{'#', '!', 'q', 'u', 'i', 'l', 'l', ' ', '-', 'x', '\n'};
    with_line.insert(with_line.end(), plain.begin(), plain.end());
    ParsedModule parsed = parse_ok(with_line);
    EXPECT_EQ(parsed.code, parse_ok(plain).code);
    ASSERT_EQ(parsed.constants.size(), 1u);
    EXPECT_EQ(parsed.constants[0].text, u"hi");

    // Only a first byte of '#' starts such a line, and the line needs its line feed.
    EXPECT_FALSE(read({'#', 'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF, 0xFF}).has_value());
    plain.insert(plain.begin(), ' ');
    EXPECT_FALSE(read(plain).has_value());
}

TEST(ModuleReader, AnyOrderAnyIdBitsFirstSectionsAndLastDebug) {
    Bytes bytes = container({
        {0xABCDEF00 | section_debug, {1, 0, 0, 0, 1, 'a'}},
        {0x12345600 | section_functions, function_table(1, {{"first", 0}})},
        {0xFFFFFF00 | section_constants, {static_cast<uint8_t>(ConstantType::NaN)}},
        {0x00000100 | section_code, {static_cast<uint8_t>(Op::PUSH_1)}},
        {0xFFFFFF07, {1, 2, 3}},  // an unknown type
        {section_code, {static_cast<uint8_t>(Op::PUSH_2), static_cast<uint8_t>(Op::PUSH_3)}},
        {section_constants, {static_cast<uint8_t>(ConstantType::Null)}},
        {section_functions, function_table(1, {{"second", 0}})},
        {0x77777700 | section_debug, {1, 0, 0, 0, 1, 'b'}},
    });
    std::optional<Module> module = read(bytes);
    ASSERT_TRUE(module.has_value());
    EXPECT_EQ(module->sections.size(), 4u);  // repeats and unknown types are not kept
    ParsedModule parsed = parse_ok(bytes);
    EXPECT_EQ(parsed.code, Bytes{static_cast<uint8_t>(Op::PUSH_1)});
    EXPECT_EQ(parsed.constants.at(0).type, ConstantType::NaN);
    EXPECT_EQ(parsed.functions.at(0).name, "first");
    EXPECT_EQ(parsed.functions.at(0).end, 1u);
    EXPECT_EQ(parsed.debug.at(0).source_name, "b");

    // Nothing but a terminator: no code, constants, functions or debug information.
    ParsedModule empty = parse_ok({'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_TRUE(empty.code.empty() && empty.constants.empty() && empty.functions.empty());
    EXPECT_FALSE(empty.has_debug);
    // An empty constants section; a function in a module without code is empty.
    Bytes main_only = function_table(1, {{".main", 0}});
    parsed = parse_ok(container({{section_constants, {}}, {section_functions, main_only}}));
    EXPECT_TRUE(parsed.constants.empty());
    EXPECT_EQ(parsed.functions.at(0).end, 0u);
}

TEST(ModuleReader, RejectsShortInputAndBrokenTables) {
    EXPECT_FALSE(read_module(nullptr, 0).has_value());
    std::vector<Bytes> bad = {
        {},
        {'Q', 'S', '1', 'b'},                          // under 8 bytes from the magic
        {'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF},        //
        {'#', '\n', 'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF},
        {'Q', 'S', '1', 'a', 0xFF, 0xFF, 0xFF, 0xFF},  // magic
        {'Q', 'S', '1', 'b', 0, 0, 0, 0, 0, 0, 0, 0},  // an entry cut short
        // No terminator: the table runs into the section bytes, then off the end.
        {'Q', 'S', '1', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0},
    };
    for (const Bytes& b : bad) EXPECT_FALSE(read(b).has_value()) << b.size() << " bytes";
}

TEST(ModuleReader, SectionBoundsCountFromTheMagic) {
    auto with_entry = [&](uint32_t offset, uint32_t size) {
        Bytes b{'#', ' ', 'x', '\n', 'Q', 'S', '1', 'b'};
        put_le(b, section_code);
        put_le(b, offset);
        put_le(b, size);
        put_le(b, 0xFFFFFFFF);
        b.insert(b.end(), {9, 9, 9, 9});
        return read(b);
    };
    // 24 bytes from the magic: 4 magic, 12 entry, 4 terminator, 4 code.
    std::optional<Module> exact = with_entry(20, 4);
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(exact->first(section_code)->bytes, (Bytes{9, 9, 9, 9}));
    EXPECT_TRUE(with_entry(24, 0).has_value());
    EXPECT_TRUE(with_entry(0, 24).has_value());  // sections may overlap the header
    EXPECT_FALSE(with_entry(20, 5).has_value());
    EXPECT_FALSE(with_entry(25, 0).has_value());
    EXPECT_FALSE(with_entry(0xFFFFFFFF, 2).has_value());  // offset + size wraps in 32 bits
    EXPECT_FALSE(with_entry(2, 0xFFFFFFFF).has_value());
}

TEST(ModuleReader, ManyEntriesOverTheSameBytesAreNotCopiedEachTime) {
    // 20000 entries, each naming the whole input: copying them all would take gigabytes.
    const uint32_t count = 20000;
    auto total = static_cast<uint32_t>(4 + 12 * count + 4);
    Bytes b{'Q', 'S', '1', 'b'};
    for (uint32_t i = 0; i < count; ++i) {
        put_le(b, i % 5);
        put_le(b, 0);
        put_le(b, total);
    }
    put_le(b, 0xFFFFFFFF);
    std::optional<Module> module = read(b);
    ASSERT_TRUE(module.has_value());
    EXPECT_EQ(module->sections.size(), 4u);
}

TEST(ModuleReader, FromFile) {
    Bytes plain = testing::assemble_or_fail(".function .main\nPUSH_INT 7\n");
    for (size_t cut : {0, 1}) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        std::fputs("#!quill\n", file);
        std::fwrite(plain.data(), 1, plain.size() - cut, file);
        std::rewind(file);
        std::optional<Module> module = read_module_file(file);
        std::fclose(file);
        if (cut == 0) {
            ASSERT_TRUE(module.has_value());
            EXPECT_EQ(module->first(section_code)->bytes, Bytes(plain.begin() + 56, plain.begin() + 61));
        } else {
            EXPECT_FALSE(module.has_value());  // the last section runs past the end
        }
    }
}

TEST(ModuleParser, ConstantRecords) {
    Bytes records{
        1,                                                  // Null
        13,                                                 // NaN
        2, 7,                                               // Boolean: any non-zero byte
        3, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // Integer, big-endian
        3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE,  //
        5, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F,                    // Number 1.5, little-endian
        4, 0, 0, 0, 5, 'h', 0, 'i', 0, 'x',                 // String of odd length: "hi"
        4, 0, 0, 0, 0,                                      // empty String
        10, 'p', 'r', 'i', 'n', 't', 0,                     // Name
        11, 6, 0, 0, 0, 4, 'a', 0, 0x3C, 0xD8,              // RegExp /a\uD83C/ with flags 6
    };
    ParsedModule p;
    ASSERT_EQ(parse({{section_constants, records}}, &p), ParseError::None);
    ASSERT_EQ(p.constants.size(), 10u);
    EXPECT_EQ(p.constants[0].type, ConstantType::Null);
    EXPECT_EQ(p.constants[1].type, ConstantType::NaN);
    EXPECT_TRUE(p.constants[2].boolean);
    EXPECT_EQ(p.constants[3].integer, 0x0102030405060708);
    EXPECT_EQ(p.constants[4].integer, -2);
    EXPECT_EQ(p.constants[5].number, 1.5);
    EXPECT_EQ(p.constants[6].text, u"hi");
    EXPECT_EQ(p.constants[7].type, ConstantType::String);
    EXPECT_EQ(p.constants[7].text, u"");
    EXPECT_EQ(p.constants[8].name, "print");
    EXPECT_EQ(p.constants[9].type, ConstantType::RegExp);
    EXPECT_EQ(p.constants[9].regexp_flags, 6);
    EXPECT_EQ(p.constants[9].text, u"a\xD83C");
}

TEST(ModuleParser, BadRecords) {
    ParsedModule p;
    for (uint8_t type : {0, 6, 7, 12, 14, 255}) {
        EXPECT_EQ(parse({{section_constants, {1, type}}}, &p), ParseError::UnknownRecord) << int(type);
    }
    EXPECT_EQ(parse({{section_debug, {3}}}, &p), ParseError::UnknownRecord);
    // Every kind of record cut short.
    std::vector<Bytes> cut_constants = {
        {2},       {3, 1, 2, 3, 4, 5, 6, 7}, {5, 0, 0}, {4, 0, 0, 0}, {4, 0, 0, 0, 3, 'a', 0},
        {4, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},    {10, 'a'}, {11},         {11, 1, 0, 0, 0, 2, 'a'},
    };
    for (const Bytes& c : cut_constants) {
        EXPECT_EQ(parse({{section_constants, c}}, &p), ParseError::Truncated) << int(c[0]) << "/" << c.size();
    }
    EXPECT_EQ(parse({{section_debug, {2, 0, 0, 0, 1, 0, 0}}}, &p), ParseError::Truncated);
    EXPECT_EQ(parse({{section_debug, {1, 0, 0, 0, 9, 'x'}}}, &p), ParseError::Truncated);
    EXPECT_TRUE(p.constants.empty());  // a failed parse leaves nothing behind
}

TEST(ModuleParser, NamesUpTo255Bytes) {
    for (size_t length : {255, 256, 1000}) {
        std::string name(length, 'n');
        ParseError expected = length <= max_name_length ? ParseError::None : ParseError::NameTooLong;
        ModuleWriter constant(1);
        constant.add_name(name);
        ModuleWriter function(1);
        function.add_function(name, 0);
        ParsedModule c;
        ParsedModule f;
        EXPECT_EQ(parse_module(*read(constant.finish()), &c), expected) << length;
        EXPECT_EQ(parse_module(*read(function.finish()), &f), expected) << length;
        EXPECT_EQ(c.constants.empty() ? "" : c.constants[0].name, length <= 255 ? name : "");
        EXPECT_EQ(f.functions.empty() ? "" : f.functions[0].name, length <= 255 ? name : "");
    }
    // 256 bytes without a zero byte at the very end of the section: too long, not cut short.
    Bytes unterminated(1 + 256, 'n');
    unterminated[0] = 10;
    ParsedModule p;
    EXPECT_EQ(parse({{section_constants, unterminated}}, &p), ParseError::NameTooLong);
}

TEST(ModuleParser, FunctionTable) {
    Section code{section_code, Bytes(10, static_cast<uint8_t>(Op::NOP))};
    ParsedModule p;
    Bytes table = function_table(4, {{".main", 0}, {"f", 4}, {"e", 4}, {"g", 10}});
    ASSERT_EQ(parse({code, {section_functions, table}}, &p), ParseError::None);
    ASSERT_EQ(p.functions.size(), 4u);
    EXPECT_EQ(p.functions[0].end, 4u);
    EXPECT_EQ(p.functions[1].name, "f");
    EXPECT_EQ(p.functions[1].end, 4u);  // equal offsets: an empty function
    EXPECT_EQ(p.functions[2].end, 10u);
    EXPECT_EQ(p.functions[3].end, 10u);  // an empty function at the very end
    EXPECT_EQ(parse({code, {section_functions, function_table(0, {})}}, &p), ParseError::None);
    EXPECT_TRUE(p.functions.empty());

    Bytes trailing = function_table(1, {{"a", 0}});
    trailing.push_back(0);
    const std::pair<const char*, Bytes> bad[] = {
        {"count above the entries", function_table(3, {{"a", 0}, {"b", 1}})},
        {"huge count", function_table(0xFFFFFFFF, {{"a", 0}})},
        {"count below the entries", function_table(1, {{"a", 0}, {"b", 1}})},
        {"a stray byte after the entries", trailing},
        {"unsorted", function_table(2, {{"a", 5}, {"b", 1}})},
        {"offset past the code", function_table(1, {{"a", 11}})},
        {"no count", {0, 0, 0}},
        {"entry without offset", {0, 0, 0, 1, 'a', 0, 0, 0}},
        {"entry without zero byte", {0, 0, 0, 1, 'a', 'b'}},
    };
    for (const auto& [what, table] : bad) {
        EXPECT_EQ(parse({code, {section_functions, table}}, &p), ParseError::BadFunctionTable) << what;
    }
}

TEST(ModuleWriter, RoundTripWithInterning) {
    ModuleWriter w(3);
    EXPECT_EQ(w.add_integer(42), 0u);
    EXPECT_EQ(w.add_number(42.0), 1u);  // another type
    EXPECT_EQ(w.add_number(0.0), 2u);
    EXPECT_EQ(w.add_number(-0.0), 3u);  // another bit pattern
    EXPECT_EQ(w.add_string(u"x"), 4u);
    EXPECT_EQ(w.add_name("x"), 5u);     // a name is not a string
    EXPECT_EQ(w.add_regexp(u"x", 1), 6u);
    EXPECT_EQ(w.add_regexp(u"x", 2), 7u);
    EXPECT_EQ(w.add_boolean(true), 8u);
    EXPECT_EQ(w.add_string(std::u16string_view(u"\xD800\0z", 3)), 9u);
    // The same constants again.
    EXPECT_EQ(w.add_integer(42), 0u);
    EXPECT_EQ(w.add_number(0.0), 2u);
    EXPECT_EQ(w.add_name("x"), 5u);
    EXPECT_EQ(w.add_regexp(u"x", 2), 7u);
    EXPECT_EQ(w.add_boolean(true), 8u);
    EXPECT_EQ(w.constant_count(), 10u);

    w.begin_function(".main");
    uint32_t jump = w.emit(Op::JMP, 0);
    w.emit(Op::GET_GLOBAL, w.add_name("x"));
    uint32_t target = w.emit(Op::PUSH_CONST, 9);
    w.patch_jump(jump, target);
    w.begin_function("f");
    w.emit(Op::GET_LOCAL, -2);
    w.add_source("a.qls");
    w.add_line(target, 3);

    ParsedModule p = parse_ok(w.finish());
    ASSERT_EQ(p.constants.size(), 10u);
    EXPECT_EQ(p.constants[1].type, ConstantType::Number);
    EXPECT_EQ(p.constants[1].number, 42.0);
    EXPECT_TRUE(std::signbit(p.constants[3].number));
    EXPECT_EQ(p.constants[5].name, "x");
    EXPECT_EQ(p.constants[7].regexp_flags, 2);
    EXPECT_EQ(p.constants[9].text, std::u16string(u"\xD800\0z", 3));
    ASSERT_EQ(p.functions.size(), 2u);
    EXPECT_EQ(p.functions[0].end, 15u);
    EXPECT_EQ(p.functions[1].end, 18u);
    Instruction ins;
    ASSERT_TRUE(decode_instruction(p.code, jump, 15, &ins));
    EXPECT_EQ(ins.offset + ins.size + ins.operand, static_cast<int64_t>(target));
    ASSERT_EQ(p.debug.size(), 2u);
    EXPECT_EQ(p.debug[0].source_name, "a.qls");
    EXPECT_EQ(p.debug[1].offset, target);
    EXPECT_EQ(p.debug[1].line, 3u);
}

// The interning index grows as constants come; a constant seen before keeps its first index
// however many came between, and records that share a prefix stay apart.
TEST(ModuleWriter, InterningAcrossManyConstants) {
    ModuleWriter w(5);
    for (uint32_t i = 0; i < 3000; ++i) {
        ASSERT_EQ(w.add_name("n" + std::to_string(i)), 2 * i);
        ASSERT_EQ(w.add_integer(i), 2 * i + 1);
        ASSERT_EQ(w.add_name("n" + std::to_string(i / 2)), 2 * (i / 2));
    }
    EXPECT_EQ(w.add_name("n1"), 2u);
    EXPECT_EQ(w.add_name("n"), 6000u);
    EXPECT_EQ(w.add_name("n10"), 20u);
    EXPECT_EQ(w.constant_count(), 6001u);
    ParsedModule p = parse_ok(w.finish());
    ASSERT_EQ(p.constants.size(), 6001u);
    EXPECT_EQ(p.constants[5998].name, "n2999");
    EXPECT_EQ(p.constants[5999].integer, 2999);
}

// A module handed out in pieces is the module finish() gives, and a sink that fails ends it.
TEST(ModuleWriter, WrittenInPieces) {
    ModuleWriter w(9);
    w.begin_function(".main");
    w.emit(Op::PUSH_CONST, w.add_string(u"piece"));
    w.add_source("p.qls");
    w.add_line(0, 1);
    std::vector<uint8_t> joined;
    int pieces = 0;
    EXPECT_TRUE(w.write([&](const uint8_t* bytes, size_t size) {
        joined.insert(joined.end(), bytes, bytes + size);
        ++pieces;
        return true;
    }));
    EXPECT_GT(pieces, 1);
    EXPECT_EQ(joined, w.finish());
    EXPECT_EQ(joined.size(), w.module_size());
    pieces = 0;
    EXPECT_FALSE(w.write([&](const uint8_t*, size_t) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);
}

TEST(InstructionDecoder, OperandsAndSignExtension) {
    // Byte and short operands read sign-extended.
    ParsedModule p = parse_ok(testing::assemble_or_fail(R"(.function .main
        POP
        ROLL -2
        NIP 255
        GET_LOCAL 65534
        JMP -5
        PUSH_INT -2147483648
        GET_GLOBAL #4294967295
        PUSH_CONST #2147483648
        .byte 0x20 0x6E
    )"));
    struct Expect {
        uint8_t opcode;
        uint8_t size;
        int64_t operand;
    };
    const Expect expected[] = {
        {103, 1, 0},          {99, 2, -2},         {101, 2, -1}, {84, 3, -2}, {53, 5, -5}, {89, 5, INT32_MIN},
        {88, 5, 4294967295}, {98, 5, 2147483648}, {0x20, 1, 0}, {0x6E, 1, 0},
    };
    uint32_t offset = 0;
    for (const Expect& e : expected) {
        Instruction ins;
        ASSERT_TRUE(decode_instruction(p.code, offset, 100, &ins)) << "offset " << offset;
        EXPECT_EQ(ins.opcode, e.opcode) << "offset " << offset;
        EXPECT_EQ(ins.size, e.size) << "offset " << offset;
        EXPECT_EQ(ins.operand, e.operand) << "offset " << offset;
        offset += ins.size;
    }
    EXPECT_EQ(offset, p.code.size());
}

TEST(InstructionDecoder, TruncatedOperands) {
    Bytes code{static_cast<uint8_t>(Op::TRY_POP), static_cast<uint8_t>(Op::RESERVE), 0,
               static_cast<uint8_t>(Op::PUSH_CONST), 0, 0, 0};
    Instruction ins;
    // Cut by the `end` given, even where the code goes on.
    EXPECT_FALSE(decode_instruction(code, 0, 1, &ins));
    EXPECT_EQ(ins.opcode, static_cast<uint8_t>(Op::TRY_POP));
    EXPECT_EQ(ins.size, 2);
    EXPECT_TRUE(decode_instruction(code, 0, 2, &ins));
    EXPECT_FALSE(decode_instruction(code, 1, 3, &ins));
    // Cut by the end of the code, even where `end` says more.
    EXPECT_FALSE(decode_instruction(code, 3, 100, &ins));
    EXPECT_EQ(ins.size, 5);
    // Nothing left at all.
    EXPECT_FALSE(decode_instruction(code, 7, 7, &ins));
    EXPECT_FALSE(decode_instruction(code, 9, 100, &ins));
}

}  // namespace
}  // namespace quill::vm
