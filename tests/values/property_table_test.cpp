#include "engine/values/property_table.h"

#include "engine_fixture.h"

namespace quill::testing {
namespace {

class PropertyTableTest : public EngineTest {
protected:
    Atom atom(std::string_view name) { return intern(engine, name); }
    Value get(PropertyTable* table, std::string_view name) {
        Value out;
        table_get(engine, table, atom(name), &out);
        return out;
    }
    std::vector<std::string> keys(PropertyTable* table) {
        std::vector<std::string> names;
        Value key;
        for (uint32_t n = 0; table_key_at(engine, table, n, &key); ++n) {
            names.push_back(text(key));
        }
        return names;
    }
};

TEST_F(PropertyTableTest, PutGetDeleteByAtom) {
    PropertyTable* table = new_table(engine);
    table_put(engine, table, atom("a"), Value::integer(1));
    table_put(engine, table, atom("b"), Value::integer(2));
    table_put(engine, table, atom("a"), Value::integer(3));
    EXPECT_EQ(table->slot_count, 2u);
    EXPECT_EQ(get(table, "a").payload.integer, 3);
    EXPECT_TRUE(table_delete(engine, table, atom("a")));
    EXPECT_FALSE(table_delete(engine, table, atom("a")));
    Value out;
    EXPECT_FALSE(table_get(engine, table, atom("a"), &out));
    EXPECT_EQ(out.tag, Tag::Undefined);
    EXPECT_EQ(table->slots[0].key, deleted_key);
}

// The slot array grows ahead of its slots: a table filled one property at a time is copied a
// few times only, and every slot keeps its key, value and place through the copies.
TEST_F(PropertyTableTest, SlotsGrowAheadAndKeepTheirOrder) {
    PropertyTable* table = new_table(engine);
    int copies = 0;
    PropertySlot* slots = nullptr;
    for (int i = 0; i < 100; ++i) {
        table_put(engine, table, atom("p" + std::to_string(i)), Value::integer(i));
        if (table->slots != slots) {
            ++copies;
            slots = table->slots;
        }
    }
    EXPECT_LE(copies, 12);  // 1, 4, 6, 9, 13, 19, 28, 42, 63, 94, 141 slots
    ASSERT_EQ(table->slot_count, 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(table->slots[i].key, atom("p" + std::to_string(i)));
        EXPECT_EQ(table->slots[i].value.payload.integer, i);
    }
    // Blank slots written by position past the end land in the same grown array.
    table_put_by_key(engine, table, Value::integer(130), Value::integer(7));
    EXPECT_EQ(table->slot_count, 131u);
    EXPECT_EQ(table->slots[99].value.payload.integer, 99);
    EXPECT_EQ(table->slots[120].key, atom_proto);
    EXPECT_EQ(table_get_by_key(engine, table, Value::integer(130)).payload.integer, 7);
}

TEST_F(PropertyTableTest, NewPropertyReusesLastDeletedSlot) {
    PropertyTable* table = new_table(engine);
    for (const char* name : {"a", "b", "c", "d"}) {
        table_put(engine, table, atom(name), Value::integer(1));
    }
    table_delete(engine, table, atom("a"));
    table_delete(engine, table, atom("c"));
    table_put(engine, table, atom("e"), Value::integer(5));
    EXPECT_EQ(table->slot_count, 4u);
    EXPECT_EQ(table->slots[2].key, atom("e"));
    EXPECT_EQ(table->slots[0].key, deleted_key);
}

// Lookups try the slot where the atom was last found first; tables that hold it elsewhere, deleted
// and reused slots and inherited properties must still give what a scan gives.
TEST_F(PropertyTableTest, LookupsAcrossTablesOfDifferentLayouts) {
    PropertyTable* prototype = new_table(engine);
    table_put(engine, prototype, atom("x"), Value::integer(100));
    PropertyTable* first = new_table_with_prototype(engine, prototype);
    table_put(engine, first, atom("x"), Value::integer(1));  // slot 1
    PropertyTable* second = new_table(engine);
    table_put(engine, second, atom("y"), Value::integer(7));
    table_put(engine, second, atom("z"), Value::integer(8));
    table_put(engine, second, atom("x"), Value::integer(2));  // slot 2
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(get(first, "x").payload.integer, 1);
        EXPECT_EQ(get(second, "x").payload.integer, 2);
    }
    table_put(engine, second, atom("x"), Value::integer(3));
    EXPECT_EQ(second->slot_count, 3u);
    EXPECT_EQ(get(first, "x").payload.integer, 1);
    table_put(engine, first, atom("x"), Value::integer(4));
    EXPECT_EQ(first->slot_count, 2u);
    EXPECT_EQ(get(second, "x").payload.integer, 3);

