// Marking from the roots and the collection run between instructions.
#include "engine/values/collector.h"

#include <cstdio>
#include <cstdlib>

#include "engine/values/class_declaration.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"
#include "engine/values/records.h"
#include "engine/values/stack_frame.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

// Scans one value taken from the work stack: marks its record and hands what it reaches back to
// the work stack. A record already marked is not followed again, so cycles end.
void scan(ScriptEngine* engine, const Value& value) {
    switch (value.tag) {
    case Tag::String: {
        StringRecord* string = value.payload.string;
        if (string == nullptr || !gc_mark_block(string)) {
            return;
        }
        if (!string->is_static() && !string->is_inline() && string->chars != nullptr) {
            gc_mark_block(string->chars);
        }
        if (string->properties != nullptr) {
            mark_value(engine, Value::object(string->properties));
        }
        return;
    }
    case Tag::Array:
        if (value.payload.array != nullptr && gc_mark_block(value.payload.array)) {
            visit_array(engine, value.payload.array);
        }
        return;
    case Tag::Object:
        if (value.payload.table != nullptr && gc_mark_block(value.payload.table)) {
            visit_table(engine, value.payload.table);
        }
        return;
    case Tag::HostObject:
        if (value.payload.host != nullptr && gc_mark_block(value.payload.host)) {
            visit_host_record(engine, value.payload.host);
        }
        return;
    case Tag::Function:
        if (value.payload.function != nullptr && gc_mark_block(value.payload.function)) {
            visit_function(engine, value.payload.function);
        }
        return;
    default:
        return;
    }
}

void drain(ScriptEngine* engine) {
    Heap& heap = engine->heap;
    heap.draining = true;
    while (!heap.gray.empty()) {
        Value value = heap.gray.back();
        heap.gray.pop_back();
        scan(engine, value);
    }
    heap.draining = false;
}

void mark_values(ScriptEngine* engine, const ValueArray& array) {
    for (uint32_t i = 0; i < array.count; ++i) {
        mark_value(engine, array.items[i]);
    }
}

// Cells top + 1 to the stack end. Of a frame's header cells only its with-scope list is marked.
void mark_stack(ScriptEngine* engine, Value* top) {
    const Value* end = engine->stack.end();
    const Value* cell = top + 1;
    if (cell < engine->stack.base) {
        cell = engine->stack.base;
    }
    while (cell < end) {
        if (cell->tag == Tag::FrameMark) {
            const Value* frame = stack_frame::frame_of_resume(cell);
            const Value* scopes = frame + stack_frame::with_scopes;
            if (scopes < end && scopes->tag == Tag::FrameMark && scopes->payload.pointer != nullptr) {
                visit_with_list(engine, static_cast<WithList*>(scopes->payload.pointer));
            }
            cell = frame + stack_frame::caller + 1;
            continue;
        }
        mark_value(engine, *cell);
        ++cell;
    }
}

}  // namespace

void mark_value(ScriptEngine* engine, const Value& value) {
    if (!reaches_records(value.tag)) {
        return;
    }
    Heap& heap = engine->heap;
    heap.gray.push_back(value);
    if (!heap.draining) {
        drain(engine);
    }
}

void mark_plain_block(void* block) {
    if (block != nullptr) {
        gc_mark_block(block);
    }
}

size_t collect(ScriptEngine* engine, Value* top) {
    ++engine->heap.collection_count;
    mark_values(engine, engine->constants);
    mark_values(engine, engine->globals);
    for (HostClass* handler : engine->type_handlers) {
        if (handler != nullptr) {
            visit_host_class(engine, handler);
        }
    }
    for (const DeclaredClass& declared : engine->declared_classes) {
        visit_host_class(engine, declared.cls);
        mark_class_state(engine, declared.cls);
    }
    mark_value(engine, engine->regexp_class);
    for (uint32_t i = 0; i < engine->permanent_count; ++i) {
        mark_plain_block(engine->permanent_blocks[i]);
    }
    mark_stack(engine, top);
    if (engine->result.tag != Tag::Undefined) {
        // The result of the last run or call stays readable until the next one.
        mark_value(engine, engine->result);
    }
    size_t live = gc_sweep(engine);
    // The next collection also waits for the heap to grow by a share of what survived, unless the
    // threshold asks for a collection at every collection point (collector stress).
    Heap& heap = engine->heap;
    heap.growth_allowance = heap.threshold == 0 ? 0 : live * config::collection_growth_percent / 100;
    if (heap.verify && !gc_verify(engine, true)) {
        std::fprintf(stderr, "quill: heap inconsistent after collection %u\n", heap.collection_count);
        std::abort();
    }
    if (engine->hook != nullptr) {
        int answer = engine->hook(2, engine->hook_data);
        if (answer != 0) {
            raise_error(engine, Message::HookBreak, answer);
        }
    }
    return live;
}

}  // namespace quill
