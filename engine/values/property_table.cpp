// Property tables and their name index.
#include "engine/values/property_table.h"

#include <algorithm>
#include <cstring>

#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

constexpr uint32_t chain_mask = config::name_index_chain_count - 1;

uint32_t chain_of(const char* name, size_t length) { return engine_hash(name, length) & chain_mask; }

void index_add(ScriptEngine* engine, PropertyTable* table, Atom key, uint32_t slot) {
    const char* name = atom_name(engine, key);
    size_t length = std::strlen(name);
    auto* entry = static_cast<NameIndexEntry*>(gc_allocate(engine, sizeof(NameIndexEntry)));
    entry->name = nullptr;
    entry->next = nullptr;
    // The entry is unreachable until linked, and no collection runs inside native code.
    char* copy = static_cast<char*>(gc_allocate(engine, length + 1));
    std::memcpy(copy, name, length + 1);
    uint32_t chain = chain_of(name, length);
    entry->name = copy;
    entry->length = static_cast<uint32_t>(length);
    entry->slot = slot;
    entry->next = table->index[chain];
    table->index[chain] = entry;
    ++table->counts[chain];
}

void index_remove(ScriptEngine* engine, PropertyTable* table, uint32_t slot) {
    const char* name = atom_name(engine, table->slots[slot].key);
    uint32_t chain = chain_of(name, std::strlen(name));
    for (NameIndexEntry** link = &table->index[chain]; *link != nullptr; link = &(*link)->next) {
        if ((*link)->slot == slot) {
            *link = (*link)->next;
            --table->counts[chain];
            return;
        }
    }
}

void ensure_index(ScriptEngine* engine, PropertyTable* table) {
    if (table->index != nullptr) {
        return;
    }
    auto* chains = static_cast<NameIndexEntry**>(
        gc_allocate(engine, config::name_index_chain_count * sizeof(NameIndexEntry*)));
    std::memset(chains, 0, config::name_index_chain_count * sizeof(NameIndexEntry*));
    auto* counts = static_cast<uint32_t*>(gc_allocate(engine, config::name_index_chain_count * sizeof(uint32_t)));
    std::memset(counts, 0, config::name_index_chain_count * sizeof(uint32_t));
    table->index = chains;
    table->counts = counts;
    for (uint32_t slot = 0; slot < table->slot_count; ++slot) {
        if (table->slots[slot].key != deleted_key) {
            index_add(engine, table, table->slots[slot].key, slot);
        }
    }
}

// The slot of the own property with that narrow name, through the index; -1 when absent.
int64_t find_by_name(ScriptEngine* engine, PropertyTable* table, const char* name, size_t length) {
    ensure_index(engine, table);
    for (NameIndexEntry* entry = table->index[chain_of(name, length)]; entry != nullptr; entry = entry->next) {
        if (entry->length == length && std::memcmp(entry->name, name, length) == 0) {
            return entry->slot;
        }
    }
    return -1;
}

int64_t find_by_string(ScriptEngine* engine, PropertyTable* table, const StringRecord* key) {
    PlainPtr<char> name = string_to_narrow(engine, key);
    return find_by_name(engine, table, name.get(), std::strlen(name.get()));
}

// Grows the slot array to hold `count` slots; new slots are left for the caller to fill. The
// array's capacity is what its block holds. A full array grows by half (to 4 slots at least), so a
// table filled one property at a time is copied a few times rather than once per property, and a
// record of five or six slots wastes at most one; the first array is as long as asked, since many
// tables never hold more than their first slot.
[[gnu::noinline]] void reallocate_slots(ScriptEngine* engine, PropertyTable* table, uint64_t count) {
    if (count > config::max_table_slots) {
        raise_error(engine, Message::OutOfMemory);
    }
    uint64_t capacity = count;
    if (table->slots != nullptr) {
        const uint64_t held = gc_block_size(table->slots) / sizeof(PropertySlot);
        capacity = std::min<uint64_t>(std::max<uint64_t>({count, held + held / 2, 4}), config::max_table_slots);
    }
    table->slots = static_cast<PropertySlot*>(gc_reallocate(engine, table->slots, capacity * sizeof(PropertySlot)));
}