    // Deleted: the inherited value shows; a slot reused by another name is not taken for "x".
    table_delete(engine, first, atom("x"));
    EXPECT_EQ(get(first, "x").payload.integer, 100);
    table_put(engine, first, atom("w"), Value::integer(9));
    EXPECT_EQ(first->slots[1].key, atom("w"));
    EXPECT_EQ(get(first, "x").payload.integer, 100);
    table_put(engine, first, atom("x"), Value::integer(5));
    EXPECT_EQ(first->slot_count, 3u);
    EXPECT_EQ(get(first, "x").payload.integer, 5);
    EXPECT_EQ(get(first, "w").payload.integer, 9);
    Value out;
    EXPECT_FALSE(table_get(engine, new_table(engine), atom("x"), &out));
}

// Names whose engine hashes agree in the low 7 bits share a chain; chains enumerate most recent first.
TEST_F(PropertyTableTest, EnumerationFollowsTheNameIndex) {
    std::vector<std::string> colliding;
    uint32_t wanted = engine_hash("k0", 2) & 127;
    for (int i = 1; colliding.size() < 2; ++i) {
        std::string name = "k" + std::to_string(i);
        if ((engine_hash(name.data(), name.size()) & 127) == wanted) {
            colliding.push_back(name);
        }
    }
    PropertyTable* table = new_table(engine);
    table_put(engine, table, atom("k0"), Value::integer(0));
    table_put(engine, table, atom(colliding[0]), Value::integer(1));
    EXPECT_EQ(keys(table), (std::vector<std::string>{colliding[0], "k0"}));
    // The index, once built, follows additions and deletions.
    table_put(engine, table, atom(colliding[1]), Value::integer(2));
    EXPECT_EQ(keys(table), (std::vector<std::string>{colliding[1], colliding[0], "k0"}));
    table_delete(engine, table, atom(colliding[0]));
    EXPECT_EQ(keys(table), (std::vector<std::string>{colliding[1], "k0"}));
    EXPECT_EQ(table_key_count(engine, table), 2u);

    // Names of different chains come in chain order, not creation order.
    PropertyTable* other = new_table(engine);
    table_put(engine, other, atom("b"), Value::integer(0));
    table_put(engine, other, atom("a"), Value::integer(0));
    bool a_first = (engine_hash("a", 1) & 127) < (engine_hash("b", 1) & 127);
    EXPECT_EQ(keys(other), a_first ? (std::vector<std::string>{"a", "b"}) : (std::vector<std::string>{"b", "a"}));
}

TEST_F(PropertyTableTest, IntegerKeysAddressSlots) {
    PropertyTable* prototype = new_table(engine);
    table_put(engine, prototype, atom("inherited"), Value::integer(7));
    PropertyTable* table = new_table_with_prototype(engine, prototype);
    table_put(engine, table, atom("a"), Value::integer(1));
    // Slot 0 is the "__proto__" link of a constructed object, not a property named 0.
    Value first = table_get_by_key(engine, table, Value::integer(0));
    ASSERT_EQ(first.tag, Tag::Object);
    EXPECT_EQ(first.payload.table, prototype);
    EXPECT_EQ(table_get_by_key(engine, table, Value::integer(1)).payload.integer, 1);
    EXPECT_EQ(table_get_by_key(engine, table, Value::integer(2)).tag, Tag::Undefined);
    EXPECT_EQ(table_get_by_key(engine, table, Value::integer(-1)).tag, Tag::Undefined);
    EXPECT_EQ(table_get_by_key(engine, table, Value::number(1.0)).tag, Tag::Undefined);
    table_put_by_key(engine, table, Value::integer(-1), Value::integer(9));
    EXPECT_EQ(table->slot_count, 2u);
}

TEST_F(PropertyTableTest, WritingPastTheEndMakesBlankPrototypeSlots) {
    PropertyTable* table = new_table(engine);
    table_put(engine, table, atom("a"), Value::integer(1));
    table_put(engine, table, atom("b"), Value::integer(2));
    keys(table);  // build the index so that it must follow the new slots
    PropertyTable* p = new_table(engine);
    table_put(engine, p, atom("x"), Value::integer(42));
    table_put_by_key(engine, table, Value::integer(5), Value::object(p));
    ASSERT_EQ(table->slot_count, 6u);
    for (uint32_t k = 2; k < 6; ++k) {
        EXPECT_EQ(table->slots[k].key, atom_proto);
    }
    EXPECT_EQ(table_prototype(table), p);
    EXPECT_EQ(get(table, "x").payload.integer, 42);
    EXPECT_EQ(table_key_count(engine, table), 6u);

    // An absurd position is refused rather than exhausting the machine.
    EXPECT_FALSE(run_protected(engine, [&] {
        table_put_by_key(engine, table, Value::integer(int64_t{1} << 40), Value::integer(1));
    }));
    EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
    EXPECT_EQ(table->slot_count, 6u);
}

TEST_F(PropertyTableTest, StringKeysFindOwnPropertiesOnly) {
    PropertyTable* prototype = new_table(engine);
    table_put(engine, prototype, atom("inherited"), Value::integer(7));
    PropertyTable* table = new_table_with_prototype(engine, prototype);
    table_put(engine, table, atom("own"), Value::integer(1));
    EXPECT_EQ(table_get_by_key(engine, table, str("own")).payload.integer, 1);
    EXPECT_EQ(table_get_by_key(engine, table, str("inherited")).tag, Tag::Undefined);
    EXPECT_EQ(get(table, "inherited").payload.integer, 7);

    table_put_by_key(engine, table, str("fresh"), Value::integer(3));
    EXPECT_EQ(get(table, "fresh").payload.integer, 3);
    table_put_by_key(engine, table, str("own"), Value::integer(4));
    EXPECT_EQ(get(table, "own").payload.integer, 4);
    table_delete_by_key(engine, table, str("own"));
    EXPECT_EQ(get(table, "own").tag, Tag::Undefined);
    table_delete_by_key(engine, table, Value::integer(0));
    EXPECT_EQ(table_prototype(table), nullptr);
    EXPECT_EQ(get(table, "inherited").tag, Tag::Undefined);
}

TEST_F(PropertyTableTest, LastObjectPrototypeSlotCounts) {
    PropertyTable* first = new_table(engine);
    PropertyTable* second = new_table(engine);
    table_put(engine, first, atom("x"), Value::integer(1));
    table_put(engine, second, atom("x"), Value::integer(2));
    PropertyTable* table = new_table(engine);
    table_put_by_key(engine, table, Value::integer(0), Value::object(first));
    table_put_by_key(engine, table, Value::integer(1), Value::object(second));
    table_put_by_key(engine, table, Value::integer(2), Value::integer(3));  // not an object: ignored
    EXPECT_EQ(get(table, "x").payload.integer, 2);
}

TEST_F(PropertyTableTest, PrototypeCyclesEndLookups) {
    PropertyTable* a = new_table(engine);
    PropertyTable* b = new_table(engine);
    PropertyTable* c = new_table(engine);
    table_put(engine, a, atom_proto, Value::object(b));
    table_put(engine, b, atom_proto, Value::object(c));
    table_put(engine, c, atom_proto, Value::object(a));
    table_put(engine, c, atom("deep"), Value::integer(5));
    EXPECT_EQ(get(a, "deep").payload.integer, 5);
    Value out;
    EXPECT_FALSE(table_get(engine, a, atom("missing"), &out));
    PropertyTable* self = new_table(engine);
    table_put(engine, self, atom_proto, Value::object(self));
    EXPECT_FALSE(table_get(engine, self, atom("missing"), &out));

    // A long acyclic chain is followed to its end.
    PropertyTable* bottom = new_table(engine);
    table_put(engine, bottom, atom("root"), Value::integer(1));
    PropertyTable* chain = bottom;
    for (int i = 0; i < 1000; ++i) {
        chain = new_table_with_prototype(engine, chain);
    }
    EXPECT_EQ(get(chain, "root").payload.integer, 1);
}

}  // namespace
}  // namespace quill::testing
