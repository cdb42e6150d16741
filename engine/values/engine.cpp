// Creating and destroying the bare engine record.
#include "engine/values/engine.h"

#include <cstdlib>
#include <cstring>

#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/heap.h"
#include "engine/values/plain_heap.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

void free_value_array(ValueArray& array) {
    plain_free(nullptr, array.items);
    array = ValueArray{};
}

}  // namespace

ScriptEngine* create_engine_record(uint32_t stack_cells) {
    auto* engine = new (std::nothrow) ScriptEngine{};
    if (engine == nullptr) {
        return nullptr;
    }
    if (stack_cells < config::stack_margin_cells + 4) {
        stack_cells = config::stack_margin_cells + 4;
    }
    engine->stack.base = static_cast<Value*>(plain_allocate_zeroed(nullptr, stack_cells, sizeof(Value)));
    if (engine->stack.base == nullptr) {
        delete engine;
        return nullptr;
    }
    engine->stack.size = stack_cells;
    engine->stack.saved_top = engine->stack.base + stack_cells - 1;
    if constexpr (config::gc_stress_switch) {
        const char* stress = std::getenv(config::gc_stress_variable);
        if (stress != nullptr && *stress != '\0' && std::strcmp(stress, "0") != 0) {
            engine->heap.threshold = 0;
            engine->heap.verify = true;
        }
    }

    bool ok = run_protected(engine, [engine] {
        intern(engine, "__proto__");
        intern(engine, "prototype");
        intern(engine, "toSource");
        intern(engine, "toString");
        intern(engine, "valueOf");
    });
    if (!ok) {
        destroy_engine_record(engine);
        return nullptr;
    }
    return engine;
}

void destroy_engine_record(ScriptEngine* engine) {
    if (engine == nullptr) {
        return;
    }
    // String constants own their character buffers (plain heap); free them while the records live.
    for (uint32_t i = 0; i < engine->constants.count; ++i) {
        const Value& constant = engine->constants.items[i];
        if (constant.tag == Tag::String && constant.payload.string->is_static()) {
            plain_free(nullptr, constant.payload.string->chars);
        }
    }
    // Nothing is marked, so every finalizer runs exactly once.
    gc_sweep(engine);
    gc_release_chunks(engine);
    pop_protection_records(engine, nullptr);
    free_value_array(engine->constants);
    free_value_array(engine->globals);
    free_atoms(engine);
    plain_free(nullptr, engine->permanent_blocks);
    for (void*& list : engine->compiler_work_lists) {
        plain_free(nullptr, list);
        list = nullptr;
    }
    plain_free(nullptr, engine->stack.base);
    delete engine;
}

void add_permanent_block(ScriptEngine* engine, void* block) {
    if (engine->permanent_count == engine->permanent_capacity) {
        uint32_t capacity = engine->permanent_capacity == 0 ? 64 : engine->permanent_capacity * 2;
        engine->permanent_blocks =
            static_cast<void**>(plain_reallocate(engine, engine->permanent_blocks, capacity * sizeof(void*)));
        engine->permanent_capacity = capacity;
    }
    engine->permanent_blocks[engine->permanent_count++] = block;
}

uint32_t add_constant(ScriptEngine* engine, const Value& value) {
    ValueArray& table = engine->constants;
    if (table.count == table.capacity) {
        if (table.capacity > UINT32_MAX - config::value_array_growth) {
            raise_error(engine, Message::OutOfMemory);
        }
        uint32_t capacity = table.capacity + config::value_array_growth;
        table.items = static_cast<Value*>(plain_reallocate(engine, table.items, capacity * sizeof(Value)));
        table.capacity = capacity;
    }
    table.items[table.count] = value;
    return table.count++;
}

}  // namespace quill
