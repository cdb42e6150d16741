// Array records: a length, a dense block of value cells for the low indexes, and a hash table of
// nodes for the elements past it.
//
// The dense block follows the stored elements, never the length alone. It grows (doubling, or
// straight to the length when that fits) only while it stays within four times the number of
// elements plus a little slack, so an array of length 2^32 with one element has a block of a few dozen cells
// at most, and an array filled by push or by index writes in any order ends up holding all of its
// elements there. What the block does not cover (the elements of an array whose indexes spread
// wider than that) the spread table holds, one node per element; it doubles as it fills, so a read,
// a store or a hole costs the same however many elements the array has. Whole-array operations
// rebuild both, shrinking them when they have become much larger than their contents need.
//
// Storage order (records.h) comes from the stamps: each element gets the next stamp of its array
// when it is inserted, and a chain is its elements by falling stamp. Gathering it sorts the
// elements by chain, which a pass in index order does stably, and then each chain by stamp, which
// for an array filled upwards (or renumbered once from such an array) is a reversal or nothing.
//
// Every change allocates what it needs before it touches the array, so an "Out of memory" leaves
// the elements, the stamps and the counts in step.
#include "engine/values/array.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

#include "engine/values/config.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"

namespace quill {

namespace {

constexpr uint64_t dense_slack = 64;
constexpr uint64_t dense_minimum = 4;
constexpr uint64_t spread_minimum = 16;
// Removing up to this many indexes one by one is cheaper than a pass over all elements.
constexpr uint64_t few_indexes = 32;
constexpr uint64_t stamp_limit = array_stamp_limit;
// A dense cell and its stamp.
constexpr size_t dense_entry_size = sizeof(Value) + sizeof(uint32_t);

// The most dense cells an array of `count` elements should have: a cell and its stamp take 20
// bytes, a node past the block with its share of the hash table 70 to 100, so a block a quarter
// full costs about what the nodes would (more while it grows, when the old block waits for reuse).
uint64_t dense_budget(uint64_t count) { return std::min(4 * count + dense_slack, config::array_dense_limit); }

bool covered(const ArrayRecord* array, uint64_t index) { return index < array->dense_capacity; }

Value hole() {
    Value cell;
    cell.tag = array_hole;
    return cell;
}

// Makes cells from .. capacity - 1 of a dense block of `capacity` cells holes with zero stamps.
void fill_holes(Value* dense, uint64_t capacity, uint64_t from) {
    std::fill(dense + from, dense + capacity, hole());
    std::memset(reinterpret_cast<uint32_t*>(dense + capacity) + from, 0, (capacity - from) * sizeof(uint32_t));
}

// A dense block of at least `cells` cells (null for none); its usable cells go to *actual (the heap
// rounds blocks up, and the whole block is usable). The cells from `written` on are holes; the
// caller writes the ones below, and their stamps, itself.
Value* allocate_dense(ScriptEngine* engine, uint64_t cells, uint64_t written, uint64_t* actual) {
    if (cells == 0) {
        *actual = 0;
        return nullptr;
    }
    auto* block = static_cast<Value*>(gc_allocate(engine, cells * dense_entry_size));
    uint64_t usable = gc_block_size(block) / dense_entry_size;
    fill_holes(block, usable, written);
    *actual = usable;
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

// Slots for `count` nodes, at most half of them used; 0 for none. The record counts slots in 32
// bits: a table that would need more (over 2^31 elements past the dense block, far beyond what the
// heap could hold) is out of memory.
uint32_t spread_capacity_for(ScriptEngine* engine, uint64_t count) {
    if (count == 0) {
        return 0;
    }
    if (count > (uint64_t{1} << 31)) {
        raise_error(engine, Message::OutOfMemory);
    }
    return static_cast<uint32_t>(std::bit_ceil(std::max(2 * count, spread_minimum)));
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
    uint32_t capacity = spread_capacity_for(engine, uint64_t{array->spread_count} + 1);
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

// Widens a large dense block to at least `capacity` cells where it lies, when the heap can grow it
// and no spread node comes under it (those would have to move into the wider block, which the
// copying path does). The cells keep their place; the stamps, which follow the cells, move up past
// the new ones. Returns false, changing nothing, when the block cannot grow so.
bool widen_dense_in_place(ScriptEngine* engine, ArrayRecord* array, uint64_t capacity) {
    if (array->spread_count != 0) {
        return false;
    }
    auto* dense = static_cast<Value*>(gc_grow_block(engine, array->dense, capacity * dense_entry_size));
    if (dense == nullptr) {
        return false;
    }
    const uint64_t old = array->dense_capacity;
    const uint64_t actual = gc_block_size(dense) / dense_entry_size;
    // The stamps first (their new place may overlap their old one), then the new cells over where
    // they were.
    std::memmove(reinterpret_cast<uint32_t*>(dense + actual), reinterpret_cast<uint32_t*>(dense + old),
                 old * sizeof(uint32_t));
    fill_holes(dense, actual, old);
    array->dense = dense;
    array->dense_capacity = static_cast<uint32_t>(actual);
    return true;
}

// Widens the dense block to at least `capacity` cells (more than it has); the nodes of the spread
// table that it covers then move into it. An array filled by push or from the bottom up has none
// there, and the growth is a copy, or none for a large block the heap grows where it lies.
void widen_dense(ScriptEngine* engine, ArrayRecord* array, uint64_t capacity) {
    if (widen_dense_in_place(engine, array, capacity)) {
        return;
    }
    uint64_t actual = 0;
    Value* dense = allocate_dense(engine, capacity, array->dense_capacity, &actual);
    uint32_t* stamps = reinterpret_cast<uint32_t*>(dense + actual);
    uint64_t moving = 0;
    for (uint64_t i = 0; array->spread_count > 0 && i < array->spread_capacity; ++i) {
        moving += array->spread[i].node != nullptr && array->spread[i].index < actual ? 1 : 0;
    }
    uint64_t staying = array->spread_count - moving;
    uint32_t spread_capacity = moving > 0 ? spread_capacity_for(engine, staying) : array->spread_capacity;
    ArraySlot* spread = moving > 0 ? allocate_slots(engine, spread_capacity) : array->spread;

    if (array->dense_capacity > 0) {
        std::copy(array->dense, array->dense + array->dense_capacity, dense);
        std::memcpy(stamps, array_dense_stamps(array), array->dense_capacity * sizeof(uint32_t));
    }
    if (moving > 0) {
        for (uint64_t i = 0; i < array->spread_capacity; ++i) {
            if (ArrayNode* node = array->spread[i].node) {
                if (node->index < actual) {
                    dense[node->index] = node->value;
                    stamps[node->index] = static_cast<uint32_t>(node->stamp);
                } else {
                    spread_place(spread, spread_capacity, node);
                }
            }
        }
        gc_free(engine, array->spread);
        array->spread = spread;
        array->spread_capacity = spread_capacity;
        array->spread_count = static_cast<uint32_t>(staying);
    }
    gc_free(engine, array->dense);
    array->dense = dense;
    array->dense_capacity = static_cast<uint32_t>(actual);
}

// Before an element is added at `index`, past the dense block: widens the block to cover it when
// the budget allows, or to cover the whole length once the elements pay for that (an array filled
// from the top down is covered that way in the end).
void cover(ScriptEngine* engine, ArrayRecord* array, uint64_t index) {
    uint64_t budget = dense_budget(array->count + 1);
    if (index >= budget) {
        return;
    }
    uint64_t wanted = std::max({index + 1, 2 * uint64_t{array->dense_capacity}, dense_minimum});
    if (array->length > wanted && array->length <= budget) {
        wanted = array->length;  // every element lies below the length
    }
    widen_dense(engine, array, std::min(wanted, budget));
}

// {==== Storage order

// An element as the gathering sees it.
struct Gathered {
    uint64_t index;
    uint32_t stamp;
    Value* cell;
};

// Every element in storage order.
std::vector<Gathered> gather(ArrayRecord* array) {
    // In index order first: the dense cells, then the spread nodes sorted.
    std::vector<Gathered> by_index;
    by_index.reserve(array->count);
    const uint32_t* stamps = array_dense_stamps(array);
    for (uint64_t i = 0; i < array->dense_capacity; ++i) {
        if (array->dense[i].tag != array_hole) {
            by_index.push_back({i, stamps[i], array->dense + i});
        }
    }
    auto first_spread = static_cast<std::ptrdiff_t>(by_index.size());
    for (uint64_t i = 0; i < array->spread_capacity; ++i) {
        if (ArrayNode* node = array->spread[i].node) {
            by_index.push_back({node->index, static_cast<uint32_t>(node->stamp), &node->value});
        }
    }
    std::sort(by_index.begin() + first_spread, by_index.end(),
              [](const Gathered& a, const Gathered& b) { return a.index < b.index; });

    // Then by chain, stably: each chain in rising index.
    uint64_t starts[array_bucket_count + 1] = {};
    for (const Gathered& element : by_index) {
        ++starts[element.index % array_bucket_count + 1];
    }
    for (int b = 0; b < array_bucket_count; ++b) {
        starts[b + 1] += starts[b];
    }
    std::vector<Gathered> order(by_index.size());
    uint64_t next[array_bucket_count];
    std::copy(starts, starts + array_bucket_count, next);
    for (const Gathered& element : by_index) {
        order[next[element.index % array_bucket_count]++] = element;
    }

    // Each chain by falling stamp.
    for (int b = 0; b < array_bucket_count; ++b) {
        auto from = order.begin() + static_cast<std::ptrdiff_t>(starts[b]);
        auto to = order.begin() + static_cast<std::ptrdiff_t>(starts[b + 1]);
        auto rising = [](const Gathered& x, const Gathered& y) { return x.stamp < y.stamp; };
        auto falling = [](const Gathered& x, const Gathered& y) { return x.stamp > y.stamp; };
        if (std::is_sorted(from, to, falling)) {
            continue;
        }
        if (std::is_sorted(from, to, rising)) {
            std::reverse(from, to);
        } else {
            std::sort(from, to, falling);
        }
    }
    return order;
}

// Numbers the elements afresh from 0 in their storage order, so that stamps start low again.
void restamp(ArrayRecord* array) {
    std::vector<Gathered> order = gather(array);
    uint64_t stamp = order.size();
    uint32_t* stamps = array_dense_stamps(array);
    for (const Gathered& element : order) {
        --stamp;  // the head of a chain keeps the highest stamp
        if (covered(array, element.index)) {
            stamps[element.index] = static_cast<uint32_t>(stamp);
        } else {
            spread_find(array, element.index)->node->stamp = stamp;
        }
    }
    array->next_stamp = static_cast<uint32_t>(order.size());
}

// }====

// {==== Rebuilding after whole-array changes

// The dense cells an array of `count` elements gets when it is rebuilt: what it has, grown to
// cover the length when that fits the budget, or shrunk when it is far over.
uint64_t rebuilt_dense_capacity(const ArrayRecord* array, uint64_t count) {
    uint64_t budget = dense_budget(count);
    uint64_t capacity = array->dense_capacity;
    bool grow = capacity < array->length && capacity < budget && count > 0;
    bool shrink = capacity > 2 * budget;
    if (grow || shrink) {
        return count == 0 ? 0 : std::min(array->length, budget);
    }
    return capacity;
}

// Rebuilds the array's storage with every element at map(index). When `renumber`, the elements
// are taken in storage order and each put at the head of its new chain; otherwise every element
// keeps its stamp. Everything new is allocated before the array changes.
template <typename Map>
void rebuild(ScriptEngine* engine, ArrayRecord* array, const Map& map, bool renumber) {
    std::vector<Gathered> order = gather(array);
    uint64_t wanted = rebuilt_dense_capacity(array, order.size());
    uint64_t capacity = 0;
    Value* dense = allocate_dense(engine, wanted, 0, &capacity);
    uint32_t* stamps = reinterpret_cast<uint32_t*>(dense + capacity);

    // The elements that land past the dense block keep their nodes or get new ones.
    uint64_t spread_count = 0;
    for (Gathered& element : order) {
        element.index = map(element.index);
        spread_count += element.index >= capacity ? 1 : 0;
    }
    uint32_t spread_capacity = spread_capacity_for(engine, spread_count);
    ArraySlot* spread = allocate_slots(engine, spread_capacity);
    std::vector<ArrayNode*> nodes;
    nodes.reserve(spread_count);
    for (uint64_t i = 0; i < array->spread_capacity && nodes.size() < spread_count; ++i) {
        if (array->spread[i].node != nullptr) {
            nodes.push_back(array->spread[i].node);
        }
    }
    while (nodes.size() < spread_count) {
        nodes.push_back(static_cast<ArrayNode*>(gc_allocate(engine, sizeof(ArrayNode))));
    }

    // The values are copied out first: a reused node may still hold an element yet to be placed.
    std::vector<std::pair<Value, uint64_t>> placed;
    placed.reserve(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
        placed.emplace_back(*order[k].cell, renumber ? k : order[k].stamp);
    }
    size_t used = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        uint64_t index = order[k].index;
        const auto& [value, stamp] = placed[k];
        if (index < capacity) {
            dense[index] = value;
            stamps[index] = static_cast<uint32_t>(stamp);
        } else {
            ArrayNode* node = nodes[used++];
            *node = ArrayNode{index, value, stamp};
            spread_place(spread, spread_capacity, node);
        }
    }
    gc_free(engine, array->dense);
    gc_free(engine, array->spread);
    array->dense = dense;
    array->dense_capacity = static_cast<uint32_t>(capacity);
    array->spread = spread;
    array->spread_capacity = spread_capacity;
    array->spread_count = static_cast<uint32_t>(spread_count);
    if (renumber) {
        array->next_stamp = static_cast<uint32_t>(order.size());
    }
}

// Rebuilds the storage as it is, perhaps much smaller.
void reindex(ScriptEngine* engine, ArrayRecord* array) {
    rebuild(engine, array, [](uint64_t index) { return index; }, false);
}

// }====

// Adds a new element; the caller has made sure the index is free.
void link_element(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index) {
    if (array->next_stamp >= stamp_limit) {
        restamp(array);
    }
    if (!covered(array, index)) {
        cover(engine, array, index);
    }
    if (covered(array, index)) {
        array->dense[index] = value;
        array_dense_stamps(array)[index] = static_cast<uint32_t>(array->next_stamp++);
        ++array->count;
        return;
    }
    spread_make_room(engine, array);
    auto* node = static_cast<ArrayNode*>(gc_allocate(engine, sizeof(ArrayNode)));
    *node = ArrayNode{index, value, array->next_stamp++};
    spread_place(array->spread, array->spread_capacity, node);
    ++array->spread_count;
    ++array->count;
}

}  // namespace

ArrayRecord* array_create(ScriptEngine* engine, uint64_t length) {
    auto* array = static_cast<ArrayRecord*>(gc_allocate(engine, sizeof(ArrayRecord)));
    *array = ArrayRecord{};
    array->length = length;
    HostClass* handler = type_handler(engine, Tag::Array);
    array->prototype = handler != nullptr ? handler->prototype : nullptr;
    return array;
}

ArrayRecord* array_create_from(ScriptEngine* engine, const Value* values, uint64_t n) {
    ArrayRecord* array = array_create(engine, n);
    if (n == 0) {
        return array;
    }
    if (n > dense_budget(n)) {
        for (uint64_t i = 0; i < n; ++i) {
            array_insert(engine, array, values[i], i);
        }
        return array;
    }
    uint64_t capacity = 0;
    array->dense = allocate_dense(engine, n, n, &capacity);
    array->dense_capacity = static_cast<uint32_t>(capacity);
    std::copy(values, values + n, array->dense);
    uint32_t* stamps = array_dense_stamps(array);
    for (uint64_t i = 0; i < n; ++i) {
        stamps[i] = static_cast<uint32_t>(i);  // inserted in index order
    }
    array->count = n;
    array->next_stamp = static_cast<uint32_t>(n);
    return array;
}

PropertyTable* array_own_table(ScriptEngine* engine, ArrayRecord* array) {
    if (array->properties == nullptr) {
        array->properties = new_table_with_prototype(engine, array->prototype);
        array->prototype = nullptr;
    }
    return array->properties;
}

void array_reserve(ScriptEngine* engine, ArrayRecord* array, uint64_t count) {
    uint64_t wanted = std::min(count, dense_budget(array->count + count));
    if (wanted > array->dense_capacity) {
        widen_dense(engine, array, wanted);
    }
}

Value* array_get_spread(ArrayRecord* array, uint64_t index) {
    ArraySlot* slot = spread_find(array, index);
    return slot != nullptr ? &slot->node->value : nullptr;
}

void array_insert(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index) {
    // Where an element exists already, a second one would be hidden behind it: the value goes into
    // the element instead, as a read finds it.
    array_put(engine, array, index, value);
}

void array_put(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const Value& value) {
    if (Value* cell = array_get(array, index)) {
        *cell = value;
    } else {
        link_element(engine, array, value, index);
    }
}

void array_push_slow(ScriptEngine* engine, ArrayRecord* array, const Value& value) {
    array_put(engine, array, array->length, value);
}

Value array_pop_slow(ArrayRecord* array) {
    if (array->length == 0) {
        return Value::undefined();
    }
    uint64_t last = array->length - 1;
    Value result;
    if (covered(array, last)) {
        Value& cell = array->dense[last];
        if (cell.tag != array_hole) {
            result = cell;
            cell = hole();
            --array->count;
        }
    } else if (ArraySlot* slot = spread_find(array, last)) {
        result = slot->node->value;
        spread_erase(array, slot);
        --array->count;
    }
    array->length = last;
    return result;
}

void array_remove(ArrayRecord* array, uint64_t index) {
    if (covered(array, index)) {
        if (array->dense[index].tag != array_hole) {
            array->dense[index] = hole();
            --array->count;
        }
    } else if (ArraySlot* slot = spread_find(array, index)) {
        spread_erase(array, slot);
        --array->count;
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
    // Copied out first: inserting moves cells, and the source may be the target.
    std::vector<std::pair<uint64_t, Value>> elements;
    elements.reserve(source->count);
    array_for_each_element(source, [&](uint64_t index, const Value& value) { elements.emplace_back(index, value); });
    for (const auto& [index, value] : elements) {
        array_insert(engine, target, value, offset + index);
    }
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

std::vector<ArrayElement> array_storage_order(ArrayRecord* array) {
    std::vector<ArrayElement> elements;
    if (array->count == 0) {
        return elements;
    }
    std::vector<Gathered> order = gather(array);
    elements.reserve(order.size());
    for (const Gathered& element : order) {
        elements.push_back({element.index, element.cell});
    }
    return elements;
}

std::vector<uint64_t> array_indexes_in_range(ArrayRecord* array, uint64_t from, uint64_t to) {
    std::vector<uint64_t> indexes;
    if (from >= to) {
        return indexes;
    }
    uint64_t dense_end = std::min(to, uint64_t{array->dense_capacity});
    for (uint64_t i = from; i < dense_end; ++i) {
        if (array->dense[i].tag != array_hole) {
            indexes.push_back(i);
        }
    }
    uint64_t low = std::max(from, uint64_t{array->dense_capacity});
    if (low >= to || array->spread_count == 0) {
        return indexes;
    }
    // Past the dense block: look up each index of a narrow range, or pass over the table and sort.
    if (to - low <= array->spread_capacity) {
        for (uint64_t i = low; i < to; ++i) {
            if (spread_find(array, i) != nullptr) {
                indexes.push_back(i);
            }
        }
        return indexes;
    }
    auto first = static_cast<std::ptrdiff_t>(indexes.size());
    for (uint64_t i = 0; i < array->spread_capacity; ++i) {
        const ArraySlot& slot = array->spread[i];
        if (slot.node != nullptr && slot.index >= low && slot.index < to) {
            indexes.push_back(slot.index);
        }
    }
    std::sort(indexes.begin() + first, indexes.end());
    return indexes;
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
    for (uint64_t i = from; i < std::min(to, uint64_t{array->dense_capacity}); ++i) {
        array_remove(array, i);
    }
    if (array->spread_count > 0 && to > array->dense_capacity) {
        for (uint64_t index : array_indexes_in_range(array, std::max(from, uint64_t{array->dense_capacity}), to)) {
            array_remove(array, index);
        }
    }
}

void array_renumber(ScriptEngine* engine, ArrayRecord* array, ArrayIndexMap map, const void* context) {
    rebuild(engine, array, [map, context](uint64_t index) { return map(index, context); }, true);
}

void array_take_elements(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source) {
    gc_free(engine, target->dense);
    gc_free(engine, target->spread);
    target->dense = source->dense;
    target->dense_capacity = source->dense_capacity;
    target->count = source->count;
    target->spread = source->spread;
    target->spread_capacity = source->spread_capacity;
    target->spread_count = source->spread_count;
    target->next_stamp = source->next_stamp;
    source->dense = nullptr;
    source->dense_capacity = 0;
    source->count = 0;
    source->spread = nullptr;
    source->spread_capacity = 0;
    source->spread_count = 0;
}

}  // namespace quill
