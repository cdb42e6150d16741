// Generated modules through the loader and the interpreter (under the instruction budget). The input
// is a stream of choices (fuzz_engine.h) from which the target writes a module: constants of every
// type, `.main` and a few named functions f0..f3, whose code is made from the opcode table with the
// stack depth counted as the verifier counts it, so that most of what it writes loads and runs.
//
// The module target takes its input as module bytes and mostly reaches the reader's and the
// verifier's rejections; this one reaches the interpreter with code the compiler never makes:
// ARGS_PAD anywhere, try records left behind or returned through, with-scopes, calls of built-ins
// and of generated functions from native code (sort comparators, toString and valueOf), deep stacks
// and backward jumps.
//
// With QUILL_FUZZ_LISTING set in the environment the target prints each module's listing and the
// run's message, to see what a saved input does.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/vm/module_writer.h"
#include "fuzz/fuzz_engine.h"

namespace {

using quill::fuzz::Choices;
using quill::vm::ModuleWriter;
using quill::vm::Op;
using quill::vm::OperandKind;
using quill::vm::StackRule;

// Names the code uses: variables, the generated functions, built-in globals, methods, properties.
constexpr const char* variables[] = {"x", "y", "a", "s", "o", "r", "e", "i"};
constexpr const char* functions[] = {"f0", "f1", "f2", "f3"};
constexpr const char* builtins[] = {"Array",      "String", "RegExp",   "Number",  "Object",
                                    "Function",   "Date",   "Math",     "Boolean", "parseInt",
                                    "parseFloat", "escape", "unescape", "isNaN",   "isFinite",
                                    "eval",       "print",  "NaN",      "Infinity"};
constexpr const char* methods[] = {
    "sort",        "concat",  "push",         "pop",     "join",       "reverse", "shift",
    "unshift",     "slice",   "splice",       "charAt",  "charCodeAt", "indexOf", "lastIndexOf",
    "split",       "substr",  "substring",    "replace", "match",      "search",  "toLowerCase",
    "toUpperCase", "exec",    "test",         "compile", "toString",   "valueOf", "format",
    "getTime",     "setTime", "fromCharCode", "max",     "round"};
constexpr const char* properties[] = {"length",  "lastIndex", "source",    "global", "toString",
                                      "valueOf", "__proto__", "prototype", "$1",     "input"};

// Operand values near the edges the interpreter and the verifier care about.
constexpr int64_t counts[] = {0, 1, 2, 3, 4, 5, 6, 8, 16, 127, 128, 200, 254, 255};  // one-byte counts
constexpr int64_t immediates[] = {0,   1,   2,   3,   4,   5,   -1,   -2,     7,         100,      127,
                                  128, 200, 253, 254, 255, 256, 1000, 100000, INT32_MAX, INT32_MIN};
constexpr int64_t reserves[] = {0, 1, 2, 3, 8, 64, 200, 254, 300, 1000};
// Frame slots (the verifier refuses negative ones).
constexpr int64_t slots[] = {0, 1, 2, 3, 4, 5, 6, 100, 127};
constexpr int64_t rolls[] = {-4, -3, -2, 2, 3, 4};

constexpr Op small_pushes[] = {Op::PUSH_0,         Op::PUSH_1,    Op::PUSH_2,    Op::PUSH_3,
                               Op::PUSH_UNDEFINED, Op::PUSH_NULL, Op::PUSH_TRUE, Op::PUSH_FALSE};
constexpr Op unary_ops[] = {Op::NOT, Op::NEG, Op::TYPEOF, Op::INC, Op::ADD2};
constexpr Op binary_ops[] = {Op::ADD,    Op::SUB, Op::MUL,  Op::DIV,       Op::MOD,
                             Op::SHL,    Op::SHR, Op::USHR, Op::BITAND,    Op::BITOR,
                             Op::BITXOR, Op::EQ,  Op::NE,   Op::STRICT_EQ, Op::STRICT_NE,
                             Op::LT,     Op::LE,  Op::GT,   Op::GE,        Op::GET_ELEM};
constexpr Op conditional_jumps[] = {Op::JF, Op::JT, Op::JF_BOOL, Op::JT_BOOL};
constexpr Op calls[] = {Op::CALL, Op::CALL_METHOD, Op::NEW, Op::CALL_SCOPED};

constexpr int max_nesting = 4;           // of expressions and of statements
constexpr int max_depth = 600;           // cells a function builds up before its values stay simple
constexpr int instruction_budget = 400;  // instructions per function before its blocks end

// A jump target. Its depth is the least depth the jumps to it arrive with, as the verifier takes
// it, and the code falling into it is settled to that depth first.
struct Label {
    std::vector<uint32_t> jumps;  // forward jumps waiting for the offset
    int depth = -1;               // the depth it is reached with; -1 while nothing reaches it
    int64_t offset = -1;          // once placed
};

class ModuleGenerator {
public:
    explicit ModuleGenerator(Choices& in) : m_in(in), m_out(1) {}

