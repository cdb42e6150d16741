#include "engine/values/array.h"

#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/values/collector.h"
#include "engine/values/heap.h"
#include "engine_fixture.h"

namespace quill::testing {
namespace {

using ArrayTest = EngineTest;

// What an array should hold: its length and its elements (Integer payloads by index).
struct Model {
    uint64_t length = 0;
    std::map<uint64_t, int64_t> elements;
};

// The storage holds exactly the model's elements, each once; the dense block, the spread table and
// the counts agree with them; every element is found by index, and the positions next to each are
// found when the model has them and read as holes otherwise.
void expect_holds(ArrayRecord* array, const Model& model) {
    EXPECT_EQ(array->length, model.length);
    EXPECT_EQ(array->count, model.elements.size());
    std::map<uint64_t, int64_t> stored;
    for (const ArrayElement& element : array_storage_order(array)) {
        EXPECT_TRUE(stored.emplace(element.index, element.cell->payload.integer).second) << "twice: " << element.index;
    }
    EXPECT_EQ(stored, model.elements);
    for (uint64_t i = 0; i < array->dense_capacity; ++i) {
        ASSERT_EQ(array->dense[i].tag != array_hole, model.elements.count(i) == 1) << "dense cell " << i;
    }
    uint64_t past_dense = 0;
    for (const auto& [index, value] : model.elements) {
        Value* cell = array_get(array, index);
        ASSERT_NE(cell, nullptr) << index;
        EXPECT_EQ(cell->payload.integer, value);
        past_dense += index >= array->dense_capacity ? 1 : 0;
        for (uint64_t next : {index - 1, index + 1}) {
            ASSERT_EQ(array_get(array, next) != nullptr, model.elements.count(next) == 1) << "position " << next;
        }
    }
    EXPECT_EQ(array->spread_count, past_dense);
}

// The indexes in storage order: chain 0 to 126, each from its head.
std::vector<uint64_t> gather_order(ArrayRecord* array) {
    std::vector<uint64_t> order;
    array_for_each_element(array, [&](uint64_t index, const Value&) { order.push_back(index); });
    return order;
}

// The 127 chains as lists, each most recently inserted index first: what storage order must be.
struct Chains {
    std::vector<std::vector<uint64_t>> lists = std::vector<std::vector<uint64_t>>(array_bucket_count);

    void insert(uint64_t index) {
        auto& chain = lists[index % array_bucket_count];
        chain.insert(chain.begin(), index);
    }
    template <typename Keep>
    void erase_if(Keep&& drop) {
        for (auto& chain : lists) {
            std::erase_if(chain, drop);
        }
    }
    // Every index in order goes to the head of its new chain.
    template <typename Map>
    void renumber(const Map& map) {
        std::vector<uint64_t> old = order();
        lists.assign(array_bucket_count, {});
        for (uint64_t index : old) {
            insert(map(index));
        }
    }
    std::vector<uint64_t> order() const {
        std::vector<uint64_t> all;
        for (const auto& chain : lists) {
            all.insert(all.end(), chain.begin(), chain.end());
        }
        return all;
    }
};

// A literal, pushes (the interpreter's quick path and past the dense block), stores into holes and
// pops keep the elements, the counts and the storage order in step with the model.
TEST_F(ArrayTest, LiteralsPushesQuickStoresAndPopsKeepElementsAndOrderInStep) {
    Value literal[3] = {Value::integer(1), Value::integer(2), Value::integer(3)};
    ArrayRecord* array = array_create_from(engine, literal, 3);
    Model model{3, {{0, 1}, {1, 2}, {2, 3}}};
    Chains chains;
    for (uint64_t i = 0; i < 3; ++i) {
        chains.insert(i);
    }
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), chains.order());
    for (int64_t i = 0; i < 300; ++i) {
        ASSERT_TRUE(array_push(engine, array, Value::integer(10 + i)));
        model.elements[model.length] = 10 + i;
        chains.insert(model.length++);
    }
    for (uint64_t index : {5u, 130u, 257u}) {
        array_remove(array, index);
        model.elements.erase(index);
        chains.erase_if([index](uint64_t i) { return i == index; });
    }
    for (uint64_t index : {5u, 130u}) {
        ASSERT_TRUE(array_store_quick(array, index, Value::integer(-7)));
        model.elements[index] = -7;
        chains.insert(index);
    }
    EXPECT_FALSE(array_store_quick(array, uint64_t{1} << 40, Value::integer(0)));
    array_remove(array, model.length - 1);  // the last position is a hole: pop gives Undefined
    model.elements.erase(model.length - 1);
    chains.erase_if([&](uint64_t i) { return i == model.length - 1; });
    EXPECT_EQ(array_pop(array).tag, Tag::Undefined);
    --model.length;
    for (int k = 0; k < 50; ++k) {
        uint64_t last = model.length - 1;
        Value popped = array_pop(array);
        if (model.elements.count(last) == 0) {
            ASSERT_EQ(popped.tag, Tag::Undefined) << last;  // a hole, 257 among them
        } else {
            ASSERT_EQ(popped.payload.integer, model.elements.at(last));
        }
        model.elements.erase(last);
        chains.erase_if([last](uint64_t i) { return i == last; });
        model.length = last;
    }
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), chains.order());
    ArrayRecord* empty = array_create(engine, 0);
    EXPECT_EQ(array_pop(empty).tag, Tag::Undefined);
    EXPECT_EQ(empty->length, 0u);
}

