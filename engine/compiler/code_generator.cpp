// The code generator: syntax tree into the instruction list.
//
// Every expression leaves exactly one cell on the stack and every statement none, except inside the
// constructs that keep working cells while their bodies run: a switch keeps its discriminant (one
// cell), a for-in loop its collection and index (two), the catch clauses of a try the matched flag and
// the exception (two), and a finally block the rethrow flag and its companion cell (two). Their
// control entries carry those cell counts, so that break and continue remove every cell between
// themselves and their target.
//
// Names resolve at compile time: parameters to frame slots, locals to local slots, anything else to a
// global name, looked up through the with-scope chain when compiled inside a with. There are no
// closures: a function sees its own parameters and locals only.
#include "engine/compiler/code_generator.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/builtins/posix_regex.h"
#include "engine/builtins/regexp.h"
#include "engine/compiler/compiler_messages.h"
#include "engine/compiler/lexer.h"
#include "engine/compiler/optimiser.h"
#include "engine/compiler/parser.h"
#include "engine/values/atoms.h"
#include "engine/values/text_codec.h"
#include "engine/values/value.h"

namespace quill::compiler {

namespace {

using vm::Op;

constexpr int boolean_type = static_cast<int>(Tag::Boolean);

// The instruction of a binary or compound-assignment operator token.
Op operator_instruction(int token) {
    switch (token) {
    case '*':
    case tok::mul_assign:
        return Op::MUL;
    case '/':
    case tok::div_assign:
        return Op::DIV;
    case '%':
    case tok::mod_assign:
        return Op::MOD;
    case '+':
    case tok::add_assign:
        return Op::ADD;
    case '-':
    case tok::sub_assign:
        return Op::SUB;
    case tok::shl:
    case tok::shl_assign:
        return Op::SHL;
    case tok::shr:
    case tok::shr_assign:
        return Op::SHR;
    case tok::ushr:
    case tok::ushr_assign:
        return Op::USHR;
    case '&':
    case tok::and_assign:
        return Op::BITAND;
    case '^':
    case tok::xor_assign:
        return Op::BITXOR;
    case '|':
    case tok::or_assign:
        return Op::BITOR;
    case '<':
        return Op::LT;
    case '>':
        return Op::GT;
    case tok::le:
        return Op::LE;
    case tok::ge:
        return Op::GE;
    case tok::eq:
        return Op::EQ;
    case tok::ne:
        return Op::NE;
    case tok::strict_eq:
        return Op::STRICT_EQ;
    default:
        return Op::STRICT_NE;
    }
}

vm::ModuleConstant integer_constant(int64_t value) {
    vm::ModuleConstant constant;
    constant.type = vm::ConstantType::Integer;
    constant.integer = value;
    return constant;
}

enum class SlotKind { Parameter = 1, Local = 2 };

struct Binding {
    SlotKind kind;
    int slot;
};

// A compile-time scope: 257 chains picked by the engine hash of the name.
class Scope {
public:
    Scope() { m_chains.fill(-1); }

    Binding* find(std::string_view name) {
        for (int i = m_chains[chain(name)]; i >= 0; i = m_entries[i].next) {
            if (m_entries[i].name == name) {
                return &m_entries[i].binding;
            }
        }
        return nullptr;
    }

    void add(std::string_view name, Binding binding) {
        size_t c = chain(name);
        m_entries.push_back(Entry{name, binding, m_chains[c]});
        m_chains[c] = static_cast<int>(m_entries.size()) - 1;
    }

private:
    static constexpr size_t chain_count = 257;

    struct Entry {
        std::string_view name;  // in the syntax tree's text pool
        Binding binding;
        int next;
    };

    static size_t chain(std::string_view name) { return engine_hash(name.data(), name.size()) % chain_count; }

    std::array<int, chain_count> m_chains;
    std::vector<Entry> m_entries;
};

// One entry of the control stack, innermost last. Loops, switches and labelled statements are the
// targets of break and continue; the entries of catch clauses and finally blocks only record the
// cells they keep.
struct ControlEntry {
    Instruction* break_label = nullptr;
    Instruction* continue_label = nullptr;
    bool is_labelled = false;
    std::string_view label;                // labelled statements only
    int cells = 0;                         // working cells kept on the stack while the body runs
    int with_depth = 0;                    // with-scopes opened directly inside this entry
    int try_depth = 0;                     // exception handlers installed directly inside this entry
};

// Bytes appended in blocks of a fixed size, so that growing never copies what is held, and read
// back in order.
class HeldCode {
public:
    void push_back(uint8_t byte) {
        if (m_size % block_size == 0 && m_size / block_size == m_blocks.size()) {
            m_blocks.push_back(std::make_unique<uint8_t[]>(block_size));
        }
        m_blocks[m_size / block_size][m_size % block_size] = byte;
        ++m_size;
    }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    void clear() {
        m_blocks.clear();
        m_size = 0;
    }

    class Reader {
    public:
        explicit Reader(const HeldCode& code) : m_code(code) {}
        bool done() const { return m_position == m_code.m_size; }
        size_t position() const { return m_position; }
        // Requires: !done().
        uint8_t next() {
            uint8_t byte = m_code.m_blocks[m_position / block_size][m_position % block_size];
            ++m_position;
            return byte;
        }

    private:
        const HeldCode& m_code;
        size_t m_position = 0;
    };
    Reader reader() const { return Reader(*this); }

private:
    static constexpr size_t block_size = 64 * 1024;
    std::vector<std::unique_ptr<uint8_t[]>> m_blocks;
    size_t m_size = 0;
};

// Takes the program from the parser piece by piece: each function as its body ends, each
// program-level statement as it ends. With a code taker in the compilation, the functions' code
// goes to it one function at a time and ".main" is built in a list of its own, handed over last
// (the code of its first statements optimised early and held in a compact form, see
// hold_main_code); without one, everything stays in compilation.code, ".main" after the functions.
//
// A code-generation error is held back until the parse has ended, so that a syntax error anywhere in
// the source comes first, as do the parser's warnings. The first function that fails ends the
// generation; an error in ".main" gives way to one in any function, whose code comes first.
class CodeGenerator final : public ParseSink {
public:
    // Held names are kept among the tree's texts, which outlive the generator.
    CodeGenerator(Compilation& compilation, SyntaxTree& tree)
        : m_compilation(compilation), m_tree(tree), m_code(&compilation.code),
          m_main(compilation.take_code ? &m_main_code : &compilation.code) {
        m_scopes.emplace_back();  // the root scope
    }

    void function(const Node* function) override;
    void statement(const Node* statement) override;
    // After the parse: raises the held error, or ends ".main" and hands over the rest of the code.
    void finish();

private:
    // Functions and ".main".
    void compile_function(const Node* function);
    void build_arguments_object(const Node* function, uint32_t line);
    void finish_reserve(Instruction* reserve);

