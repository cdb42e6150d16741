// The loader: constants into the engine, functions verified and translated into word code.
//
// Compiled modules are input and may be malformed or hostile, so every function is verified before
// it is translated:
//  - every operand is whole, constant and name indexes are in range and names are Name constants,
//    jump targets are instruction starts inside the function (or its appended END);
//  - a flow analysis over the function gives each reachable instruction the least stack depth it
//    can be reached with (cells below the function's frame). No instruction may read more cells than
//    that, so no code pops into its frame; local slots must lie inside the occupied cells.
//  - ARGS_PAD, which moves the frame down under the cells the function owns, may stand only once,
//    in the function's prologue: the straight run of instructions from its start that no jump
//    reaches and that holds no jump and no TRY_PUSH. So no try record can have saved the frame
//    before it moves, and no path runs the padding twice.
//  - the most cells the function can push along forward paths is its stack growth. Calls check room
//    for the callee's growth, and every taken backward jump checks room for the function's growth,
//    which the translation keeps in the jump's opcode word: execution between two checks only moves
//    forward, so it never pushes past the stack base.
// What cannot be known at load time (frame slots addressed at run time, the count of arguments a
// caller passed) the interpreter checks where it is used.
#include "engine/vm/loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/plain_heap.h"
#include "engine/values/protected_run.h"
#include "engine/values/records.h"
#include "engine/values/string_record.h"
#include "engine/vm/code_block.h"
#include "engine/vm/interpreter.h"
#include "engine/vm/opcodes.h"

namespace quill::vm {

namespace {

[[noreturn]] void reject(ScriptEngine* engine, const char* reason) {
    set_message(engine, Message::InvalidModule, reason);
    raise_runtime_error(engine);
}

// "@F_" followed by a decimal number n becomes "@F_" followed by n + base.
std::string renumber_anonymous(const std::string& name, uint32_t base) {
    if (name.size() <= 3 || name.compare(0, 3, "@F_") != 0) {
        return name;
    }
    uint64_t n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > UINT32_MAX) {
            return name;
        }
        n = n * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    return "@F_" + std::to_string(n + base);
}

bool is_anonymous(const std::string& name) { return renumber_anonymous(name, 1) != name; }

Value make_constant(ScriptEngine* engine, const ModuleConstant& constant, uint32_t anonymous_base) {
    switch (constant.type) {
    case ConstantType::Null:
        return Value::null();
    case ConstantType::NaN:
        return Value::nan();
    case ConstantType::Boolean:
        return Value::boolean(constant.boolean);
    case ConstantType::Integer:
        return Value::integer(constant.integer);
    case ConstantType::Number:
        return Value::number(constant.number);
    case ConstantType::String: {
        // The characters belong to the constant table, which frees them with the engine.
        size_t length = constant.text.size();
        auto* chars = static_cast<char16_t*>(plain_allocate(engine, (length == 0 ? 1 : length) * sizeof(char16_t)));
        if (length > 0) {
            std::memcpy(chars, constant.text.data(), length * sizeof(char16_t));
        }
        return make_static_string(engine, chars, length);
    }
    case ConstantType::Name:
        return Value::name(intern(engine, renumber_anonymous(constant.name, anonymous_base)));
    case ConstantType::RegExp: {
        Value regexp;
        if (engine->make_regexp == nullptr ||
            !engine->make_regexp(engine, constant.text.data(), constant.text.size(), constant.regexp_flags, &regexp)) {
            raise_error(engine, Message::UnimplementedBytecode);
        }
        return regexp;
    }
    }
    raise_error(engine, Message::UnimplementedBytecode);
}

StackUse stack_use(const Instruction& in) { return vm::stack_use(in.opcode, in.operand); }

constexpr uint32_t max_growth = 0xFFFFFF;

struct FunctionCode {
    std::vector<uint32_t> words;
    std::vector<LineEntry> lines;
    uint32_t growth = 0;
    bool has_source = false;
    std::string source_name;
};

class Translator {
public:
    Translator(ScriptEngine* engine, const ParsedModule& module, uint32_t constant_base)
        : m_engine(engine), m_module(module), m_base(constant_base) {}

