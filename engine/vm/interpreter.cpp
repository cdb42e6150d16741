// The dispatch loop and the calling convention.
//
// Stack (grows downward; sp is the first free cell, cell 0 "top" is sp[1]):
//
//   higher addresses
//     caller's cells ...
//     argument n ... argument 1      frame slots n+1 .. 2
//     Integer count                  frame slot 1
//     this (the callee cell)         frame slot 0         <- frame + 1
//     FrameMark  caller frame (null for an entry frame)   <- frame
//     FrameSlot  low: cells owned (count + 2), high: padding cells
//     FrameMark  with-scope list (or null)
//     FrameMark  resume code position
//     local 0, local 1, ...                               <- frame - 4 - i
//     expression cells ...
//   lower addresses                                       <- sp
//
// Frame cells are never visible to scripts: reads of frame slots that land on them give Undefined
// and writes to them are dropped, so no code can corrupt a frame.
#include "engine/vm/interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "engine/vm/code_block.h"
#include "engine/vm/elements.h"
#include "engine/vm/opcodes.h"
#include "engine/vm/operators.h"

namespace quill::vm {

namespace {

constexpr ptrdiff_t margin = config::stack_margin_cells;

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
    return consecutive && expected == last_opcode + 1;
}
static_assert(opcodes_consecutive(), "the opcode list runs from first_opcode to last_opcode in order");

Value frame_mark(const void* pointer) {
    Value v = Value::with_tag(Tag::FrameMark);
    v.payload.pointer = const_cast<void*>(pointer);
    return v;
}

Value frame_slot(uint32_t owned, uint32_t padding) {
    Value v = Value::with_tag(Tag::FrameSlot);
    v.payload.words.low = owned;
    v.payload.words.high = padding;
    return v;
}

bool is_frame_cell(const Value& v) { return v.tag == Tag::FrameMark || v.tag == Tag::FrameSlot; }

// The cells a script caller hands its callee: this, the count and the arguments the count names.
// Kept in the frame when it is entered, so that the callee cannot claim more by rewriting its count.
uint32_t claimed_cells(const Value& count) {
    if (count.tag != Tag::Integer || count.payload.integer < 0) {
        return 2;
    }
    return count.payload.integer < UINT32_MAX - 2 ? static_cast<uint32_t>(count.payload.integer) + 2 : UINT32_MAX;
}

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

    // Stores the registers where native code and the error machinery look for them.
    void sync() {
        m_engine->stack.saved_top = m_sp;
        m_engine->stack.saved_code = m_pc;
    }
    [[noreturn]] void overflow() {
        sync();
        raise_error(m_engine, Message::StackOverflow);
    }
    void need_room(ptrdiff_t cells) {
        if (m_sp - m_base < cells + margin) {
            overflow();
        }
    }
    // Builds with an instruction budget only: once it is spent, every instruction raises, so that
    // catch code cannot keep a script alive either.
    void spend_instruction() {
        if (m_engine->instructions_left == 0) {
            sync();
            raise_error(m_engine, Message::InstructionBudgetSpent);
        }
        --m_engine->instructions_left;
    }
    void collection_point() {
        if (collection_due(m_engine)) {
            sync();
            collect(m_engine, m_sp);
        }
    }
    // ADD2 and INC. The compiler uses them on Integer counters only; any other cell (only hostile
    // code makes one) is added to as ADD would, never through its payload, which may be a pointer.
    void add_to_top(int64_t n) {
        if (top().tag == Tag::Integer) {
            top().payload.integer =
                static_cast<int64_t>(static_cast<uint64_t>(top().payload.integer) + static_cast<uint64_t>(n));
            return;
        }
        sync();
        Value sum = op_add(m_engine, top(), Value::integer(n));
        top() = sum;
    }
    void push(const Value& v) { *m_sp-- = v; }
    Value pop() { return *++m_sp; }
    Value& top() { return m_sp[1]; }
    Value& second() { return m_sp[2]; }

    WithList* with_list() { return static_cast<WithList*>(m_frame[-2].payload.pointer); }
    Value* frame_slot_cell(int64_t k) {
        // One unsigned comparison refuses negative slots and slots past the stack end alike.
        if (static_cast<uint64_t>(k) >= static_cast<uint64_t>(m_end - m_frame - 1)) {
            return nullptr;
        }
        Value* cell = m_frame + k + 1;
        return is_frame_cell(*cell) ? nullptr : cell;
    }

