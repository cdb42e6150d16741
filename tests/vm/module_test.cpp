#include "engine/vm/module.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

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

struct RawSection {
    uint32_t id;  // full id word: random bits and type
    Bytes bytes;
};

// A container laid out by hand: magic, one table entry per section in the given order, the
// terminator, then the sections back to back.
Bytes container(const std::vector<RawSection>& sections) {
    Bytes out{'Q', 'S', '1', 'b'};
    auto offset = static_cast<uint32_t>(4 + 12 * sections.size() + 4);
    for (const RawSection& s : sections) {
        put_le(out, s.id);
        put_le(out, offset);
        put_le(out, static_cast<uint32_t>(s.bytes.size()));
        offset += static_cast<uint32_t>(s.bytes.size());
    }
    put_le(out, 0xFFFFFFFF);
    for (const RawSection& s : sections) out.insert(out.end(), s.bytes.begin(), s.bytes.end());
    return out;
}

std::optional<Module> read(const Bytes& bytes) { return read_module(bytes.data(), bytes.size()); }

// A function table of the given entries, the count written as given.
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

Module module_of(std::vector<Section> sections) {
    Module m;
    m.sections = std::move(sections);
    return m;
}

ParseError parse(std::vector<Section> sections, ParsedModule* out) {
    return parse_module(module_of(std::move(sections)), out);
}

ParsedModule parse_ok(const Bytes& bytes) {
    ParsedModule parsed;
    std::optional<Module> module = read(bytes);
    EXPECT_TRUE(module.has_value());
    if (module) {
        EXPECT_EQ(parse_module(*module, &parsed), ParseError::None);
    }
    return parsed;
}

// ---- reading the container ----