TEST_F(ArrayTest, CopyAllInsertsAtTheOffsetEvenIntoItself) {
    ArrayRecord* source = array_create(engine, 3);
    array_insert(engine, source, Value::integer(1), 0);
    array_insert(engine, source, Value::integer(3), 2);
    ArrayRecord* target = array_create(engine, 10);
    array_copy_all(engine, target, source, 4);
    expect_holds(target, {10, {{4, 1}, {6, 3}}});
    array_copy_all(engine, source, source, 3);
    expect_holds(source, {3, {{0, 1}, {2, 3}, {3, 1}, {5, 3}}});
}

// Random operations against a model: the elements, both places and the count stay in step however
// the dense block grows, shrinks and is rebuilt, and storage order stays that of the chains.
TEST_F(ArrayTest, RandomOperationsKeepElementsAndOrderInStep) {
    std::mt19937 random(12345);
    auto below = [&](uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(random); };
    ArrayRecord* array = array_create(engine, 0);
    Model model;
    Chains chains;
    int64_t next_value = 1;
    for (int step = 0; step < 3000; ++step) {
        uint64_t span = model.length + 40;
        switch (below(8)) {
        case 0:
        case 1:
        case 2: {  // a write by index, as the interpreter makes it; some spread wide
            uint64_t index = step % 50 == 0 ? (uint64_t{1} << 33) + below(5)
                             : step % 3 == 0 ? below(8 * span)
                                             : below(span);
            if (index >= model.length) {
                array->length = model.length = index + 1;
            }
            if (model.elements.count(index) == 0) {
                chains.insert(index);
            }
            array_put(engine, array, index, Value::integer(next_value));
            model.elements[index] = next_value++;
            break;
        }
        case 3: {
            uint64_t index = below(span);
            array_remove(array, index);
            model.elements.erase(index);
            chains.erase_if([index](uint64_t i) { return i == index; });
            break;
        }
        case 4: {
            uint64_t index = below(span);
            array_remove_and_close(engine, array, index);
            if (index < model.length) {
                Model closed{model.length - 1, {}};
                for (const auto& [i, v] : model.elements) {
                    if (i != index) {
                        closed.elements[i > index ? i - 1 : i] = v;
                    }
                }
                model = closed;
                chains.erase_if([index](uint64_t i) { return i == index; });
                chains.renumber([index](uint64_t i) { return i > index ? i - 1 : i; });
            }
            break;
        }
        case 5: {
            int64_t delta = static_cast<int64_t>(below(7)) - 3;
            if (delta < 0 && (model.elements.empty() || model.elements.begin()->first < uint64_t(-delta) ||
                              model.length < uint64_t(-delta))) {
                delta = -delta;
            }
            array_shift_all(engine, array, delta);
            Model shifted{model.length + static_cast<uint64_t>(delta), {}};
            for (const auto& [i, v] : model.elements) {
                shifted.elements[i + static_cast<uint64_t>(delta)] = v;
            }
            model = shifted;
            chains.renumber([delta](uint64_t i) { return i + static_cast<uint64_t>(delta); });
            break;
        }
        case 6: {
            uint64_t length = model.length > 10 && below(3) > 0 ? model.length - below(model.length / 2) : below(300);
            array_set_length(engine, array, length);
            if (length < model.length) {
                model.elements.erase(model.elements.lower_bound(length), model.elements.lower_bound(model.length));
                chains.erase_if([length](uint64_t i) { return i >= length; });
            }
            model.length = length;
            break;
        }
        case 7: {  // reverse, as the Array class does it
            uint64_t last = model.length - 1;
            if (!model.elements.empty() && model.elements.rbegin()->first >= model.length) {
                break;  // only elements below the length mirror within it
            }
            array_renumber(engine, array, [last](uint64_t i) { return last - i; });
            Model mirrored{model.length, {}};
            for (const auto& [i, v] : model.elements) {
                mirrored.elements[last - i] = v;
            }
            model = mirrored;
            chains.renumber([last](uint64_t i) { return last - i; });
            break;
        }
        }
        expect_holds(array, model);
        EXPECT_EQ(gather_order(array), chains.order());
        if (::testing::Test::HasFailure()) {
            FAIL() << "after step " << step;
        }
    }
}

