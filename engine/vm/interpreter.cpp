// The dispatch loop and the calling convention. A call builds its frame on the engine's stack as
// engine/values/stack_frame.h draws it; the stack pointer sp is the first free cell and cell 0,
// "top", is sp[1].
//
// Every handler reads in a few lines: the fast paths run inline on the registers, and what takes
// more is a member of Invocation below. Anything that may raise or collect comes after protect(),
// which leaves the code position and the top where the error machinery, native code and the
// collector look for them.
#include "engine/vm/interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>

#include "engine/values/atoms.h"
#include "engine/values/class_dispatch.h"
#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/host_class.h"
#include "engine/values/plain_heap.h"
#include "engine/values/property_access.h"
#include "engine/values/property_table.h"
#include "engine/values/records.h"
#include "engine/values/stack_frame.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "engine/vm/code_block.h"
#include "engine/vm/elements.h"
#include "engine/vm/opcodes.h"
#include "engine/vm/operators.h"

namespace quill::vm {

namespace {

constexpr ptrdiff_t margin = config::stack_margin_cells;

// Slots a constructed object's table is made with room for: its "__proto__" and four properties,
// the 128-byte size class of the heap. Objects of that many properties or fewer never grow their
// slot array while the constructor fills them; smaller objects end in the size class they would
// have grown to anyway from three slots on.
constexpr uint32_t constructed_table_room = 5;

// Dispatch. With GNU C++ (g++ and mingw-w64 alike) each handler ends by jumping through a table of
// handler addresses straight to the handler of the next instruction: one indirect jump per
// handler, which the processor predicts far better than the single shared jump of a switch. Other
// compilers run the same handlers as the cases of a switch.
#if defined(__GNUC__)
#define QUILL_THREADED_DISPATCH 1
#else
#define QUILL_THREADED_DISPATCH 0
#endif

// The handler table lists the handlers in the order of the opcode list, at their opcode numbers.
constexpr bool opcodes_consecutive() {
    int expected = first_opcode;
    bool consecutive = true;
#define QUILL_CHECK_NUMBER(name, number, ...) consecutive = consecutive && (number) == expected++;
    QUILL_OPCODES(QUILL_CHECK_NUMBER)
#undef QUILL_CHECK_NUMBER
    consecutive = consecutive && expected == last_opcode + 1 && first_fused_opcode == last_opcode + 1;
#define QUILL_CHECK_FUSED_NUMBER(name, number, ...) consecutive = consecutive && (number) == expected++;
    QUILL_FUSED_OPCODES(QUILL_CHECK_FUSED_NUMBER)
#undef QUILL_CHECK_FUSED_NUMBER
    return consecutive && expected == last_fused_opcode + 1;
}
static_assert(opcodes_consecutive(),
              "the opcode list runs from first_opcode to last_opcode in order, the fused ones on from there");

using stack_frame::claimed_cells;
using stack_frame::is_header_cell;

// Fast paths of the arithmetic and comparison handlers: operands that are Integer or Number (NaN is
// a tag of its own and takes the general path). Each fast path gives exactly what the general
// operator of operators.cpp gives for those operands, and leaves every other case to it.
bool is_number(const Value& v) { return v.tag == Tag::Integer || v.tag == Tag::Number; }
bool both_integers(const Value& a, const Value& b) { return a.tag == Tag::Integer && b.tag == Tag::Integer; }
bool both_numbers(const Value& a, const Value& b) { return is_number(a) && is_number(b); }
double number_of(const Value& v) {
    return v.tag == Tag::Integer ? static_cast<double>(v.payload.integer) : v.payload.number;
}
int64_t wrapping_add(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
int64_t wrapping_sub(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)); }
int64_t wrapping_mul(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)); }

// Fast paths of the arithmetic and comparison handlers, on the cells in place: each gives exactly
// what the general rule gives for its operands, or returns false and leaves them to it.
#if defined(__GNUC__)
#define QUILL_HANDLER [[gnu::always_inline]] inline
#else
#define QUILL_HANDLER inline
#endif

QUILL_HANDLER bool add_numbers(Value& left, const Value& right) {
    if (both_integers(left, right)) {
        left.payload.integer = wrapping_add(left.payload.integer, right.payload.integer);
    } else if (both_numbers(left, right)) {
        left = Value::number(number_of(left) + number_of(right));
    } else {
        return false;
    }
    return true;
}

QUILL_HANDLER bool subtract_numbers(Value& left, const Value& right) {
    if (both_integers(left, right)) {
        left.payload.integer = wrapping_sub(left.payload.integer, right.payload.integer);
    } else if (both_numbers(left, right)) {
        left = Value::number(number_of(left) - number_of(right));
    } else {
        return false;
    }
    return true;
}

QUILL_HANDLER bool multiply_numbers(Value& left, const Value& right) {
    if (both_integers(left, right)) {
        left.payload.integer = wrapping_mul(left.payload.integer, right.payload.integer);
    } else if (both_numbers(left, right) && !std::isnan(number_of(left) * number_of(right))) {
        left = Value::number(number_of(left) * number_of(right));
    } else {
        return false;  // NaN results (an infinity times zero among them) take the general rule
    }
    return true;
}

QUILL_HANDLER bool divide_numbers(Value& left, const Value& right) {
    if (both_numbers(left, right) && number_of(right) != 0.0 && std::isfinite(number_of(left))) {
        left = Value::number(number_of(left) / number_of(right));
        return true;
    }
    return false;
}

QUILL_HANDLER bool modulo_numbers(Value& left, const Value& right) {
    if (both_integers(left, right) && right.payload.integer != 0 && right.payload.integer != -1) {
        left.payload.integer %= right.payload.integer;
    } else if (both_numbers(left, right) && number_of(left) != 0.0 && std::isfinite(number_of(left)) &&
               number_of(right) != 0.0 && std::isfinite(number_of(right)) &&
               std::fabs(number_of(left) / number_of(right)) < 2147483648.0) {
        // The quotient fits 32 bits, so its truncation is the one the general rule uses, and a
        // conversion to an integer truncates it as std::trunc would (a zero's sign aside, which
        // cannot change x - y * q for a non-zero x).
        double x = number_of(left);
        double y = number_of(right);
        left = Value::number(x - y * static_cast<double>(static_cast<int64_t>(x / y)));
    } else {
        return false;
    }
    return true;
}

QUILL_HANDLER bool equal_numbers(Value& left, const Value& right, bool equal_wanted) {
    bool equal;
    if (both_integers(left, right)) {
        equal = left.payload.integer == right.payload.integer;
    } else if (both_numbers(left, right)) {
        equal = number_of(left) == number_of(right);
    } else {
        return false;
    }
    left = Value::boolean(equal == equal_wanted);
    return true;
}

template <typename Holds>
QUILL_HANDLER bool compare_numbers(Value& left, const Value& right, Holds holds) {
    if (both_integers(left, right)) {
        left = Value::boolean(holds(left.payload.integer, right.payload.integer));
    } else if (both_numbers(left, right)) {
        // A NaN payload compares false under every relation, as the general comparison says.
        left = Value::boolean(holds(number_of(left), number_of(right)));
    } else {
        return false;
    }
    return true;
}

// The frame of a script call, built over the callee cell and its arguments at sp: returns the new
// frame; the function's code starts with sp at frame - header_cells.
QUILL_HANDLER Value* push_frame(Value* sp, Value* caller, const uint32_t* resume) {
    sp[stack_frame::caller] = stack_frame::mark(caller);
    sp[stack_frame::cells] = stack_frame::slot(claimed_cells(sp[stack_frame::first_slot + 1]), 0);
    sp[stack_frame::with_scopes] = stack_frame::mark(nullptr);
    sp[stack_frame::resume] = stack_frame::mark(resume);
    return sp;
}