TEST(ModuleReader, WriterLayout) {
    ModuleWriter w(7);
    w.begin_function(".main");
    w.emit(Op::PUSH_1);
    w.emit(Op::RETURN);
    w.add_integer(5);
    Bytes bytes = w.finish();

    ASSERT_GE(bytes.size(), 56u);
    EXPECT_EQ(std::memcmp(bytes.data(), "QS1b", 4), 0);
    uint32_t expected_offset = 56;
    for (uint32_t type = 0; type < 4; ++type) {
        const uint8_t* entry = bytes.data() + 4 + 12 * type;
        EXPECT_EQ(entry[0], type);
        uint32_t offset = entry[4] | entry[5] << 8 | entry[6] << 16 | static_cast<uint32_t>(entry[7]) << 24;
        uint32_t size = entry[8] | entry[9] << 8 | entry[10] << 16 | static_cast<uint32_t>(entry[11]) << 24;
        EXPECT_EQ(offset, expected_offset) << "section " << type;
        expected_offset += size;
        if (type == section_code) {
            EXPECT_EQ(size, 2u);
        }
        if (type == section_debug) {  // no debug records
            EXPECT_EQ(size, 0u);
        }
    }
    EXPECT_EQ(expected_offset, bytes.size());
    EXPECT_EQ(Bytes(bytes.begin() + 52, bytes.begin() + 56), Bytes(4, 0xFF));
    EXPECT_EQ(bytes[56], static_cast<uint8_t>(Op::PUSH_1));

    // The seed fixes the id bits; another seed changes only the id words' upper bytes.
    EXPECT_EQ(ModuleWriter(7).finish(), ModuleWriter(7).finish());
    ModuleWriter other(8);
    other.begin_function(".main");
    other.emit(Op::PUSH_1);
    other.emit(Op::RETURN);
    other.add_integer(5);
    Bytes other_bytes = other.finish();
    ASSERT_EQ(other_bytes.size(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        bool id_bits = i >= 4 && i < 52 && (i - 4) % 12 >= 1 && (i - 4) % 12 <= 3;
        if (!id_bits) {
            EXPECT_EQ(bytes[i], other_bytes[i]) << "byte " << i;
        }
    }
    EXPECT_NE(bytes, other_bytes);
}

TEST(ModuleReader, HashLineIsSkipped) {
    Bytes plain = testing::assemble_or_fail(".function .main\nPUSH_CONST \"hi\"\nRETURN\n");
    std::string line = "#!/usr/bin/env quill -x\n";
    Bytes with_line(line.begin(), line.end());
    with_line.insert(with_line.end(), plain.begin(), plain.end());

    ParsedModule a = parse_ok(plain);
    ParsedModule b = parse_ok(with_line);
    EXPECT_EQ(a.code, b.code);
    ASSERT_EQ(b.constants.size(), 1u);
    EXPECT_EQ(b.constants[0].text, u"hi");
    ASSERT_EQ(b.functions.size(), 1u);

    // Only a first byte of '#' starts such a line, and the line needs its line feed.
    Bytes no_newline{'#', 'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(read(no_newline).has_value());
    Bytes space_first = plain;
    space_first.insert(space_first.begin(), ' ');
    EXPECT_FALSE(read(space_first).has_value());
}

TEST(ModuleReader, IdBitsAreIgnoredAndSectionsMayComeInAnyOrder) {
    Bytes code{static_cast<uint8_t>(Op::PUSH_0), static_cast<uint8_t>(Op::RETURN)};
    Bytes constants{static_cast<uint8_t>(ConstantType::Null)};
    Bytes functions = function_table(1, {{".main", 0}});
    Bytes bytes = container({
        {0xABCDEF00 | section_debug, {}},
        {0x12345600 | section_functions, functions},
        {0xFFFFFF00 | section_constants, constants},
        {0x00000100 | section_code, code},
        {0xFFFFFF07, {1, 2, 3}},  // an unknown type: ignored
    });
    ParsedModule parsed = parse_ok(bytes);
    EXPECT_EQ(parsed.code, code);
    ASSERT_EQ(parsed.constants.size(), 1u);
    EXPECT_EQ(parsed.constants[0].type, ConstantType::Null);
    ASSERT_EQ(parsed.functions.size(), 1u);
    EXPECT_EQ(parsed.functions[0].end, 2u);
    EXPECT_TRUE(parsed.has_debug);
}

TEST(ModuleReader, RepeatedSectionsFirstWinsExceptDebug) {
    Bytes debug1{1, 0, 0, 0, 1, 'a'};
    Bytes debug2{1, 0, 0, 0, 1, 'b'};
    Bytes bytes = container({
        {section_debug, debug1},
        {section_code, {static_cast<uint8_t>(Op::PUSH_1)}},
        {section_constants, {static_cast<uint8_t>(ConstantType::NaN)}},
        {section_functions, function_table(1, {{"first", 0}})},
        {section_code, {static_cast<uint8_t>(Op::PUSH_2), static_cast<uint8_t>(Op::PUSH_3)}},
        {section_constants, {static_cast<uint8_t>(ConstantType::Null)}},
        {section_functions, function_table(1, {{"second", 0}})},
        {section_debug, debug2},
    });
    std::optional<Module> module = read(bytes);
    ASSERT_TRUE(module.has_value());
    EXPECT_EQ(module->sections.size(), 4u);  // repeats are not kept
    ParsedModule parsed = parse_ok(bytes);
    EXPECT_EQ(parsed.code, Bytes{static_cast<uint8_t>(Op::PUSH_1)});
    EXPECT_EQ(parsed.constants[0].type, ConstantType::NaN);
    EXPECT_EQ(parsed.functions[0].name, "first");
    ASSERT_EQ(parsed.debug.size(), 1u);
    EXPECT_EQ(parsed.debug[0].source_name, "b");
}

TEST(ModuleReader, EmptyAndMissingSections) {
    // Nothing but a terminator: a module without code, constants or functions.
    ParsedModule empty = parse_ok({'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_TRUE(empty.code.empty());
    EXPECT_TRUE(empty.constants.empty());
    EXPECT_TRUE(empty.functions.empty());
    EXPECT_FALSE(empty.has_debug);

    // An empty constants section; a function at offset 0 of a module without code is empty.
    Bytes main_only = function_table(1, {{".main", 0}});
    ParsedModule parsed = parse_ok(container({{section_constants, {}}, {section_functions, main_only}}));
    EXPECT_TRUE(parsed.constants.empty());
    ASSERT_EQ(parsed.functions.size(), 1u);
    EXPECT_EQ(parsed.functions[0].offset, 0u);
    EXPECT_EQ(parsed.functions[0].end, 0u);
}

TEST(ModuleReader, RejectsShortOrForeignInput) {
    EXPECT_FALSE(read_module(nullptr, 0).has_value());
    EXPECT_FALSE(read({}).has_value());
    EXPECT_FALSE(read({'Q', 'S', '1', 'b'}).has_value());                       // under 8 bytes
    EXPECT_FALSE(read({'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF}).has_value());     // 7 bytes
    EXPECT_FALSE(read({'Q', 'S', '1', 'a', 0xFF, 0xFF, 0xFF, 0xFF}).has_value());  // magic
    EXPECT_FALSE(read({'#', '\n', 'Q', 'S', '1', 'b', 0xFF, 0xFF, 0xFF}).has_value());
}

TEST(ModuleReader, RejectsBrokenSectionTables) {
    Bytes good = container({{section_code, {1, 2, 3}}});
    ASSERT_TRUE(read(good).has_value());

    // No terminator: the table runs into the section bytes, then off the end.
    Bytes unterminated{'Q', 'S', '1', 'b'};
    put_le(unterminated, section_code);
    put_le(unterminated, 0);
    put_le(unterminated, 4);
    EXPECT_FALSE(read(unterminated).has_value());
    // An entry cut short by the end of the input.
    Bytes cut{'Q', 'S', '1', 'b'};
    put_le(cut, section_code);
    put_le(cut, 0);
    EXPECT_FALSE(read(cut).has_value());
}

TEST(ModuleReader, SectionBoundsCountFromTheMagic) {
    Bytes prefix{'#', ' ', 'x', '\n'};
    auto with_entry = [&](uint32_t offset, uint32_t size) {
        Bytes b = prefix;
        b.insert(b.end(), {'Q', 'S', '1', 'b'});
        put_le(b, section_code);
        put_le(b, offset);
        put_le(b, size);
        put_le(b, 0xFFFFFFFF);
        b.insert(b.end(), {9, 9, 9, 9});
        return b;
    };
    // 24 bytes from the magic: 4 magic, 12 entry, 4 terminator, 4 code.
    std::optional<Module> exact = read(with_entry(20, 4));
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(exact->first(section_code)->bytes, (Bytes{9, 9, 9, 9}));
    EXPECT_TRUE(read(with_entry(24, 0)).has_value());
    EXPECT_TRUE(read(with_entry(0, 24)).has_value());  // sections may overlap the header
    EXPECT_FALSE(read(with_entry(20, 5)).has_value());
    EXPECT_FALSE(read(with_entry(25, 0)).has_value());
    EXPECT_FALSE(read(with_entry(0xFFFFFFFF, 2)).has_value());  // offset + size wraps in 32 bits
    EXPECT_FALSE(read(with_entry(2, 0xFFFFFFFF)).has_value());
}

TEST(ModuleReader, ManyEntriesOverTheSameBytesAreNotCopiedEachTime) {
    // 20000 entries, each naming the whole input: copying them all would take gigabytes.
    const uint32_t count = 20000;
    Bytes b{'Q', 'S', '1', 'b'};
    auto total = static_cast<uint32_t>(4 + 12 * count + 4);
    for (uint32_t i = 0; i < count; ++i) {
        put_le(b, i % 5);
        put_le(b, 0);
        put_le(b, total);
    }
    put_le(b, 0xFFFFFFFF);
    std::optional<Module> module = read(b);
    ASSERT_TRUE(module.has_value());
    EXPECT_EQ(module->sections.size(), 4u);
    for (const Section& s : module->sections) EXPECT_EQ(s.bytes.size(), total);
}

TEST(ModuleReader, FromFile) {
    Bytes plain = testing::assemble_or_fail(".function .main\nPUSH_INT 7\nRETURN\n");
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("#!quill\n", file);
    std::fwrite(plain.data(), 1, plain.size(), file);
    std::rewind(file);
    std::optional<Module> module = read_module_file(file);
    ASSERT_TRUE(module.has_value());
    ASSERT_NE(module->first(section_code), nullptr);
    EXPECT_EQ(module->first(section_code)->bytes, Bytes(plain.begin() + 56, plain.begin() + 62));

    // The same file cut one byte short: its last section runs past the end.
    std::rewind(file);
    std::FILE* cut = std::tmpfile();
    ASSERT_NE(cut, nullptr);
    std::fputs("#!quill\n", cut);
    std::fwrite(plain.data(), 1, plain.size() - 1, cut);
    std::rewind(cut);
    EXPECT_FALSE(read_module_file(cut).has_value());
    std::fclose(cut);
    std::fclose(file);
    EXPECT_FALSE(read_module_file(nullptr).has_value());
}

// ---- sections ----

TEST(ModuleParser, ConstantRecords) {
    Bytes records{
        1,                                               // Null
        13,                                              // NaN
        2, 7,                                            // Boolean: any non-zero byte
        2, 0,                                            //
        3, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // Integer, big-endian
        3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE,  //
        5, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F,                 // Number 1.5, little-endian
        4, 0, 0, 0, 5, 'h', 0, 'i', 0, 'x',              // String of odd length: "hi"
        4, 0, 0, 0, 0,                                   // empty String
        10, 'p', 'r', 'i', 'n', 't', 0,                  // Name
        10, 0,                                           // empty Name
        11, 6, 0, 0, 0, 4, 'a', 0, 0x3C, 0xD8,           // RegExp /a\uD83C/ with flags 6
    };
    ParsedModule p;
    ASSERT_EQ(parse({{section_constants, records}}, &p), ParseError::None);
    ASSERT_EQ(p.constants.size(), 12u);
    EXPECT_EQ(p.constants[0].type, ConstantType::Null);
    EXPECT_EQ(p.constants[1].type, ConstantType::NaN);
    EXPECT_TRUE(p.constants[2].boolean);
    EXPECT_FALSE(p.constants[3].boolean);
    EXPECT_EQ(p.constants[4].integer, 0x0102030405060708);
    EXPECT_EQ(p.constants[5].integer, -2);
    EXPECT_EQ(p.constants[6].number, 1.5);
    EXPECT_EQ(p.constants[7].text, u"hi");
    EXPECT_EQ(p.constants[8].type, ConstantType::String);
    EXPECT_EQ(p.constants[8].text, u"");
    EXPECT_EQ(p.constants[9].name, "print");
    EXPECT_EQ(p.constants[10].type, ConstantType::Name);
    EXPECT_EQ(p.constants[10].name, "");
    EXPECT_EQ(p.constants[11].type, ConstantType::RegExp);
    EXPECT_EQ(p.constants[11].regexp_flags, 6);
    EXPECT_EQ(p.constants[11].text, u"a\xD83C");
}

TEST(ModuleParser, BadConstantRecords) {
    ParsedModule p;
    for (uint8_t type : {0, 6, 7, 12, 14, 255}) {
        EXPECT_EQ(parse({{section_constants, {1, type}}}, &p), ParseError::UnknownRecord) << int(type);
    }
    // Every record cut short.
    std::vector<Bytes> cut = {
        {2},
        {3, 1, 2, 3, 4, 5, 6, 7},
        {5, 0, 0},
        {4, 0, 0, 0},
        {4, 0, 0, 0, 3, 'a', 0},
        {4, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
        {10, 'a', 'b'},
        {11},
        {11, 1, 0, 0, 0, 2, 'a'},
    };
    for (const Bytes& c : cut) {
        EXPECT_EQ(parse({{section_constants, c}}, &p), ParseError::Truncated)
            << int(c[0]) << " size " << c.size();
    }
    EXPECT_TRUE(p.constants.empty());  // a failed parse leaves nothing behind
}

TEST(ModuleParser, NamesUpTo255Bytes) {
    for (size_t length : {size_t{255}, size_t{256}, size_t{1000}}) {
        std::string name(length, 'n');
        ModuleWriter w(1);
        w.add_name(name);
        ParsedModule p;
        ParseError expected = length <= max_name_length ? ParseError::None : ParseError::NameTooLong;
        EXPECT_EQ(parse_module(*read(w.finish()), &p), expected) << length;
        if (expected == ParseError::None) {
            EXPECT_EQ(p.constants.at(0).name, name);
        }

        ModuleWriter f(1);
        f.add_function(name, 0);
        EXPECT_EQ(parse_module(*read(f.finish()), &p), expected) << length;
        if (expected == ParseError::None) {
            EXPECT_EQ(p.functions.at(0).name, name);
        }
    }
    // A 256-byte name without its zero byte at the very end of the section is too long, not cut.
    ParsedModule p;
    Bytes unterminated{10};
    unterminated.resize(1 + 256, 'n');
    EXPECT_EQ(parse({{section_constants, unterminated}}, &p), ParseError::NameTooLong);
}

TEST(ModuleParser, FunctionTable) {
    Section code{section_code, Bytes(10, static_cast<uint8_t>(Op::NOP))};
    ParsedModule p;
    ASSERT_EQ(parse({code, {section_functions, function_table(3, {{".main", 0}, {"f", 4}, {"g", 10}})}}, &p),
              ParseError::None);
    ASSERT_EQ(p.functions.size(), 3u);
    EXPECT_EQ(p.functions[0].end, 4u);
    EXPECT_EQ(p.functions[1].name, "f");
    EXPECT_EQ(p.functions[1].end, 10u);
    EXPECT_EQ(p.functions[2].offset, 10u);  // an empty function at the very end
    EXPECT_EQ(p.functions[2].end, 10u);

    // Equal offsets give an empty function; a count of zero with nothing after it is no function.
    Bytes same_offset = function_table(2, {{"a", 3}, {"b", 3}});
    EXPECT_EQ(parse({code, {section_functions, same_offset}}, &p), ParseError::None);
    EXPECT_EQ(p.functions[0].end, 3u);
    EXPECT_EQ(parse({code, {section_functions, function_table(0, {})}}, &p), ParseError::None);
    EXPECT_TRUE(p.functions.empty());

    struct Case {
        const char* what;
        Bytes table;
    };
    Bytes trailing = function_table(1, {{"a", 0}});
    trailing.push_back(0);
    std::vector<Case> bad = {
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
    for (const Case& c : bad) {
        EXPECT_EQ(parse({code, {section_functions, c.table}}, &p), ParseError::BadFunctionTable) << c.what;
    }
}

TEST(ModuleParser, DebugRecords) {
    ModuleWriter w(1);
    w.add_source("main.qls");
    w.add_line(0, 1);
    w.add_line(7, 0xFFFFFFFF);
    ParsedModule p = parse_ok(w.finish());
    ASSERT_TRUE(p.has_debug);
    ASSERT_EQ(p.debug.size(), 3u);
    EXPECT_EQ(p.debug[0].type, 1);
    EXPECT_EQ(p.debug[0].source_name, "main.qls");
    EXPECT_EQ(p.debug[2].offset, 7u);
    EXPECT_EQ(p.debug[2].line, 0xFFFFFFFFu);

    EXPECT_EQ(parse({{section_debug, {3}}}, &p), ParseError::UnknownRecord);
    EXPECT_EQ(parse({{section_debug, {2, 0, 0, 0, 1, 0, 0}}}, &p), ParseError::Truncated);
    EXPECT_EQ(parse({{section_debug, {1, 0, 0, 0, 9, 'x'}}}, &p), ParseError::Truncated);
}

TEST(ModuleWriter, RoundTripWithInterning) {
    ModuleWriter w(3);
    EXPECT_EQ(w.add_integer(42), 0u);
    EXPECT_EQ(w.add_number(42.0), 1u);   // another type
    EXPECT_EQ(w.add_integer(42), 0u);
    EXPECT_EQ(w.add_number(0.0), 2u);
    EXPECT_EQ(w.add_number(-0.0), 3u);   // another bit pattern
    EXPECT_EQ(w.add_number(0.0), 2u);
    EXPECT_EQ(w.add_string(u"x"), 4u);
    EXPECT_EQ(w.add_name("x"), 5u);      // a name is not a string
    EXPECT_EQ(w.add_string(u"x"), 4u);
    EXPECT_EQ(w.add_regexp(u"x", 1), 6u);
    EXPECT_EQ(w.add_regexp(u"x", 2), 7u);
    EXPECT_EQ(w.add_boolean(true), 8u);
    EXPECT_EQ(w.add_boolean(false), 9u);
    EXPECT_EQ(w.add_null(), 10u);
    EXPECT_EQ(w.add_nan(), 11u);
    EXPECT_EQ(w.add_null(), 10u);
    EXPECT_EQ(w.add_integer(INT64_MIN), 12u);
    EXPECT_EQ(w.add_string(std::u16string_view(u"\xD800\x00E9\0z", 4)), 13u);  // a zero unit is text too
    EXPECT_EQ(w.constant_count(), 14u);

    w.begin_function(".main");
    uint32_t jump = w.emit(Op::JMP, 0);
    w.emit(Op::GET_GLOBAL, w.add_name("x"));
    uint32_t target = w.emit(Op::PUSH_CONST, 13);
    w.patch_jump(jump, target);
    w.begin_function("f");
    w.emit(Op::GET_LOCAL, -2);
    w.emit(Op::ROLL, -3);
    w.emit(Op::PUSH_INT, INT32_MIN);
    w.add_source("a.qls");
    w.add_line(target, 3);

    ParsedModule p = parse_ok(w.finish());
    ASSERT_EQ(p.constants.size(), 14u);
    EXPECT_EQ(p.constants[0].integer, 42);
    EXPECT_EQ(p.constants[1].type, ConstantType::Number);
    EXPECT_EQ(p.constants[1].number, 42.0);
    EXPECT_TRUE(std::signbit(p.constants[3].number));
    EXPECT_EQ(p.constants[5].name, "x");
    EXPECT_EQ(p.constants[7].regexp_flags, 2);
    EXPECT_TRUE(p.constants[8].boolean);
    EXPECT_EQ(p.constants[12].integer, INT64_MIN);
    EXPECT_EQ(p.constants[13].text, std::u16string(u"\xD800\x00E9\0z", 4));

    ASSERT_EQ(p.functions.size(), 2u);
    EXPECT_EQ(p.functions[0].end, 15u);
    EXPECT_EQ(p.functions[1].offset, 15u);
    EXPECT_EQ(p.functions[1].end, 15u + 3 + 2 + 5);

    Instruction ins;
    ASSERT_TRUE(decode_instruction(p.code, jump, p.functions[0].end, &ins));
    EXPECT_EQ(ins.offset + ins.size + ins.operand, static_cast<int64_t>(target));
    ASSERT_TRUE(decode_instruction(p.code, 5, p.functions[0].end, &ins));
    EXPECT_EQ(ins.opcode, static_cast<uint8_t>(Op::GET_GLOBAL));
    EXPECT_EQ(ins.operand, 5);  // the interned name
    ASSERT_EQ(p.debug.size(), 2u);
    EXPECT_EQ(p.debug[1].offset, target);
}

// ---- instructions ----

TEST(InstructionDecoder, OperandsAndSignExtension) {
    Bytes code = testing::assemble_or_fail(
        ".function .main\n"
        "POP\n"
        "ROLL -2\n"
        "NIP 255\n"           // a byte operand reads sign-extended
        "GET_LOCAL 65534\n"   // so does a short one
        "JMP -5\n"
        "PUSH_INT -2147483648\n"
        "GET_GLOBAL #4294967295\n"
        "PUSH_CONST #2147483648\n"
        ".byte 0x20 0x6E\n");
    std::optional<Module> m = read(code);
    ASSERT_TRUE(m.has_value());
    const Bytes& c = m->first(section_code)->bytes;
    auto end = static_cast<uint32_t>(c.size());
    struct Expect {
        uint8_t opcode;
        uint8_t size;
        int64_t operand;
    };
    std::vector<Expect> expected = {
        {103, 1, 0},  {99, 2, -2}, {101, 2, -1}, {84, 3, -2}, {53, 5, -5}, {89, 5, INT32_MIN},
        {88, 5, 4294967295}, {98, 5, 2147483648}, {0x20, 1, 0}, {0x6E, 1, 0},
    };
    uint32_t offset = 0;
    for (const Expect& e : expected) {
        Instruction ins;
        ASSERT_TRUE(decode_instruction(c, offset, end, &ins)) << "offset " << offset;
        EXPECT_EQ(ins.offset, offset);
        EXPECT_EQ(ins.opcode, e.opcode) << "offset " << offset;
        EXPECT_EQ(ins.size, e.size) << "offset " << offset;
        EXPECT_EQ(ins.operand, e.operand) << "offset " << offset;
        offset += ins.size;
    }
    EXPECT_EQ(offset, end);
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
    EXPECT_FALSE(decode_instruction({}, 0, 0, &ins));
}

}  // namespace
}  // namespace quill::vm