inline void grow_slots(ScriptEngine* engine, PropertyTable* table, uint64_t count) {
    if (table->slots == nullptr || gc_block_size(table->slots) < count * sizeof(PropertySlot)) {
        reallocate_slots(engine, table, count);
    }
}

void delete_slot(ScriptEngine* engine, PropertyTable* table, uint32_t slot) {
    if (table->slots[slot].key == deleted_key) {
        return;
    }
    if (table->index != nullptr) {
        index_remove(engine, table, slot);
    }
    table->slots[slot].key = deleted_key;
    table->slots[slot].value = Value::undefined();
}

}  // namespace

PropertyTable* new_table(ScriptEngine* engine) {
    auto* table = static_cast<PropertyTable*>(gc_allocate(engine, sizeof(PropertyTable)));
    table->index = nullptr;
    table->counts = nullptr;
    table->slot_count = 0;
    table->slots = nullptr;
    return table;
}

PropertyTable* new_table_with_prototype(ScriptEngine* engine, PropertyTable* prototype) {
    PropertyTable* table = new_table(engine);
    if (prototype != nullptr) {
        table_put(engine, table, atom_proto, Value::object(prototype));
    }
    return table;
}

PropertyTable* new_table_with_room(ScriptEngine* engine, PropertyTable* prototype, uint32_t room) {
    PropertyTable* table = new_table(engine);
    // Growth keeps a slot array that is already large enough (gc_reallocate returns it as it is).
    grow_slots(engine, table, room);
    if (prototype != nullptr) {
        table->slots[0].key = atom_proto;
        table->slots[0].value = Value::object(prototype);
        table->slot_count = 1;
    }
    return table;
}

PropertyTable* table_prototype(const PropertyTable* table) {
    PropertyTable* prototype = nullptr;
    for (uint32_t i = 0; i < table->slot_count; ++i) {
        const PropertySlot& slot = table->slots[i];
        if (slot.key == atom_proto && slot.value.tag == Tag::Object) {
            prototype = slot.value.payload.table;
        }
    }
    return prototype;
}

bool table_get_own(const PropertyTable* table, Atom atom, Value* out) {
    for (uint32_t i = 0; i < table->slot_count; ++i) {
        if (table->slots[i].key == atom) {
            *out = table->slots[i].value;
            return true;
        }
    }
    *out = Value::undefined();
    return false;
}

bool table_get(ScriptEngine* engine, PropertyTable* table, Atom atom, Value* out) {
    if (const PropertySlot* slot = hinted_slot(engine, table, atom)) {
        *out = slot->value;
        return true;
    }
    // Brent's cycle detection: a "__proto__" chain that loops ends the lookup as not found, while
    // every acyclic chain is followed to its end.
    PropertyTable* tortoise = table;
    uint64_t power = 1;
    uint64_t steps = 0;
    while (table != nullptr) {
        PropertyTable* prototype = nullptr;
        for (uint32_t i = 0; i < table->slot_count; ++i) {
            const PropertySlot& slot = table->slots[i];
            if (slot.key == atom) {
                *out = slot.value;
                if (atom != atom_proto) {
                    slot_hint(engine, atom) = i;
                }
                return true;
            }
            if (slot.key == atom_proto && slot.value.tag == Tag::Object) {
                prototype = slot.value.payload.table;
            }
        }
        table = prototype;
        if (table == tortoise) {
            break;
        }
        if (++steps == power) {
            tortoise = table;
            power *= 2;
            steps = 0;
        }
    }
    *out = Value::undefined();
    return false;
}

void table_put(ScriptEngine* engine, PropertyTable* table, Atom atom, const Value& value) {
    if (PropertySlot* slot = hinted_slot(engine, table, atom)) {
        slot->value = value;
        return;
    }
    int64_t reuse = -1;
    for (uint32_t i = 0; i < table->slot_count; ++i) {
        PropertySlot& slot = table->slots[i];
        if (slot.key == atom) {
            slot.value = value;
            return;
        }
        if (slot.key == deleted_key) {
            reuse = i;
        }
    }
    uint32_t slot;
    if (reuse >= 0) {
        slot = static_cast<uint32_t>(reuse);
    } else {
        grow_slots(engine, table, uint64_t{table->slot_count} + 1);
        slot = table->slot_count++;
    }
    table->slots[slot].key = atom;
    table->slots[slot].value = value;
    if (atom != atom_proto) {
        slot_hint(engine, atom) = slot;
    }
    if (table->index != nullptr) {
        index_add(engine, table, atom, slot);
    }
}