// Where a called function starts. Every compiled function opens with GET_ARG 1, ADD2, ARGS_PAD n;
// when the caller passed every declared parameter and the room the code after it needs is there,
// those three do nothing but record the frame's cells, which is done here, and the function starts
// after them. Otherwise the prologue runs as written. `frame` is the new frame, built.
QUILL_HANDLER const uint32_t* function_start(const CodeBlock* block, Value* frame, const Value* base,
                                             const Value* end) {
    const uint32_t* code = block->code;
    if (block->word_count < 5 || (code[0] & 0xFF) != static_cast<uint32_t>(Op::GET_ARG) || code[1] != 1 ||
        (code[2] & 0xFF) != static_cast<uint32_t>(Op::ADD2) ||
        (code[3] & 0xFF) != static_cast<uint32_t>(Op::ARGS_PAD)) {
        return code;
    }
    // GET_ARG 1 reads the count cell only where it lies inside the stack and is no header cell.
    const Value* count = frame + stack_frame::first_slot + 1;
    if (count >= end || count->tag != Tag::Integer) {
        return code;
    }
    int64_t passed = wrapping_add(count->payload.integer, 2);
    uint32_t wanted = code[4];
    uint32_t owned = frame[stack_frame::cells].payload.words.low;
    // ARGS_PAD checks its room with the count still pushed.
    const Value* sp = frame - stack_frame::header_cells - 1;
    if (passed < std::max<int64_t>(wanted, 1) || passed > owned || sp - base < (code[3] >> 8) + margin) {
        return code;
    }
    frame[stack_frame::cells] = stack_frame::slot(static_cast<uint32_t>(passed), 0);
    return code + 5;
}

// Leaves a frame without padding for its caller (do_return undoes padding): the result takes the
// frame's caller cell, the caller's new top.
QUILL_HANDLER void pop_frame(const Value& result, const uint32_t*& pc, Value*& sp, Value*& frame) {
    auto* caller = static_cast<Value*>(frame[stack_frame::caller].payload.pointer);
    pc = static_cast<const uint32_t*>(frame[stack_frame::resume].payload.pointer);
    frame[stack_frame::caller] = result;
    sp = frame - 1;
    frame = caller;
}

// `push` of one value onto an array, answered as call_array_method answers it, when the value fits
// the dense block: `sp` is the stack top of a CALL_METHOD (the receiver on top, the count cell and
// the argument above it) and `frame` its frame, whose header the argument must lie below. Returns
// false, having changed nothing, for every other call.
QUILL_HANDLER bool quick_push(ScriptEngine* engine, const Value* sp, const Value* frame, Atom name) {
    const Value& receiver = sp[1];
    const Value& count = sp[2];
    if (name != engine->array_push || receiver.tag != Tag::Array || count.tag != Tag::Integer ||
        count.payload.integer != 1 || sp + 3 >= frame + stack_frame::resume || !arrays_served_quickly(engine)) {
        return false;
    }
    return array_push_quick(receiver.payload.array, sp[3]);
}

// `length` of an array or a string, read as the Array and String classes read it while they are the
// handlers of their types (which answer before any own property); false for every other case.
QUILL_HANDLER bool quick_length(ScriptEngine* engine, Value& cell, Atom name) {
    if (name != engine->length_atom) {
        return false;
    }
    if (cell.tag == Tag::Array && arrays_served_quickly(engine)) {
        cell = Value::integer(static_cast<int64_t>(cell.payload.array->length));
        return true;
    }
    if (cell.tag == Tag::String && engine->quick_string_class != nullptr &&
        type_handler(engine, Tag::String) == engine->quick_string_class) {
        cell = Value::integer(cell.payload.string->length);
        return true;
    }
    return false;
}

bool truthy(const Value& v) { return v.tag == Tag::Boolean ? v.payload.flag != 0 : to_boolean(v); }

Value static_type_name(ScriptEngine* engine, Tag tag) {
    const char* name = type_name(tag);
    // typeof texts are ASCII; each gets a static record over a literal.
    static const char16_t* const wide[] = {u"undefined", u"object", u"boolean", u"number", u"string", u"function", u""};
    static const char* const narrow[] = {"undefined", "object", "boolean", "number", "string", "function", ""};
    for (size_t i = 0; i < sizeof narrow / sizeof narrow[0]; ++i) {
        if (std::strcmp(name, narrow[i]) == 0) {
            return make_static_string(engine, wide[i], std::strlen(narrow[i]));
        }
    }
    return make_static_string(engine, u"", 0);
}

// The argument block a native handler may read and write (conversions replace arguments in
// place): the count cell and the cells after it, provided they lie below `frame_cells`, the running
// function's frame cells. A count that reaches into them or beyond (only hostile code makes one)
// gives an empty block.
Value* native_block(Value* block, const Value* frame_cells, Value* empty) {
    if (block >= frame_cells || block[0].tag != Tag::Integer) {
        return empty;
    }
    int64_t n = block[0].payload.integer;
    int64_t limit = frame_cells - block - 1;
    return (n <= limit && n >= -limit) ? block : empty;
}

using BinaryOperator = Value (*)(ScriptEngine*, const Value&, const Value&);

// One invocation of the dispatch loop. Registers: pc (next code word), sp (first free cell), frame.
class Invocation {
public:
    Invocation(ScriptEngine* engine, const uint32_t* pc, Value* sp, Value* frame)
        : m_engine(engine), m_pc(pc), m_sp(sp), m_frame(frame), m_entry_head(engine->protection),
          m_base(engine->stack.base), m_end(engine->stack.end()) {}

    void run();

private:
    void execute();
    bool land();
    void finish(const Value& result);

    // The raise point: before anything that may raise an error, collect or run native code, the code
    // position and the top go where the error machinery, native code and the collector look.
    void protect() {
        m_engine->stack.saved_top = m_sp;
        m_engine->stack.saved_code = m_pc;
    }
    // The collection point: a collection due runs here, where every live value is on the stack.
    void collection_point() {
        if (collection_due(m_engine)) {
            protect();
            collect(m_engine, m_sp);
        }
    }
    [[noreturn]] void overflow() {
        protect();
        raise_error(m_engine, Message::StackOverflow);
    }
    void need_room(ptrdiff_t cells) {
        if (m_sp - m_base < cells + margin) {
            overflow();
        }
    }

    void push(const Value& v) { *m_sp-- = v; }
    Value pop() { return *++m_sp; }
    Value& top() { return m_sp[1]; }
    Value& second() { return m_sp[2]; }

    // The running frame's cells.
    WithList* with_list() { return static_cast<WithList*>(m_frame[stack_frame::with_scopes].payload.pointer); }
    Value* frame_slot_cell(Value* frame, int64_t k) {
        // One unsigned comparison refuses negative slots and slots past the stack end alike.
        if (static_cast<uint64_t>(k) >= static_cast<uint64_t>(m_end - frame - stack_frame::first_slot)) {
            return nullptr;
        }
        Value* cell = frame + stack_frame::first_slot + k;
        return is_header_cell(*cell) ? nullptr : cell;
    }
    // What GET_ARG k pushes: frame slot k, or Undefined where there is none.
    Value argument_or_undefined(Value* frame, uint32_t k) {
        Value* slot = frame_slot_cell(frame, static_cast<int32_t>(k));
        return slot != nullptr ? *slot : Value::undefined();
    }
    // The argument block of a native call: the cells above the callee cell, up to this frame.
    Value* native_arguments(Value* empty) {
        protect();
        return native_block(m_sp + 2, m_frame + stack_frame::resume, empty);
    }

    // The general rules, on the saved registers: the fast paths of execute() leave everything else
    // to these.
    void general(BinaryOperator rule) {
        protect();
        second() = rule(m_engine, second(), top());
        ++m_sp;
    }
    void add_general();
    void equality_general(bool equal_wanted);
    void compare_general(Relation relation);
    void add_to_top_general(int64_t n);
    void negate_general();
    void collect_now() {
        protect();
        collect(m_engine, m_sp);
    }
    [[noreturn]] void budget_spent() {
        protect();
        raise_error(m_engine, Message::InstructionBudgetSpent);
    }

    // Elements and properties.
    void get_element_general();
    void set_element_general();
    void get_property(Atom name);
    void set_property(Atom name);
    void get_scoped(Atom name);
    void set_scoped(Atom name);
    void delete_name(Atom name);
    void push_global(Atom name) {
        Value value = m_engine->globals.items[name];
        if (value.tag == Tag::Undefined && warns_undefined()) {
            warn_undefined_variable(name);
        }
        push(value);
    }
    bool warns_undefined() const { return (m_engine->flags & engine_flag_warn_undefined) != 0; }
    void warn_undefined_variable(Atom name);
    void roll(int32_t n);

