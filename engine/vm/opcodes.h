// The instruction set: one table that the compiler, the loader, the interpreter and the
// disassembler all read.
//
// Byte encoding (modules): the opcode byte, then its operand, multi-byte operands big-endian.
//
//   kind       bytes  operand
//   None       1      -
//   Byte       2      one byte (counts, frame slots, ROLL distance), signed or not by OperandSign
//   Short      3      two bytes (local slots, RESERVE count), signed or not by OperandSign
//   Jump       5      signed 32-bit: target offset - offset of the byte after the instruction
//   Name       5      u32 index of a Name constant in the module's constant table
//   Constant   5      u32 index of a constant in the module's constant table
//   Immediate  5      signed 32-bit integer
//
// Word code (what the interpreter runs): one 32-bit word for the opcode (opcode in the low byte),
// one more for the operand: a sign-extended count or slot, a word displacement from the end of the
// instruction, an atom number (names), an absolute constant index, or the immediate. The loader
// keeps in bits 8 and up of a backward jump's opcode word the stack room the function needs
// between two checks (see loader.cpp).
#pragma once

#include <cstdint>

namespace quill::vm {

enum class OperandKind : uint8_t { None, Byte, Short, Jump, Name, Constant, Immediate };

// How an instruction changes the stack depth the compiler counts: a fixed amount, or the operand
// (RESERVE pushes n cells; NIP and POPN remove n).
enum class StackRule : uint8_t { Fixed, PlusOperand, MinusOperand };

// Whether a Byte or Short operand reads as a signed or an unsigned number: counts and local slots
// are unsigned by nature (read sign-extended, a call with 126 arguments would pass a negative
// count), frame slots and the ROLL distance signed. The loader widens operands by it.
enum class OperandSign : uint8_t { Signed, Unsigned };

// X(name, number, mnemonic, operand kind, stack effect, stack rule, cells read, operand sign)
//   stack picture: cells before -- cells after (top on the right)
#define QUILL_OPCODES(X) \
    X(CALL_SCOPED, 33, "CALL_SCOPED", Name, 1, Fixed, 1, Signed)         /* args callee -- args this result */  \
    X(GET_SCOPED, 34, "GET_SCOPED", Name, 1, Fixed, 0, Signed)           /* -- value */                         \
    X(ADD2, 35, "ADD2", None, 0, Fixed, 1, Signed)                       /* n -- n+2 */                         \
    X(INC, 36, "INC", None, 0, Fixed, 1, Signed)                         /* n -- n+1 */                         \
    X(JT_BOOL, 37, "JT_BOOL", Jump, -1, Fixed, 1, Signed)                /* bool -- */                          \
    X(JF_BOOL, 38, "JF_BOOL", Jump, -1, Fixed, 1, Signed)                /* bool -- */                          \
    X(THROW, 39, "THROW", None, -1, Fixed, 1, Signed)                    /* value -- */                         \
    X(TRY_POP, 40, "TRY_POP", Byte, 0, Fixed, 0, Unsigned)               /* -- */                               \
    X(TRY_PUSH, 41, "TRY_PUSH", Jump, 0, Fixed, 0, Signed)               /* -- ; catch: -- exception */         \
    X(WITH_POP, 42, "WITH_POP", Byte, 0, Fixed, 0, Unsigned)             /* -- */                               \
    X(WITH_PUSH, 43, "WITH_PUSH", None, -1, Fixed, 1, Signed)            /* object -- */                        \
    X(GET_FRAME_SLOT, 44, "GET_FRAME_SLOT", None, 0, Fixed, 1, Signed)   /* k -- slot[k] */                     \
    X(ARGS_PAD, 45, "ARGS_PAD", Byte, -1, Fixed, 1, Unsigned)            /* count+2 -- */                       \
    X(RESERVE, 46, "RESERVE", Short, 0, PlusOperand, 0, Unsigned)        /* -- undefined x n */                 \
    X(DELETE_ELEM, 47, "DELETE_ELEM", None, -1, Fixed, 2, Signed)        /* object key -- undefined */          \
    X(DELETE_PROP, 48, "DELETE_PROP", Name, 0, Fixed, 1, Signed)         /* object -- undefined */              \
    X(NEW, 49, "NEW", None, 1, Fixed, 1, Signed)                         /* args ctor -- args object result */  \
    X(TYPEOF, 50, "TYPEOF", None, 0, Fixed, 1, Signed)                   /* value -- name */                    \
    X(RETURN, 51, "RETURN", None, 0, Fixed, 1, Signed)                   /* value -- */                         \
    X(CALL, 52, "CALL", None, 1, Fixed, 1, Signed)                       /* args callee -- args null result */  \
    X(JMP, 53, "JMP", Jump, 0, Fixed, 0, Signed)                         /* -- */                               \
    X(CALL_METHOD, 54, "CALL_METHOD", Name, 1, Fixed, 1, Signed)         /* args recv -- args recv result */    \
    X(JT, 55, "JT", Jump, -1, Fixed, 1, Signed)                          /* value -- */                         \
    X(JF, 56, "JF", Jump, -1, Fixed, 1, Signed)                          /* value -- */                         \
    X(USHR, 57, "USHR", None, -1, Fixed, 2, Signed)                      /* a b -- a>>>b */                     \
    X(SHR, 58, "SHR", None, -1, Fixed, 2, Signed)                        /* a b -- a>>b */                      \
    X(SHL, 59, "SHL", None, -1, Fixed, 2, Signed)                        /* a b -- a<<b */                      \
    X(BITXOR, 60, "BITXOR", None, -1, Fixed, 2, Signed)                  /* a b -- a^b */                       \
    X(BITOR, 61, "BITOR", None, -1, Fixed, 2, Signed)                    /* a b -- a|b */                       \
    X(NOT, 62, "NOT", None, 0, Fixed, 1, Signed)                         /* a -- !a */                          \
    X(BITAND, 63, "BITAND", None, -1, Fixed, 2, Signed)                  /* a b -- a&b */                       \
    X(NEG, 64, "NEG", None, 0, Fixed, 1, Signed)                         /* a -- -a */                          \
    X(MOD, 65, "MOD", None, -1, Fixed, 2, Signed)                        /* a b -- a%b */                       \
    X(DIV, 66, "DIV", None, -1, Fixed, 2, Signed)                        /* a b -- a/b */                       \
    X(MUL, 67, "MUL", None, -1, Fixed, 2, Signed)                        /* a b -- a*b */                       \
    X(ADD, 68, "ADD", None, -1, Fixed, 2, Signed)                        /* a b -- a+b */                       \
    X(SUB, 69, "SUB", None, -1, Fixed, 2, Signed)                        /* a b -- a-b */                       \
    X(STRICT_NE, 70, "STRICT_NE", None, -1, Fixed, 2, Signed)            /* a b -- a!==b */                     \
    X(STRICT_EQ, 71, "STRICT_EQ", None, -1, Fixed, 2, Signed)            /* a b -- a===b */                     \
    X(GE, 72, "GE", None, -1, Fixed, 2, Signed)                          /* a b -- a>=b */                      \
    X(LE, 73, "LE", None, -1, Fixed, 2, Signed)                          /* a b -- a<=b */                      \
    X(GT, 74, "GT", None, -1, Fixed, 2, Signed)                          /* a b -- a>b */                       \
    X(LT, 75, "LT", None, -1, Fixed, 2, Signed)                          /* a b -- a<b */                       \
    X(NE, 76, "NE", None, -1, Fixed, 2, Signed)                          /* a b -- a!=b */                      \
    X(EQ, 77, "EQ", None, -1, Fixed, 2, Signed)                          /* a b -- a==b */                      \
    X(FORIN_NEXT, 78, "FORIN_NEXT", None, 0, Fixed, 2, Signed)           /* coll i -- item more */              \
    X(SET_ELEM, 79, "SET_ELEM", None, -3, Fixed, 3, Signed)              /* value object key -- */              \
    X(GET_ELEM, 80, "GET_ELEM", None, -1, Fixed, 2, Signed)              /* object key -- value */              \
    X(SET_PROP, 81, "SET_PROP", Name, -2, Fixed, 2, Signed)              /* value object -- */                  \
    X(GET_PROP, 82, "GET_PROP", Name, 0, Fixed, 1, Signed)               /* object -- value */                  \
    X(SET_LOCAL, 83, "SET_LOCAL", Short, -1, Fixed, 1, Unsigned)         /* value -- */                         \
    X(GET_LOCAL, 84, "GET_LOCAL", Short, 1, Fixed, 0, Unsigned)          /* -- value */                         \
    X(SET_ARG, 85, "SET_ARG", Byte, -1, Fixed, 1, Signed)                /* value -- */                         \
    X(GET_ARG, 86, "GET_ARG", Byte, 1, Fixed, 0, Signed)                 /* -- value */                         \
    X(SET_GLOBAL, 87, "SET_GLOBAL", Name, -1, Fixed, 1, Signed)          /* value -- */                         \
    X(GET_GLOBAL, 88, "GET_GLOBAL", Name, 1, Fixed, 0, Signed)           /* -- value */                         \
    X(PUSH_INT, 89, "PUSH_INT", Immediate, 1, Fixed, 0, Signed)          /* -- n */                             \
    X(PUSH_3, 90, "PUSH_3", None, 1, Fixed, 0, Signed)                   /* -- 3 */                             \
    X(PUSH_2, 91, "PUSH_2", None, 1, Fixed, 0, Signed)                   /* -- 2 */                             \
    X(PUSH_1, 92, "PUSH_1", None, 1, Fixed, 0, Signed)                   /* -- 1 */                             \
    X(PUSH_0, 93, "PUSH_0", None, 1, Fixed, 0, Signed)                   /* -- 0 */                             \
    X(PUSH_UNDEFINED, 94, "PUSH_UNDEFINED", None, 1, Fixed, 0, Signed)   /* -- undefined */                     \
    X(PUSH_FALSE, 95, "PUSH_FALSE", None, 1, Fixed, 0, Signed)           /* -- false */                         \
    X(PUSH_TRUE, 96, "PUSH_TRUE", None, 1, Fixed, 0, Signed)             /* -- true */                          \
    X(PUSH_NULL, 97, "PUSH_NULL", None, 1, Fixed, 0, Signed)             /* -- null */                          \
    X(PUSH_CONST, 98, "PUSH_CONST", Constant, 1, Fixed, 0, Signed)       /* -- constant */                      \
    X(ROLL, 99, "ROLL", Byte, 0, Fixed, 0, Signed)                       /* rotates |n| cells */                \
    X(SWAP, 100, "SWAP", None, 0, Fixed, 2, Signed)                      /* a b -- b a */                       \
    X(NIP, 101, "NIP", Byte, 0, MinusOperand, 1, Unsigned)               /* x1..xn top -- top */                \
    X(POPN, 102, "POPN", Byte, 0, MinusOperand, 0, Unsigned)             /* x1..xn -- */                        \
    X(POP, 103, "POP", None, -1, Fixed, 1, Signed)                       /* a -- */                             \
    X(DUP, 104, "DUP", None, 1, Fixed, 1, Signed)                        /* a -- a a */                         \
    X(NOP, 105, "NOP", None, 0, Fixed, 0, Signed)                        /* -- */                               \
    X(END, 106, "END", None, 0, Fixed, 0, Signed)                        /* value -- (leaves the invocation) */ \
    X(IDLE, 107, "IDLE", None, 0, Fixed, 0, Signed)                      /* -- */                               \
    X(SET_SCOPED, 108, "SET_SCOPED", Name, -1, Fixed, 1, Signed)         /* value -- */                         \
    X(DELETE_NAME, 109, "DELETE_NAME", Name, 0, Fixed, 1, Signed)        /* x -- undefined */


inline constexpr int first_opcode = 33;
inline constexpr int last_opcode = 109;
inline constexpr int opcode_count = last_opcode - first_opcode + 1;

// Fused instructions: word code only, never in a module (they are no opcodes to opcode_info, so
// the loader refuses them there). The loader writes one over the opcode of the first instruction
// of a sequence it recognises and leaves the rest of the sequence as it was, so the words, their
// positions and every jump stay as translated, and code that jumps into the sequence runs it as
// written. A fused handler runs the whole sequence and goes on after it; when its operands do not
// suit it, it runs the first instruction alone and goes on with the second.
//
//   TEST_rel_LOCAL  GET_LOCAL a; GET_LOCAL b; rel; JF_BOOL forward   (rel: LT, LE, GT, GE)
//   TEST_rel_ARG    GET_LOCAL a; GET_ARG b; rel; JF_BOOL forward
//   TEST_rel_INT    GET_LOCAL a; PUSH_INT b; rel; JF_BOOL forward
//                   The test of a loop or an if on two Integers: a jump or none, nothing pushed.
//   GET_LOCAL_PAIR  GET_LOCAL a; GET_LOCAL b
//
// X(name, number, first instruction, relation, second instruction): a relation of NOP stands for
// none (two instructions, no test). The loader takes the first entry whose sequence is there.
#define QUILL_FUSED_OPCODES(X)                          \
    X(TEST_LT_LOCAL, 110, GET_LOCAL, LT, GET_LOCAL)     \
    X(TEST_LE_LOCAL, 111, GET_LOCAL, LE, GET_LOCAL)     \
    X(TEST_GT_LOCAL, 112, GET_LOCAL, GT, GET_LOCAL)     \
    X(TEST_GE_LOCAL, 113, GET_LOCAL, GE, GET_LOCAL)     \
    X(TEST_LT_ARG, 114, GET_LOCAL, LT, GET_ARG)         \
    X(TEST_LE_ARG, 115, GET_LOCAL, LE, GET_ARG)         \
    X(TEST_GT_ARG, 116, GET_LOCAL, GT, GET_ARG)         \
    X(TEST_GE_ARG, 117, GET_LOCAL, GE, GET_ARG)         \
    X(TEST_LT_INT, 118, GET_LOCAL, LT, PUSH_INT)        \
    X(TEST_LE_INT, 119, GET_LOCAL, LE, PUSH_INT)        \
    X(TEST_GT_INT, 120, GET_LOCAL, GT, PUSH_INT)        \
    X(TEST_GE_INT, 121, GET_LOCAL, GE, PUSH_INT)        \
    X(GET_LOCAL_PAIR, 122, GET_LOCAL, NOP, GET_LOCAL)

inline constexpr int first_fused_opcode = 110;
inline constexpr int last_fused_opcode = 122;

enum class Op : uint8_t {
#define QUILL_OPCODE_ENUM(name, number, mnemonic, kind, effect, rule, reads, sign) name = number,
    QUILL_OPCODES(QUILL_OPCODE_ENUM)
#undef QUILL_OPCODE_ENUM
#define QUILL_FUSED_ENUM(name, number, ...) name = number,
    QUILL_FUSED_OPCODES(QUILL_FUSED_ENUM)
#undef QUILL_FUSED_ENUM
};

struct OpcodeInfo {
    const char* mnemonic;  // null for a byte that is no opcode
    OperandKind operand;
    int8_t stack_effect;   // with StackRule::Fixed
    StackRule rule;
    uint8_t reads;         // cells the instruction needs on the stack (NIP and POPN add their operand)
    OperandSign sign;
};

// Information on an opcode byte; a byte outside 33..109 gives an entry without mnemonic.
const OpcodeInfo& opcode_info(uint8_t opcode);
inline bool is_opcode(uint8_t byte) { return byte >= first_opcode && byte <= last_opcode; }

// How many cells an instruction reads and how it changes the depth, for an operand as decoded.
struct StackUse {
    int32_t reads;
    int32_t effect;
};
StackUse stack_use(uint8_t opcode, int64_t operand);

// Encoded size in bytes of an instruction with this operand kind.
constexpr int encoded_size(OperandKind kind) {
    switch (kind) {
    case OperandKind::None:
        return 1;
    case OperandKind::Byte:
        return 2;
    case OperandKind::Short:
        return 3;
    default:
        return 5;
    }
}

// The opcode of a mnemonic, or -1.
int opcode_by_mnemonic(const char* mnemonic);

// The jump group: instructions whose operand is a code label.
inline bool is_jump(Op op) { return opcode_info(static_cast<uint8_t>(op)).operand == OperandKind::Jump; }
// The encoded size of every jump.
inline constexpr int jump_size = encoded_size(OperandKind::Jump);

}  // namespace quill::vm
