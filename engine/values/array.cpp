// Array records: a length, 127 chains of element nodes, and two indexes that find a node by its
// index.
//
// The chains alone would make every access by index walk about count / 127 nodes, and a loop over
// a long array quadratic. So each array also keeps `direct`, a block of node pointers for the
// indexes below direct_capacity, and `spread`, a hash table of the nodes at and above it. Both are
// indexes only: every node stays in its chain, and the chains decide the order in which sort
// gathers the elements.
//
// The direct block follows the stored elements, never the length alone. It grows (doubling, or
// straight to the length when that fits) only while it stays within twice the number of nodes plus
// a little slack, so an array of length 2^32 with one element has a block of a few dozen entries at
// most, and an array filled by push or by index writes in any order ends up covering all of its
// elements. What the block does not cover (the elements of an array whose indexes spread wider than
// that) the spread table holds; it doubles as it fills, so a read, a store or a hole costs the same
// however many elements the array has. Whole-array operations rebuild both indexes from the chains,
// shrinking them when they have become much larger than their contents need.
//
// Every change allocates what it needs before it touches the array, so an "Out of memory" leaves
// the chains and both indexes in step.
#include "engine/values/array.h"

#include <algorithm>
#include <bit>
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
constexpr uint64_t spread_minimum = 16;
// Removing up to this many indexes one by one is cheaper than a pass over all nodes.
constexpr uint64_t few_indexes = 32;

// The most direct entries an array of `count` nodes should have.
uint64_t direct_budget(uint64_t count) { return std::min(2 * count + direct_slack, config::array_direct_limit); }

ArrayNode*& chain_of(ArrayRecord* array, uint64_t index) { return array->buckets[index % array_bucket_count]; }

bool covered(const ArrayRecord* array, uint64_t index) { return index < array->direct_capacity; }

// A zeroed collected block of at least `entries` node pointers (null for none); its usable entries
// go to *actual when asked for (the heap rounds blocks up, and the whole block is usable).
ArrayNode** allocate_entries(ScriptEngine* engine, uint64_t entries, uint64_t* actual = nullptr) {
    if (entries == 0) {
        if (actual != nullptr) {
            *actual = 0;
        }
        return nullptr;
    }
    auto** block = static_cast<ArrayNode**>(gc_allocate(engine, entries * sizeof(ArrayNode*)));
    uint64_t usable = gc_block_size(block) / sizeof(ArrayNode*);
    std::memset(block, 0, usable * sizeof(ArrayNode*));
    if (actual != nullptr) {
        *actual = usable;
    }
    return block;
}

// {==== The spread table: linear probing from a multiplicative hash of the index

// A zeroed collected block of `capacity` spread slots (null for none).
ArraySlot* allocate_slots(ScriptEngine* engine, uint64_t capacity) {
    if (capacity == 0) {
        return nullptr;
    }
    auto* slots = static_cast<ArraySlot*>(gc_allocate(engine, capacity * sizeof(ArraySlot)));
    std::memset(slots, 0, capacity * sizeof(ArraySlot));
    return slots;
}

// Slots for `count` nodes, at most half of them used; 0 for none.
uint64_t spread_capacity_for(uint64_t count) {
    return count == 0 ? 0 : std::bit_ceil(std::max(2 * count, spread_minimum));
}

// The slot where the search for `index` starts. Runs of eight indexes start at neighbouring slots,
// so that a loop over the positions of a sparse array, holes included, finds most of them in the
// cache line of the one before; each run starts at the top bits of a Fibonacci hash of its number,
// so that indexes which share their low bits (every third, every 1024th) still spread over the
// whole table.
uint64_t home_slot(uint64_t index, uint64_t capacity) {
    uint64_t group = ((index >> 3) * UINT64_C(0x9E3779B97F4A7C15)) >> (64 - std::countr_zero(capacity));
    return (group + (index & 7)) & (capacity - 1);
}

// The slot holding the node of `index`, or null.
ArraySlot* spread_find(const ArrayRecord* array, uint64_t index) {
    if (array->spread_count == 0) {
        return nullptr;
    }
    uint64_t mask = array->spread_capacity - 1;
    for (uint64_t slot = home_slot(index, array->spread_capacity);; slot = (slot + 1) & mask) {
        ArraySlot& entry = array->spread[slot];
        if (entry.node == nullptr) {
            return nullptr;
        }
        if (entry.index == index) {
            return &entry;
        }
    }
}