    // Calls, returns and frames.
    void enter(FunctionObject* function);
    // Returns true when the frame was the entry frame: the invocation is over.
    bool do_return();
    void call(const Value& callee);
    void call_native(HostRecord* record);
    // Both run inside the method calls, once per call of a native method: inlined there.
    QUILL_HANDLER bool call_native_method(HostClass* cls, void* instance, const Value& receiver, Atom name);
    QUILL_HANDLER bool find_method(const Value& receiver, Atom name, bool object_class_fallback, Value* found,
                                   bool* handled);
    void call_method(Atom name);
    bool call_array_method(ArrayRecord* array, Atom name);
    void call_scoped(Atom name);
    void construct();
    void construct_native(HostClass* cls);
    void args_pad(uint32_t wanted, uint32_t growth);
    void reserve(uint32_t n);

    // Exceptions and scopes.
    [[noreturn]] void throw_value(const Value& value);
    void try_push(int32_t displacement, uint32_t growth);
    void try_pop(uint32_t n);
    void with_push(const Value& value);
    void with_pop(uint32_t n);

    ScriptEngine* m_engine;
    const uint32_t* m_pc;
    Value* m_sp;
    Value* m_frame;
    ProtectionRecord* m_entry_head;
    Value* m_base;
    Value* m_end;
};

void Invocation::run() {
    for (;;) {
        try {
            execute();
            return;
        } catch (const ScriptUnwind&) {
            if (!land()) {
                throw;
            }
        } catch (const std::bad_alloc&) {
            // Out of memory inside a running script is a runtime error like any other.
            try {
                protect();
                raise_error(m_engine, Message::OutOfMemory);
            } catch (const ScriptUnwind&) {
                if (!land()) {
                    throw;
                }
            }
        }
    }
}

// A non-local exit arrived. When the innermost record is a try record of this invocation, resume
// at its catch code with the exception pushed; otherwise the exit is not ours.
bool Invocation::land() {
    ProtectionRecord* record = m_engine->protection;
    if (record == nullptr || record == m_entry_head || !record->is_try) {
        return false;
    }
    m_sp = record->saved_top;
    m_frame = record->saved_frame;
    m_pc = record->resume + record->catch_displacement;
    Value exception = record->exception;
    uint32_t growth = record->growth;
    m_engine->protection = record->link;
    plain_free(m_engine, record);
    need_room(growth + 1);
    push(exception);
    return true;
}

void Invocation::finish(const Value& result) {
    m_engine->result = result;
    // Try records this invocation left behind (code that returned inside a try) end with it.
    if (m_engine->protection != m_entry_head) {
        pop_protection_records(m_engine, m_entry_head);
    }
    protect();
}

// ---- Arithmetic and comparison: the general rules ----

void Invocation::add_general() {
    general(op_add);
    // A concatenation made a string: the loops that build text collect here.
    if (top().tag == Tag::String) {
        collection_point();
    }
}

void Invocation::equality_general(bool equal_wanted) {
    protect();
    second() = Value::boolean(loose_equals(m_engine, second(), top()) == equal_wanted);
    ++m_sp;
}

void Invocation::compare_general(Relation relation) {
    protect();
    second() = op_compare(m_engine, relation, second(), top());
    ++m_sp;
}

void Invocation::add_to_top_general(int64_t n) {
    protect();
    Value sum = op_add(m_engine, top(), Value::integer(n));
    top() = sum;
}

void Invocation::negate_general() {
    protect();
    top() = op_neg(m_engine, top());
}

// ---- Elements, properties and names ----

// object key -- value
void Invocation::get_element_general() {
    protect();
    second() = vm::get_element(m_engine, second(), top());
    ++m_sp;
}

// value object key --
void Invocation::set_element_general() {
    protect();
    vm::set_element(m_engine, second(), top(), m_sp[3]);
    m_sp += 3;
    collection_point();
}

// object -- value
void Invocation::get_property(Atom name) {
    protect();
    Value found;
    bool exists = top().tag == Tag::Object ? table_get(m_engine, top().payload.table, name, &found)
                                           : quill::get_property(m_engine, top(), name, &found);
    if (!exists) {
        warn(m_engine, Message::UndefinedProperty, atom_name(m_engine, name));
    }
    top() = found;
}

// value object --
void Invocation::set_property(Atom name) {
    protect();
    if (top().tag == Tag::Object) {
        table_put(m_engine, top().payload.table, name, second());  // what set_property does
    } else {
        quill::set_property(m_engine, top(), name, second());
    }
    m_sp += 2;
    collection_point();
}

// -- value: the with-scopes first, innermost first, then the global.
void Invocation::get_scoped(Atom name) {
    Value found;
    bool done = false;
    if (WithList* list = with_list()) {
        protect();
        for (uint32_t i = 0; i < list->count && !done; ++i) {
            done = quill::get_property(m_engine, list->items()[i], name, &found);
        }
    }
    if (done) {
        push(found);
    } else {
        push_global(name);
    }
}

// value --
void Invocation::set_scoped(Atom name) {
    bool stored = false;
    if (WithList* list = with_list()) {
        protect();
        // The value stays on the stack, where the collections of the loop see it.
        for (uint32_t i = 0; i < list->count && !stored; ++i) {
            stored = conditional_set_property(m_engine, list->items()[i], name, top());
            collection_point();
        }
    }
    Value value = pop();
    if (!stored) {
        m_engine->globals.items[name] = value;
    }
}

// x -- undefined
void Invocation::delete_name(Atom name) {
    if (WithList* list = with_list()) {
        for (uint32_t i = 0; i < list->count; ++i) {
            const Value& scope = list->items()[i];
            if (scope.tag == Tag::Object && table_delete(m_engine, scope.payload.table, name)) {
                break;
            }
        }
    }
    top() = Value::undefined();
}

void Invocation::warn_undefined_variable(Atom name) {
    protect();
    warn(m_engine, Message::UndefinedVariable, atom_name(m_engine, name));
}

// Rotates |n| cells: the top goes n - 1 cells down (n > 0), or the cell |n| - 1 down comes up.
void Invocation::roll(int32_t n) {
    if (n >= 2) {
        Value moved = m_sp[1];
        std::memmove(m_sp + 1, m_sp + 2, static_cast<size_t>(n - 1) * sizeof(Value));
        m_sp[n] = moved;
    } else if (n <= -2) {
        Value moved = m_sp[-n];
        std::memmove(m_sp + 2, m_sp + 1, static_cast<size_t>(-n - 1) * sizeof(Value));
        m_sp[1] = moved;
    }
}

// ---- Calls, returns and frames ----

void Invocation::enter(FunctionObject* function) {
    CodeBlock* block = function->code;
    need_room(stack_frame::header_cells + static_cast<ptrdiff_t>(block->stack_growth));
    m_frame = push_frame(m_sp, m_frame, m_pc);
    m_sp = m_frame - stack_frame::header_cells;
    m_pc = function_start(block, m_frame, m_base, m_end);
}

bool Invocation::do_return() {
    Value result = top();
    auto* caller = static_cast<Value*>(m_frame[stack_frame::caller].payload.pointer);
    if (caller == nullptr) {
        finish(result);
        return true;
    }
    // Try records pushed in this frame and not popped die with it (as would any of a frame below it).
    while (m_engine->protection != m_entry_head && m_engine->protection != nullptr &&
           m_engine->protection->is_try && m_engine->protection->saved_frame <= m_frame) {
        ProtectionRecord* record = m_engine->protection;
        m_engine->protection = record->link;
        plain_free(m_engine, record);
    }
    auto* resume = static_cast<const uint32_t*>(m_frame[stack_frame::resume].payload.pointer);
    uint32_t owned = m_frame[stack_frame::cells].payload.words.low;
    uint32_t padding = m_frame[stack_frame::cells].payload.words.high;
    if (padding > 0) {
        // Move this, the count and the arguments back over the padding.
        std::memmove(m_frame + stack_frame::first_slot + padding, m_frame + stack_frame::first_slot,
                     owned * sizeof(Value));
        m_frame += padding;
    }
    // The result takes the frame's caller cell, the caller's new top.
    m_frame[stack_frame::caller] = result;
    m_sp = m_frame - 1;
    m_frame = caller;
    m_pc = resume;
    return false;
}

