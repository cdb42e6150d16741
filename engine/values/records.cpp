// Marking of arrays, function objects and with-scope lists.
#include "engine/values/records.h"

#include "engine/values/collector.h"
#include "engine/values/heap.h"

namespace quill {

void visit_array(ScriptEngine* engine, ArrayRecord* array) {
    // Both indexes point only at nodes of the chains, which are marked below.
    mark_plain_block(array->direct);
    mark_plain_block(array->spread);
    for (ArrayNode* head : array->buckets) {
        for (ArrayNode* node = head; node != nullptr; node = node->next) {
            gc_mark_block(node);
            mark_value(engine, node->value);
        }
    }
    if (array->properties != nullptr) {
        mark_value(engine, Value::object(array->properties));
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