// Puts a node into the first free slot from its home; the table has free slots (it is at most half
// full), so the search ends.
void spread_place(ArraySlot* slots, uint64_t capacity, ArrayNode* node) {
    uint64_t mask = capacity - 1;
    uint64_t slot = home_slot(node->index, capacity);
    while (slots[slot].node != nullptr) {
        slot = (slot + 1) & mask;
    }
    slots[slot] = {node->index, node};
}

// Empties a slot. The later nodes of its run move back where they may, so that every search still
// finds its node before the first free slot (no tombstones to clean up later).
void spread_erase(ArrayRecord* array, ArraySlot* hole) {
    uint64_t mask = array->spread_capacity - 1;
    auto empty = static_cast<uint64_t>(hole - array->spread);
    for (uint64_t slot = (empty + 1) & mask; array->spread[slot].node != nullptr; slot = (slot + 1) & mask) {
        uint64_t home = home_slot(array->spread[slot].index, array->spread_capacity);
        // The node may move to the free slot when that lies on its way from its home to its slot.
        if (((slot - home) & mask) >= ((slot - empty) & mask)) {
            array->spread[empty] = array->spread[slot];
            empty = slot;
        }
    }
    array->spread[empty] = {};
    --array->spread_count;
}

// Doubles the spread table when one more node would fill more than half of it.
void spread_make_room(ScriptEngine* engine, ArrayRecord* array) {
    uint64_t capacity = spread_capacity_for(array->spread_count + 1);
    if (capacity <= array->spread_capacity) {
        return;
    }
    ArraySlot* slots = allocate_slots(engine, capacity);
    for (uint64_t i = 0; i < array->spread_capacity; ++i) {
        if (array->spread[i].node != nullptr) {
            spread_place(slots, capacity, array->spread[i].node);
        }
    }
    gc_free(engine, array->spread);
    array->spread = slots;
    array->spread_capacity = capacity;
}

// }====

// Enters a node of the chains into the index that covers its index; the spread table has room.
void index_node(ArrayRecord* array, ArrayNode* node) {
    if (covered(array, node->index)) {
        array->direct[node->index] = node;
    } else {
        spread_place(array->spread, array->spread_capacity, node);
        ++array->spread_count;
    }
}

// Takes a node out of the index that holds it, if it is there.
void unindex_node(ArrayRecord* array, ArrayNode* node) {
    if (covered(array, node->index)) {
        if (array->direct[node->index] == node) {
            array->direct[node->index] = nullptr;
        }
    } else if (ArraySlot* slot = spread_find(array, node->index); slot != nullptr && slot->node == node) {
        spread_erase(array, slot);
    }
}

