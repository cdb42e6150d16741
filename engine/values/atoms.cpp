// The atom table and the global slots it numbers.
#include "engine/values/atoms.h"

#include <cstring>

#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/plain_heap.h"

namespace quill {

namespace {

AtomEntry* find_entry(ScriptEngine* engine, std::string_view name, uint32_t hash) {
    for (AtomEntry* entry = engine->atom_chains[hash & 0xFF]; entry != nullptr; entry = entry->next) {
        if (entry->length == name.size() && name.compare(0, name.size(), entry->name, entry->length) == 0) {
            return entry;
        }
    }
    return nullptr;
}

// Makes room for one more global slot (and its entry in the number index).
void grow_globals(ScriptEngine* engine) {
    ValueArray& globals = engine->globals;
    if (globals.count < globals.capacity) {
        return;
    }
    // Atom numbers are non-negative 32-bit numbers.
    if (globals.capacity > INT32_MAX - config::value_array_growth) {
        raise_error(engine, Message::OutOfMemory);
    }
    uint32_t capacity = globals.capacity + config::value_array_growth;
    auto* by_number = static_cast<AtomEntry**>(
        plain_reallocate(engine, engine->atoms_by_number, capacity * sizeof(AtomEntry*)));
    engine->atoms_by_number = by_number;
    globals.items = static_cast<Value*>(plain_reallocate(engine, globals.items, capacity * sizeof(Value)));
    globals.capacity = capacity;
}

}  // namespace

uint32_t engine_hash(const char* bytes, size_t length) {
    uint32_t h = 0;
    for (size_t i = 0; i < length; ++i) {
        h = (h >> 7) ^ (h >> 16) ^ static_cast<unsigned char>(bytes[i]) ^ (h << 5);
    }
    return h;
}

Atom intern(ScriptEngine* engine, std::string_view name) {
    uint32_t hash = engine_hash(name.data(), name.size());
    if (AtomEntry* entry = find_entry(engine, name, hash)) {
        return entry->number;
    }
    if (name.size() > UINT32_MAX - 1) {
        raise_error(engine, Message::OutOfMemory);
    }
    grow_globals(engine);
    auto* entry = static_cast<AtomEntry*>(plain_allocate(engine, sizeof(AtomEntry)));
    entry->name = static_cast<char*>(plain_allocate(nullptr, name.size() + 1));
    if (entry->name == nullptr) {
        plain_free(engine, entry);
        raise_error(engine, Message::OutOfMemory);
    }
    name.copy(entry->name, name.size());
    entry->name[name.size()] = '\0';
    entry->length = static_cast<uint32_t>(name.size());
    entry->number = static_cast<Atom>(engine->globals.count);
    entry->next = engine->atom_chains[hash & 0xFF];
    engine->atom_chains[hash & 0xFF] = entry;

    engine->atoms_by_number[engine->globals.count] = entry;
    engine->globals.items[engine->globals.count] = Value::undefined();
    ++engine->globals.count;
    return entry->number;
}

Atom find_atom(ScriptEngine* engine, std::string_view name) {
    AtomEntry* entry = find_entry(engine, name, engine_hash(name.data(), name.size()));
    return entry != nullptr ? entry->number : -1;
}

const char* atom_name(ScriptEngine* engine, Atom atom) {
    if (atom < 0 || static_cast<uint32_t>(atom) >= engine->globals.count) {
        return "???";
    }
    return engine->atoms_by_number[atom]->name;
}

void set_global(ScriptEngine* engine, std::string_view name, Value value) {
    Atom atom = intern(engine, name);
    engine->globals.items[atom] = value;
}

Value get_global(ScriptEngine* engine, std::string_view name) {
    Atom atom = intern(engine, name);
    return engine->globals.items[atom];
}

void free_atoms(ScriptEngine* engine) {
    for (AtomEntry*& head : engine->atom_chains) {
        while (head != nullptr) {
            AtomEntry* next = head->next;
            plain_free(nullptr, head->name);
            plain_free(nullptr, head);
            head = next;
        }
    }
    plain_free(nullptr, engine->atoms_by_number);
    engine->atoms_by_number = nullptr;
}

}  // namespace quill