    FunctionCode translate(const ModuleFunction& function);

private:
    void decode(const ModuleFunction& function);
    void check_operands();
    void check_argument_padding();
    void analyse_depths();
    uint32_t stack_growth() const;
    void build_lines(const ModuleFunction& function, FunctionCode& out) const;
    Op fused_opcode(size_t i) const;
    void fuse(std::vector<uint32_t>& words) const;
    // The instruction index at a byte offset; the appended END for the function's end; -1 otherwise.
    int32_t index_at(int64_t offset) const;
    int32_t jump_target(const Instruction& in) const;

    ScriptEngine* m_engine;
    const ParsedModule& m_module;
    uint32_t m_base;
    uint32_t m_start = 0;
    uint32_t m_end = 0;
    std::vector<Instruction> m_code;   // the function's instructions, END appended
    std::vector<int32_t> m_at;         // instruction index by byte offset - start, -1 inside one
    std::vector<uint32_t> m_word;      // word position of each instruction
    std::vector<int32_t> m_low;        // least depth each instruction is reached with; -1 unreached
};

void Translator::decode(const ModuleFunction& function) {
    m_start = function.offset;
    m_end = function.end;
    m_code.clear();
    m_word.clear();
    m_at.assign(m_end - m_start + 1, -1);
    uint32_t word = 0;
    for (uint32_t offset = m_start; offset < m_end;) {
        Instruction in;
        if (!decode_instruction(m_module.code, offset, m_end, &in)) {
            reject(m_engine, "truncated instruction");
        }
        if (is_opcode(in.opcode)) {
            const OpcodeInfo& info = opcode_info(in.opcode);
            if (info.sign == OperandSign::Unsigned) {
                in.operand = info.operand == OperandKind::Byte ? (in.operand & 0xFF) : (in.operand & 0xFFFF);
            }
            m_at[offset - m_start] = static_cast<int32_t>(m_code.size());
            m_code.push_back(in);
            m_word.push_back(word);
            word += info.operand == OperandKind::None ? 1 : 2;
        }
        // A byte that is no opcode produces no word and is no instruction.
        offset += in.size;
    }
    Instruction end;
    end.offset = m_end;
    end.opcode = static_cast<uint8_t>(Op::END);
    m_at[m_end - m_start] = static_cast<int32_t>(m_code.size());
    m_code.push_back(end);
    m_word.push_back(word);
}

int32_t Translator::index_at(int64_t offset) const {
    if (offset < m_start || offset > m_end) {
        return -1;
    }
    return m_at[static_cast<size_t>(offset - m_start)];
}

int32_t Translator::jump_target(const Instruction& in) const {
    return index_at(static_cast<int64_t>(in.offset) + jump_size + in.operand);
}

void Translator::check_operands() {
    const auto& constants = m_module.constants;
    for (const Instruction& in : m_code) {
        Op op = static_cast<Op>(in.opcode);
        switch (opcode_info(in.opcode).operand) {
        case OperandKind::Constant:
            if (in.operand >= static_cast<int64_t>(constants.size())) {
                reject(m_engine, "constant index out of range");
            }
            break;
        case OperandKind::Name:
            if (in.operand >= static_cast<int64_t>(constants.size()) ||
                constants[static_cast<size_t>(in.operand)].type != ConstantType::Name) {
                reject(m_engine, "name operand is not a name constant");
            }
            break;
        case OperandKind::Jump:
            if (jump_target(in) < 0) {
                reject(m_engine, "jump target is not an instruction of the function");
            }
            break;
        default:
            break;
        }
        if ((op == Op::GET_ARG || op == Op::SET_ARG) && in.operand < 0) {
            reject(m_engine, "negative frame slot");
        }
    }
}

void Translator::check_argument_padding() {
    std::vector<bool> targeted(m_code.size(), false);
    for (const Instruction& in : m_code) {
        if (is_jump(static_cast<Op>(in.opcode))) {
            targeted[static_cast<size_t>(jump_target(in))] = true;
        }
    }
    bool prologue = true;
    for (size_t i = 0; i < m_code.size(); ++i) {
        Op op = static_cast<Op>(m_code[i].opcode);
        prologue = prologue && !targeted[i];
        if (op == Op::ARGS_PAD) {
            if (!prologue) {
                reject(m_engine, "ARGS_PAD outside its function's prologue");
            }
            prologue = false;
        } else if (is_jump(op) || op == Op::RETURN || op == Op::THROW || op == Op::END) {
            prologue = false;
        }
    }
}

void Translator::analyse_depths() {
    m_low.assign(m_code.size(), -1);
    std::vector<int32_t> work;
    auto reach = [&](int32_t index, int32_t depth) {
        if (m_low[index] < 0 || depth < m_low[index]) {
            m_low[index] = depth;
            work.push_back(index);
        }
    };
    reach(0, 0);
    while (!work.empty()) {
        int32_t index = work.back();
        work.pop_back();
        const Instruction& in = m_code[index];
        int32_t depth = m_low[index];
        StackUse use = stack_use(in);
        Op op = static_cast<Op>(in.opcode);
        if (depth < use.reads) {
            reject(m_engine, "instruction reads below its function's stack cells");
        }
        if (op == Op::GET_LOCAL && in.operand + 1 > depth) {
            reject(m_engine, "local slot outside the reserved cells");
        }
        if (op == Op::SET_LOCAL && in.operand + 1 > depth - 1) {
            reject(m_engine, "local slot outside the reserved cells");
        }
        int32_t next = depth + use.effect;
        if (op == Op::TRY_PUSH) {
            reach(jump_target(in), depth + 1);  // the catch code starts with the exception pushed
        } else if (is_jump(op)) {
            reach(jump_target(in), next);
        }
        bool falls_through = op != Op::JMP && op != Op::RETURN && op != Op::THROW && op != Op::END;
        if (falls_through) {
            reach(index + 1, next);
        }
    }
}

uint32_t Translator::stack_growth() const {
    // The most a forward-only run of instructions, starting anywhere, can push.
    std::vector<int64_t> reach(m_code.size(), 0);
    int64_t growth = 0;
    for (size_t i = 0; i < m_code.size(); ++i) {
        if (m_low[i] < 0) {
            continue;
        }
        const Instruction& in = m_code[i];
        Op op = static_cast<Op>(in.opcode);
        int64_t after = reach[i] + stack_use(in).effect;
        growth = std::max(growth, after);
        auto forward = [&](size_t target) {
            if (target > i) {
                reach[target] = std::max(reach[target], std::max<int64_t>(after, 0));
            }
        };
        if (is_jump(op) && op != Op::TRY_PUSH) {
            forward(static_cast<size_t>(jump_target(in)));
        }
        if (op != Op::JMP && op != Op::RETURN && op != Op::THROW && op != Op::END && i + 1 < m_code.size()) {
            forward(i + 1);
        }
    }
    return static_cast<uint32_t>(std::min<int64_t>(growth + 1, max_growth));
}

void Translator::build_lines(const ModuleFunction& function, FunctionCode& out) const {
    if (m_module.debug.empty()) {
        return;
    }
    out.has_source = true;
    out.source_name = "unknown";
    bool named = false;
    for (const DebugRecord& record : m_module.debug) {
        if (record.type == 1) {
            out.source_name = record.source_name;
            named = true;
            continue;
        }
        if (record.offset > function.end) {
            break;
        }
        if (record.offset < function.offset) {
            continue;
        }
        // The first instruction at or after the recorded offset.
        uint32_t offset = record.offset;
        while (index_at(offset) < 0) {
            ++offset;
        }
        out.lines.push_back({m_word[static_cast<size_t>(index_at(offset))], record.line});
    }
    if (!named) {
        out.source_name = "unknown";
    }
}

FunctionCode Translator::translate(const ModuleFunction& function) {
    decode(function);
    check_operands();
    check_argument_padding();
    analyse_depths();
    FunctionCode out;
    out.growth = stack_growth();
    for (size_t i = 0; i < m_code.size(); ++i) {
        const Instruction& in = m_code[i];
        Op op = static_cast<Op>(in.opcode);
        uint32_t opcode_word = in.opcode;
        if (op == Op::ARGS_PAD) {
            opcode_word |= out.growth << 8;  // padding checks room for itself and the function
        }
        uint32_t operand = 0;
        switch (opcode_info(in.opcode).operand) {
        case OperandKind::None:
            break;
        case OperandKind::Jump: {
            auto target = static_cast<size_t>(jump_target(in));
            operand = static_cast<uint32_t>(static_cast<int32_t>(m_word[target]) - static_cast<int32_t>(m_word[i] + 2));
            // A backward jump checks the stack when taken; a catch when it is entered.
            if (target <= i || op == Op::TRY_PUSH) {
                opcode_word |= out.growth << 8;
            }
            break;
        }
        case OperandKind::Constant:
            operand = m_base + static_cast<uint32_t>(in.operand);
            break;
        case OperandKind::Name:
            operand = static_cast<uint32_t>(m_engine->constants.items[m_base + in.operand].payload.atom);
            break;
        default:
            operand = static_cast<uint32_t>(in.operand);
            break;
        }
        out.words.push_back(opcode_word);
        if (opcode_info(in.opcode).operand != OperandKind::None) {
            out.words.push_back(operand);
        }
    }
    fuse(out.words);
    build_lines(function, out);
    return out;
}

// The fused instruction whose sequence starts at instruction i (the first in the list of
// opcodes.h whose sequence is there), or NOP for none. A test's JF_BOOL must jump forward.
Op Translator::fused_opcode(size_t i) const {
    auto op = [&](size_t k) { return k < m_code.size() ? static_cast<Op>(m_code[k].opcode) : Op::NOP; };
    auto forward_test = [&](Op relation) {
        return op(i + 2) == relation && op(i + 3) == Op::JF_BOOL &&
               jump_target(m_code[i + 3]) > static_cast<int32_t>(i + 3);
    };
#define QUILL_FUSED_SEQUENCE(name, number, first, relation, second)                                  \
    if (op(i) == Op::first && op(i + 1) == Op::second && (Op::relation == Op::NOP || forward_test(Op::relation))) { \
        return Op::name;                                                                             \
    }
    QUILL_FUSED_OPCODES(QUILL_FUSED_SEQUENCE)
#undef QUILL_FUSED_SEQUENCE
    return Op::NOP;
}

// Writes fused opcodes (opcodes.h) over the opcode words of the first instructions of the
// sequences they stand for. Every sequence is recognised on the instructions as decoded, so a
// word already written over never hides the start of another.
void Translator::fuse(std::vector<uint32_t>& words) const {
    for (size_t i = 0; i < m_code.size(); ++i) {
        Op fused = fused_opcode(i);
        if (fused != Op::NOP) {
            uint32_t& word = words[m_word[i]];
            word = (word & ~0xFFu) | static_cast<uint32_t>(fused);
        }
    }
}

char* plain_copy(ScriptEngine* engine, const std::string& text) {
    auto* copy = static_cast<char*>(plain_allocate(engine, text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

void finalize_code_block(ScriptEngine*, void* data) {
    auto* block = static_cast<CodeBlock*>(data);
    plain_free(nullptr, block->code);
    plain_free(nullptr, block->lines);
    plain_free(nullptr, block->name);
    plain_free(nullptr, block->source_name);
}

CodeBlock* make_code_block(ScriptEngine* engine, const std::string& name, const FunctionCode& code) {
    auto* block = static_cast<CodeBlock*>(gc_allocate_finalized(engine, sizeof(CodeBlock), finalize_code_block));
    add_permanent_block(engine, block);
    block->name = plain_copy(engine, name);
    block->code = static_cast<uint32_t*>(plain_allocate(engine, code.words.size() * sizeof(uint32_t)));
    std::memcpy(block->code, code.words.data(), code.words.size() * sizeof(uint32_t));
    block->word_count = static_cast<uint32_t>(code.words.size());
    block->stack_growth = code.growth;
    if (code.has_source) {
        block->source_name = plain_copy(engine, code.source_name);
        if (!code.lines.empty()) {
            block->lines = static_cast<LineEntry*>(plain_allocate(engine, code.lines.size() * sizeof(LineEntry)));
            std::memcpy(block->lines, code.lines.data(), code.lines.size() * sizeof(LineEntry));
            block->line_count = static_cast<uint32_t>(code.lines.size());
        }
    }
    return block;
}

void install(ScriptEngine* engine, const ParsedModule& module, bool* main_started) {
    uint32_t constant_base = engine->constants.count;
    uint32_t anonymous_base = engine->anonymous_functions;
    for (const ModuleConstant& constant : module.constants) {
        add_constant(engine, make_constant(engine, constant, anonymous_base));
    }
    Translator translator(engine, module, constant_base);
    CodeBlock* main = nullptr;
    for (const ModuleFunction& function : module.functions) {
        FunctionCode code = translator.translate(function);
        if (function.name == ".main") {
            main = make_code_block(engine, function.name, code);
            continue;
        }
        std::string name = function.name;
        if (is_anonymous(name)) {
            name = renumber_anonymous(name, anonymous_base);
            ++engine->anonymous_functions;
        }
        CodeBlock* block = make_code_block(engine, name, code);
        auto* object = static_cast<FunctionObject*>(gc_allocate(engine, sizeof(FunctionObject)));
        object->code = block;
        object->properties = nullptr;
        set_global(engine, name, Value::function(object));
    }
    if (main != nullptr) {
        *main_started = true;
        run_code(engine, nullptr, main, 0, nullptr);
    }
}

// The code block containing a word position, searching global functions first, then the stack.
const CodeBlock* block_containing(ScriptEngine* engine, const uint32_t* code) {
    auto contains = [code](const Value& value) {
        if (value.tag != Tag::Function || value.payload.function == nullptr || value.payload.function->code == nullptr) {
            return false;
        }
        const CodeBlock* block = value.payload.function->code;
        return code > block->code && code < block->code + block->word_count;
    };
    for (uint32_t i = 0; i < engine->globals.count; ++i) {
        if (contains(engine->globals.items[i])) {
            return engine->globals.items[i].payload.function->code;
        }
    }
    for (Value* cell = engine->stack.saved_top + 1; cell < engine->stack.end(); ++cell) {
        if (contains(*cell)) {
            return cell->payload.function->code;
        }
    }
    return nullptr;
}

}  // namespace

bool load_module(ScriptEngine* engine, const Module& module, bool* refused) {
    bool main_started = false;
    bool ok = run_protected(engine, [&] {
        ParsedModule parsed;
        switch (parse_module(module, &parsed)) {
        case ParseError::None:
            break;
        case ParseError::UnknownRecord:
            raise_error(engine, Message::UnimplementedBytecode);
        case ParseError::Truncated:
            reject(engine, "a record runs past its section");
        case ParseError::NameTooLong:
            reject(engine, "a name is longer than 255 bytes");
        case ParseError::BadFunctionTable:
            reject(engine, "the function table does not match its count or the code");
        }
        install(engine, parsed, &main_started);
    });
    if (refused != nullptr) {
        *refused = !ok && !main_started;
    }
    return ok;
}

const char* function_name_at(ScriptEngine* engine, const uint32_t* code) {
    const CodeBlock* block = block_containing(engine, code);
    return block != nullptr ? block->name : ".main";
}

int line_at(ScriptEngine* engine, const char** source_name) {
    *source_name = nullptr;
    const CodeBlock* block = block_containing(engine, engine->stack.saved_code);
    if (block == nullptr || block->source_name == nullptr) {
        return -1;
    }
    *source_name = block->source_name;
    // The saved position lies just past the running instruction; the compiler records each line
    // change at the offset of the instruction after the line's first one, so the two agree.
    auto word = static_cast<uint32_t>(engine->stack.saved_code - block->code);
    int line = 0;
    for (uint32_t i = 0; i < block->line_count && block->lines[i].word <= word; ++i) {
        line = static_cast<int>(block->lines[i].line);
    }
    return line;
}

}  // namespace quill::vm
