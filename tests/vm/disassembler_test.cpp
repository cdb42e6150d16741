#include "engine/vm/disassembler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "engine/vm/module_writer.h"
#include "tests/vm/assembler.h"

namespace quill::vm {
namespace {

std::string listing(std::string_view source) {
    std::vector<uint8_t> bytes = testing::assemble_or_fail(source);
    std::string out;
    EXPECT_TRUE(disassemble(bytes.data(), bytes.size(), &out)) << out;
    return out;
}

TEST(Disassembler, ListsConstantsFunctionsAndLines) {
    std::string text = listing(R"(
.source "demo.qls"
.function .main
.line 1
    GET_GLOBAL print
    PUSH_CONST "hi\n\"\u00e9\u0001"
    PUSH_CONST 42
    PUSH_CONST 1.5
    PUSH_CONST 2.0
    PUSH_CONST /a\/b+/gi
    PUSH_CONST null
.line 2
loop: JF_BOOL done            ; a label and an instruction on one line
    PUSH_CONST true
    JMP loop
done:
    CALL
    RETURN
.function f
    GET_ARG -1
    RESERVE 300
    PUSH_INT -7
)");
    EXPECT_EQ(text, R"(constants (8)
     0  name "print"
     1  string "hi\n\"é\u0001"
     2  integer 42
     3  number 1.5
     4  number 2.0
     5  regexp /a\/b+/gi
     6  null
     7  boolean true

function ".main" [0, 52)
        ; source "demo.qls"
        ; line 1
     0  GET_GLOBAL      "print"
     5  PUSH_CONST      "hi\n\"é\u0001"
    10  PUSH_CONST      42
    15  PUSH_CONST      1.5
    20  PUSH_CONST      2.0
    25  PUSH_CONST      /a\/b+/gi
    30  PUSH_CONST      null
        ; line 2
    35  JF_BOOL         -> 50
    40  PUSH_CONST      true
    45  JMP             -> 35
    50  CALL
    51  RETURN

function "f" [52, 62)
    52  GET_ARG         -1
    54  RESERVE         300
    57  PUSH_INT        -7
)");
}

TEST(Disassembler, ShowsWhatIsWrongWithMalformedCode) {
    std::string text = listing(R"(
.function .main
    GET_GLOBAL x
    PUSH_CONST 5
    .byte 0x07 0x6E
    PUSH_CONST #99
    SET_PROP #1
    SET_PROP #7
    PUSH_CONST #0
    JMP 1000
    JMP -100
    .byte 0x62 0x00
)");
    EXPECT_EQ(text, R"(constants (2)
     0  name "x"
     1  integer 5

function ".main" [0, 44)
     0  GET_GLOBAL      "x"
     5  PUSH_CONST      5
    10  .byte 0x07
    11  .byte 0x6E
    12  PUSH_CONST      <bad constant 99>
    17  SET_PROP        <constant 1 is no name>
    22  SET_PROP        <bad constant 7>
    27  PUSH_CONST      name "x"
    32  JMP             -> 1037  (outside the function)
    37  JMP             -> -58  (outside the function)
    42  PUSH_CONST      <truncated: 2 of 5 bytes>
)");
}

TEST(Disassembler, ConstantTexts) {
    auto text = [](ConstantType type, double number, std::u16string_view chars, std::string name = "") {
        ModuleConstant c;
        c.type = type;
        c.number = number;
        c.text = chars;
        c.name = std::move(name);
        c.regexp_flags = 0x0D;
        return constant_text(c);
    };
    // Numbers: shortest round trip, never mistaken for an integer.
    EXPECT_EQ(text(ConstantType::Number, 1.0 / 3, u""), "0.3333333333333333");
    EXPECT_EQ(text(ConstantType::Number, 1e21, u""), "1e+21");
    EXPECT_EQ(text(ConstantType::Number, -0.0, u""), "-0.0");
    EXPECT_EQ(text(ConstantType::Number, 100.0, u""), "100.0");
    EXPECT_EQ(text(ConstantType::Number, -HUGE_VAL, u""), "-Infinity");
    EXPECT_EQ(text(ConstantType::Number, std::nan(""), u""), "NaN");
    // Text: UTF-8 where it is valid, escapes for controls and lone surrogates, one line always.
    EXPECT_EQ(text(ConstantType::String, 0, u"\U0001F600|\xD800|\x7F|\x85|\t\r\\"),
              "\"\xF0\x9F\x98\x80|\\uD800|\\u007F|\\u0085|\\t\\r\\\\\"");
    EXPECT_EQ(text(ConstantType::Name, 0, u"", "a\x01\"b\xC3\xA9"), "\"a\\x01\\\"b\xC3\xA9\"");
    EXPECT_EQ(text(ConstantType::RegExp, 0, u"x\ny\\d"), "/x\\ny\\d/gm (flags 0x0D)");
}

TEST(Disassembler, UnreadableModulesGiveAReason) {
    std::string out;
    const uint8_t garbage[] = {'M', 'Z', 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(disassemble(garbage, sizeof garbage, &out));
    EXPECT_NE(out.find("not a compiled module"), std::string::npos);

    ModuleWriter w(1);
    w.add_function("b", 3);
    w.add_function("a", 1);
    w.code().assign(4, static_cast<uint8_t>(Op::NOP));
    std::vector<uint8_t> unsorted = w.finish();
    EXPECT_FALSE(disassemble(unsorted.data(), unsorted.size(), &out));
    EXPECT_EQ(out, "bad compiled module: bad function table\n");
}

TEST(Disassembler, HandMadeRangesStayInsideTheCode) {
    ParsedModule m;
    m.code = {static_cast<uint8_t>(Op::PUSH_1), static_cast<uint8_t>(Op::PUSH_INT), 0, 0};
    m.functions = {{"past", 10, 20}, {"reversed", 2, 1}, {"cut", 1, 99}};
    EXPECT_EQ(disassemble(m), R"(constants (0)

function "past" [4, 4)

function "reversed" [2, 2)

function "cut" [1, 4)
     1  PUSH_INT        <truncated: 3 of 5 bytes>
)");
    m.functions.clear();
    EXPECT_EQ(disassemble(m), R"(constants (0)

code without function table [0, 4)
     0  PUSH_1
     1  PUSH_INT        <truncated: 3 of 5 bytes>
)");
}

// Random and mutated bytes must never crash the reader, the parser or the lister (the sanitizer
// build checks every access). Mutations of a real module get far enough to be listed.
TEST(Disassembler, SurvivesGarbage) {
    std::vector<uint8_t> base = testing::assemble_or_fail(R"(
.source s.qls
.function .main
.line 1
    GET_GLOBAL print
    PUSH_CONST "text"
    PUSH_CONST /re/g
    PUSH_CONST 1.25
    PUSH_CONST 12345678901
l:  JT l
    GET_LOCAL 3
    ROLL -2
    CALL
.function g
.line 9
    PUSH_INT 5
    RETURN
)");
    std::mt19937 random(20240611);
    auto byte = [&] { return static_cast<uint8_t>(random()); };
    int listed = 0;
    std::string out;
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes;
        if (round % 4 == 0) {
            bytes.resize(random() % 120);
            for (uint8_t& b : bytes) b = byte();
            if (round % 8 == 0 && bytes.size() >= 4) std::copy_n("QS1b", 4, bytes.begin());
        } else if (round % 4 == 1) {
            // Only the code changes: the container stays readable and the lister sees odd code.
            bytes = base;
            size_t code_size = bytes[12] | bytes[13] << 8;
            for (int k = 0; k < 3; ++k) bytes[56 + random() % code_size] = byte();
        } else {
            bytes = base;
            int changes = 1 + static_cast<int>(random() % 4);
            for (int k = 0; k < changes; ++k) {
                size_t at = random() % bytes.size();
                switch (random() % 4) {
                case 0:
                    bytes[at] = byte();
                    break;
                case 1:
                    bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                    break;
                case 2:
                    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), byte());
                    break;
                default:
                    bytes.resize(at + 1);
                    break;
                }
            }
        }
        if (disassemble(bytes.data(), bytes.size(), &out)) ++listed;
        ASSERT_FALSE(out.empty());
    }
    EXPECT_GT(listed, 1000);
}

TEST(Assembler, ReportsBadInputByLine) {
    struct Case {
        const char* source;
        const char* error;
    };
    const Case cases[] = {
        {"PUSH_1\nFROB", "line 2: unknown mnemonic FROB"},
        {"JMP nowhere", "undefined label nowhere"},
        {"a:\na:", "line 2: label defined twice: a"},
        {"TRY_POP 256", "line 1: number out of range: 256"},
        {"PUSH_CONST \"open", "line 1: missing closing \""},
        {"PUSH_1 2", "line 1: expected 0 operand(s)"},
    };
    for (const Case& c : cases) {
        testing::Assembly a = testing::assemble(c.source);
        EXPECT_EQ(a.error, c.error) << c.source;
        EXPECT_TRUE(a.bytes.empty());
    }
}

}  // namespace
}  // namespace quill::vm