    void enter(FunctionObject* function);
    // Returns true when the frame was the entry frame: the invocation is over.
    bool do_return();
    void call(const Value& callee);
    bool call_native_method(HostClass* cls, void* instance, const Value& receiver, Atom name);
    bool find_method(const Value& receiver, Atom name, bool object_class_fallback, Value* found, bool* handled);
    void call_method(Atom name);
    void call_scoped(Atom name);
    void construct();
    void args_pad(uint32_t wanted, uint32_t growth);
    [[noreturn]] void throw_value(const Value& value);
    void push_global(Atom name) {
        Value value = m_engine->globals.items[name];
        if (value.tag == Tag::Undefined && (m_engine->flags & engine_flag_warn_undefined) != 0) {
            warn_undefined_variable(name);
        }
        push(value);
    }
    void warn_undefined_variable(Atom name);
    // Second op top: the relation as a Boolean in place of the second cell.
    template <typename Holds>
    void compare(Relation relation, Holds holds);
    void with_push(const Value& value);

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
                sync();
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
    pop_protection_records(m_engine, m_entry_head);
    sync();
}

void Invocation::enter(FunctionObject* function) {
    CodeBlock* block = function->code;
    need_room(4 + static_cast<ptrdiff_t>(block->stack_growth));
    Value* frame = m_sp;
    frame[0] = frame_mark(m_frame);
    frame[-1] = frame_slot(claimed_cells(frame[2]), 0);
    frame[-2] = frame_mark(nullptr);
    frame[-3] = frame_mark(m_pc);
    m_sp = frame - 4;
    m_frame = frame;
    m_pc = block->code;
}

bool Invocation::do_return() {
    Value result = top();
    auto* caller = static_cast<Value*>(m_frame[0].payload.pointer);
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
    auto* resume = static_cast<const uint32_t*>(m_frame[-3].payload.pointer);
    uint32_t owned = m_frame[-1].payload.words.low;
    uint32_t padding = m_frame[-1].payload.words.high;
    if (padding > 0) {
        // Move this, the count and the arguments back over the padding.
        std::memmove(m_frame + 1 + padding, m_frame + 1, owned * sizeof(Value));
        m_frame += padding;
    }
    m_frame[0] = result;
    m_sp = m_frame - 1;
    m_frame = caller;
    m_pc = resume;
    return false;
}

void Invocation::args_pad(uint32_t wanted, uint32_t growth) {
    Value count = pop();
    uint32_t owned = m_frame[-1].payload.words.low;
    // The cells padding may move are the frame's own: those its caller gave it, never past a frame
    // cell (a caller that lies about its count, or hostile code that pads by a count of its own,
    // gets no more), and never past the stack's end.
    int64_t v = std::clamp<int64_t>(count.tag == Tag::Integer ? count.payload.integer : owned, 1, owned);
    uint32_t padding = 0;
    if (v < wanted) {
        int64_t cell = 1;
        while (cell <= v && m_frame + cell < m_end && !is_frame_cell(m_frame[cell])) {
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
    m_frame[-1] = frame_slot(static_cast<uint32_t>(v), padding);
}

void Invocation::call(const Value& callee) {
    if (callee.tag == Tag::HostObject && callee.payload.host->cls->call != nullptr) {
        HostRecord* record = callee.payload.host;
        Value empty = Value::integer(0);
        sync();
        Value result;
        Value* args = native_block(m_sp + 2, m_frame - 3, &empty);
        // The callee goes back into its cell while the handler runs: a handler that runs script code
        // (a conversion) may see a collection, which must not free the callee's instance under it.
        top() = callee;
        record->cls->call(m_engine, record->cls, record->instance, &result, args);
        top() = Value::null();
        push(result);
        return;
    }
    if (callee.tag == Tag::Function && callee.payload.function->code != nullptr) {
        enter(callee.payload.function);
        return;
    }
    sync();
    warn(m_engine, Message::UndefinedFunction);
    push(Value::undefined());
}

bool Invocation::call_native_method(HostClass* cls, void* instance, const Value& receiver, Atom name) {
    if (cls == nullptr || cls->method == nullptr) {
        return false;
    }
    Value empty = Value::integer(0);
    Value result;
    sync();
    Value* args = native_block(m_sp + 2, m_frame - 3, &empty);
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
bool Invocation::find_method(const Value& receiver, Atom name, bool object_class_fallback, Value* found,
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
            own = receiver.payload.array->properties;
        } else if (receiver.tag == Tag::Function) {
            own = receiver.payload.function->properties;
        }
        return own != nullptr && table_get(m_engine, own, name, found);
    }
    }
}