bool table_delete(ScriptEngine* engine, PropertyTable* table, Atom atom) {
    for (uint32_t i = 0; i < table->slot_count; ++i) {
        if (table->slots[i].key == atom) {
            delete_slot(engine, table, i);
            return true;
        }
    }
    return false;
}

Value table_get_by_key(ScriptEngine* engine, PropertyTable* table, const Value& key) {
    if (key.tag == Tag::Integer) {
        int64_t k = key.payload.integer;
        return k >= 0 && k < table->slot_count ? table->slots[k].value : Value::undefined();
    }
    if (key.tag == Tag::String) {
        int64_t slot = find_by_string(engine, table, key.payload.string);
        return slot >= 0 ? table->slots[slot].value : Value::undefined();
    }
    return Value::undefined();
}

void table_put_by_key(ScriptEngine* engine, PropertyTable* table, const Value& key, const Value& value) {
    if (key.tag == Tag::Integer) {
        int64_t k = key.payload.integer;
        if (k < 0) {
            return;
        }
        if (k >= table->slot_count) {
            // Blank slots up to k, keyed "__proto__" and holding Undefined.
            grow_slots(engine, table, static_cast<uint64_t>(k) + 1);
            while (table->slot_count <= k) {
                uint32_t slot = table->slot_count++;
                table->slots[slot].key = atom_proto;
                table->slots[slot].value = Value::undefined();
                if (table->index != nullptr) {
                    index_add(engine, table, atom_proto, slot);
                }
            }
        }
        table->slots[k].value = value;
        return;
    }
    if (key.tag == Tag::String) {
        PlainPtr<char> name = string_to_narrow(engine, key.payload.string);
        size_t length = std::strlen(name.get());
        int64_t slot = find_by_name(engine, table, name.get(), length);
        if (slot >= 0) {
            table->slots[slot].value = value;
        } else {
            table_put(engine, table, intern(engine, std::string_view(name.get(), length)), value);
        }
    }
}

void table_delete_by_key(ScriptEngine* engine, PropertyTable* table, const Value& key) {
    if (key.tag == Tag::Integer) {
        int64_t k = key.payload.integer;
        if (k >= 0 && k < table->slot_count) {
            delete_slot(engine, table, static_cast<uint32_t>(k));
        }
        return;
    }
    if (key.tag == Tag::String) {
        int64_t slot = find_by_string(engine, table, key.payload.string);
        if (slot >= 0) {
            delete_slot(engine, table, static_cast<uint32_t>(slot));
        }
    }
}

uint32_t table_key_count(ScriptEngine* engine, PropertyTable* table) {
    ensure_index(engine, table);
    uint32_t total = 0;
    for (int c = 0; c < config::name_index_chain_count; ++c) {
        total += table->counts[c];
    }
    return total;
}

bool table_key_at(ScriptEngine* engine, PropertyTable* table, uint32_t n, Value* out) {
    ensure_index(engine, table);
    for (int c = 0; c < config::name_index_chain_count; ++c) {
        if (n >= table->counts[c]) {
            n -= table->counts[c];
            continue;
        }
        NameIndexEntry* entry = table->index[c];
        while (n-- > 0) {
            entry = entry->next;
        }
        *out = make_string_from_narrow(engine, entry->name, entry->length);
        return true;
    }
    *out = Value::undefined();
    return false;
}

void visit_table(ScriptEngine* engine, PropertyTable* table) {
    mark_plain_block(table->slots);
    if (table->index != nullptr) {
        mark_plain_block(table->index);
        mark_plain_block(table->counts);
        for (int c = 0; c < config::name_index_chain_count; ++c) {
            for (NameIndexEntry* entry = table->index[c]; entry != nullptr; entry = entry->next) {
                mark_plain_block(entry);
                mark_plain_block(entry->name);
            }
        }
    }
    // Deleted slots hold Undefined, except where a write by position gave one a value: marking every
    // slot keeps such a value alive for as long as o[k] can read it.
    for (uint32_t i = 0; i < table->slot_count; ++i) {
        mark_value(engine, table->slots[i].value);
    }
}

}  // namespace quill