// An array written at every fifth index keeps most elements in the spread table; filling the gaps
// moves them into the dense block, cutting the length and spreading again moves them back. Reads,
// holes and the gather order stay as the chains say throughout.
TEST_F(ArrayTest, ElementsMoveBetweenTheIndexesAndKeepTheirOrder) {
    ArrayRecord* array = array_create(engine, 0);
    Model model;
    Chains chains;
    auto put = [&](uint64_t index) {
        if (index >= model.length) {
            array->length = model.length = index + 1;
        }
        if (model.elements.count(index) == 0) {
            chains.insert(index);
        }
        array_put(engine, array, index, Value::integer(static_cast<int64_t>(index) * 7));
        model.elements[index] = static_cast<int64_t>(index) * 7;
    };
    auto expected_order = [&] { return chains.order(); };

    for (uint64_t i = 0; i < 20000; ++i) {
        put(5 * i);
    }
    EXPECT_GT(array->spread_count, 19000u);
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), expected_order());

    for (uint64_t i = 99995; i > 0; --i) {
        if (i % 5 != 0) {
            put(i);
        }
    }
    EXPECT_EQ(array->spread_count, 0u);
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), expected_order());

    array_set_length(engine, array, 1000);
    model.elements.erase(model.elements.lower_bound(1000), model.elements.end());
    model.length = 1000;
    chains.erase_if([](uint64_t index) { return index >= 1000; });
    for (uint64_t i = 1; i <= 3000; ++i) {
        put(i * 1000003);
    }
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), expected_order());
    // Single removals past the dense block leave holes that read as holes.
    for (uint64_t i = 2; i <= 3000; i += 2) {
        array_remove(array, i * 1000003);
        model.elements.erase(i * 1000003);
    }
    expect_holds(array, model);
}

// Insertion numbers are 32-bit: an array that runs out of them numbers its elements afresh and
// keeps their order, and later insertions and renumberings still order as the chains do.
TEST_F(ArrayTest, InsertionNumbersRunningOutKeepTheOrder) {
    ArrayRecord* array = array_create(engine, 1000);
    Model model{1000, {}};
    Chains chains;
    auto put = [&](uint64_t index) {
        if (index >= model.length) {
            array->length = model.length = index + 1;
        }
        if (model.elements.count(index) == 0) {
            chains.insert(index);
        }
        array_put(engine, array, index, Value::integer(static_cast<int64_t>(index)));
        model.elements[index] = static_cast<int64_t>(index);
    };
    for (uint64_t i = 0; i < 600; ++i) {
        put(i * 7 % 1000);
    }
    put(uint64_t{1} << 36);
    array->next_stamp = 0xFFFFFFF0u;  // as after four billion insertions
    for (uint64_t i = 0; i < 40; ++i) {
        put(1000 - 3 * i);
        put((uint64_t{1} << 36) + 5 * i);
    }
    EXPECT_LT(array->next_stamp, 1000u);
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), chains.order());
    uint64_t last = model.length - 1;
    array_renumber(engine, array, [last](uint64_t i) { return last - i; });
    chains.renumber([last](uint64_t i) { return last - i; });
    Model mirrored{model.length, {}};
    for (const auto& [i, v] : model.elements) {
        mirrored.elements[last - i] = v;
    }
    model = mirrored;
    put(6);
    put(last + 1);
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), chains.order());
}