void Invocation::args_pad(uint32_t wanted, uint32_t growth) {
    Value count = pop();
    uint32_t owned = m_frame[stack_frame::cells].payload.words.low;
    // The cells padding may move are the frame's own: those its caller gave it, never past a frame
    // cell (a caller that lies about its count, or hostile code that pads by a count of its own,
    // gets no more), and never past the stack's end.
    int64_t v = std::clamp<int64_t>(count.tag == Tag::Integer ? count.payload.integer : owned, 1, owned);
    uint32_t padding = 0;
    if (v < wanted) {
        int64_t cell = 1;
        while (cell <= v && m_frame + cell < m_end && !is_header_cell(m_frame[cell])) {
            ++cell;
        }
        v = cell - 1;
        padding = static_cast<uint32_t>(wanted - v);
    }
    need_room(static_cast<ptrdiff_t>(padding) + growth);
    if (padding > 0) {
        // Cells from the top up to the last passed argument move down; the freed cells above the
        // last argument become the missing parameters.
        Value* last = m_frame + v;
        std::memmove(m_sp + 1 - padding, m_sp + 1, static_cast<size_t>(last - m_sp) * sizeof(Value));
        for (Value* cell = last - padding + 1; cell <= last; ++cell) {
            *cell = Value::undefined();
        }
        m_frame -= padding;
        m_sp -= padding;
    }
    m_frame[stack_frame::cells] = stack_frame::slot(static_cast<uint32_t>(v), padding);
}

void Invocation::reserve(uint32_t n) {
    need_room(n);
    for (uint32_t i = 0; i < n; ++i) {
        push(Value::undefined());
    }
}

// args callee -- args null result, for what is no script function with code
void Invocation::call(const Value& callee) {
    if (callee.tag == Tag::HostObject && callee.payload.host->cls->call != nullptr) {
        // The callee goes back into its cell while the handler runs: a handler that runs script code
        // (a conversion) may see a collection, which must not free the callee's instance under it.
        top() = callee;
        call_native(callee.payload.host);
        return;
    }
    if (callee.tag == Tag::Function && callee.payload.function->code != nullptr) {
        enter(callee.payload.function);
        return;
    }
    protect();
    warn(m_engine, Message::UndefinedFunction);
    push(Value::undefined());
}

void Invocation::call_native(HostRecord* record) {
    Value empty = Value::integer(0);
    Value result;
    Value* args = native_arguments(&empty);
    record->cls->call(m_engine, record->cls, record->instance, &result, args);
    top() = Value::null();
    push(result);
}

QUILL_HANDLER bool Invocation::call_native_method(HostClass* cls, void* instance, const Value& receiver, Atom name) {
    if (cls == nullptr || cls->method == nullptr) {
        return false;
    }
    Value empty = Value::integer(0);
    Value result;
    Value* args = native_arguments(&empty);
    // Declared classes (every built-in one) are served here directly, without the call through
    // their method handler.
    const bool handled = cls->method == dispatch_method
                             ? serve_method(m_engine, cls, instance, receiver, name, &result, args)
                             : cls->method(m_engine, cls, instance, receiver, name, &result, args);
    if (!handled) {
        return false;
    }
    push(result);
    collection_point();
    return true;
}

// Looks a method up on a receiver: native handlers first (a handled call pushes its result and sets
// *handled), then a property. Returns whether a property was found.
QUILL_HANDLER bool Invocation::find_method(const Value& receiver, Atom name, bool object_class_fallback, Value* found,
                             bool* handled) {
    *handled = false;
    switch (receiver.tag) {
    case Tag::HostObject: {
        HostRecord* record = receiver.payload.host;
        if (call_native_method(record->cls, record->instance, receiver, name)) {
            *handled = true;
            return false;
        }
        PropertyTable* table = record->properties != nullptr ? record->properties : record->cls->prototype;
        return table != nullptr && table_get(m_engine, table, name, found);
    }
    case Tag::Object:
        if (table_get(m_engine, receiver.payload.table, name, found)) {
            return true;
        }
        if (object_class_fallback) {
            HostClass* object_class = type_handler(m_engine, Tag::Object);
            *handled = call_native_method(object_class, nullptr, receiver, name);
        }
        return false;
    default: {
        if (call_native_method(type_handler(m_engine, receiver.tag), nullptr, receiver, name)) {
            *handled = true;
            return false;
        }
        PropertyTable* own = nullptr;
        if (receiver.tag == Tag::String) {
            own = receiver.payload.string->properties;
        } else if (receiver.tag == Tag::Array) {
            own = array_lookup_table(receiver.payload.array);
        } else if (receiver.tag == Tag::Function) {
            own = receiver.payload.function->properties;
        }
        return own != nullptr && table_get(m_engine, own, name, found);
    }
    }
}

// args receiver -- args receiver result
void Invocation::call_method(Atom name) {
    Value receiver = top();
    // charCodeAt with one Integer argument, the call of every scan over a text, is answered here
    // as the String class answers it; any other call of it takes the general path.
    if (receiver.tag == Tag::String && name == m_engine->char_code_at && m_engine->quick_string_class != nullptr &&
        type_handler(m_engine, Tag::String) == m_engine->quick_string_class) {
        Value empty = Value::integer(0);
        const Value* args = native_arguments(&empty);
        if (args[0].payload.integer == 1 && args[1].tag == Tag::Integer) {
            push(code_unit_at(receiver.payload.string, args[1].payload.integer));
            collection_point();
            return;
        }
    }
    if (receiver.tag == Tag::Array && arrays_served_quickly(m_engine) &&
        call_array_method(receiver.payload.array, name)) {
        return;
    }
    Value found;
    bool handled;
    bool is_property = find_method(receiver, name, true, &found, &handled);
    if (handled) {
        return;
    }
    if (is_property && found.tag == Tag::Function && found.payload.function->code != nullptr) {
        enter(found.payload.function);
        return;
    }
    protect();
    warn(m_engine, Message::UnknownMethod, atom_name(m_engine, name));
    push(Value::undefined());
}

// args array -- args array result: pop, and push with one argument, answered as the Array class
// answers them (the class's method handler comes first for an array, so no script can override
// them). Returns false, having done nothing, for every other call.
bool Invocation::call_array_method(ArrayRecord* array, Atom name) {
    if (name == m_engine->array_pop) {
        push(array_pop(array));
        collection_point();
        return true;
    }
    if (name != m_engine->array_push) {
        return false;
    }
    Value empty = Value::integer(0);
    const Value* args = native_arguments(&empty);
    if (args[0].payload.integer != 1) {
        return false;
    }
    array_push(m_engine, array, args[1]);
    push(Value::integer(static_cast<int64_t>(array->length)));
    collection_point();
    return true;
}

// args callee -- args this result: a method of the innermost with-scope that has one, or the callee.
void Invocation::call_scoped(Atom name) {
    if (WithList* list = with_list()) {
        for (uint32_t i = 0; i < list->count; ++i) {
            Value scope = list->items()[i];
            Value found;
            bool handled;
            bool is_property = find_method(scope, name, false, &found, &handled);
            if (handled) {
                second() = scope;  // the result is on top; the scope takes the callee cell
                return;
            }
            if (is_property && found.tag == Tag::Function && found.payload.function->code != nullptr) {
                top() = scope;
                enter(found.payload.function);
                return;
            }
        }
    }
    Value callee = top();
    top() = Value::null();
    call(callee);
}

// args constructor -- args object result
void Invocation::construct() {
    Value constructor = top();
    if (constructor.tag == Tag::HostObject && constructor.payload.host->cls->construct != nullptr) {
        construct_native(constructor.payload.host->cls);
        return;
    }
    if (constructor.tag == Tag::Function && constructor.payload.function->code != nullptr) {
        FunctionObject* function = constructor.payload.function;
        protect();
        if (function->properties == nullptr) {
            HostClass* object_class = type_handler(m_engine, Tag::Object);
            function->properties =
                new_table_with_prototype(m_engine, object_class != nullptr ? object_class->prototype : nullptr);
        }
        top() = Value::object(new_table_with_room(m_engine, function->properties, constructed_table_room));
        enter(function);
        return;
    }
    HostClass* handler = type_handler(m_engine, constructor.tag);
    if (handler != nullptr && handler->construct != nullptr) {
        construct_native(handler);
        return;
    }
    protect();
    warn(m_engine, Message::InvalidConstructor);
    top() = Value::null();
    push(Value::undefined());
}

