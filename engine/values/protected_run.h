// The protected frame every load and call service runs its work in.
#pragma once

#include <new>

#include "engine/values/engine.h"
#include "engine/values/errors.h"

namespace quill {

// Remembers the saved stack top and the head of the protection chain, pushes a host-level record,
// clears the message buffer and the engine result, and runs the work. Afterwards frees the records
// above the remembered head (try records abandoned by an exit included) and restores the saved
// stack top. Returns false when the work ended by a non-local exit; the text is then in the buffer.
template <typename Work>
bool run_protected(ScriptEngine* engine, Work&& work) {
    Value* saved_top = engine->stack.saved_top;
    ProtectionRecord* head = engine->protection;
    ProtectionRecord record;
    record.link = head;
    engine->protection = &record;
    clear_message(engine);
    engine->result = Value::undefined();
    bool ok = true;
    try {
        work();
    } catch (const ScriptUnwind&) {
        ok = false;
    } catch (const std::bad_alloc&) {
        set_message(engine, Message::OutOfMemory);
        ok = false;
    }
    pop_protection_records(engine, &record);
    engine->protection = head;
    engine->stack.saved_top = saved_top;
    return ok;
}

}  // namespace quill