// Elements spread thinly past the dense block (every fifth index, 400,000 of them) are all found
// and every position between them reads as a hole. With chains alone this took minutes.
TEST_F(ArrayTest, SparseArraysFindEveryElement) {
    ArrayRecord* array = array_create(engine, 0);
    constexpr uint64_t count = 400000;
    for (uint64_t i = 0; i < count; ++i) {
        array->length = 5 * i + 1;
        array_put(engine, array, 5 * i, Value::integer(static_cast<int64_t>(i)));
    }
    uint64_t found = 0;
    for (uint64_t i = 0; i < array->length; ++i) {
        Value* cell = array_get(array, i);
        if (cell != nullptr) {
            ASSERT_EQ(i % 5, 0u);
            ASSERT_EQ(cell->payload.integer, static_cast<int64_t>(i / 5));
            ++found;
        }
    }
    EXPECT_EQ(found, count);
}

// Everything an array holds is reached through visit_array: its dense cells, its spread nodes and
// their values, its own table and both blocks, which must not be swept and handed out again.
// A dense block the heap grows where it lies (here every large one: no chunk is kept spare) keeps
// every element, its place in storage order and every hole, across several growths and collections.
TEST_F(ArrayTest, DenseBlocksGrownInPlaceKeepElementsHolesAndOrder) {
    engine->heap.spare_limit = 0;
    ArrayRecord* array = array_create(engine, 0);
    global("a") = Value::array(array);
    Model model;
    Chains chains;
    auto store = [&](uint64_t index, int64_t value) {
        model.length = std::max(model.length, index + 1);
        array->length = model.length;
        array_put(engine, array, index, Value::integer(value));
        model.elements[index] = value;
        chains.insert(index);
    };
    int large_growths = 0;
    for (uint64_t k = 0; k < 150000; ++k) {
        const uint64_t capacity = array->dense_capacity;
        store(2 * k, static_cast<int64_t>(k));  // the odd indexes stay holes...
        if (k % 7 == 3 && k > 1000) {
            // Some are filled much later: they come before their higher neighbours in their chains.
            store(2 * k - 1999, -static_cast<int64_t>(k));
        }
        if (array->dense_capacity != capacity && capacity * (sizeof(Value) + 4) >= config::large_block_size) {
            ++large_growths;
        }
        if (k % 40000 == 0) {
            collect(engine, engine->stack.saved_top);
            ASSERT_TRUE(gc_verify(engine));
        }
    }
    EXPECT_GE(large_growths, 3);
    EXPECT_EQ(array->spread_count, 0u);
    expect_holds(array, model);
    EXPECT_EQ(gather_order(array), chains.order());
}

TEST_F(ArrayTest, CollectionsKeepCellsNodesAndValues) {
    ArrayRecord* array = array_create(engine, 0);
    global("a") = Value::array(array);
    for (int i = 0; i < 3000; ++i) {
        array_put(engine, array, static_cast<uint64_t>(i), str(std::to_string(i)));
        ++array->length;
    }
    array_set_length(engine, array, 100);  // the block shrinks; the old one is freed at once
    constexpr uint64_t far = uint64_t{1} << 40;
    array->length = far + 100;
    for (uint64_t i = 0; i < 100; ++i) {
        array_put(engine, array, far + i, str("far " + std::to_string(i)));
    }
    collect(engine, engine->stack.saved_top);
    EXPECT_TRUE(gc_verify(engine));
    // Reuse whatever the sweep freed, then read every element back.
    for (int i = 0; i < 3000; ++i) {
        make_string_copy(engine, u"overwrite every freed block with text");
        gc_allocate(engine, static_cast<size_t>(8) << (i % 14));
    }
    ASSERT_EQ(array->count, 200u);
    ASSERT_EQ(array->spread_count, 100u);
    for (int i = 0; i < 100; ++i) {
        Value* cell = array_get(array, static_cast<uint64_t>(i));
        ASSERT_NE(cell, nullptr);
        ASSERT_EQ(text(*cell), std::to_string(i));
        cell = array_get(array, far + static_cast<uint64_t>(i));
        ASSERT_NE(cell, nullptr);
        ASSERT_EQ(text(*cell), "far " + std::to_string(i));
    }
    collect(engine, engine->stack.saved_top);
    EXPECT_TRUE(gc_verify(engine));
}

}  // namespace
}  // namespace quill::testing