    std::vector<uint8_t> generate() {
        add_constants();
        m_lines = m_in.one_in(2);
        m_padding_anywhere = !m_in.one_in(4);
        if (m_lines) {
            m_out.add_source("generated");
        }
        function(".main", true);
        uint32_t count = 1 + m_in.below(static_cast<uint32_t>(std::size(functions)));
        for (uint32_t i = 0; i < count; ++i) {
            function(functions[i], false);
        }
        return m_out.finish();
    }

private:
    // Constants of every type: a fixed set, then a few made from the input.
    void add_constants() {
        m_out.add_null();
        m_out.add_nan();
        m_out.add_boolean(true);
        m_out.add_boolean(false);
        for (int64_t n : {int64_t{0}, int64_t{-1}, int64_t{254}, int64_t{1} << 40,
                          std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
            m_out.add_integer(n);
        }
        for (double x :
             {0.5, -0.0, 1e300, -1e-300, std::numeric_limits<double>::infinity(),
              -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
            m_out.add_number(x);
        }
        for (std::u16string_view text :
             {u"", u"abc", u"x", u"0", u"12", u"a,b,c", u"\u00e9\u20ac", u"%41%zz"}) {
            m_strings.push_back(m_out.add_string(text));
        }
        // Patterns the matcher accepts: one it refuses fails the whole module at load.
        constexpr std::u16string_view patterns[] = {u"a", u"(a|b)*c", u"[0-9]+", u"^x$",
                                                    u"",  u"(a*)*b",  u"b(c)?"};
        for (size_t i = 0; i < std::size(patterns); ++i) {
            m_regexps.push_back(m_out.add_regexp(patterns[i], static_cast<uint8_t>(i & 7)));
        }
        for (uint32_t n = m_in.below(4); n > 0; --n) {
            switch (m_in.below(3)) {
            case 0: {
                int64_t value = 0;
                for (int i = 0; i < 8; ++i) {
                    value = static_cast<int64_t>(static_cast<uint64_t>(value) << 8 | m_in.byte());
                }
                m_out.add_integer(value);
                break;
            }
            case 1: {
                std::u16string text;
                for (uint32_t length = m_in.below(16); length > 0; --length) {
                    uint8_t unit = m_in.byte();
                    // Some lone surrogates among them.
                    text += static_cast<char16_t>(unit >= 0xF0 ? 0xD800 + unit : unit);
                }
                m_strings.push_back(m_out.add_string(text));
                break;
            }
            default:
                m_regexps.push_back(m_out.add_regexp(m_in.pick(patterns), m_in.byte() & 7));
                break;
            }
        }
    }

    uint32_t name(const char* text) { return m_out.add_name(text); }
    uint32_t any_name() {
        switch (m_in.below(5)) {
        case 0:
            return name(m_in.pick(variables));
        case 1:
            return name(m_in.pick(functions));
        case 2:
            return name(m_in.pick(builtins));
        case 3:
            return name(m_in.pick(methods));
        default:
            return name(m_in.pick(properties));
        }
    }
    uint32_t one_of(const std::vector<uint32_t>& indexes) {
        return indexes[m_in.below(static_cast<uint32_t>(std::min<size_t>(indexes.size(), 256)))];
    }
    // An operand value: mostly one of the edge values, sometimes any byte the input gives, so that a
    // mutation can reach every count and depth in between.
    template <size_t N>
    int64_t edge_or_byte(const int64_t (&edges)[N]) {
        uint8_t b = m_in.byte();
        return b < 224 ? edges[b % N] : m_in.byte();
    }
    // Any constant, names included (PUSH_CONST takes them too).
    uint32_t constant() { return m_in.below(std::min<uint32_t>(m_out.constant_count(), 256)); }

    // Instructions, with the depth counted as the verifier counts it.
    static int effect(Op op, int64_t operand) {
        const quill::vm::OpcodeInfo& info = quill::vm::opcode_info(static_cast<uint8_t>(op));
        switch (info.rule) {
        case StackRule::PlusOperand:
            return static_cast<int>(operand);
        case StackRule::MinusOperand:
            return -static_cast<int>(operand);
        case StackRule::Fixed:
            break;
        }
        return info.stack_effect;
    }
    static int reads(Op op, int64_t operand) {
        const quill::vm::OpcodeInfo& info = quill::vm::opcode_info(static_cast<uint8_t>(op));
        if (op == Op::ROLL) {
            int cells = static_cast<int>(operand < 0 ? -operand : operand);
            return cells >= 2 ? cells : 0;
        }
        return info.rule == StackRule::MinusOperand ? info.reads + static_cast<int>(operand) : info.reads;
    }
    static bool ends_flow(Op op) {
        return op == Op::THROW || op == Op::RETURN || op == Op::JMP || op == Op::END;
    }

    void op(Op op) {
        m_out.emit(op);
        account(op, 0);
    }
    void op(Op op, int64_t operand) {
        m_out.emit(op, operand);
        account(op, operand);
    }
    void account(Op op, int64_t operand) {
        m_depth += effect(op, operand);
        --m_left;
        if (ends_flow(op)) {
            m_live = false;
        }
    }

    void jump(Op op, Label& target) {
        uint32_t at = m_out.emit(op, 0);
        account(op, 0);
        int arriving = op == Op::TRY_PUSH ? m_depth + 1 : m_depth;  // a catch starts with the exception
        if (target.offset >= 0) {
            m_out.patch_jump(at, static_cast<uint32_t>(target.offset));
            return;
        }
        target.jumps.push_back(at);
        target.depth = target.depth < 0 ? arriving : std::min(target.depth, arriving);
    }
    void place(Label& label) {
        if (m_live) {
            if (label.depth >= 0) {
                settle(label.depth);
            } else {
                label.depth = m_depth;
            }
        } else if (label.depth >= 0) {
            m_depth = label.depth;
            m_live = true;
        }
        label.offset = m_out.code_size();
        for (uint32_t at : label.jumps) {
            m_out.patch_jump(at, static_cast<uint32_t>(label.offset));
        }
    }
    // Pops or pushes to a depth.
    void settle(int depth) {
        while (m_depth > depth) {
            op(Op::POPN, std::min(m_depth - depth, 255));
        }
        while (m_depth < depth) {
            op(Op::PUSH_UNDEFINED);
        }
    }

    void function(const char* function_name, bool is_main) {
        m_out.begin_function(function_name);
        m_depth = 0;
        m_live = true;
        m_left = instruction_budget;
        if (!is_main && !m_in.one_in(4)) {
            // The compiler's prologue: pad the declared parameters, reserve the locals.
            op(Op::GET_ARG, 1);
            op(Op::ADD2);
            op(Op::ARGS_PAD, 2 + m_in.below(4));
            op(Op::RESERVE, m_in.below(4));
        }
        block(0);
        if (m_live && !m_in.one_in(8)) {  // else it runs into the END the loader appends
            value(max_nesting);
            op(Op::RETURN);
        }
    }

    void block(int nesting) {
        while (m_live && m_left > 0 && m_in.below(8) != 0) {
            if (m_lines) {
                m_out.add_line(m_out.code_size(), ++m_line);
            }
            statement(nesting);
        }
    }

    // Most statements leave the depth where it was or end the flow; a call left without its NIP
    // leaves cells behind, and the raw instruction and the deep stack change the depth on purpose.
    void statement(int nesting) {
        int cases = nesting >= max_nesting ? 8 : 18;
        switch (m_in.below(cases)) {
        case 0:
            value(nesting);
            op(Op::POP);
            break;
        case 1:
            value(nesting);
            op(m_in.one_in(2) ? Op::SET_SCOPED : Op::SET_GLOBAL,
               name(m_in.one_in(3) ? m_in.pick(functions) : m_in.pick(variables)));
            break;
        case 2:  // value object SET_PROP
            value(nesting);
            value(nesting);
            op(Op::SET_PROP, m_in.one_in(2) ? name(m_in.pick(properties)) : any_name());
            break;
        case 3:  // value object key SET_ELEM
            value(nesting);
            value(nesting);
            value(nesting);
            op(Op::SET_ELEM);
            break;
        case 4:
            value(nesting);
            if (m_in.one_in(2) && m_depth >= 2) {
                op(Op::SET_LOCAL, m_in.below(std::min(m_depth - 1, 256)));
            } else {
                op(Op::SET_ARG, m_in.pick(slots));
            }
            break;
        case 5:  // padding outside the prologue
            if (!m_padding_anywhere) {
                break;
            }
            if (m_in.one_in(2)) {
                op(Op::GET_ARG, 1);
                op(Op::ADD2);
            } else {
                value(nesting);
            }
            op(Op::ARGS_PAD, edge_or_byte(counts));
            break;
        case 6:
            raw_instruction();  // changes the depth by its stack effect
            break;
        case 7:  // a call whose result is dropped
            call(nesting, m_in.pick(calls));
            op(Op::POP);
            break;
        case 8:
            if_statement(nesting);
            break;
        case 9:
            loop(nesting);
            break;
        case 10:
            try_statement(nesting);
            break;
        case 11:
            value(nesting);
            op(Op::WITH_PUSH);
            block(nesting + 1);
            if (m_live && !m_in.one_in(8)) {
                op(Op::WITH_POP, 1);
            }
            break;
        case 12:
            value(nesting);
            op(Op::THROW);
            break;
        case 13:
            value(nesting);
            if (m_in.one_in(4)) {
                op(Op::TRY_POP, m_in.pick(counts));
            }
            op(Op::RETURN);
            break;
        case 14: {  // a deep stack (left in place)
            int64_t n = edge_or_byte(reserves);
            if (m_depth + n > 3 * max_depth) {
                break;
            }
            if (m_in.one_in(2)) {
                op(Op::RESERVE, n);
            } else {
                for (int64_t i = 0; i < n; ++i) {
                    op(Op::PUSH_0);
                }
            }
            break;
        }
        case 15:  // removes records and scopes the code did not make
            op(m_in.one_in(2) ? Op::TRY_POP : Op::WITH_POP, m_in.pick(counts));
            break;
        case 16:
            value(nesting);
            value(nesting);
            op(Op::DELETE_ELEM);
            op(Op::POP);
            break;
        default:
            op(Op::PUSH_NULL);
            op(Op::DELETE_NAME, name(m_in.pick(variables)));
            op(Op::POP);
            break;
        }
    }

    void if_statement(int nesting) {
        Label otherwise;
        Label end;
        value(nesting);
        jump(m_in.pick(conditional_jumps), otherwise);
        block(nesting + 1);
        if (m_in.one_in(2)) {
            if (m_live) {
                jump(Op::JMP, end);
            }
            place(otherwise);
            block(nesting + 1);
            place(end);
        } else {
            place(otherwise);
        }
    }

    // A loop counted in a global, or one that ends only when the body leaves it or the instruction
    // budget runs out.
    void loop(int nesting) {
        const char* counter = m_in.pick(variables);
        bool counted = !m_in.one_in(8);
        if (counted) {
            op(Op::PUSH_0);
            op(Op::SET_GLOBAL, name(counter));
        }
        Label head;
        place(head);
        block(nesting + 1);
        if (!m_live) {
            return;
        }
        settle(head.depth);
        if (counted) {
            op(Op::GET_GLOBAL, name(counter));
            op(Op::INC);
            op(Op::DUP);
            op(Op::SET_GLOBAL, name(counter));
            op(Op::PUSH_INT, 1 + m_in.below(300));
            op(Op::LT);
            jump(Op::JT, head);
        } else if (m_in.one_in(2)) {
            jump(Op::JMP, head);
        } else {
            value(nesting);
            jump(m_in.pick(conditional_jumps), head);
        }
    }

    // TRY_PUSH catch; body; TRY_POP 1; JMP end; catch: the exception on top; handler; end:. The body
    // may leave through RETURN or THROW, or end without removing its record.
    void try_statement(int nesting) {
        Label handler;
        Label end;
        jump(Op::TRY_PUSH, handler);
        block(nesting + 1);
        if (m_live) {
            if (!m_in.one_in(8)) {
                op(Op::TRY_POP, m_in.one_in(8) ? m_in.pick(counts) : 1);
            }
            jump(Op::JMP, end);
        }
        place(handler);
        switch (m_in.below(3)) {
        case 0:
            op(Op::POP);
            break;
        case 1:
            op(Op::SET_GLOBAL, name("e"));
            break;
        default:
            break;  // the exception stays while the handler runs
        }
        block(nesting + 1);
        place(end);
    }

    // One instruction picked from the opcode table, with an operand of its kind; skipped when the
    // verifier would refuse it at this depth. Jumps come only from the structured statements.
    void raw_instruction() {
        auto op_code = static_cast<Op>(quill::vm::first_opcode + m_in.below(quill::vm::opcode_count));
        int64_t operand = 0;
        switch (quill::vm::opcode_info(static_cast<uint8_t>(op_code)).operand) {
        case OperandKind::None:
            break;
        case OperandKind::Jump:
            return;
        case OperandKind::Byte:
            operand = op_code == Op::ROLL                                ? m_in.pick(rolls)
                      : op_code == Op::GET_ARG || op_code == Op::SET_ARG ? m_in.pick(slots)
                                                                         : edge_or_byte(counts);
            break;
        case OperandKind::Short:
            if (op_code == Op::RESERVE) {
                operand = m_in.pick(reserves);
            } else if (op_code == Op::GET_LOCAL && m_depth >= 1) {
                operand = m_in.below(std::min(m_depth, 256));
            } else if (op_code == Op::SET_LOCAL && m_depth >= 2) {
                operand = m_in.below(std::min(m_depth - 1, 256));
            } else {
                return;
            }
            break;
        case OperandKind::Name:
            operand = any_name();
            break;
        case OperandKind::Constant:
            operand = constant();
            break;
        case OperandKind::Immediate:
            operand = edge_or_byte(immediates);
            break;
        }
        if (reads(op_code, operand) > m_depth || m_depth + effect(op_code, operand) > 3 * max_depth ||
            (op_code == Op::ARGS_PAD && !m_padding_anywhere)) {
            return;
        }
        if (quill::vm::opcode_info(static_cast<uint8_t>(op_code)).operand == OperandKind::None) {
            op(op_code);
        } else {
            op(op_code, operand);
        }
    }

    // Pushes one value (calls left without their NIP push more).
    void value(int nesting) {
        bool simple = nesting >= max_nesting || m_left <= 0 || m_depth > max_depth;
        switch (m_in.below(simple ? 7 : 19)) {
        case 0:
            op(m_in.pick(small_pushes));
            break;
        case 1:
            op(Op::PUSH_INT, edge_or_byte(immediates));
            break;
        case 2:
            op(Op::PUSH_CONST, constant());
            break;
        case 3:
            op(Op::GET_GLOBAL, any_name());
            break;
        case 4:
            op(Op::GET_ARG, m_in.pick(slots));
            break;
        case 5:
            if (m_depth >= 1) {
                op(Op::GET_LOCAL, m_in.below(std::min(m_depth, 256)));
            } else {
                op(Op::PUSH_NULL);
            }
            break;
        case 6:
            op(Op::GET_SCOPED, any_name());
            break;
        case 7:
            value(nesting + 1);
            if (m_in.one_in(3)) {
                op(Op::GET_PROP, name(m_in.pick(properties)));
            } else {
                op(m_in.pick(unary_ops));
            }
            break;
        case 8:
            value(nesting + 1);
            value(nesting + 1);
            op(m_in.pick(binary_ops));
            break;
        case 9:
            call(nesting, Op::CALL);
            break;
        case 10:
            call(nesting, Op::CALL_METHOD);
            break;
        case 11:
            call(nesting, Op::NEW);
            break;
        case 12:
            call(nesting, Op::CALL_SCOPED);
            break;
        case 13:
            array(nesting);
            break;
        case 14:
            object_with_callbacks(nesting);
            break;
        case 15:  // a string of its own, which SET_ELEM may change in place
            op(Op::PUSH_CONST, one_of(m_strings));
            op(Op::PUSH_CONST, one_of(m_strings));
            op(Op::ADD);
            break;
        case 16:
            op(Op::PUSH_INT, m_in.pick(slots));
            op(Op::GET_FRAME_SLOT);
            break;
        case 17:
            op(Op::GET_GLOBAL, name(m_in.pick(functions)));
            break;
        default:
            op(Op::PUSH_CONST, one_of(m_regexps));
            break;
        }
    }

    // The compiler's call shapes: an..a1; n; callee or receiver; the call; NIP n+2 (NEW: SWAP first).
    // Now and then the count lies or the NIP is left out.
    void call(int nesting, Op kind) {
        int64_t n = m_in.below(5);
        for (int64_t i = 0; i < n; ++i) {
            value(nesting + 1);
        }
        op(Op::PUSH_INT, m_in.one_in(16) ? m_in.pick(immediates) : n);
        switch (kind) {
        case Op::CALL:
            callee(nesting);
            op(Op::CALL);
            break;
        case Op::CALL_METHOD:
            value(nesting + 1);
            op(Op::CALL_METHOD, name(m_in.pick(methods)));
            break;
        case Op::NEW:
            callee(nesting);
            op(Op::NEW);
            op(Op::SWAP);
            break;
        default:
            callee(nesting);
            op(Op::CALL_SCOPED, m_in.one_in(2) ? name(m_in.pick(methods)) : name(m_in.pick(functions)));
            break;
        }
        if (!m_in.one_in(16)) {
            op(Op::NIP, n + 2);
        }
    }
    void callee(int nesting) {
        switch (m_in.below(3)) {
        case 0:
            op(Op::GET_GLOBAL, name(m_in.pick(functions)));
            break;
        case 1:
            op(Op::GET_GLOBAL, name(m_in.pick(builtins)));
            break;
        default:
            value(nesting + 1);
            break;
        }
    }

    // [a1..an]: an..a1; PUSH_INT -n; GET_GLOBAL Array; NEW; SWAP; NIP n+2.
    void array(int nesting) {
        int64_t n = m_in.below(6);
        for (int64_t i = 0; i < n; ++i) {
            value(nesting + 1);
        }
        op(Op::PUSH_INT, -n);
        op(Op::GET_GLOBAL, name("Array"));
        op(Op::NEW);
        op(Op::SWAP);
        op(Op::NIP, n + 2);
    }

    // A new Object whose toString or valueOf (or another property) is a generated function or
    // another value: native code converting it runs script code.
    void object_with_callbacks(int nesting) {
        op(Op::PUSH_0);
        op(Op::GET_GLOBAL, name("Object"));
        op(Op::NEW);
        op(Op::SWAP);
        op(Op::NIP, 2);
        for (uint32_t n = 1 + m_in.below(3); n > 0; --n) {
            op(Op::DUP);
            if (m_in.one_in(4)) {
                value(nesting + 1);
            } else {
                op(Op::GET_GLOBAL, name(m_in.pick(functions)));
            }
            op(Op::SWAP);
            op(Op::SET_PROP, name(m_in.one_in(4)   ? m_in.pick(properties)
                                  : m_in.one_in(2) ? "toString"
                                                   : "valueOf"));
        }
    }

    Choices& m_in;
    ModuleWriter m_out;
    std::vector<uint32_t> m_strings;  // constant indexes
    std::vector<uint32_t> m_regexps;
    bool m_lines = false;  // whether the module has line records
    // Whether ARGS_PAD may stand outside the prologue. A module without such padding stays loadable
    // however strictly the verifier places ARGS_PAD, so the rest of its code still runs.
    bool m_padding_anywhere = true;
    uint32_t m_line = 0;
    int m_depth = 0;     // cells above the frame's own, as the verifier counts them
    bool m_live = true;  // whether the next instruction is reachable
    int m_left = 0;      // instructions the function may still take
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quill;
    Choices choices(data, size);
    std::vector<uint8_t> module = ModuleGenerator(choices).generate();
    std::string listing;
    list_module(module.data(), module.size(), &listing);
    static const bool show = std::getenv("QUILL_FUZZ_LISTING") != nullptr;
    if (show) {
        std::fprintf(stderr, "%s\n", listing.c_str());
    }

    fuzz::InputEngine input;
    bool ok = quill::run_compiled_bytes(input.handle(), module.data(), module.size());
    if (show) {
        std::fprintf(stderr, "%s: %s\n", ok ? "ran" : "failed", quill::last_message(input.handle()));
    }
    input.check_heap();
    return 0;
}
