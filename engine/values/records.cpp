// Marking of arrays, function objects and with-scope lists.
#include "engine/values/records.h"

#include "engine/values/collector.h"
#include "engine/values/heap.h"

namespace quill {

void visit_array(ScriptEngine* engine, ArrayRecord* array) {
    mark_plain_block(array->dense);
    // A hole reaches nothing either: one test skips holes and plain values alike.
    static_assert(!reaches_records(array_hole));
    for (uint64_t i = 0; i < array->dense_capacity; ++i) {
        if (reaches_records(array->dense[i].tag)) {
            mark_value(engine, array->dense[i]);
        }
    }
    mark_plain_block(array->spread);
    for (uint64_t i = 0; i < array->spread_capacity; ++i) {
        if (ArrayNode* node = array->spread[i].node) {
            gc_mark_block(node);
            mark_value(engine, node->value);
        }
    }
    if (array->properties != nullptr) {
        mark_value(engine, Value::object(array->properties));
    } else if (array->prototype != nullptr) {
        mark_value(engine, Value::object(array->prototype));
    }
}

void visit_function(ScriptEngine* engine, FunctionObject* function) {
    mark_plain_block(function->code);
    if (function->properties != nullptr) {
        mark_value(engine, Value::object(function->properties));
    }
}

void visit_with_list(ScriptEngine* engine, WithList* list) {
    if (!gc_mark_block(list)) {
        return;
    }
    Value* items = list->items();
    for (uint32_t i = 0; i < list->count; ++i) {
        mark_value(engine, items[i]);
    }
}

}  // namespace quill