void Invocation::call_method(Atom name) {
    Value receiver = top();
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
    sync();
    warn(m_engine, Message::UnknownMethod, atom_name(m_engine, name));
    push(Value::undefined());
}

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

void Invocation::construct() {
    Value constructor = top();
    Value empty = Value::integer(0);
    if (constructor.tag == Tag::HostObject && constructor.payload.host->cls->construct != nullptr) {
        HostClass* cls = constructor.payload.host->cls;
        sync();
        Value made;
        cls->construct(m_engine, cls, native_block(m_sp + 2, m_frame - 3, &empty), &made);
        top() = made;
        push(Value::undefined());
        return;
    }
    if (constructor.tag == Tag::Function && constructor.payload.function->code != nullptr) {
        FunctionObject* function = constructor.payload.function;
        if (function->properties == nullptr) {
            HostClass* object_class = type_handler(m_engine, Tag::Object);
            function->properties =
                new_table_with_prototype(m_engine, object_class != nullptr ? object_class->prototype : nullptr);
        }
        top() = Value::object(new_table_with_prototype(m_engine, function->properties));
        enter(function);
        return;
    }
    HostClass* handler = type_handler(m_engine, constructor.tag);
    if (handler != nullptr && handler->construct != nullptr) {
        sync();
        Value made;
        handler->construct(m_engine, handler, native_block(m_sp + 2, m_frame - 3, &empty), &made);
        top() = made;
        push(Value::undefined());
        return;
    }
    sync();
    warn(m_engine, Message::InvalidConstructor);
    top() = Value::null();
    push(Value::undefined());
}

void Invocation::throw_value(const Value& value) {
    sync();
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

void Invocation::warn_undefined_variable(Atom name) {
    sync();
    warn(m_engine, Message::UndefinedVariable, atom_name(m_engine, name));
}

template <typename Holds>
void Invocation::compare(Relation relation, Holds holds) {
    Value& left = second();
    const Value& right = top();
    if (both_integers(left, right)) {
        left = Value::boolean(holds(left.payload.integer, right.payload.integer));
    } else if (both_numbers(left, right)) {
        // A NaN payload compares false under every relation, as the general comparison says.
        left = Value::boolean(holds(number_of(left), number_of(right)));
    } else {
        sync();
        left = op_compare(m_engine, relation, left, right);
    }
    ++m_sp;
}

void Invocation::with_push(const Value& value) {
    WithList* list = with_list();
    if (list == nullptr || list->count == list->capacity) {
        uint32_t capacity = list == nullptr ? 4 : list->capacity * 2;
        auto* grown = static_cast<WithList*>(gc_allocate(m_engine, sizeof(WithList) + capacity * sizeof(Value)));
        grown->count = 0;
        grown->capacity = capacity;
        if (list != nullptr) {
            std::memcpy(grown->items(), list->items(), list->count * sizeof(Value));
            grown->count = list->count;
        }
        list = grown;
        m_frame[-2].payload.pointer = list;
    }
    list->items()[list->count++] = value;
}

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
        QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16,
        QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16, QUILL_INVALID_16, &&op_invalid, &&op_invalid};
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
#define NEXT_INSTRUCTION()                              \
    do {                                                \
        if constexpr (config::instruction_budget != 0) { \
            spend_instruction();                        \
        }                                               \
        word = *m_pc++;                                 \
        goto* handlers[word & 0xFF];                    \
    } while (0)