    // Statements.
    void compile_statement(const Node* node);
    void compile_statements(const std::vector<Node*>& statements);
    void compile_var(const Node* node);
    void compile_if(const Node* node);
    void compile_while(const Node* node);
    void compile_do(const Node* node);
    void compile_for(const Node* node);
    void compile_for_in(const Node* node);
    void compile_jump(const Node* node);
    void compile_return(const Node* node);
    void compile_with(const Node* node);
    void compile_switch(const Node* node);
    void compile_try(const Node* node);
    void compile_catch_clauses(const Node* node, Instruction* end, bool has_finally);
    void compile_labelled(const Node* node);

    // Expressions.
    void compile_expression(const Node* node);
    void compile_assignment(const Node* node);
    void compile_conditional(const Node* node);
    void compile_logical(const Node* node);
    void compile_prefix(const Node* node);
    void compile_postfix(const Node* node);
    void compile_delete(const Node* node);
    void compile_call(const Node* node);
    void compile_new(const Node* node);
    void compile_array(const Node* node);
    void compile_object(const Node* node);
    void compile_arguments(const std::vector<Node*>& arguments, uint32_t line);
    void load(const Node* target);
    void store(const Node* target);
    void push_integer(int64_t value, uint32_t line);
    void push_constant(uint32_t line, const vm::ModuleConstant& constant) { m_code->emit_constant(line, constant); }

    // Conditional jumps: the Boolean forms when the condition is known to be Boolean.
    void jump_if_false(const Node* condition, Instruction* label, uint32_t line);
    void jump_if_true(const Node* condition, Instruction* label, uint32_t line);

    // Scopes and names.
    void open_scope() { m_scopes.emplace_back(); }
    void close_scope() { m_scopes.pop_back(); }
    int declare_local(std::string_view name, uint32_t line);
    std::optional<Binding> resolve(std::string_view name);
    bool inside_with() const;

    // Control entries.
    ControlEntry& push_control(Instruction* break_label, Instruction* continue_label, int cells);
    void pop_control() { m_control.pop_back(); }

    Instruction* emit(Op op, uint32_t line) { return m_code->emit(op, line); }
    Instruction* emit(Op op, uint32_t line, int64_t operand) { return m_code->emit(op, line, operand); }
    Instruction* emit_name(Op op, uint32_t line, std::string_view name) {
        check_name(m_compilation, line, name);
        return m_code->emit_name(op, line, name);
    }
    void emit_entry(std::string_view name, uint32_t line) {
        check_name(m_compilation, line, name);
        m_code->emit_entry(name, line);
    }
    Instruction* emit_jump(Op op, uint32_t line, Instruction* label) { return m_code->emit_jump(op, line, label); }
    // WITH_POP, TRY_POP or POPN of n (nothing for 0), split where n exceeds the one-byte operand.
    void emit_count(Op op, uint32_t line, int n) {
        for (; n > 0; n -= 255) {
            emit(op, line, n > 255 ? 255 : n);
        }
    }
    Instruction* label() { return m_code->new_label(); }
    void place(Instruction* label) { m_code->place(label); }
    // Hands the code of the functions compiled so far to the compilation's taker, if it has one.
    // Called only where a function entry comes next: the optimiser's passes stay within a function.
    void hand_over_code() {
        if (m_compilation.take_code && m_code->first() != nullptr) {
            m_compilation.take_code(*m_code, false);
            m_code->clear();
        }
    }
    // ".main" so far, optimised, into its held form.
    void hold_main_code();
    // The held code of ".main" to the taker, in lists of a bounded size.
    void hand_over_held_code();

    [[noreturn]] void fail(uint32_t line, CompilerMessage message) {
        m_compilation.diagnostics.fail(line, "%s", compiler_message(message));
    }