void Invocation::construct_native(HostClass* cls) {
    Value empty = Value::integer(0);
    Value made;
    cls->construct(m_engine, cls, native_arguments(&empty), &made);
    top() = made;
    push(Value::undefined());
}

// ---- Exceptions and with-scopes ----

void Invocation::throw_value(const Value& value) {
    protect();
    ProtectionRecord* record = m_engine->protection;
    if (record != nullptr && record->is_try) {
        record->exception = value;
        unwind_to_innermost(m_engine);
    }
    // No try is active in the running scripts: the thrown value's text is the host's message.
    Value text = to_string(m_engine, value);
    PlainPtr<char> narrow = string_to_narrow(m_engine, text.payload.string);
    set_message(m_engine, "%s", narrow.get());
    unwind_to_innermost(m_engine);
}

void Invocation::try_push(int32_t displacement, uint32_t growth) {
    protect();
    auto* record = static_cast<ProtectionRecord*>(plain_allocate(m_engine, sizeof(ProtectionRecord)));
    new (record) ProtectionRecord{};
    record->link = m_engine->protection;
    record->is_try = true;
    record->saved_top = m_sp;
    record->saved_frame = m_frame;
    record->resume = m_pc;
    record->catch_displacement = displacement;
    record->growth = growth;
    m_engine->protection = record;
}

// Only the running function's own records: a callee cannot drop its caller's.
void Invocation::try_pop(uint32_t n) {
    for (; n > 0 && m_engine->protection != m_entry_head && m_engine->protection != nullptr &&
           m_engine->protection->is_try && m_engine->protection->saved_frame == m_frame;
         --n) {
        ProtectionRecord* record = m_engine->protection;
        m_engine->protection = record->link;
        plain_free(m_engine, record);
    }
}

void Invocation::with_push(const Value& value) {
    WithList* list = with_list();
    if (list == nullptr || list->count == list->capacity) {
        uint32_t capacity = list == nullptr ? 4 : list->capacity * 2;
        protect();  // the allocation may raise
        auto* grown = static_cast<WithList*>(gc_allocate(m_engine, sizeof(WithList) + capacity * sizeof(Value)));
        grown->count = 0;
        grown->capacity = capacity;
        if (list != nullptr) {
            std::memcpy(grown->items(), list->items(), list->count * sizeof(Value));
            grown->count = list->count;
        }
        list = grown;
        m_frame[stack_frame::with_scopes].payload.pointer = list;
    }
    list->items()[list->count++] = value;
}

void Invocation::with_pop(uint32_t n) {
    if (WithList* list = with_list()) {
        list->count = n < list->count ? list->count - n : 0;
    }
}