#else
#define OP(name) case Op::name
#define INVALID_OPCODE default
#define NEXT_INSTRUCTION() continue
#endif
    uint32_t word;
    for (;;) {
        if constexpr (config::instruction_budget != 0) {
            spend_instruction();
        }
        word = *m_pc++;
        switch (static_cast<Op>(word & 0xFF)) {
        OP(CALL_SCOPED):
            call_scoped(static_cast<Atom>(*m_pc++));
            NEXT_INSTRUCTION();
        OP(GET_SCOPED): {
            auto name = static_cast<Atom>(*m_pc++);
            Value found;
            bool done = false;
            if (WithList* list = with_list()) {
                sync();
                for (uint32_t i = 0; i < list->count && !done; ++i) {
                    done = get_property(m_engine, list->items()[i], name, &found);
                }
            }
            if (done) {
                push(found);
            } else {
                push_global(name);
            }
            NEXT_INSTRUCTION();
        }
        OP(ADD2):
            add_to_top(2);
            NEXT_INSTRUCTION();
        OP(INC):
            add_to_top(1);
            NEXT_INSTRUCTION();
        OP(JT_BOOL):
        OP(JF_BOOL): {
            auto displacement = static_cast<int32_t>(*m_pc++);
            bool flag = pop().payload.words.low != 0;
            if (flag == (static_cast<Op>(word & 0xFF) == Op::JT_BOOL)) {
                if (displacement < 0) {
                    need_room(word >> 8);
                }
                m_pc += displacement;
            }
            NEXT_INSTRUCTION();
        }
        OP(THROW):
            throw_value(pop());
        OP(TRY_POP):
            // Only the running function's own records: a callee cannot drop its caller's.
            for (uint32_t n = *m_pc++; n > 0 && m_engine->protection != m_entry_head &&
                                       m_engine->protection != nullptr && m_engine->protection->is_try &&
                                       m_engine->protection->saved_frame == m_frame;
                 --n) {
                ProtectionRecord* record = m_engine->protection;
                m_engine->protection = record->link;
                plain_free(m_engine, record);
            }
            NEXT_INSTRUCTION();
        OP(TRY_PUSH): {
            auto displacement = static_cast<int32_t>(*m_pc++);
            sync();
            auto* record = static_cast<ProtectionRecord*>(plain_allocate(m_engine, sizeof(ProtectionRecord)));
            new (record) ProtectionRecord{};
            record->link = m_engine->protection;
            record->is_try = true;
            record->saved_top = m_sp;
            record->saved_frame = m_frame;
            record->resume = m_pc;
            record->catch_displacement = displacement;
            record->growth = word >> 8;
            m_engine->protection = record;
            NEXT_INSTRUCTION();
        }
        OP(WITH_POP): {
            uint32_t n = *m_pc++;
            if (WithList* list = with_list()) {
                list->count = n < list->count ? list->count - n : 0;
            }
            NEXT_INSTRUCTION();
        }
        OP(WITH_PUSH):
            with_push(pop());
            NEXT_INSTRUCTION();
        OP(GET_FRAME_SLOT): {
            Value& cell = top();
            Value* slot = cell.tag == Tag::Integer ? frame_slot_cell(cell.payload.integer) : nullptr;
            cell = slot != nullptr ? *slot : Value::undefined();
            NEXT_INSTRUCTION();
        }
        OP(ARGS_PAD):
            args_pad(*m_pc++, word >> 8);
            NEXT_INSTRUCTION();
        OP(RESERVE): {
            uint32_t n = *m_pc++;
            need_room(n);
            for (uint32_t i = 0; i < n; ++i) {
                push(Value::undefined());
            }
            NEXT_INSTRUCTION();
        }
        OP(DELETE_ELEM):
            sync();
            delete_element(m_engine, second(), top());
            ++m_sp;
            top() = Value::undefined();
            NEXT_INSTRUCTION();
        OP(DELETE_PROP): {
            auto name = static_cast<Atom>(*m_pc++);
            if (top().tag == Tag::Object) {
                table_delete(m_engine, top().payload.table, name);
            }
            top() = Value::undefined();
            NEXT_INSTRUCTION();
        }
        OP(NEW):
            construct();
            collection_point();
            NEXT_INSTRUCTION();
        OP(TYPEOF):
            top() = static_type_name(m_engine, top().tag);
            collection_point();
            NEXT_INSTRUCTION();
        OP(RETURN):
            if (do_return()) {
                return;
            }
            NEXT_INSTRUCTION();
        OP(CALL): {
            Value callee = top();
            top() = Value::null();
            if (callee.tag == Tag::Function && callee.payload.function->code != nullptr) {
                enter(callee.payload.function);
            } else {
                call(callee);
            }
            NEXT_INSTRUCTION();
        }
        OP(JMP): {
            auto displacement = static_cast<int32_t>(*m_pc++);
            if (displacement < 0) {
                need_room(word >> 8);
            }
            m_pc += displacement;
            NEXT_INSTRUCTION();
        }
        OP(CALL_METHOD):
            call_method(static_cast<Atom>(*m_pc++));
            NEXT_INSTRUCTION();
        OP(JT):
        OP(JF): {
            auto displacement = static_cast<int32_t>(*m_pc++);
            if (truthy(pop()) == (static_cast<Op>(word & 0xFF) == Op::JT)) {
                if (displacement < 0) {
                    need_room(word >> 8);
                }
                m_pc += displacement;
            }
            NEXT_INSTRUCTION();
        }
        OP(USHR):
            sync();
            second() = op_ushr(m_engine, second(), top());
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(SHR):
            sync();
            second() = op_shr(m_engine, second(), top());
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(SHL):
            sync();
            second() = op_shl(m_engine, second(), top());
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(BITXOR):
            sync();
            second() = op_bitxor(m_engine, second(), top());
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(BITOR):
            sync();
            second() = op_bitor(m_engine, second(), top());
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(NOT):
            top() = Value::boolean(!truthy(top()));
            NEXT_INSTRUCTION();
        OP(BITAND):
            sync();
            second() = op_bitand(m_engine, second(), top());
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(NEG):
            if (top().tag == Tag::Integer) {
                top().payload.integer = static_cast<int64_t>(0 - static_cast<uint64_t>(top().payload.integer));
            } else {
                sync();
                top() = op_neg(m_engine, top());
            }
            NEXT_INSTRUCTION();
        OP(MOD): {
            Value& left = second();
            const Value& right = top();
            if (both_integers(left, right) && right.payload.integer != 0 && right.payload.integer != -1) {
                left.payload.integer %= right.payload.integer;
            } else if (both_numbers(left, right) && number_of(left) != 0.0 && std::isfinite(number_of(left)) &&
                       number_of(right) != 0.0 && std::isfinite(number_of(right)) &&
                       std::fabs(number_of(left) / number_of(right)) < 2147483648.0) {
                // The quotient fits 32 bits, so its truncation is the one the general rule uses.
                double x = number_of(left);
                double y = number_of(right);
                left = Value::number(x - y * std::trunc(x / y));
            } else {
                sync();
                left = op_mod(m_engine, left, right);
            }
            ++m_sp;
            NEXT_INSTRUCTION();
        }
        OP(DIV): {
            Value& left = second();
            const Value& right = top();
            if (both_numbers(left, right) && number_of(right) != 0.0 && std::isfinite(number_of(left))) {
                left = Value::number(number_of(left) / number_of(right));
            } else {
                sync();
                left = op_div(m_engine, left, right);
            }
            ++m_sp;
            NEXT_INSTRUCTION();
        }
        OP(MUL): {
            Value& left = second();
            const Value& right = top();
            if (both_integers(left, right)) {
                left.payload.integer = wrapping_mul(left.payload.integer, right.payload.integer);
            } else if (both_numbers(left, right) && !std::isnan(number_of(left) * number_of(right))) {
                left = Value::number(number_of(left) * number_of(right));
            } else {
                sync();  // NaN results (an infinity times zero among them) take the general rule
                left = op_mul(m_engine, left, right);
            }
            ++m_sp;
            NEXT_INSTRUCTION();
        }
        OP(ADD): {
            Value& left = second();
            const Value& right = top();
            if (both_integers(left, right)) {
                left.payload.integer = wrapping_add(left.payload.integer, right.payload.integer);
                ++m_sp;
            } else if (both_numbers(left, right)) {
                left = Value::number(number_of(left) + number_of(right));
                ++m_sp;
            } else {
                sync();
                left = op_add(m_engine, left, right);
                ++m_sp;
                if (top().tag == Tag::String) {
                    collection_point();
                }
            }
            NEXT_INSTRUCTION();
        }
        OP(SUB): {
            Value& left = second();
            const Value& right = top();
            if (both_integers(left, right)) {
                left.payload.integer = wrapping_sub(left.payload.integer, right.payload.integer);
            } else if (both_numbers(left, right)) {
                left = Value::number(number_of(left) - number_of(right));
            } else {
                sync();
                left = op_sub(m_engine, left, right);
            }
            ++m_sp;
            NEXT_INSTRUCTION();
        }
        OP(STRICT_NE):
            second() = Value::boolean(!strict_equals(second(), top()));
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(STRICT_EQ):
            second() = Value::boolean(strict_equals(second(), top()));
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(LT):
            compare(Relation::Less, [](auto a, auto b) { return a < b; });
            NEXT_INSTRUCTION();
        OP(GT):
            compare(Relation::Greater, [](auto a, auto b) { return a > b; });
            NEXT_INSTRUCTION();
        OP(LE):
            compare(Relation::LessEqual, [](auto a, auto b) { return a <= b; });
            NEXT_INSTRUCTION();
        OP(GE):
            compare(Relation::GreaterEqual, [](auto a, auto b) { return a >= b; });
            NEXT_INSTRUCTION();
        OP(NE):
        OP(EQ): {
            Value& left = second();
            const Value& right = top();
            bool equal;
            if (both_integers(left, right)) {
                equal = left.payload.integer == right.payload.integer;
            } else if (both_numbers(left, right)) {
                equal = number_of(left) == number_of(right);
            } else {
                sync();
                equal = loose_equals(m_engine, left, right);
            }
            left = Value::boolean(equal == (static_cast<Op>(word & 0xFF) == Op::EQ));
            ++m_sp;
            NEXT_INSTRUCTION();
        }
        OP(FORIN_NEXT): {
            bool more;
            sync();
            Value item = enumerate_step(m_engine, second(), top(), &more);
            second() = item;
            top() = Value::boolean(more);
            NEXT_INSTRUCTION();
        }
        OP(SET_ELEM):
            if (Value* cell = stored_array_element(second(), top())) {
                *cell = m_sp[3];
            } else {
                sync();
                set_element(m_engine, second(), top(), m_sp[3]);
            }
            m_sp += 3;
            collection_point();
            NEXT_INSTRUCTION();
        OP(GET_ELEM):
            if (const Value* cell = stored_array_element(second(), top())) {
                second() = *cell;
            } else if (array_hole_read(second(), top())) {
                second() = Value::undefined();
            } else {
                sync();
                second() = get_element(m_engine, second(), top());
            }
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(SET_PROP): {
            auto name = static_cast<Atom>(*m_pc++);
            sync();
            if (top().tag == Tag::Object) {
                table_put(m_engine, top().payload.table, name, second());  // what set_property does
            } else {
                set_property(m_engine, top(), name, second());
            }
            m_sp += 2;
            collection_point();
            NEXT_INSTRUCTION();
        }
        OP(GET_PROP): {
            auto name = static_cast<Atom>(*m_pc++);
            sync();
            Value found;
            bool exists = top().tag == Tag::Object ? table_get(m_engine, top().payload.table, name, &found)
                                                   : get_property(m_engine, top(), name, &found);
            if (!exists) {
                warn(m_engine, Message::UndefinedProperty, atom_name(m_engine, name));
            }
            top() = found;
            NEXT_INSTRUCTION();
        }
        OP(SET_LOCAL):
            m_frame[-4 - static_cast<ptrdiff_t>(*m_pc++)] = pop();
            NEXT_INSTRUCTION();
        OP(GET_LOCAL):
            push(m_frame[-4 - static_cast<ptrdiff_t>(*m_pc++)]);
            NEXT_INSTRUCTION();
        OP(SET_ARG): {
            Value* slot = frame_slot_cell(static_cast<int32_t>(*m_pc++));
            Value value = pop();
            if (slot != nullptr) {
                *slot = value;
            }
            NEXT_INSTRUCTION();
        }
        OP(GET_ARG): {
            Value* slot = frame_slot_cell(static_cast<int32_t>(*m_pc++));
            push(slot != nullptr ? *slot : Value::undefined());
            NEXT_INSTRUCTION();
        }
        OP(SET_GLOBAL): {
            Value value = pop();
            if (value.tag == Tag::Undefined) {
                value = Value::undefined();
            }
            m_engine->globals.items[*m_pc++] = value;
            NEXT_INSTRUCTION();
        }
        OP(GET_GLOBAL):
            push_global(static_cast<Atom>(*m_pc++));
            NEXT_INSTRUCTION();
        OP(PUSH_INT):
            push(Value::integer(static_cast<int32_t>(*m_pc++)));
            NEXT_INSTRUCTION();
        OP(PUSH_3):
            push(Value::integer(3));
            NEXT_INSTRUCTION();
        OP(PUSH_2):
            push(Value::integer(2));
            NEXT_INSTRUCTION();
        OP(PUSH_1):
            push(Value::integer(1));
            NEXT_INSTRUCTION();
        OP(PUSH_0):
            push(Value::integer(0));
            NEXT_INSTRUCTION();
        OP(PUSH_UNDEFINED):
            push(Value::undefined());
            NEXT_INSTRUCTION();
        OP(PUSH_FALSE):
            push(Value::boolean(false));
            NEXT_INSTRUCTION();
        OP(PUSH_TRUE):
            push(Value::boolean(true));
            NEXT_INSTRUCTION();
        OP(PUSH_NULL):
            push(Value::null());
            NEXT_INSTRUCTION();
        OP(PUSH_CONST):
            push(m_engine->constants.items[*m_pc++]);
            NEXT_INSTRUCTION();
        OP(ROLL): {
            auto n = static_cast<int32_t>(*m_pc++);
            if (n >= 2) {
                Value moved = m_sp[1];
                std::memmove(m_sp + 1, m_sp + 2, static_cast<size_t>(n - 1) * sizeof(Value));
                m_sp[n] = moved;
            } else if (n <= -2) {
                Value moved = m_sp[-n];
                std::memmove(m_sp + 2, m_sp + 1, static_cast<size_t>(-n - 1) * sizeof(Value));
                m_sp[1] = moved;
            }
            NEXT_INSTRUCTION();
        }
        OP(SWAP): {
            Value t = top();
            top() = second();
            second() = t;
            NEXT_INSTRUCTION();
        }
        OP(NIP): {
            uint32_t n = *m_pc++;
            m_sp[1 + n] = top();
            m_sp += n;
            NEXT_INSTRUCTION();
        }
        OP(POPN):
            m_sp += *m_pc++;
            NEXT_INSTRUCTION();
        OP(POP):
            ++m_sp;
            NEXT_INSTRUCTION();
        OP(DUP): {
            Value t = top();
            push(t);
            NEXT_INSTRUCTION();
        }
        OP(NOP):
        OP(IDLE):  // waits for nothing: an endless wait would only hang the host
            NEXT_INSTRUCTION();
        OP(END):
            // With no cell of its own on the stack the function leaves Undefined.
            finish(m_sp + 1 <= m_frame - 4 ? top() : Value::undefined());
            return;
        OP(SET_SCOPED): {
            auto name = static_cast<Atom>(*m_pc++);
            bool stored = false;
            if (WithList* list = with_list()) {
                sync();
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
            NEXT_INSTRUCTION();
        }
        OP(DELETE_NAME): {
            auto name = static_cast<Atom>(*m_pc++);
            if (WithList* list = with_list()) {
                for (uint32_t i = 0; i < list->count; ++i) {
                    const Value& scope = list->items()[i];
                    if (scope.tag == Tag::Object && table_delete(m_engine, scope.payload.table, name)) {
                        break;
                    }
                }
            }
            top() = Value::undefined();
            NEXT_INSTRUCTION();
        }
        INVALID_OPCODE:
            sync();
            raise_error(m_engine, Message::UnimplementedBytecode);
        }
    }
#undef OP
#undef INVALID_OPCODE
#undef NEXT_INSTRUCTION
}

Value* push_entry_cells(ScriptEngine* engine, const Value& function, const Value* self, uint32_t cells,
                        const Value* args, ptrdiff_t growth) {
    Value* sp = engine->stack.saved_top;
    if (sp - engine->stack.base < static_cast<ptrdiff_t>(cells) + 6 + growth + margin) {
        raise_error(engine, Message::StackOverflow);
    }
    *sp-- = function;
    for (uint32_t k = cells; k-- > 0;) {
        *sp-- = args[k];
    }
    *sp-- = self != nullptr ? *self : Value::null();
    return sp;
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
    Value* frame = sp;
    frame[0] = frame_mark(nullptr);
    frame[-1] = frame_slot(cells + 1, 0);
    frame[-2] = frame_mark(nullptr);
    frame[-3] = frame_mark(nullptr);
    Invocation invocation(engine, block->code, frame - 4, frame);
    invocation.run();
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

}  // namespace quill::vm
