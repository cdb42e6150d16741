// Property tables: insertion-ordered slots with a lazily built name index and the "__proto__" link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/values/atoms.h"
#include "engine/values/config.h"
#include "engine/values/engine.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

inline constexpr Atom deleted_key = -1;

// A slot: an atom key and a value. A deleted slot has the key -1 and the value Undefined.
struct PropertySlot {
    Atom key;
    Value value;
};

// An entry of the name index: its own copy of the name, the name's length and the slot it names.
struct NameIndexEntry {
    NameIndexEntry* next;
    char* name;
    uint32_t length;
    uint32_t slot;
};

// All parts live in the collected heap. Invariants:
//  1. slots[0 .. slot_count) keep insertion order; a new property reuses the last deleted slot found
//     while scanning for its key, otherwise it is appended (the array grows by one slot).
//  2. Once built, the name index has exactly one entry per live slot (key != -1), in the chain
//     chosen by engine hash & 127, and counts[c] is the length of chain c.
//  3. The prototype is the value of the last "__proto__" slot that holds an Object.
struct PropertyTable {
    NameIndexEntry** index;  // 128 chains, null until first needed
    uint32_t* counts;        // entries per chain, null with the index
    uint32_t slot_count;     // deleted slots included
    PropertySlot* slots;
};

PropertyTable* new_table(ScriptEngine* engine);
// A new table whose "__proto__" slot holds an Object of `prototype` (no slot when it is null).
PropertyTable* new_table_with_prototype(ScriptEngine* engine, PropertyTable* prototype);
// The same with room for `room` slots in all, so that the first properties a constructor adds go
// in without growing the slot array. Requires: room >= 1.
PropertyTable* new_table_with_room(ScriptEngine* engine, PropertyTable* prototype, uint32_t room);

// Slot hints. A table holds each atom other than "__proto__" in one slot at most (every write by
// atom replaces an existing slot, and writes by position keep a slot's key), so a hinted slot whose
// key is the atom is the one a scan of the own table would find. Objects made alike keep their
// properties at the same slots, so the hint of the last lookup usually holds for the next.
inline uint32_t& slot_hint(ScriptEngine* engine, Atom atom) {
    static_assert((config::slot_hint_count & (config::slot_hint_count - 1)) == 0, "slot hints: a power of two");
    return engine->slot_hints[static_cast<uint32_t>(atom) & (config::slot_hint_count - 1)];
}

// The own slot holding `atom` by its hint, or null (always for "__proto__", which may fill several
// slots, and for the key of deleted slots). A miss says nothing: the name may still be there.
inline PropertySlot* hinted_slot(ScriptEngine* engine, const PropertyTable* table, Atom atom) {
    if (atom == atom_proto || atom == deleted_key) {
        return nullptr;
    }
    uint32_t hint = slot_hint(engine, atom);
    return hint < table->slot_count && table->slots[hint].key == atom ? &table->slots[hint] : nullptr;
}

// Own or inherited by atom: returns whether found; *out is Undefined when not found.
bool table_get(ScriptEngine* engine, PropertyTable* table, Atom atom, Value* out);
// Own only.
bool table_get_own(const PropertyTable* table, Atom atom, Value* out);
// Replaces the value of the own slot with that key, else adds a property (no prototype search).
void table_put(ScriptEngine* engine, PropertyTable* table, Atom atom, const Value& value);
// Own slot only: marks it deleted and removes its name from the index. Returns whether it existed.
bool table_delete(ScriptEngine* engine, PropertyTable* table, Atom atom);

// By key: an Integer addresses a slot by position, a String an own property by name.
Value table_get_by_key(ScriptEngine* engine, PropertyTable* table, const Value& key);
void table_put_by_key(ScriptEngine* engine, PropertyTable* table, const Value& key, const Value& value);
void table_delete_by_key(ScriptEngine* engine, PropertyTable* table, const Value& key);

// The n-th name of the name index (built if absent), chain 0 first and each chain from its head;
// false when n is past the last name.
bool table_key_at(ScriptEngine* engine, PropertyTable* table, uint32_t n, Value* out);
// Number of names in the index (built if absent).
uint32_t table_key_count(ScriptEngine* engine, PropertyTable* table);

// The table the "__proto__" link names, or null.
PropertyTable* table_prototype(const PropertyTable* table);

// Marks the table's parts and hands its live values to the collector.
void visit_table(ScriptEngine* engine, PropertyTable* table);

}  // namespace quill
