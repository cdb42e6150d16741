// Array records: a length and 127 buckets of element nodes.
#include "engine/values/array.h"

#include "engine/values/engine.h"
#include "engine/values/heap.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"

namespace quill {

namespace {

ArrayNode*& bucket_of(ArrayRecord* array, uint64_t index) { return array->buckets[index % array_bucket_count]; }

// Unlinks every node for which `drop` holds.
template <typename Drop>
void remove_nodes(ArrayRecord* array, Drop&& drop) {
    for (ArrayNode*& head : array->buckets) {
        for (ArrayNode** link = &head; *link != nullptr;) {
            if (drop(**link)) {
                *link = (*link)->next;
            } else {
                link = &(*link)->next;
            }
        }
    }
}

}  // namespace

ArrayRecord* array_create(ScriptEngine* engine, uint64_t length) {
    auto* array = static_cast<ArrayRecord*>(gc_allocate(engine, sizeof(ArrayRecord)));
    *array = ArrayRecord{};
    array->length = length;
    HostClass* handler = type_handler(engine, Tag::Array);
    array->properties = new_table_with_prototype(engine, handler != nullptr ? handler->prototype : nullptr);
    return array;
}

Value* array_get(ArrayRecord* array, uint64_t index) {
    for (ArrayNode* node = bucket_of(array, index); node != nullptr; node = node->next) {
        if (node->index == index) {
            return &node->value;
        }
    }
    return nullptr;
}

void array_insert(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index) {
    auto* node = static_cast<ArrayNode*>(gc_allocate(engine, sizeof(ArrayNode)));
    node->index = index;
    node->value = value;
    ArrayNode*& head = bucket_of(array, index);
    node->next = head;
    head = node;
}

void array_put(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const Value& value) {
    if (Value* cell = array_get(array, index)) {
        *cell = value;
    } else {
        array_insert(engine, array, value, index);
    }
}

void array_remove(ArrayRecord* array, uint64_t index) {
    for (ArrayNode** link = &bucket_of(array, index); *link != nullptr; link = &(*link)->next) {
        if ((*link)->index == index) {
            *link = (*link)->next;
            return;
        }
    }
}

void array_remove_and_close(ArrayRecord* array, uint64_t index) {
    if (index >= array->length) {
        return;
    }
    array_remove(array, index);
    // Lower the higher indexes, then put every node back into the bucket of its new index.
    ArrayNode* all = nullptr;
    for (ArrayNode*& head : array->buckets) {
        while (head != nullptr) {
            ArrayNode* node = head;
            head = node->next;
            if (node->index > index) {
                --node->index;
            }
            node->next = all;
            all = node;
        }
    }
    while (all != nullptr) {
        ArrayNode* node = all;
        all = node->next;
        ArrayNode*& head = bucket_of(array, node->index);
        node->next = head;
        head = node;
    }
    --array->length;
}

void array_set_length(ArrayRecord* array, uint64_t length) {
    uint64_t old = array->length;
    array->length = length;
    if (length < old) {
        remove_nodes(array, [length](const ArrayNode& node) { return node.index >= length; });
    }
}

}  // namespace quill