    Compilation& m_compilation;
    SyntaxTree& m_tree;
    InstructionList* m_code;  // the list being appended to: the functions' or ".main"'s
    InstructionList* m_main;  // ".main"'s list
    InstructionList m_main_code;
    // ".main" between its statements: its scope, local slots, RESERVE, the POP of its last
    // expression statement and the line of its last statement.
    bool m_main_started = false;
    Scope m_main_scope;
    int m_main_slots = 0;
    Instruction* m_main_reserve = nullptr;
    Instruction* m_main_pop = nullptr;
    uint32_t m_main_end_line = 0;
    // The code of ".main"'s first statements, optimised already, in a compact form until the
    // functions' code has been written (see hold_main_code). The RESERVE that opens ".main" is
    // given its operand, or dropped, when the held code is handed over.
    HeldCode m_held;
    Pool<vm::ModuleConstant, 256> m_held_constants;  // Constant operands other than integers
    size_t m_held_reserve = 0;                        // the position of that RESERVE in m_held
    bool m_reserve_held = false;
    uint32_t m_held_line = 0;                         // the line of the last instruction held
    // Held errors (their diagnostic lines) and whether generation goes on.
    bool m_function_failed = false;
    bool m_main_failed = false;
    std::string m_held_error;
    std::vector<Scope> m_scopes;          // the root scope first; it never receives a name
    std::vector<ControlEntry> m_control;  // the bottom entry first
    int m_next_slot = 0;                  // next local slot of the function being compiled
    Instruction* m_statement_pop = nullptr;  // the POP of the last expression statement compiled
};

// ----- functions and .main ---------------------------------------------------------------------

void CodeGenerator::function(const Node* function) {
    if (m_function_failed) {
        return;
    }
    size_t before = m_compilation.diagnostics.text().size();
    try {
        hand_over_code();
        compile_function(function);
    } catch (const CompileError&) {
        m_function_failed = true;
        m_held_error = m_compilation.diagnostics.take_from(before);
        m_scopes.resize(1);
    }
}

void CodeGenerator::statement(const Node* statement) {
    if (m_function_failed || m_main_failed) {
        return;
    }
    size_t before = m_compilation.diagnostics.text().size();
    m_code = m_main;
    m_control.assign(1, ControlEntry{});
    m_next_slot = m_main_slots;
    m_statement_pop = m_main_pop;
    try {
        // The code so far is optimised and set aside when nothing after it can change how it
        // optimises. (An expression statement always adds code, so ".main"'s last instruction, the
        // POP whose value is the module's result, is never set aside.)
        if (m_main_started && m_main != &m_compilation.code && statement->kind == NodeKind::ExpressionStatement &&
            optimises_alone(m_main_code)) {
            hold_main_code();
        }
        if (!m_main_started) {
            if (m_main == &m_compilation.code) {
                hand_over_code();
            }
            m_main_started = true;
            open_scope();
            emit_entry(".main", statement->line);
            m_main_reserve = emit(Op::RESERVE, statement->line, 0);
        } else {
            m_scopes.push_back(std::move(m_main_scope));
        }
        compile_statement(statement);
        m_main_scope = std::move(m_scopes.back());
        m_scopes.pop_back();
        m_main_slots = m_next_slot;
        m_main_pop = m_statement_pop;
        m_main_end_line = statement->line;
    } catch (const CompileError&) {
        m_main_failed = true;
        m_held_error = m_compilation.diagnostics.take_from(before);
        m_scopes.resize(1);
    }
    m_code = &m_compilation.code;
}

// The held form of ".main"'s code, a few bytes an instruction (an instruction record takes 88): the
// opcode, then its operand (below); a byte held_line first when the line differs from the
// instruction's before it, with the line as a number; ".main"'s entry label as held_entry and its
// name. Numbers are written seven bits a byte, low bits first, the top bit set on every byte but
// the last; signed ones zigzag-coded. A name is the address and the size of its text in the tree's
// text pool, which outlives the generator; a Constant operand is held_integer and its value or
// held_pointer and the address of a record of m_held_constants. (Held code has no jumps or jump
// targets: optimises_alone lets none in.)
namespace {

constexpr uint8_t held_line = 0xFF;
constexpr uint8_t held_entry = 0xFE;
constexpr uint8_t held_integer = 0;
constexpr uint8_t held_pointer = 1;

uint64_t zigzag(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t unzigzag(uint64_t value) { return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1); }

void put_number(HeldCode& held, uint64_t value) {
    while (value >= 0x80) {
        held.push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    held.push_back(static_cast<uint8_t>(value));
}

void put_pointer(HeldCode& held, const void* pointer) {
    put_number(held, reinterpret_cast<uintptr_t>(pointer));
}

uint64_t get_number(HeldCode::Reader& reader) {
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        uint8_t byte = reader.next();
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
}

template <typename T>
const T* get_pointer(HeldCode::Reader& reader) {
    return reinterpret_cast<const T*>(static_cast<uintptr_t>(get_number(reader)));
}

}  // namespace

void CodeGenerator::hold_main_code() {
    optimise(m_main_code, CF_ALL_PASSES);
    auto put_name = [this](std::string_view text) {
        std::string_view name = m_tree.keep(text);
        put_pointer(m_held, name.data());
        put_number(m_held, name.size());
    };
    for (const Instruction* i = m_main_code.first(); i != nullptr; i = i->next) {
        if (m_held.empty() || i->line != m_held_line) {
            m_held.push_back(held_line);
            put_number(m_held, i->line);
            m_held_line = i->line;
        }
        if (i->opcode == entry_label) {
            m_held.push_back(held_entry);
            put_name(i->name);
            continue;
        }
        if (i == m_main_reserve) {
            m_held_reserve = m_held.size();
            m_reserve_held = true;
            m_main_reserve = nullptr;
        }
        m_held.push_back(static_cast<uint8_t>(i->opcode));
        switch (vm::opcode_info(static_cast<uint8_t>(i->opcode)).operand) {
        case vm::OperandKind::None:
            break;
        case vm::OperandKind::Name:
            put_name(i->name);
            break;
        case vm::OperandKind::Constant:
            if (i->constant->type == vm::ConstantType::Integer) {
                m_held.push_back(held_integer);
                put_number(m_held, zigzag(i->constant->integer));
            } else {
                vm::ModuleConstant* constant = m_held_constants.make();
                *constant = *i->constant;
                m_held.push_back(held_pointer);
                put_pointer(m_held, constant);
            }
            break;
        default:
            put_number(m_held, zigzag(i->integer));
            break;
        }
    }
    m_main_code.clear();
    m_main_pop = nullptr;
    m_statement_pop = nullptr;
}

void CodeGenerator::hand_over_held_code() {
    InstructionList list;
    size_t count = 0;
    uint32_t line = 0;
    for (HeldCode::Reader reader = m_held.reader(); !reader.done();) {
        const size_t position = reader.position();
        const uint8_t code = reader.next();
        if (code == held_line) {
            line = static_cast<uint32_t>(get_number(reader));
            continue;
        }
        auto get_name = [&reader] {
            const char* data = get_pointer<char>(reader);
            return std::string_view(data, get_number(reader));
        };
        if (code == held_entry) {
            list.emit_entry(get_name(), line);
        } else {
            auto op = static_cast<Op>(code);
            switch (vm::opcode_info(code).operand) {
            case vm::OperandKind::None:
                list.emit(op, line);
                break;
            case vm::OperandKind::Name:
                list.emit_name(op, line, get_name());
                break;
            case vm::OperandKind::Constant:
                if (reader.next() == held_integer) {
                    list.emit_constant(line, integer_constant(unzigzag(get_number(reader))));
                } else {
                    list.emit_constant(line, *get_pointer<vm::ModuleConstant>(reader));
                }
                break;
            default: {
                int64_t operand = unzigzag(get_number(reader));
                if (m_reserve_held && position == m_held_reserve) {
                    // As finish_reserve: the local slots ".main" used, or no RESERVE.
                    if (m_main_slots == 0) {
                        continue;
                    }
                    operand = m_main_slots;
                }
                list.emit(op, line, operand);
                break;
            }
            }
        }
        if (++count == 4096) {
            m_compilation.take_code(list, true);
            list.clear();
            count = 0;
        }
    }
    if (list.first() != nullptr) {
        m_compilation.take_code(list, true);
    }
    m_held.clear();
    m_held_constants.clear();
}

void CodeGenerator::finish() {
    if (m_function_failed || m_main_failed) {
        m_compilation.diagnostics.fail_held(m_held_error);
    }
    if (m_main_started) {
        if (m_main != &m_compilation.code) {
            hand_over_code();
        }
        if (!m_held.empty()) {
            hand_over_held_code();
        }
        m_code = m_main;
        m_next_slot = m_main_slots;
        if (m_main_reserve != nullptr) {
            finish_reserve(m_main_reserve);
        }
    }
    // The value of a final expression statement is the module's result. (Only the POP of an
    // expression statement qualifies: the POP that ends a switch would leave its discriminant.)
    Instruction* last = m_code->last();
    if (last != nullptr && last == m_main_pop) {
        m_code->remove(last);
    } else {
        emit(Op::PUSH_UNDEFINED, m_main_end_line);
    }
    if (m_compilation.take_code) {
        m_compilation.take_code(*m_code, false);
        m_code->clear();
    }
}

// Sets the RESERVE that opened a function to the local slots its code used, or removes it.
void CodeGenerator::finish_reserve(Instruction* reserve) {
    if (m_next_slot == 0) {
        m_code->remove(reserve);
        return;
    }
    reserve->integer = m_next_slot;
    reserve->stack_effect = m_next_slot;
}

void CodeGenerator::compile_function(const Node* function) {
    size_t parameter_count = function->list.size();
    if (parameter_count > static_cast<size_t>(max_parameters)) {
        fail(function->line, CompilerMessage::TooManyParameters);
    }
    m_control.assign(1, ControlEntry{});
    m_next_slot = 0;
    open_scope();
    for (size_t i = 0; i < parameter_count; ++i) {
        std::string_view name = function->list[i]->text;
        // A repeated parameter name keeps the first one's slot.
        if (m_scopes.back().find(name) == nullptr) {
            m_scopes.back().add(name, Binding{SlotKind::Parameter, static_cast<int>(i) + 2});
        }
    }

    emit_entry(function->text, function->line);
    uint32_t line = function->body_line;
    emit(Op::GET_ARG, line, 1);
    emit(Op::ADD2, line);
    emit(Op::ARGS_PAD, line, static_cast<int64_t>(parameter_count) + 2);
    Instruction* reserve = emit(Op::RESERVE, line, 0);
    if (function->flag) {
        build_arguments_object(function, line);
    }

    const std::vector<Node*>& body = function->body->list;
    compile_statements(body);
    uint32_t end_line = body.empty() ? line : body.back()->line;
    emit(Op::PUSH_UNDEFINED, end_line);
    emit(Op::RETURN, end_line);
    close_scope();
    finish_reserve(reserve);
}

// arguments = an object with the elements "0", "1", ... of the arguments, "length" and "callee".
void CodeGenerator::build_arguments_object(const Node* function, uint32_t line) {
    int slot = declare_local("arguments", line);
    emit(Op::PUSH_0, line);
    emit_name(Op::GET_GLOBAL, line, "Object");
    emit(Op::NEW, line);
    emit(Op::SWAP, line);
    emit(Op::NIP, line, 2);
    emit(Op::SET_LOCAL, line, slot);

    Instruction* loop = label();
    Instruction* done = label();
    emit(Op::PUSH_0, line);  // i
    place(loop);
    emit(Op::DUP, line);
    emit(Op::GET_ARG, line, 1);
    emit(Op::GE, line);
    emit_jump(Op::JT_BOOL, line, done);
    emit(Op::DUP, line);
    emit(Op::DUP, line);
    emit(Op::ADD2, line);
    emit(Op::GET_FRAME_SLOT, line);  // i value
    emit(Op::SWAP, line);
    emit(Op::GET_LOCAL, line, slot);
    emit(Op::SWAP, line);
    emit(Op::SET_ELEM, line);  // arguments[i] = value
    emit(Op::INC, line);
    emit_jump(Op::JMP, line, loop);
    place(done);
    emit(Op::GET_LOCAL, line, slot);
    emit_name(Op::SET_PROP, line, "length");
    emit_name(Op::GET_GLOBAL, line, function->text);
    emit(Op::GET_LOCAL, line, slot);
    emit_name(Op::SET_PROP, line, "callee");
}

// ----- scopes and names ------------------------------------------------------------------------

// Declares a local in the innermost scope and returns its slot. A name already declared there as a
// local keeps its slot; a parameter of that name is hidden by the new local.
//
// NOTE: every declaration of a function gets a slot of its own, including declarations in sibling
// blocks: a slot used by one block and then handed to the next would show the first block's value
// to a variable of the second that was never assigned.
int CodeGenerator::declare_local(std::string_view name, uint32_t line) {
    Scope& scope = m_scopes.back();
    Binding* existing = scope.find(name);
    if (existing != nullptr && existing->kind == SlotKind::Local) {
        return existing->slot;
    }
    if (m_next_slot >= max_local_slots) {
        fail(line, CompilerMessage::TooManyLocals);
    }
    Binding binding{SlotKind::Local, m_next_slot++};
    if (existing != nullptr) {
        *existing = binding;
    } else {
        scope.add(name, binding);
    }
    return binding.slot;
}

std::optional<Binding> CodeGenerator::resolve(std::string_view name) {
    for (auto scope = m_scopes.rbegin(); scope != m_scopes.rend(); ++scope) {
        if (Binding* binding = scope->find(name)) {
            return *binding;
        }
    }
    return std::nullopt;
}

bool CodeGenerator::inside_with() const {
    for (const ControlEntry& entry : m_control) {
        if (entry.with_depth > 0) {
            return true;
        }
    }
    return false;
}

ControlEntry& CodeGenerator::push_control(Instruction* break_label, Instruction* continue_label, int cells) {
    ControlEntry& entry = m_control.emplace_back();
    entry.break_label = break_label;
    entry.continue_label = continue_label;
    entry.cells = cells;
    return entry;
}

// ----- statements ------------------------------------------------------------------------------

void CodeGenerator::compile_statements(const std::vector<Node*>& statements) {
    for (const Node* statement : statements) {
        compile_statement(statement);
    }
}

void CodeGenerator::compile_statement(const Node* node) {
    uint32_t line = node->line;
    switch (node->kind) {
    case NodeKind::Item:
        break;
    case NodeKind::ExpressionStatement:
        compile_expression(node->left);
        m_statement_pop = emit(Op::POP, line);
        break;
    case NodeKind::Var:
        compile_var(node);
        break;
    case NodeKind::Block:
        open_scope();
        compile_statements(node->list);
        close_scope();
        break;
    case NodeKind::If:
        compile_if(node);
        break;
    case NodeKind::While:
        compile_while(node);
        break;
    case NodeKind::DoWhile:
        compile_do(node);
        break;
    case NodeKind::For:
        compile_for(node);
        break;
    case NodeKind::ForIn:
        compile_for_in(node);
        break;
    case NodeKind::Continue:
    case NodeKind::Break:
        compile_jump(node);
        break;
    case NodeKind::Return:
        compile_return(node);
        break;
    case NodeKind::With:
        compile_with(node);
        break;
    case NodeKind::Throw:
        compile_expression(node->left);
        emit(Op::THROW, line);
        break;
    case NodeKind::Switch:
        compile_switch(node);
        break;
    case NodeKind::Try:
        compile_try(node);
        break;
    case NodeKind::Labelled:
        compile_labelled(node);
        break;
    case NodeKind::NestedFunction:
        // enclosing.declared = nested
        emit_name(Op::GET_GLOBAL, line, node->text2);
        emit_name(Op::GET_GLOBAL, line, node->text);
        emit_name(Op::SET_PROP, line, node->text3);
        break;
    default:
        break;  // expression kinds never stand where a statement is compiled
    }
}

void CodeGenerator::compile_var(const Node* node) {
    for (const Node* declarator : node->list) {
        if (node->flag) {
            // Program level: global variables.
            if (declarator->left != nullptr) {
                compile_expression(declarator->left);
                emit_name(Op::SET_GLOBAL, declarator->line, declarator->text);
            }
            continue;
        }
        // The name is declared before its initializer is compiled.
        int slot = declare_local(declarator->text, declarator->line);
        if (declarator->left != nullptr) {
            compile_expression(declarator->left);
            emit(Op::SET_LOCAL, declarator->line, slot);
        }
    }
}

// c; JF* L1; then; JMP L2; L1: [else]; L2:
void CodeGenerator::compile_if(const Node* node) {
    Instruction* otherwise = label();
    Instruction* end = label();
    compile_expression(node->condition);
    jump_if_false(node->condition, otherwise, node->line);
    compile_statement(node->body);
    emit_jump(Op::JMP, node->line, end);
    place(otherwise);
    if (node->else_body != nullptr) {
        compile_statement(node->else_body);
    }
    place(end);
}

// Ltop: c; JF* Lend; body; JMP Ltop; Lend:
void CodeGenerator::compile_while(const Node* node) {
    Instruction* top = label();
    Instruction* end = label();
    place(top);
    compile_expression(node->condition);
    jump_if_false(node->condition, end, node->line);
    push_control(end, top, 0);
    compile_statement(node->body);
    pop_control();
    emit_jump(Op::JMP, node->line, top);
    place(end);
}

// Ltop: body; Lc: c; JT* Ltop; Lbrk:
void CodeGenerator::compile_do(const Node* node) {
    Instruction* top = label();
    Instruction* next = label();
    Instruction* end = label();
    place(top);
    push_control(end, next, 0);
    compile_statement(node->body);
    pop_control();
    place(next);
    compile_expression(node->condition);
    jump_if_true(node->condition, top, node->line);
    place(end);
}

// [init; POP] Ltop: (c | PUSH_TRUE); JF* Lend; body; Lc: [update; POP]; JMP Ltop; Lend:
void CodeGenerator::compile_for(const Node* node) {
    uint32_t line = node->line;
    if (node->flag) {
        open_scope();
        for (const Node* declarator : node->list) {
            int slot = declare_local(declarator->text, declarator->line);
            if (declarator->left != nullptr) {
                compile_expression(declarator->left);
                emit(Op::SET_LOCAL, declarator->line, slot);
            }
        }
    } else if (node->left != nullptr) {
        compile_expression(node->left);
        emit(Op::POP, line);
    }
    Instruction* top = label();
    Instruction* next = label();
    Instruction* end = label();
    place(top);
    if (node->condition != nullptr) {
        compile_expression(node->condition);
        jump_if_false(node->condition, end, line);
    } else {
        emit(Op::PUSH_TRUE, line);
        emit_jump(Op::JF_BOOL, line, end);
    }
    push_control(end, next, 0);
    compile_statement(node->body);
    pop_control();
    place(next);
    if (node->update != nullptr) {
        compile_expression(node->update);
        emit(Op::POP, line);
    }
    emit_jump(Op::JMP, line, top);
    place(end);
    if (node->flag) {
        close_scope();
    }
}

// The loop keeps the collection and the index in two cells while the body runs:
//   o; DUP; PUSH_0; SWAP; PUSH_0
//   Lloop: FORIN_NEXT; JF_BOOL Lexit; store the item; body
//   Lstep: PUSH_1; ADD; DUP; ROLL -3; DUP; ROLL 4; SWAP; JMP Lloop
//   Lexit: POP; Lbrk: POPN 2
void CodeGenerator::compile_for_in(const Node* node) {
    uint32_t line = node->line;
    int slot = -1;
    if (node->flag) {
        open_scope();
        const Node* declarator = node->list.front();
        slot = declare_local(declarator->text, declarator->line);
        if (declarator->left != nullptr) {
            compile_expression(declarator->left);
            emit(Op::SET_LOCAL, declarator->line, slot);
        }
    }
    Instruction* loop = label();
    Instruction* step = label();
    Instruction* exit = label();
    Instruction* end = label();
    compile_expression(node->right);
    emit(Op::DUP, line);
    emit(Op::PUSH_0, line);
    emit(Op::SWAP, line);
    emit(Op::PUSH_0, line);
    place(loop);
    emit(Op::FORIN_NEXT, line);
    emit_jump(Op::JF_BOOL, line, exit);
    if (node->flag) {
        emit(Op::SET_LOCAL, line, slot);
    } else {
        store(node->left);
    }
    push_control(end, step, 2);
    compile_statement(node->body);
    pop_control();
    place(step);
    emit(Op::PUSH_1, line);
    emit(Op::ADD, line);
    emit(Op::DUP, line);
    emit(Op::ROLL, line, -3);
    emit(Op::DUP, line);
    emit(Op::ROLL, line, 4);
    emit(Op::SWAP, line);
    emit_jump(Op::JMP, line, loop);
    place(exit);
    emit(Op::POP, line);
    place(end);
    emit(Op::POPN, line, 2);
    if (node->flag) {
        close_scope();
    }
}

// break and continue leave every entry from the innermost up to their target: its with-scopes and
// exception handlers, and the working cells of the entries inside the target (the target's own cells
// stay: a continue needs them, and a break lands where the target removes them).
void CodeGenerator::compile_jump(const Node* node) {
    bool is_continue = node->kind == NodeKind::Continue;
    size_t target = m_control.size();
    for (size_t i = m_control.size(); i-- > 0;) {
        const ControlEntry& entry = m_control[i];
        bool found;
        if (!node->text.empty()) {
            found = entry.is_labelled && entry.label == node->text;
        } else if (is_continue) {
            // A labelled block is not a loop: an unlabelled continue goes on to the enclosing loop.
            found = entry.continue_label != nullptr && !entry.is_labelled;
        } else {
            found = entry.break_label != nullptr;
        }
        if (found) {
            target = i;
            break;
        }
    }
    if (target == m_control.size()) {
        fail(node->line, is_continue ? CompilerMessage::InvalidContinue : CompilerMessage::InvalidBreak);
    }

    int with_depth = 0;
    int try_depth = 0;
    int cells = 0;
    for (size_t i = target; i < m_control.size(); ++i) {
        with_depth += m_control[i].with_depth;
        try_depth += m_control[i].try_depth;
        if (i != target) {
            cells += m_control[i].cells;
        }
    }
    uint32_t line = node->line;
    emit_count(Op::WITH_POP, line, with_depth);
    emit_count(Op::TRY_POP, line, try_depth);
    if (cells == 1) {
        emit(Op::POP, line);
    } else {
        emit_count(Op::POPN, line, cells);
    }
    const ControlEntry& entry = m_control[target];
    emit_jump(Op::JMP, line, is_continue ? entry.continue_label : entry.break_label);
}

// [value]; TRY_POP t; RETURN. The value is computed while the handlers of the enclosing try
// statements are still installed, so that they catch what it throws. Finally blocks do not run.
void CodeGenerator::compile_return(const Node* node) {
    uint32_t line = node->line;
    if (node->left != nullptr) {
        compile_expression(node->left);
    } else {
        emit(Op::PUSH_UNDEFINED, line);
    }
    int try_depth = 0;
    for (const ControlEntry& entry : m_control) {
        try_depth += entry.try_depth;
    }
    emit_count(Op::TRY_POP, line, try_depth);
    emit(Op::RETURN, line);
}

// o; WITH_PUSH; s; WITH_POP 1
void CodeGenerator::compile_with(const Node* node) {
    compile_expression(node->left);
    emit(Op::WITH_PUSH, node->line);
    ++m_control.back().with_depth;
    compile_statement(node->body);
    --m_control.back().with_depth;
    emit(Op::WITH_POP, node->line, 1);
}

// Lbefore: s; Lafter:
// A continue naming the label jumps to Lbefore: the labelled statement starts again from its
// beginning, a labelled for loop with its initialisation.
void CodeGenerator::compile_labelled(const Node* node) {
    Instruction* before = label();
    Instruction* after = label();
    place(before);
    ControlEntry& entry = m_control.emplace_back();
    entry.break_label = after;
    entry.continue_label = before;
    entry.label = node->text;
    entry.is_labelled = true;
    compile_statement(node->body);
    pop_control();
    place(after);
}

// The discriminant stays on the stack while the clauses run. Each case tests it in order; a failed
// test goes to the next case's test, and after the last one to the default clause (wherever it
// stands) or to the end. A clause's statements fall through into the next clause's statements.
void CodeGenerator::compile_switch(const Node* node) {
    uint32_t line = node->line;
    compile_expression(node->left);
    Instruction* end = label();
    push_control(end, nullptr, 1);

    const std::vector<Node*>& clauses = node->list;
    size_t count = clauses.size();
    std::vector<Instruction*> body_labels(count, nullptr);
    std::vector<Instruction*> test_labels(count, nullptr);
    Instruction* default_label = nullptr;
    for (size_t i = 0; i < count; ++i) {
        bool is_case = clauses[i]->left != nullptr;
        if (i > 0) {
            body_labels[i] = label();
            if (is_case) {
                test_labels[i] = label();
            }
        }
        if (!is_case) {
            default_label = label();
        }
    }

    for (size_t i = 0; i < count; ++i) {
        const Node* clause = clauses[i];
        bool is_case = clause->left != nullptr;
        // Where a failed test goes: the next case's test, else the default clause (from a case) or
        // the end.
        Instruction* failure = nullptr;
        for (size_t j = i + 1; j < count && failure == nullptr; ++j) {
            failure = test_labels[j];
        }
        if (failure == nullptr) {
            failure = default_label != nullptr && is_case ? default_label : end;
        }
        Instruction* fall_through = i + 1 < count ? body_labels[i + 1] : end;

        if (is_case) {
            if (i > 0) {
                place(test_labels[i]);
            }
            emit(Op::DUP, clause->line);
            compile_expression(clause->left);
            emit(Op::STRICT_EQ, clause->line);
            emit_jump(Op::JF_BOOL, clause->line, failure);
        } else {
            if (i == 0 && failure != end) {
                emit_jump(Op::JMP, clause->line, failure);
            }
            place(default_label);
        }
        if (i > 0) {
            place(body_labels[i]);
        }
        compile_statements(clause->list);
        emit_jump(Op::JMP, clause->line, fall_through);
    }
    pop_control();
    place(end);
    emit(Op::POP, line);
}

// TRY_PUSH Lcatch; s; TRY_POP 1; PUSH_FALSE; JMP Lend
// Lcatch: (the exception) then PUSH_TRUE, or the catch clauses
// Lend: [finally]; JF_BOOL Ldone; THROW; Ldone:
//
// At Lend the stack holds the flag false (nothing to rethrow) or the exception under the flag true.
// With a finally block both paths carry two cells instead (a filler under false), so that a break or
// continue inside the finally block knows how many cells to remove; Ldone then removes the filler.
void CodeGenerator::compile_try(const Node* node) {
    uint32_t line = node->line;
    bool has_finally = node->else_body != nullptr;
    Instruction* end = label();
    Instruction* catcher = label();

    emit_jump(Op::TRY_PUSH, line, catcher);
    ++m_control.back().try_depth;
    compile_statement(node->body);
    --m_control.back().try_depth;
    emit(Op::TRY_POP, line, 1);
    if (has_finally) {
        emit(Op::PUSH_UNDEFINED, line);
    }
    emit(Op::PUSH_FALSE, line);
    emit_jump(Op::JMP, line, end);

    place(catcher);
    if (node->list.empty()) {
        emit(Op::PUSH_TRUE, line);
    } else {
        compile_catch_clauses(node, end, has_finally);
    }

    place(end);
    Instruction* done = label();
    if (has_finally) {
        push_control(nullptr, nullptr, 2);
        compile_statement(node->else_body);
        pop_control();
    }
    emit_jump(Op::JF_BOOL, line, done);
    emit(Op::THROW, line);
    place(done);
    if (has_finally) {
        emit(Op::POP, line);
    }
}

// With the exception on the stack: PUSH_FALSE; SWAP; TRY_PUSH Lrethrow; then each clause binds the
// exception, tests its condition (an exception there counts as false) and, when it matches, sets the
// flag and runs its body. Execution continues into the next clause after a body.
void CodeGenerator::compile_catch_clauses(const Node* node, Instruction* end, bool has_finally) {
    uint32_t line = node->line;
    const std::vector<Node*>& clauses = node->list;
    Instruction* rethrow = label();
    Instruction* none = label();
    std::vector<Instruction*> starts(clauses.size());
    for (Instruction*& start : starts) {
        start = label();
    }

    emit(Op::PUSH_FALSE, line);
    emit(Op::SWAP, line);  // flag, exception
    emit_jump(Op::TRY_PUSH, line, rethrow);
    ControlEntry& cells = push_control(nullptr, nullptr, 2);
    cells.try_depth = 1;

    for (size_t i = 0; i < clauses.size(); ++i) {
        const Node* clause = clauses[i];
        uint32_t clause_line = clause->line;
        Instruction* next = i + 1 < clauses.size() ? starts[i + 1] : none;
        Instruction* body = label();
        place(starts[i]);
        open_scope();
        int slot = declare_local(clause->text, clause_line);
        emit(Op::DUP, clause_line);
        emit(Op::SET_LOCAL, clause_line, slot);
        if (clause->condition != nullptr) {
            Instruction* bad = label();
            emit_jump(Op::TRY_PUSH, clause_line, bad);
            ++m_control.back().try_depth;
            compile_expression(clause->condition);
            --m_control.back().try_depth;
            emit(Op::TRY_POP, clause_line, 1);
            jump_if_false(clause->condition, next, clause_line);
            emit_jump(Op::JMP, clause_line, body);
            place(bad);
            emit(Op::POP, clause_line);
            emit_jump(Op::JMP, clause_line, next);
        }
        place(body);
        emit(Op::SWAP, clause_line);
        emit(Op::POP, clause_line);
        emit(Op::PUSH_TRUE, clause_line);
        emit(Op::SWAP, clause_line);  // the flag is now true
        compile_statement(clause->body);
        close_scope();
    }
    pop_control();

    Instruction* matched = label();
    place(none);
    emit(Op::TRY_POP, line, 1);
    emit(Op::SWAP, line);
    emit_jump(Op::JT_BOOL, line, matched);
    emit(Op::PUSH_TRUE, line);  // no clause matched: rethrow
    emit_jump(Op::JMP, line, end);
    place(matched);
    emit(Op::POP, line);
    if (has_finally) {
        emit(Op::PUSH_UNDEFINED, line);
    }
    emit(Op::PUSH_FALSE, line);
    emit_jump(Op::JMP, line, end);
    place(rethrow);  // a clause threw: rethrow that
    emit(Op::NIP, line, 2);
    emit(Op::PUSH_TRUE, line);
}

// ----- expressions -----------------------------------------------------------------------------

void CodeGenerator::jump_if_false(const Node* condition, Instruction* target, uint32_t line) {
    emit_jump(condition->static_type == boolean_type ? Op::JF_BOOL : Op::JF, line, target);
}

void CodeGenerator::jump_if_true(const Node* condition, Instruction* target, uint32_t line) {
    emit_jump(condition->static_type == boolean_type ? Op::JT_BOOL : Op::JT, line, target);
}

// Integers 0 to 3 have instructions of their own, 32-bit values an immediate, larger ones a constant.
void CodeGenerator::push_integer(int64_t value, uint32_t line) {
    switch (value) {
    case 0:
        emit(Op::PUSH_0, line);
        return;
    case 1:
        emit(Op::PUSH_1, line);
        return;
    case 2:
        emit(Op::PUSH_2, line);
        return;
    case 3:
        emit(Op::PUSH_3, line);
        return;
    default:
        break;
    }
    if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()) {
        emit(Op::PUSH_INT, line, value);
    } else {
        push_constant(line, integer_constant(value));
    }
}

void CodeGenerator::compile_expression(const Node* node) {
    uint32_t line = node->line;
    switch (node->kind) {
    case NodeKind::Integer:
        if (node->integer >= 0 && node->integer <= 3) {
            push_integer(node->integer, line);
        } else {
            push_constant(line, integer_constant(node->integer));
        }
        return;
    case NodeKind::Number: {
        vm::ModuleConstant constant;
        constant.type = vm::ConstantType::Number;
        constant.number = node->number;
        push_constant(line, constant);
        return;
    }
    case NodeKind::String: {
        vm::ModuleConstant constant;
        constant.type = vm::ConstantType::String;
        constant.text = narrow_to_utf16(node->text);
        push_constant(line, constant);
        return;
    }
    case NodeKind::RegExp: {
        vm::ModuleConstant constant;
        constant.type = vm::ConstantType::RegExp;
        constant.text = narrow_to_utf16(node->text);
        constant.regexp_flags = node->regexp_flags;
        // The loader makes the expression before the module's first statement runs, and a pattern
        // the matcher refuses there fails the whole load: refuse it here, where it stands.
        if (int code = regex_check(constant.text, regexp_literal_options(node->regexp_flags));
            code != reg_ok) {
            m_compilation.diagnostics.fail(line, compiler_message(CompilerMessage::InvalidRegExp),
                                           regex_error_text(code).c_str());
        }
        push_constant(line, constant);
        return;
    }
    case NodeKind::Null:
        emit(Op::PUSH_NULL, line);
        return;
    case NodeKind::True:
        emit(Op::PUSH_TRUE, line);
        return;
    case NodeKind::False:
        emit(Op::PUSH_FALSE, line);
        return;
    case NodeKind::Undefined:
        emit(Op::PUSH_UNDEFINED, line);
        return;
    case NodeKind::This:
        emit(Op::GET_ARG, line, 0);
        return;
    case NodeKind::Identifier:
    case NodeKind::Member:
    case NodeKind::Index:
        load(node);
        return;
    case NodeKind::Comma:
        compile_expression(node->left);
        emit(Op::POP, line);
        compile_expression(node->right);
        return;
    case NodeKind::Assign:
        compile_assignment(node);
        return;
    case NodeKind::Conditional:
        compile_conditional(node);
        return;
    case NodeKind::Logical:
        compile_logical(node);
        return;
    case NodeKind::Bitwise:
    case NodeKind::Equality:
    case NodeKind::Relational:
    case NodeKind::Shift:
    case NodeKind::Multiplicative:
    case NodeKind::Additive:
        compile_expression(node->left);
        compile_expression(node->right);
        emit(operator_instruction(node->op), line);
        return;
    case NodeKind::Prefix:
        compile_prefix(node);
        return;
    case NodeKind::Postfix:
        compile_postfix(node);
        return;
    case NodeKind::Call:
        compile_call(node);
        return;
    case NodeKind::New:
        compile_new(node);
        return;
    case NodeKind::Array:
        compile_array(node);
        return;
    case NodeKind::Object:
        compile_object(node);
        return;
    default:
        // Statement kinds never stand where an expression is compiled; keep the stack balanced.
        emit(Op::PUSH_UNDEFINED, line);
        return;
    }
}

void CodeGenerator::load(const Node* target) {
    uint32_t line = target->line;
    switch (target->kind) {
    case NodeKind::Identifier:
        if (std::optional<Binding> binding = resolve(target->text)) {
            emit(binding->kind == SlotKind::Parameter ? Op::GET_ARG : Op::GET_LOCAL, line, binding->slot);
        } else {
            emit_name(inside_with() ? Op::GET_SCOPED : Op::GET_GLOBAL, line, target->text);
        }
        return;
    case NodeKind::Member:
        compile_expression(target->left);
        emit_name(Op::GET_PROP, line, target->text);
        return;
    default:  // Index
        compile_expression(target->left);
        compile_expression(target->right);
        emit(Op::GET_ELEM, line);
        return;
    }
}

// Stores the value on top of the stack. The object and key of a member or index target are compiled
// again here.
void CodeGenerator::store(const Node* target) {
    uint32_t line = target->line;
    switch (target->kind) {
    case NodeKind::Identifier:
        if (std::optional<Binding> binding = resolve(target->text)) {
            emit(binding->kind == SlotKind::Parameter ? Op::SET_ARG : Op::SET_LOCAL, line, binding->slot);
        } else {
            emit_name(inside_with() ? Op::SET_SCOPED : Op::SET_GLOBAL, line, target->text);
        }
        return;
    case NodeKind::Member:
        compile_expression(target->left);
        emit_name(Op::SET_PROP, line, target->text);
        return;
    default:  // Index
        compile_expression(target->left);
        compile_expression(target->right);
        emit(Op::SET_ELEM, line);
        return;
    }
}

// t = v: v; DUP; store t        t op= v: load t; v; op; DUP; store t
void CodeGenerator::compile_assignment(const Node* node) {
    uint32_t line = node->line;
    if (node->op == '=') {
        compile_expression(node->right);
    } else {
        load(node->left);
        compile_expression(node->right);
        emit(operator_instruction(node->op), line);
    }
    emit(Op::DUP, line);
    store(node->left);
}

// c; JF* L1; x; JMP L2; L1: y; L2:
void CodeGenerator::compile_conditional(const Node* node) {
    Instruction* otherwise = label();
    Instruction* end = label();
    compile_expression(node->condition);
    jump_if_false(node->condition, otherwise, node->line);
    compile_expression(node->left);
    emit_jump(Op::JMP, node->line, end);
    place(otherwise);
    compile_expression(node->right);
    place(end);
}

// a && b: a; DUP; JF* L; POP; b; L:        a || b: a; DUP; JT* L; POP; b; L:
void CodeGenerator::compile_logical(const Node* node) {
    uint32_t line = node->line;
    Instruction* end = label();
    compile_expression(node->left);
    emit(Op::DUP, line);
    if (node->op == tok::and_and) {
        jump_if_false(node->left, end, line);
    } else {
        jump_if_true(node->left, end, line);
    }
    emit(Op::POP, line);
    compile_expression(node->right);
    place(end);
}

void CodeGenerator::compile_prefix(const Node* node) {
    uint32_t line = node->line;
    const Node* operand = node->left;
    switch (node->op) {
    case '!':
        compile_expression(operand);
        emit(Op::NOT, line);
        return;
    case '-':
        compile_expression(operand);
        emit(Op::NEG, line);
        return;
    case '+':
        compile_expression(operand);
        return;
    case '~':
        compile_expression(operand);
        push_constant(line, integer_constant(-1));
        emit(Op::BITXOR, line);
        return;
    case tok::kw_typeof:
        compile_expression(operand);
        emit(Op::TYPEOF, line);
        return;
    case tok::kw_void:
        compile_expression(operand);
        emit(Op::POP, line);
        emit(Op::PUSH_UNDEFINED, line);
        return;
    case tok::kw_delete:
        compile_delete(node);
        return;
    default:  // ++ --
        load(operand);
        emit(Op::PUSH_1, line);
        emit(node->op == tok::plus_plus ? Op::ADD : Op::SUB, line);
        emit(Op::DUP, line);
        store(operand);
        return;
    }
}

// t++: load t; DUP; PUSH_1; ADD; store t      (the result is the old value)
void CodeGenerator::compile_postfix(const Node* node) {
    uint32_t line = node->line;
    load(node->left);
    emit(Op::DUP, line);
    emit(Op::PUSH_1, line);
    emit(node->op == tok::plus_plus ? Op::ADD : Op::SUB, line);
    store(node->left);
}

// delete a.b / a[k] / name; any other operand is evaluated and the result is true.
void CodeGenerator::compile_delete(const Node* node) {
    uint32_t line = node->line;
    const Node* operand = node->left;
    switch (operand->kind) {
    case NodeKind::Member:
        compile_expression(operand->left);
        emit_name(Op::DELETE_PROP, line, operand->text);
        return;
    case NodeKind::Index:
        compile_expression(operand->left);
        compile_expression(operand->right);
        emit(Op::DELETE_ELEM, line);
        return;
    case NodeKind::Identifier:
        check_name(m_compilation, operand->line, operand->text);  // at the name's own line
        emit(Op::PUSH_NULL, line);
        emit_name(Op::DELETE_NAME, line, operand->text);
        return;
    default:
        compile_expression(operand);
        emit(Op::POP, line);
        emit(Op::PUSH_TRUE, line);
        return;
    }
}

// The arguments last first, then their count.
void CodeGenerator::compile_arguments(const std::vector<Node*>& arguments, uint32_t line) {
    if (arguments.size() > static_cast<size_t>(max_call_arguments)) {
        fail(line, CompilerMessage::TooManyArguments);
    }
    for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument) {
        compile_expression(*argument);
    }
    push_integer(static_cast<int64_t>(arguments.size()), line);
}

// f(a1..an): an..a1; n; the callee and its call; NIP n+2
void CodeGenerator::compile_call(const Node* node) {
    uint32_t line = node->line;
    compile_arguments(node->list, line);
    const Node* callee = node->left;
    switch (callee->kind) {
    case NodeKind::Identifier: {
        bool scoped = inside_with();
        std::optional<Binding> binding = resolve(callee->text);
        if (binding) {
            emit(binding->kind == SlotKind::Parameter ? Op::GET_ARG : Op::GET_LOCAL, line, binding->slot);
        } else {
            emit_name(scoped ? Op::GET_SCOPED : Op::GET_GLOBAL, line, callee->text);
        }
        if (scoped) {
            emit_name(Op::CALL_SCOPED, line, callee->text);
        } else {
            emit(Op::CALL, line);
        }
        break;
    }
    case NodeKind::Member:
        compile_expression(callee->left);
        emit_name(Op::CALL_METHOD, line, callee->text);
        break;
    default:
        compile_expression(callee);
        emit(Op::CALL, line);
        break;
    }
    emit(Op::NIP, line, static_cast<int64_t>(node->list.size()) + 2);
}

// new C(a1..an): an..a1; n; C; NEW; SWAP; NIP n+2
void CodeGenerator::compile_new(const Node* node) {
    uint32_t line = node->line;
    compile_arguments(node->list, line);
    compile_expression(node->left);
    emit(Op::NEW, line);
    emit(Op::SWAP, line);
    emit(Op::NIP, line, static_cast<int64_t>(node->list.size()) + 2);
}

// [a1..an]: an..a1 (a hole is undefined); PUSH_INT -n; GET_GLOBAL Array; NEW; SWAP; NIP n+2. The
// negative count tells the Array constructor that the arguments are the elements.
//
// A literal with more elements than a call can pass starts as an empty array, and its elements are
// stored by index, last first as well.
void CodeGenerator::compile_array(const Node* node) {
    uint32_t line = node->line;
    const std::vector<Node*>& elements = node->list;
    auto element = [this](const Node* e) {
        if (e->kind == NodeKind::Item) {
            emit(Op::PUSH_UNDEFINED, e->line);
        } else {
            compile_expression(e);
        }
    };
    auto construct = [&](int64_t count) {
        emit(Op::PUSH_INT, line, -count);
        emit_name(Op::GET_GLOBAL, line, "Array");
        emit(Op::NEW, line);
        emit(Op::SWAP, line);
        emit(Op::NIP, line, count + 2);
    };

    if (elements.size() <= static_cast<size_t>(max_call_arguments)) {
        for (auto e = elements.rbegin(); e != elements.rend(); ++e) {
            element(*e);
        }
        construct(static_cast<int64_t>(elements.size()));
        return;
    }
    construct(0);
    for (size_t i = elements.size(); i-- > 0;) {
        emit(Op::DUP, line);
        element(elements[i]);
        emit(Op::SWAP, line);
        push_integer(static_cast<int64_t>(i), line);
        emit(Op::SET_ELEM, line);
    }
}

// {k1: v1, ..}: PUSH_0; GET_GLOBAL Object; NEW; SWAP; NIP 2; then, last property first:
// DUP; value; SWAP; and by key: integer → the key, SET_ELEM; string → PUSH_CONST, SET_ELEM;
// identifier → SET_PROP.
void CodeGenerator::compile_object(const Node* node) {
    uint32_t line = node->line;
    emit(Op::PUSH_0, line);
    emit_name(Op::GET_GLOBAL, line, "Object");
    emit(Op::NEW, line);
    emit(Op::SWAP, line);
    emit(Op::NIP, line, 2);
    for (auto p = node->list.rbegin(); p != node->list.rend(); ++p) {
        const Node* property = *p;
        uint32_t property_line = property->line;
        emit(Op::DUP, property_line);
        compile_expression(property->left);
        emit(Op::SWAP, property_line);
        if (property->op == tok::integer) {
            push_integer(property->integer, property_line);
            emit(Op::SET_ELEM, property_line);
        } else if (property->op == tok::string) {
            vm::ModuleConstant key;
            key.type = vm::ConstantType::String;
            key.text = narrow_to_utf16(property->text);
            push_constant(property_line, key);
            emit(Op::SET_ELEM, property_line);
        } else {
            emit_name(Op::SET_PROP, property_line, property->text);
        }
    }
}

}  // namespace

void generate_program(Compilation& compilation) {
    SyntaxTree tree;
    CodeGenerator generator(compilation, tree);
    if (compilation.take_code) {
        // Each piece is generated as soon as it is parsed and its nodes are given back.
        Parser parser(compilation, tree, &generator);
        parser.parse_program();
    } else {
        Parser parser(compilation, tree);
        parser.parse_program();
        for (const Node* function : tree.functions) {
            generator.function(function);
        }
        for (const Node* statement : tree.statements) {
            generator.statement(statement);
        }
    }
    generator.finish();
}

}  // namespace quill::compiler
