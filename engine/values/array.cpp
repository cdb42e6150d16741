// Array records: a length, 127 chains of element nodes, and a direct index of the low indexes.
//
// The chains alone would make every access by index walk about count / 127 nodes, and a loop over
// a long array quadratic. So each array also keeps `direct`, a block of node pointers for the
// indexes below direct_capacity. It is an index only: every node stays in its chain, and the chains
// decide the order in which sort gathers the elements.
//
// The block follows the stored elements, never the length alone. It grows (doubling, or straight to
// the length when that fits) only while it stays within twice the number of nodes plus a little
// slack, so an array of length 2^32 with one element has a block of a few dozen entries at most, and
// an array filled by push or by index writes in any order ends up covering all of its elements.
// Indexes past the block are found through their chain. Whole-array operations rebuild the block
// from the chains, shrinking it when it has become much larger than its budget.
#include "engine/values/array.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "engine/values/config.h"
#include "engine/values/engine.h"
#include "engine/values/heap.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"

namespace quill {

namespace {

constexpr uint64_t direct_slack = 64;
constexpr uint64_t direct_minimum = 16;
// Removing up to this many indexes one by one is cheaper than a pass over all nodes.
constexpr uint64_t few_indexes = 32;

// The most direct entries an array of `count` nodes should have.
uint64_t direct_budget(uint64_t count) { return std::min(2 * count + direct_slack, config::array_direct_limit); }

ArrayNode*& chain_of(ArrayRecord* array, uint64_t index) { return array->buckets[index % array_bucket_count]; }

bool covered(const ArrayRecord* array, uint64_t index) { return index < array->direct_capacity; }

// Points a zeroed block of `capacity` entries at the nodes of the chains. Of two nodes with one
// index (only a broken array_insert contract makes them) the first in its chain wins, as in a walk.
void fill_direct(const ArrayRecord* array, ArrayNode** direct, uint64_t capacity) {
    array_for_each_node(array, [&](ArrayNode* node) {
        if (node->index < capacity && direct[node->index] == nullptr) {
            direct[node->index] = node;
        }
    });
}

void refill_direct(ArrayRecord* array) {
    if (array->direct != nullptr) {
        std::memset(array->direct, 0, array->direct_capacity * sizeof(ArrayNode*));
        fill_direct(array, array->direct, array->direct_capacity);
    }
}

// Replaces the direct block by one of at least `capacity` entries (none for 0). The allocation comes
// first, so an "Out of memory" leaves the old block in place.
void resize_direct(ScriptEngine* engine, ArrayRecord* array, uint64_t capacity) {
    ArrayNode** direct = nullptr;
    uint64_t actual = 0;
    if (capacity > 0) {
        direct = static_cast<ArrayNode**>(gc_allocate(engine, capacity * sizeof(ArrayNode*)));
        // The heap rounds blocks up to a power of two; the whole block is usable.
        actual = gc_block_size(direct) / sizeof(ArrayNode*);
        std::memset(direct, 0, actual * sizeof(ArrayNode*));
        // What the old block knew is copied; the chains are walked only when some node lies outside
        // it (an array filled by push or from the bottom up never needs the walk).
        uint64_t kept = std::min(actual, array->direct_capacity);
        uint64_t known = 0;
        for (uint64_t i = 0; i < kept; ++i) {
            direct[i] = array->direct[i];
            known += direct[i] != nullptr ? 1 : 0;
        }
        if (known < array->count) {
            fill_direct(array, direct, actual);
        }
    }
    gc_free(engine, array->direct);
    array->direct = direct;
    array->direct_capacity = actual;
}

// Before a node is added at `index`: widens the direct block to cover it when the budget allows,
// or to cover the whole length once the elements pay for that (an array filled from the top down
// is covered that way in the end).
void cover(ScriptEngine* engine, ArrayRecord* array, uint64_t index) {
    uint64_t budget = direct_budget(array->count + 1);
    if (covered(array, index)) {
        if (array->direct_capacity < array->length && array->length <= budget) {
            resize_direct(engine, array, array->length);
        }
        return;
    }
    if (index >= budget) {
        return;
    }
    uint64_t wanted = std::max({index + 1, 2 * array->direct_capacity, direct_minimum});
    if (array->length > wanted && array->length <= budget) {
        wanted = array->length;  // every element lies below the length
    }
    resize_direct(engine, array, std::min(wanted, budget));
}

// After the chains changed wholesale: points the block at the nodes again, then (with an engine)
// grows it to cover the length when that fits the budget, or shrinks it when it is far over.
void rebuild_direct(ScriptEngine* engine, ArrayRecord* array) {
    refill_direct(array);
    if (engine == nullptr) {
        return;
    }
    uint64_t budget = direct_budget(array->count);
    uint64_t capacity = array->direct_capacity;
    bool grow = capacity < array->length && capacity < budget && array->count > 0;
    bool shrink = capacity > 2 * budget;
    if (grow || shrink) {
        resize_direct(engine, array, array->count == 0 ? 0 : std::min(array->length, budget));
    }
}

// Links a new node; the caller has made sure the index is free.
void link_node(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index) {
    cover(engine, array, index);
    auto* node = static_cast<ArrayNode*>(gc_allocate(engine, sizeof(ArrayNode)));
    node->index = index;
    node->value = value;
    ArrayNode*& head = chain_of(array, index);
    node->next = head;
    head = node;
    ++array->count;
    if (covered(array, index)) {
        array->direct[index] = node;
    }
}

// Unlinks every node for which drop(node) holds.
template <typename Drop>
void unlink_nodes(ArrayRecord* array, Drop&& drop) {
    for (ArrayNode*& head : array->buckets) {
        for (ArrayNode** link = &head; *link != nullptr;) {
            ArrayNode* node = *link;
            if (drop(*node)) {
                *link = node->next;
                --array->count;
                if (covered(array, node->index) && array->direct[node->index] == node) {
                    array->direct[node->index] = nullptr;
                }
            } else {
                link = &node->next;
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

Value* array_get_from_chain(ArrayRecord* array, uint64_t index) {
    for (ArrayNode* node = chain_of(array, index); node != nullptr; node = node->next) {
        if (node->index == index) {
            return &node->value;
        }
    }
    return nullptr;
}

void array_insert(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index) {
    // Where the direct index shows an element already, a second node would be hidden behind it:
    // store into the element instead, as a walk of the chain would find it.
    if (covered(array, index) && array->direct[index] != nullptr) {
        array->direct[index]->value = value;
        return;
    }
    link_node(engine, array, value, index);
}

void array_put(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const Value& value) {
    if (Value* cell = array_get(array, index)) {
        *cell = value;
    } else {
        link_node(engine, array, value, index);
    }
}

void array_remove(ArrayRecord* array, uint64_t index) {
    if (covered(array, index) && array->direct[index] == nullptr) {
        return;  // a hole
    }
    for (ArrayNode** link = &chain_of(array, index); *link != nullptr; link = &(*link)->next) {
        ArrayNode* node = *link;
        if (node->index == index) {
            *link = node->next;
            --array->count;
            if (covered(array, index)) {
                array->direct[index] = nullptr;
            }
            return;
        }
    }
}

void array_remove_and_close(ArrayRecord* array, uint64_t index) {
    if (index >= array->length) {
        return;
    }
    array_remove(array, index);
    // Only indexes drop, so the direct block still covers every node it covered.
    array_renumber(nullptr, array, [index](uint64_t i) { return i > index ? i - 1 : i; });
    --array->length;
}

void array_shift_all(ScriptEngine* engine, ArrayRecord* array, int64_t delta) {
    auto offset = static_cast<uint64_t>(delta);  // modulo 2^64: adding it subtracts for a negative delta
    array->length += offset;
    array_renumber(engine, array, [offset](uint64_t i) { return i + offset; });
}

void array_copy_all(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source, uint64_t offset) {
    if (source == target) {
        // Inserting into the chains being walked would walk the new nodes too: copy first.
        std::vector<std::pair<uint64_t, Value>> elements;
        elements.reserve(source->count);
        array_for_each_node(source, [&](ArrayNode* node) { elements.emplace_back(node->index, node->value); });
        for (const auto& [index, value] : elements) {
            array_insert(engine, target, value, offset + index);
        }
        return;
    }
    array_for_each_node(source, [&](ArrayNode* node) { array_insert(engine, target, node->value, offset + node->index); });
}

void array_set_length(ScriptEngine* engine, ArrayRecord* array, uint64_t length) {
    uint64_t old = array->length;
    array->length = length;
    if (length >= old) {
        return;
    }
    array_remove_range(array, length, old);
    if (old - length > few_indexes) {
        rebuild_direct(engine, array);  // perhaps much smaller now
    }
}

std::vector<ArrayNode*> array_nodes_in_range(ArrayRecord* array, uint64_t from, uint64_t to) {
    std::vector<ArrayNode*> nodes;
    if (from >= to) {
        return nodes;
    }
    if (to <= array->direct_capacity) {
        for (uint64_t i = from; i < to; ++i) {
            if (array->direct[i] != nullptr) {
                nodes.push_back(array->direct[i]);
            }
        }
        return nodes;
    }
    array_for_each_node(array, [&](ArrayNode* node) {
        if (node->index >= from && node->index < to) {
            nodes.push_back(node);
        }
    });
    std::sort(nodes.begin(), nodes.end(), [](const ArrayNode* a, const ArrayNode* b) { return a->index < b->index; });
    return nodes;
}

void array_remove_range(ArrayRecord* array, uint64_t from, uint64_t to) {
    if (from >= to) {
        return;
    }
    if (to - from <= few_indexes) {
        for (uint64_t i = from; i < to; ++i) {
            array_remove(array, i);
        }
        return;
    }
    unlink_nodes(array, [from, to](const ArrayNode& node) { return node.index >= from && node.index < to; });
}

void array_renumber(ScriptEngine* engine, ArrayRecord* array, ArrayIndexMap map, const void* context) {
    ArrayNode* fresh[array_bucket_count] = {};
    for (ArrayNode* head : array->buckets) {
        for (ArrayNode* node = head; node != nullptr;) {
            ArrayNode* next = node->next;
            node->index = map(node->index, context);
            ArrayNode*& chain = fresh[node->index % array_bucket_count];
            node->next = chain;
            chain = node;
            node = next;
        }
    }
    std::copy(std::begin(fresh), std::end(fresh), std::begin(array->buckets));
    rebuild_direct(engine, array);
}

void array_take_elements(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source) {
    std::copy(std::begin(source->buckets), std::end(source->buckets), std::begin(target->buckets));
    target->count = source->count;
    std::fill(std::begin(source->buckets), std::end(source->buckets), nullptr);
    source->count = 0;
    refill_direct(source);
    rebuild_direct(engine, target);
}

}  // namespace quill
