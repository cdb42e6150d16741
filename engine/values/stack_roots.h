// Values that native code holds while it runs script code.
//
// No collection runs inside native code on its own, but a handler that converts an argument (an
// object's toString or valueOf), calls a comparator or calls any script back lets one run there.
// What the handler holds only in C++ meanwhile (a receiver or an argument block that native code
// made, a result under construction) would not be marked. StackRoots copies such values into cells
// at the engine's saved stack top, its first free cell: nested invocations start below them (and
// check their own room), and a collection inside the script finds them on the stack. Calls from the
// interpreter already find their receiver and arguments on the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/value.h"

namespace quill {

class StackRoots {
public:
    // Copies `count` values, in order, into consecutive cells (the first value in the lowest cell,
    // so that an argument block keeps its layout). Raises "Stack overflow" when they do not fit.
    StackRoots(ScriptEngine* engine, const Value* values, size_t count)
        : m_engine(engine), m_saved(engine->stack.saved_top) {
        if (m_saved - engine->stack.base < static_cast<ptrdiff_t>(count)) {
            raise_error(engine, Message::StackOverflow);
        }
        m_cells = m_saved + 1 - static_cast<ptrdiff_t>(count);
        for (size_t i = 0; i < count; ++i) {
            m_cells[i] = values[i];
        }
        engine->stack.saved_top = m_cells - 1;
    }
    StackRoots(ScriptEngine* engine, std::initializer_list<Value> values)
        : StackRoots(engine, values.begin(), values.size()) {}
    // The saved top comes back however the caller ends, by a return or by a runtime error.
    ~StackRoots() { m_engine->stack.saved_top = m_saved; }
    StackRoots(const StackRoots&) = delete;
    StackRoots& operator=(const StackRoots&) = delete;

    // The copies, in the order given. They stay marked while the roots live, and the caller may
    // change them (a handler converts its arguments in place).
    Value* cells() const { return m_cells; }

private:
    ScriptEngine* m_engine;
    Value* m_saved;
    Value* m_cells;
};

// An argument block copied onto the stack, for native code that calls a handler with a block of its
// own. A missing block gives one with the count 0; a count cell that claims more cells than the
// block's `cells` hold (count cell included), either way, is cut to what they hold.
class RootedArguments {
public:
    RootedArguments(ScriptEngine* engine, const Value* args, uint32_t cells)
        : m_empty(Value::integer(0)), m_given(args != nullptr && cells > 0), m_cells(m_given ? cells : 1),
          m_roots(engine, m_given ? args : &m_empty, m_cells) {
        Value* copy = m_roots.cells();
        const int64_t held = m_cells - 1;
        const int64_t count = copy[0].tag == Tag::Integer ? copy[0].payload.integer : 0;
        if (count > held || count < -held) {
            copy[0] = Value::integer(held);
        }
    }

    Value* block() const { return m_roots.cells(); }

private:
    Value m_empty;
    bool m_given;
    uint32_t m_cells;
    StackRoots m_roots;
};

}  // namespace quill