// The dispatch loop keeps its registers in locals, where the compiler can hold them in machine
// registers: the fast paths run on them, and every other path is a member of Invocation that runs
// on the members, stored before it (SLOW) and read back after it.
void Invocation::execute() {
#if QUILL_THREADED_DISPATCH
    // One entry per byte value, so that no range check is needed: bytes that are no opcode (the
    // loader never makes them) reach the handler of unknown opcodes.
#define QUILL_INVALID_4 &&op_invalid, &&op_invalid, &&op_invalid, &&op_invalid
#define QUILL_INVALID_16 QUILL_INVALID_4, QUILL_INVALID_4, QUILL_INVALID_4, QUILL_INVALID_4
#define QUILL_HANDLER_ADDRESS(name, ...) &&op_##name,
    static void* const handlers[] = {
        QUILL_INVALID_16, QUILL_INVALID_16, &&op_invalid,  // 0 to 32
        QUILL_OPCODES(QUILL_HANDLER_ADDRESS)                // 33 to 109
        QUILL_FUSED_OPCODES(QUILL_HANDLER_ADDRESS)          // 110 to 122
        QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16,
        QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_4, &&op_invalid};
#undef QUILL_HANDLER_ADDRESS
#undef QUILL_INVALID_16
#undef QUILL_INVALID_4
    static_assert(sizeof handlers / sizeof handlers[0] == 256, "one handler for every byte value");
#define OP(name)  \
    op_##name:    \
    case Op::name
#define INVALID_OPCODE \
    op_invalid:        \
    default
#define NEXT_INSTRUCTION()           \
    do {                             \
        SPEND_INSTRUCTION();         \
        word = *pc++;                \
        goto* handlers[word & 0xFF]; \
    } while (0)
#else
#define OP(name) case Op::name
#define INVALID_OPCODE default
#define NEXT_INSTRUCTION() continue
#endif
#define SAVE() (m_pc = pc, m_sp = sp, m_frame = frame)
#define LOAD() (pc = m_pc, sp = m_sp, frame = m_frame)
#define SLOW(...)        \
    do {                 \
        SAVE();          \
        __VA_ARGS__;     \
        LOAD();          \
    } while (0)
    // Builds with an instruction budget only: once it is spent, every instruction raises, so that
    // catch code cannot keep a script alive either.
#define SPEND_INSTRUCTION()                                  \
    do {                                                     \
        if constexpr (config::instruction_budget != 0) {     \
            if (m_engine->instructions_left == 0) {          \
                SAVE();                                      \
                budget_spent();                              \
            }                                                \
            --m_engine->instructions_left;                   \
        }                                                    \
    } while (0)
#define TOP sp[1]
#define SECOND sp[2]
#define PUSH(value) (*sp-- = (value))
#define POP() (*++sp)
#define OPERAND() static_cast<int32_t>(*pc++)
    // a b -- a op b: the fast path in place, or the general rule.
#define BINARY(fast, general_rule) \
    do {                           \
        if (fast) {                \
            ++sp;                  \
        } else {                   \
            SLOW(general_rule);    \
        }                          \
    } while (0)
    // A taken backward jump checks the room the function needs up to the next check.
#define JUMP_IF(condition)                                                   \
    do {                                                                     \
        int32_t displacement = OPERAND();                                    \
        if (condition) {                                                     \
            if (displacement < 0 && sp - m_base < (word >> 8) + margin) {    \
                SLOW(overflow());                                            \
            }                                                                \
            pc += displacement;                                              \
        }                                                                    \
    } while (0)

    // Enters a script function's code, as a call from this frame: the callee cell and its arguments
    // are on the stack, and the frame is built over them.
#define ENTER(code_block)                                                               \
    do {                                                                              \
        CodeBlock* block = (code_block);                                              \
        ptrdiff_t needed = stack_frame::header_cells + static_cast<ptrdiff_t>(block->stack_growth); \
        if (sp - m_base < needed + margin) {                                          \
            SLOW(overflow());                                                         \
        }                                                                             \
        frame = push_frame(sp, frame, pc);                                            \
        sp = frame - stack_frame::header_cells;                                       \
        pc = function_start(block, frame, m_base, m_end);                             \
    } while (0)
    // A comparison of two Integers followed by JF_BOOL or JT_BOOL, the test of nearly every loop,
    // branches in the same step. The instruction after a comparison is always there: the loader
    // refuses code that runs off its end.
#define COMPARE(holds, relation)                                                                      \
    if (both_integers(SECOND, TOP) && ((pc[0] & 0xFF) == static_cast<uint32_t>(Op::JF_BOOL) ||       \
                                       (pc[0] & 0xFF) == static_cast<uint32_t>(Op::JT_BOOL))) {       \
        bool jump_when = (pc[0] & 0xFF) == static_cast<uint32_t>(Op::JT_BOOL);                        \
        bool result = holds(SECOND.payload.integer, TOP.payload.integer);                             \
        sp += 2;                                                                                      \
        word = *pc++;                                                                                 \
        JUMP_IF(result == jump_when);                                                                 \
    } else {                                                                                          \
        BINARY(compare_numbers(SECOND, TOP, holds), compare_general(relation));                       \
    }

    // A sum followed by SET_LOCAL (x = x + y, x += y, i++) goes into the local in the same step.
#define STORE_IN_NEXT_LOCAL()                                                           \
    if ((pc[0] & 0xFF) == static_cast<uint32_t>(Op::SET_LOCAL)) {                      \
        frame[stack_frame::first_local - static_cast<ptrdiff_t>(pc[1])] = POP();      \
        pc += 2;                                                                       \
    }

    const uint32_t* pc;
    Value* sp;
    Value* frame;
    LOAD();
    // The opcode word of the running instruction: the opcode in its low byte, and on jumps the stack
    // room their target needs in the bits above.
    uint32_t word;
#if QUILL_THREADED_DISPATCH
    // Threaded handlers never come back to the switch: the first instruction is reached as every
    // other is.
    NEXT_INSTRUCTION();
#endif
    for (;;) {
        SPEND_INSTRUCTION();
        word = *pc++;
        switch (static_cast<Op>(word & 0xFF)) {
        // Calls and returns
        OP(CALL): {
            Value callee = TOP;
            TOP = Value::null();
            if (callee.tag == Tag::Function && callee.payload.function->code != nullptr) {
                ENTER(callee.payload.function->code);
            } else {
                SLOW(call(callee));
            }
            NEXT_INSTRUCTION();
        }
        OP(CALL_METHOD): {
            auto name = static_cast<Atom>(OPERAND());
            // A script method in the receiver's own table at its hinted slot is entered here, as
            // call_method would enter it.
            const PropertySlot* slot =
                TOP.tag == Tag::Object ? hinted_slot(m_engine, TOP.payload.table, name) : nullptr;
            if (slot != nullptr && slot->value.tag == Tag::Function && slot->value.payload.function->code != nullptr) {
                ENTER(slot->value.payload.function->code);
            } else if (quick_push(m_engine, sp, frame, name)) {
                // No allocation was made, so no collection can be due.
                auto length = static_cast<int64_t>(TOP.payload.array->length);
                PUSH(Value::integer(length));
            } else {
                SLOW(call_method(name));
            }
            NEXT_INSTRUCTION();
        }
        OP(CALL_SCOPED): {
            auto name = static_cast<Atom>(OPERAND());
            SLOW(call_scoped(name));
            NEXT_INSTRUCTION();
        }
        OP(NEW):
            SLOW(construct(); collection_point());
            NEXT_INSTRUCTION();
        OP(ARGS_PAD): {
            // Callers that pass every parameter (within the cells they gave) need no padding.
            auto wanted = static_cast<uint32_t>(OPERAND());
            Value& count = TOP;
            uint32_t owned = frame[stack_frame::cells].payload.words.low;
            if (count.tag == Tag::Integer && count.payload.integer >= std::max<int64_t>(wanted, 1) &&
                count.payload.integer <= owned && sp - m_base >= (word >> 8) + margin) {
                frame[stack_frame::cells] = stack_frame::slot(static_cast<uint32_t>(count.payload.integer), 0);
                ++sp;
            } else {
                SLOW(args_pad(wanted, word >> 8));
            }
            NEXT_INSTRUCTION();
        }
        OP(RESERVE): {
            auto n = static_cast<uint32_t>(OPERAND());
            SLOW(reserve(n));
            NEXT_INSTRUCTION();
        }
        OP(RETURN):
            // A frame without padding and without try records of its own returns here.
            if (frame[stack_frame::caller].payload.pointer != nullptr &&
                frame[stack_frame::cells].payload.words.high == 0 && m_engine->protection == m_entry_head) {
                pop_frame(TOP, pc, sp, frame);
            } else {
                SAVE();
                if (do_return()) {
                    return;
                }
                LOAD();
            }
            NEXT_INSTRUCTION();
        OP(END):
            SAVE();
            // With no cell of its own on the stack the function leaves Undefined.
            finish(sp + 1 <= frame + stack_frame::first_local ? TOP : Value::undefined());
            return;

        // Jumps
        OP(JMP):
            JUMP_IF(true);
            NEXT_INSTRUCTION();
        OP(JT):
            JUMP_IF(truthy(POP()));
            NEXT_INSTRUCTION();
        OP(JF):
            JUMP_IF(!truthy(POP()));
            NEXT_INSTRUCTION();
        OP(JT_BOOL):
            JUMP_IF(POP().payload.words.low != 0);
            NEXT_INSTRUCTION();
        OP(JF_BOOL):
            JUMP_IF(POP().payload.words.low == 0);
            NEXT_INSTRUCTION();

        // Exceptions and with-scopes
        OP(THROW): {
            Value thrown = POP();
            SAVE();
            throw_value(thrown);
        }
        OP(TRY_PUSH): {
            int32_t displacement = OPERAND();
            SLOW(try_push(displacement, word >> 8));
            NEXT_INSTRUCTION();
        }
        OP(TRY_POP): {
            auto n = static_cast<uint32_t>(OPERAND());
            SLOW(try_pop(n));
            NEXT_INSTRUCTION();
        }
        OP(WITH_PUSH): {
            Value scope = POP();
            SLOW(with_push(scope));
            NEXT_INSTRUCTION();
        }
        OP(WITH_POP): {
            auto n = static_cast<uint32_t>(OPERAND());
            SLOW(with_pop(n));
            NEXT_INSTRUCTION();
        }

        // Arithmetic, bitwise and comparison
        OP(ADD):
            if (add_numbers(SECOND, TOP)) {
                ++sp;
                STORE_IN_NEXT_LOCAL();
            } else {
                SLOW(add_general());
            }
            NEXT_INSTRUCTION();
        OP(SUB):
            BINARY(subtract_numbers(SECOND, TOP), general(op_sub));
            NEXT_INSTRUCTION();
        OP(MUL):
            BINARY(multiply_numbers(SECOND, TOP), general(op_mul));
            NEXT_INSTRUCTION();
        OP(DIV):
            BINARY(divide_numbers(SECOND, TOP), general(op_div));
            NEXT_INSTRUCTION();
        OP(MOD):
            BINARY(modulo_numbers(SECOND, TOP), general(op_mod));
            NEXT_INSTRUCTION();
        OP(BITAND):
            SLOW(general(op_bitand));
            NEXT_INSTRUCTION();
        OP(BITOR):
            SLOW(general(op_bitor));
            NEXT_INSTRUCTION();
        OP(BITXOR):
            SLOW(general(op_bitxor));
            NEXT_INSTRUCTION();
        OP(SHL):
            SLOW(general(op_shl));
            NEXT_INSTRUCTION();
        OP(SHR):
            SLOW(general(op_shr));
            NEXT_INSTRUCTION();
        OP(USHR):
            SLOW(general(op_ushr));
            NEXT_INSTRUCTION();
        OP(EQ):
            BINARY(equal_numbers(SECOND, TOP, true), equality_general(true));
            NEXT_INSTRUCTION();
        OP(NE):
            BINARY(equal_numbers(SECOND, TOP, false), equality_general(false));
            NEXT_INSTRUCTION();
        OP(LT):
            COMPARE(std::less<>{}, Relation::Less);
            NEXT_INSTRUCTION();
        OP(GT):
            COMPARE(std::greater<>{}, Relation::Greater);
            NEXT_INSTRUCTION();
        OP(LE):
            COMPARE(std::less_equal<>{}, Relation::LessEqual);
            NEXT_INSTRUCTION();
        OP(GE):
            COMPARE(std::greater_equal<>{}, Relation::GreaterEqual);
            NEXT_INSTRUCTION();
        // Between numbers strict equality is loose equality.
        OP(STRICT_EQ):
            if (!equal_numbers(SECOND, TOP, true)) {
                SECOND = Value::boolean(strict_equals(SECOND, TOP));
            }
            ++sp;
            NEXT_INSTRUCTION();
        OP(STRICT_NE):
            if (!equal_numbers(SECOND, TOP, false)) {
                SECOND = Value::boolean(!strict_equals(SECOND, TOP));
            }
            ++sp;
            NEXT_INSTRUCTION();
        // The compiler uses ADD2 and INC on Integer counters only; any other cell (only hostile code
        // makes one) is added to as ADD would, never through its payload, which may be a pointer.
        OP(ADD2):
            if (TOP.tag == Tag::Integer) {
                TOP.payload.integer = wrapping_add(TOP.payload.integer, 2);
            } else {
                SLOW(add_to_top_general(2));
            }
            NEXT_INSTRUCTION();
        OP(INC):
            if (TOP.tag == Tag::Integer) {
                TOP.payload.integer = wrapping_add(TOP.payload.integer, 1);
            } else {
                SLOW(add_to_top_general(1));
            }
            NEXT_INSTRUCTION();
        OP(NEG):
            if (TOP.tag == Tag::Integer) {
                TOP.payload.integer = wrapping_sub(0, TOP.payload.integer);
            } else {
                SLOW(negate_general());
            }
            NEXT_INSTRUCTION();
        OP(NOT):
            // NOT JF (if (!x)) jumps when the value is true, in the same step.
            if ((pc[0] & 0xFF) == static_cast<uint32_t>(Op::JF)) {
                word = *pc++;
                JUMP_IF(truthy(POP()));
            } else {
                TOP = Value::boolean(!truthy(TOP));
            }
            NEXT_INSTRUCTION();
        OP(TYPEOF):
            SLOW(protect(); top() = static_type_name(m_engine, top().tag); collection_point());
            NEXT_INSTRUCTION();

        // Elements and properties
        OP(GET_ELEM):
            if (const Value* cell = stored_array_element(SECOND, TOP)) {
                SECOND = *cell;
                ++sp;
            } else if (array_hole_read(SECOND, TOP)) {
                SECOND = Value::undefined();
                ++sp;
            } else {
                SLOW(get_element_general());
            }
            NEXT_INSTRUCTION();
        OP(SET_ELEM):
            if (store_array_element_quick(SECOND, TOP, sp[3])) {
                sp += 3;
                if (collection_due(m_engine)) {
                    SLOW(collect_now());
                }
            } else if (Value* cell = stored_array_element(SECOND, TOP)) {
                *cell = sp[3];
                sp += 3;
                if (collection_due(m_engine)) {
                    SLOW(collect_now());
                }
            } else {
                SLOW(set_element_general());
            }
            NEXT_INSTRUCTION();
        OP(DELETE_ELEM):
            SLOW(protect(); delete_element(m_engine, second(), top()); ++m_sp; top() = Value::undefined());
            NEXT_INSTRUCTION();
        // An own property of an Object at its hinted slot is read and written here; every other
        // case takes the general path.
        OP(GET_PROP): {
            auto name = static_cast<Atom>(OPERAND());
            if (const PropertySlot* slot =
                    TOP.tag == Tag::Object ? hinted_slot(m_engine, TOP.payload.table, name) : nullptr) {
                TOP = slot->value;
            } else if (!quick_length(m_engine, TOP, name)) {
                SLOW(get_property(name));
            }
            NEXT_INSTRUCTION();
        }
        OP(SET_PROP): {
            auto name = static_cast<Atom>(OPERAND());
            if (PropertySlot* slot =
                    TOP.tag == Tag::Object ? hinted_slot(m_engine, TOP.payload.table, name) : nullptr) {
                slot->value = SECOND;
                sp += 2;
                if (collection_due(m_engine)) {
                    SLOW(collect_now());
                }
            } else {
                SLOW(set_property(name));
            }
            NEXT_INSTRUCTION();
        }
        OP(DELETE_PROP): {
            auto name = static_cast<Atom>(OPERAND());
            if (TOP.tag == Tag::Object) {
                table_delete(m_engine, TOP.payload.table, name);
            }
            TOP = Value::undefined();
            NEXT_INSTRUCTION();
        }
        OP(FORIN_NEXT):
            SLOW(protect(); bool more; Value item = enumerate_step(m_engine, second(), top(), &more);
                 second() = item; top() = Value::boolean(more));
            NEXT_INSTRUCTION();

        // Locals, arguments, globals and scoped names
        OP(GET_LOCAL):
            PUSH(frame[stack_frame::first_local - static_cast<ptrdiff_t>(*pc++)]);
            NEXT_INSTRUCTION();
        OP(SET_LOCAL):
            frame[stack_frame::first_local - static_cast<ptrdiff_t>(*pc++)] = POP();
            NEXT_INSTRUCTION();
        OP(GET_ARG): {
            Value* slot = frame_slot_cell(frame, OPERAND());
            PUSH(slot != nullptr ? *slot : Value::undefined());
            NEXT_INSTRUCTION();
        }
        OP(SET_ARG): {
            Value* slot = frame_slot_cell(frame, OPERAND());
            Value value = POP();
            if (slot != nullptr) {
                *slot = value;
            }
            NEXT_INSTRUCTION();
        }
        OP(GET_FRAME_SLOT): {
            Value& cell = TOP;
            Value* slot = cell.tag == Tag::Integer ? frame_slot_cell(frame, cell.payload.integer) : nullptr;
            cell = slot != nullptr ? *slot : Value::undefined();
            NEXT_INSTRUCTION();
        }
        OP(GET_GLOBAL): {
            auto name = static_cast<Atom>(OPERAND());
            PUSH(m_engine->globals.items[name]);
            if (sp[1].tag == Tag::Undefined && warns_undefined()) {
                SLOW(warn_undefined_variable(name));
            }
            NEXT_INSTRUCTION();
        }
        OP(SET_GLOBAL): {
            auto name = static_cast<Atom>(OPERAND());
            Value value = POP();
            if (value.tag == Tag::Undefined) {
                value = Value::undefined();
            }
            m_engine->globals.items[name] = value;
            NEXT_INSTRUCTION();
        }
        OP(GET_SCOPED): {
            auto name = static_cast<Atom>(OPERAND());
            SLOW(get_scoped(name));
            NEXT_INSTRUCTION();
        }
        OP(SET_SCOPED): {
            auto name = static_cast<Atom>(OPERAND());
            SLOW(set_scoped(name));
            NEXT_INSTRUCTION();
        }
        OP(DELETE_NAME): {
            auto name = static_cast<Atom>(OPERAND());
            SLOW(delete_name(name));
            NEXT_INSTRUCTION();
        }

        // Constants
        OP(PUSH_INT):
            PUSH(Value::integer(OPERAND()));
            NEXT_INSTRUCTION();
        OP(PUSH_0):
            PUSH(Value::integer(0));
            NEXT_INSTRUCTION();
        OP(PUSH_1):
            // x + 1 on an Integer, PUSH_1 ADD (the step of nearly every counting loop), is one step.
            if ((pc[0] & 0xFF) == static_cast<uint32_t>(Op::ADD) && TOP.tag == Tag::Integer) {
                TOP.payload.integer = wrapping_add(TOP.payload.integer, 1);
                ++pc;
                STORE_IN_NEXT_LOCAL();
            } else {
                PUSH(Value::integer(1));
            }
            NEXT_INSTRUCTION();
        OP(PUSH_2):
            PUSH(Value::integer(2));
            NEXT_INSTRUCTION();
        OP(PUSH_3):
            PUSH(Value::integer(3));
            NEXT_INSTRUCTION();
        OP(PUSH_UNDEFINED):
            PUSH(Value::undefined());
            NEXT_INSTRUCTION();
        OP(PUSH_NULL):
            PUSH(Value::null());
            NEXT_INSTRUCTION();
        OP(PUSH_TRUE):
            PUSH(Value::boolean(true));
            NEXT_INSTRUCTION();
        OP(PUSH_FALSE):
            PUSH(Value::boolean(false));
            NEXT_INSTRUCTION();
        OP(PUSH_CONST):
            PUSH(m_engine->constants.items[*pc++]);
            NEXT_INSTRUCTION();

        // Stack shuffles
        OP(DUP): {
            Value t = TOP;
            // The test of a switch case on an Integer, DUP, PUSH_k, STRICT_EQ, JF_BOOL forward,
            // leaves the stack as it was and jumps unless the value is k: done here in one step.
            if (t.tag == Tag::Integer) {
                uint32_t push = pc[0] & 0xFF;
                int64_t k = 0;
                uint32_t width = 1;
                if (push >= static_cast<uint32_t>(Op::PUSH_3) && push <= static_cast<uint32_t>(Op::PUSH_0)) {
                    k = static_cast<uint32_t>(Op::PUSH_0) - push;
                } else if (push == static_cast<uint32_t>(Op::PUSH_INT)) {
                    k = static_cast<int32_t>(pc[1]);
                    width = 2;
                } else {
                    width = 0;
                }
                if (width != 0 && (pc[width] & 0xFF) == static_cast<uint32_t>(Op::STRICT_EQ) &&
                    (pc[width + 1] & 0xFF) == static_cast<uint32_t>(Op::JF_BOOL) &&
                    static_cast<int32_t>(pc[width + 2]) >= 0) {
                    int32_t displacement = static_cast<int32_t>(pc[width + 2]);
                    pc += width + 3;
                    if (t.payload.integer != k) {
                        pc += displacement;
                    }
                    NEXT_INSTRUCTION();
                }
            }
            PUSH(t);
            NEXT_INSTRUCTION();
        }
        OP(SWAP):
            std::swap(TOP, SECOND);
            NEXT_INSTRUCTION();
        OP(ROLL): {
            int32_t n = OPERAND();
            SLOW(roll(n));
            NEXT_INSTRUCTION();
        }
        OP(NIP): {
            uint32_t n = *pc++;
            sp[1 + n] = TOP;
            sp += n;
            NEXT_INSTRUCTION();
        }
        OP(POP):
            ++sp;
            NEXT_INSTRUCTION();
        OP(POPN):
            sp += *pc++;
            NEXT_INSTRUCTION();
        OP(NOP):
        OP(IDLE):  // waits for nothing: an endless wait would only hang the host
            NEXT_INSTRUCTION();

        // Fused instructions (see opcodes.h). The words after the opcode word: a, the second
        // instruction's opcode and b, the comparison, JF_BOOL and its displacement.
#define TEST(name, right_value, holds)                                                                       \
    OP(name): {                                                                                              \
        const Value& left = frame[stack_frame::first_local - static_cast<ptrdiff_t>(pc[0])];                 \
        const Value right = right_value;                                                                     \
        if (both_integers(left, right)) {                                                                    \
            pc += 6 + (holds(left.payload.integer, right.payload.integer) ? 0 : static_cast<int32_t>(pc[5])); \
        } else {                                                                                             \
            PUSH(left);                                                                                      \
            ++pc;                                                                                            \
        }                                                                                                    \
        NEXT_INSTRUCTION();                                                                                  \
    }
#define LOCAL_B frame[stack_frame::first_local - static_cast<ptrdiff_t>(pc[2])]
#define ARG_B argument_or_undefined(frame, pc[2])
#define INT_B Value::integer(static_cast<int32_t>(pc[2]))
#define TESTS(kind, right_value)                                 \
    TEST(TEST_LT_##kind, right_value, std::less<>{})             \
    TEST(TEST_LE_##kind, right_value, std::less_equal<>{})       \
    TEST(TEST_GT_##kind, right_value, std::greater<>{})          \
    TEST(TEST_GE_##kind, right_value, std::greater_equal<>{})
        TESTS(LOCAL, LOCAL_B)
        TESTS(ARG, ARG_B)
        TESTS(INT, INT_B)
#undef TESTS
#undef INT_B
#undef ARG_B
#undef LOCAL_B
#undef TEST
        OP(GET_LOCAL_PAIR):
            sp[0] = frame[stack_frame::first_local - static_cast<ptrdiff_t>(pc[0])];
            sp[-1] = frame[stack_frame::first_local - static_cast<ptrdiff_t>(pc[2])];
            sp -= 2;
            pc += 3;
            NEXT_INSTRUCTION();

        INVALID_OPCODE:
            SAVE();
            protect();
            raise_error(m_engine, Message::UnimplementedBytecode);
        }
    }
#undef STORE_IN_NEXT_LOCAL
#undef COMPARE
#undef ENTER
#undef JUMP_IF
#undef BINARY
#undef OPERAND
#undef POP
#undef PUSH
#undef SECOND
#undef TOP
#undef SPEND_INSTRUCTION
#undef SLOW
#undef LOAD
#undef SAVE
#undef OP
#undef INVALID_OPCODE
#undef NEXT_INSTRUCTION
}

Value* push_entry_cells(ScriptEngine* engine, const Value& function, const Value* self, uint32_t cells,
                        const Value* args, ptrdiff_t growth) {
    Value* sp = engine->stack.saved_top;
    if (sp - engine->stack.base < static_cast<ptrdiff_t>(cells) + 2 + stack_frame::header_cells + growth + margin) {
        raise_error(engine, Message::StackOverflow);
    }
    *sp-- = function;
    for (uint32_t k = cells; k-- > 0;) {
        *sp-- = args[k];
    }
    *sp-- = self != nullptr ? *self : Value::null();
    return sp;
}

// Builds an entry frame below the cells push_entry_cells pushed (`owned`: this, the count and the
// arguments) and runs the block in it.
// The header cells of an entry frame: no caller, no with-scope, no code to resume.
QUILL_HANDLER void lay_entry_header(Value* frame, const Value& cells) {
    frame[stack_frame::caller] = stack_frame::mark(nullptr);
    frame[stack_frame::cells] = cells;
    frame[stack_frame::with_scopes] = stack_frame::mark(nullptr);
    frame[stack_frame::resume] = stack_frame::mark(nullptr);
}

QUILL_HANDLER void run_entry_frame(ScriptEngine* engine, CodeBlock* block, Value* frame, uint32_t owned) {
    lay_entry_header(frame, stack_frame::slot(owned, 0));
    // The prologue is skipped as a script call skips it, when the entry passed every parameter.
    Invocation invocation(engine, function_start(block, frame, engine->stack.base, engine->stack.end()),
                          frame - stack_frame::header_cells, frame);
    invocation.run();
}

void run_block(ScriptEngine* engine, const Value& function, const Value* self, CodeBlock* block, uint32_t cells,
               const Value* args) {
    // Without an argument block the frame still gets a count cell (0), so frame slot 1 is a count.
    Value no_arguments = Value::integer(0);
    if (cells == 0 || args == nullptr) {
        cells = 1;
        args = &no_arguments;
    }
    Value* sp = push_entry_cells(engine, function, self, cells, args, block->stack_growth);
    run_entry_frame(engine, block, sp, cells + 1);
}

}  // namespace

void run_code(ScriptEngine* engine, const Value* self, CodeBlock* block, uint32_t cells, const Value* args) {
    auto* function = static_cast<FunctionObject*>(gc_allocate(engine, sizeof(FunctionObject)));
    function->code = block;
    function->properties = nullptr;
    run_block(engine, Value::function(function), self, block, cells, args);
}

void invoke_function(ScriptEngine* engine, const Value& self, const Value& function, uint32_t cells, Value* args) {
    if (function.tag != Tag::Function || function.payload.function->code == nullptr) {
        set_message(engine, Message::UndefinedFunction);
        unwind_to_innermost(engine);
    }
    run_block(engine, function, &self, function.payload.function->code, cells, args);
}

// The cells go to the stack as push_entry_cells lays them out, with its check for room: the
// callee, the second and first arguments, the count 2 and this (Null), then the entry frame.
RepeatedCall::RepeatedCall(ScriptEngine* engine, const Value& function)
    : m_engine(engine), m_top(engine->stack.saved_top) {
    CodeBlock* block = function.payload.function->code;
    constexpr ptrdiff_t pushed = 5;
    if (m_top - engine->stack.base < pushed + stack_frame::header_cells + block->stack_growth + margin) {
        raise_error(engine, Message::StackOverflow);
    }
    m_frame = m_top - pushed;
    m_top[0] = function;
    m_frame[stack_frame::first_slot + 1] = Value::integer(2);
    m_frame[stack_frame::cells] = stack_frame::slot(4, 0);
    m_start = function_start(block, m_frame, engine->stack.base, engine->stack.end());
    m_cells = m_frame[stack_frame::cells];
}

void RepeatedCall::call(const Value& first, const Value& second) {
    m_engine->message[0] = '\0';  // as clear_message does, without a call at every comparison
    m_engine->result = Value::undefined();
    // A call may have rewritten its frame slots, padded its frame or opened a with-scope: every cell
    // below the callee is laid out anew.
    Value* frame = m_frame;
    frame[stack_frame::first_slot + 3] = second;
    frame[stack_frame::first_slot + 2] = first;
    frame[stack_frame::first_slot + 1] = Value::integer(2);
    frame[stack_frame::first_slot] = Value::null();
    lay_entry_header(frame, m_cells);
    Invocation invocation(m_engine, m_start, frame - stack_frame::header_cells, frame);
    invocation.run();
    m_engine->stack.saved_top = m_top;
}

}  // namespace quill::vm