// Widens the direct block to at least `capacity` entries (more than it has); the nodes of the
// spread table that it covers then move into it. An array filled by push or from the bottom up has
// none there, and the growth is a copy.
void widen_direct(ScriptEngine* engine, ArrayRecord* array, uint64_t capacity) {
    auto** direct = static_cast<ArrayNode**>(gc_allocate(engine, capacity * sizeof(ArrayNode*)));
    uint64_t actual = gc_block_size(direct) / sizeof(ArrayNode*);  // the heap rounds blocks up
    uint64_t moving = 0;
    for (uint64_t i = 0; array->spread_count > 0 && i < array->spread_capacity; ++i) {
        moving += array->spread[i].node != nullptr && array->spread[i].index < actual ? 1 : 0;
    }
    uint64_t staying = array->spread_count - moving;
    uint64_t spread_capacity = moving > 0 ? spread_capacity_for(staying) : array->spread_capacity;
    ArraySlot* spread = moving > 0 ? allocate_slots(engine, spread_capacity) : array->spread;

    if (array->direct_capacity > 0) {
        std::memcpy(direct, array->direct, array->direct_capacity * sizeof(ArrayNode*));
    }
    std::memset(direct + array->direct_capacity, 0, (actual - array->direct_capacity) * sizeof(ArrayNode*));
    if (moving > 0) {
        for (uint64_t i = 0; i < array->spread_capacity; ++i) {
            if (ArrayNode* node = array->spread[i].node) {
                if (node->index < actual) {
                    direct[node->index] = node;
                } else {
                    spread_place(spread, spread_capacity, node);
                }
            }
        }
        gc_free(engine, array->spread);
        array->spread = spread;
        array->spread_capacity = spread_capacity;
        array->spread_count = staying;
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
            widen_direct(engine, array, array->length);
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
    widen_direct(engine, array, std::min(wanted, budget));
}

// {==== Rebuilding both indexes after the chains changed wholesale

// The blocks the indexes get, allocated (or kept) before the chains change.
struct IndexBlocks {
    ArrayNode** direct;
    uint64_t direct_capacity;
    ArraySlot* spread;
    uint64_t spread_capacity;
};

// The direct entries an array of `count` nodes gets when it is rebuilt: what it has, grown to
// cover the length when that fits the budget, or shrunk when it is far over.
uint64_t rebuilt_direct_capacity(const ArrayRecord* array, uint64_t count) {
    uint64_t budget = direct_budget(count);
    uint64_t capacity = array->direct_capacity;
    bool grow = capacity < array->length && capacity < budget && count > 0;
    bool shrink = capacity > 2 * budget;
    if (grow || shrink) {
        return count == 0 ? 0 : std::min(array->length, budget);
    }
    return capacity;
}

// Blocks for an index of `capacity` direct entries and `spread_count` nodes past them (counted
// against `capacity`; a block rounded up covers more, so the spread count can only drop). The
// present blocks are kept when they fit: the direct one at the same size, the spread table unless
// it is too small or four times too large.
IndexBlocks allocate_index(ScriptEngine* engine, const ArrayRecord* array, uint64_t capacity, uint64_t spread_count) {
    IndexBlocks blocks{array->direct, array->direct_capacity, array->spread, array->spread_capacity};
    if (capacity != array->direct_capacity) {
        blocks.direct = allocate_entries(engine, capacity, &blocks.direct_capacity);
    }
    uint64_t slots = spread_capacity_for(spread_count);
    if (slots > array->spread_capacity || slots < array->spread_capacity / 4) {
        blocks.spread = allocate_slots(engine, slots);
        blocks.spread_capacity = slots;
    }
    return blocks;
}

// Installs the blocks and points them at the nodes of the chains. Allocates nothing.
void install_index(ScriptEngine* engine, ArrayRecord* array, const IndexBlocks& blocks) {
    if (blocks.direct != array->direct) {
        gc_free(engine, array->direct);
    } else if (blocks.direct != nullptr) {
        std::memset(blocks.direct, 0, blocks.direct_capacity * sizeof(ArrayNode*));
    }
    if (blocks.spread != array->spread) {
        gc_free(engine, array->spread);
    } else if (blocks.spread != nullptr) {
        std::memset(blocks.spread, 0, blocks.spread_capacity * sizeof(ArraySlot));
    }
    array->direct = blocks.direct;
    array->direct_capacity = blocks.direct_capacity;
    array->spread = blocks.spread;
    array->spread_capacity = blocks.spread_capacity;
    array->spread_count = 0;
    array_for_each_node(array, [array](ArrayNode* node) { index_node(array, node); });
}

// Nodes of `array`'s chains that map(index) puts at or past `capacity`.
template <typename Map>
uint64_t count_spread(const ArrayRecord* array, uint64_t capacity, const Map& map) {
    uint64_t spread = 0;
    array_for_each_node(array, [&](const ArrayNode* node) { spread += map(node->index) >= capacity ? 1 : 0; });
    return spread;
}

// Rebuilds both indexes from the chains as they are.
void reindex(ScriptEngine* engine, ArrayRecord* array) {
    uint64_t capacity = rebuilt_direct_capacity(array, array->count);
    uint64_t spread = count_spread(array, capacity, [](uint64_t index) { return index; });
    install_index(engine, array, allocate_index(engine, array, capacity, spread));
}

// }====

// Links a new node; the caller has made sure the index is free.
void link_node(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index) {
    cover(engine, array, index);
    bool direct = covered(array, index);
    if (!direct) {
        spread_make_room(engine, array);
    }
    auto* node = static_cast<ArrayNode*>(gc_allocate(engine, sizeof(ArrayNode)));
    node->index = index;
    node->value = value;
    ArrayNode*& head = chain_of(array, index);
    node->next = head;
    head = node;
    ++array->count;
    if (direct) {
        array->direct[index] = node;
    } else {
        spread_place(array->spread, array->spread_capacity, node);
        ++array->spread_count;
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
                unindex_node(array, node);
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

Value* array_get_spread(ArrayRecord* array, uint64_t index) {
    ArraySlot* slot = spread_find(array, index);
    return slot != nullptr ? &slot->node->value : nullptr;
}

void array_insert(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index) {
    // Where an element exists already, a second node would be hidden behind it: the value goes into
    // the element instead, as a read finds it.
    array_put(engine, array, index, value);
}

void array_put(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const Value& value) {
    if (Value* cell = array_get(array, index)) {
        *cell = value;
    } else {
        link_node(engine, array, value, index);
    }
}

void array_remove(ArrayRecord* array, uint64_t index) {
    ArrayNode* node = nullptr;
    ArraySlot* slot = nullptr;
    if (covered(array, index)) {
        node = array->direct[index];
    } else if ((slot = spread_find(array, index)) != nullptr) {
        node = slot->node;
    }
    if (node == nullptr) {
        return;  // a hole
    }
    // The node is most often the head of its chain (the last one pushed); otherwise the walk finds
    // the link that points at it.
    ArrayNode** link = &chain_of(array, index);
    while (*link != nullptr && *link != node) {
        link = &(*link)->next;
    }
    if (*link == nullptr) {
        return;  // not reached while the chains and the indexes are in step
    }
    *link = node->next;
    --array->count;
    if (slot != nullptr) {
        spread_erase(array, slot);
    } else {
        array->direct[index] = nullptr;
    }
}

void array_remove_and_close(ScriptEngine* engine, ArrayRecord* array, uint64_t index) {
    if (index >= array->length) {
        return;
    }
    array_remove(array, index);
    --array->length;
    array_renumber(engine, array, [index](uint64_t i) { return i > index ? i - 1 : i; });
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
        reindex(engine, array);  // perhaps much smaller now
    }
}

std::vector<ArrayNode*> array_nodes_in_range(ArrayRecord* array, uint64_t from, uint64_t to) {
    std::vector<ArrayNode*> nodes;
    if (from >= to) {
        return nodes;
    }
    uint64_t direct_end = std::min(to, array->direct_capacity);
    for (uint64_t i = from; i < direct_end; ++i) {
        if (array->direct[i] != nullptr) {
            nodes.push_back(array->direct[i]);
        }
    }
    uint64_t low = std::max(from, array->direct_capacity);
    if (low >= to || array->spread_count == 0) {
        return nodes;
    }
    // Past the direct block: look up each index of a narrow range, or pass over the table and sort.
    if (to - low <= array->spread_capacity) {
        for (uint64_t i = low; i < to; ++i) {
            if (ArraySlot* slot = spread_find(array, i)) {
                nodes.push_back(slot->node);
            }
        }
        return nodes;
    }
    auto first = static_cast<std::ptrdiff_t>(nodes.size());
    for (uint64_t i = 0; i < array->spread_capacity; ++i) {
        ArrayNode* node = array->spread[i].node;
        if (node != nullptr && node->index >= low && node->index < to) {
            nodes.push_back(node);
        }
    }
    std::sort(nodes.begin() + first, nodes.end(),
              [](const ArrayNode* a, const ArrayNode* b) { return a->index < b->index; });
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
    // The new indexes decide what the spread table must hold: its blocks come first.
    uint64_t capacity = rebuilt_direct_capacity(array, array->count);
    uint64_t spread = count_spread(array, capacity, [map, context](uint64_t index) { return map(index, context); });
    IndexBlocks blocks = allocate_index(engine, array, capacity, spread);

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
    install_index(engine, array, blocks);
}

void array_take_elements(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source) {
    // The target's index is sized for the source's nodes before either array changes.
    uint64_t capacity = rebuilt_direct_capacity(target, source->count);
    uint64_t spread = count_spread(source, capacity, [](uint64_t index) { return index; });
    IndexBlocks blocks = allocate_index(engine, target, capacity, spread);

    std::copy(std::begin(source->buckets), std::end(source->buckets), std::begin(target->buckets));
    target->count = source->count;
    std::fill(std::begin(source->buckets), std::end(source->buckets), nullptr);
    source->count = 0;
    install_index(engine, source, {source->direct, source->direct_capacity, source->spread, source->spread_capacity});
    install_index(engine, target, blocks);
}

}  // namespace quill
