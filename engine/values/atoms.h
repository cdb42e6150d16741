// Atoms: identifiers interned once per engine; an atom's number is the index of its global slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// An entry of the atom hash table. The name is narrow text in the ANSI code page, owned.
struct AtomEntry {
    AtomEntry* next;
    char* name;
    uint32_t length;
    Atom number;
};

// The special atoms, interned before anything else so their numbers are fixed.
inline constexpr Atom atom_proto = 0;      // "__proto__"
inline constexpr Atom atom_prototype = 1;  // "prototype"
inline constexpr Atom atom_to_source = 2;  // "toSource"
inline constexpr Atom atom_to_string = 3;  // "toString"
inline constexpr Atom atom_value_of = 4;   // "valueOf"

// The engine hash of a name: h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5) over its bytes, from h = 0.
uint32_t engine_hash(const char* bytes, size_t length);

// The atom of a name, interning it (with a new global slot) when it is new. Case-sensitive.
Atom intern(ScriptEngine* engine, std::string_view name);
// The atom of a name if it is interned, otherwise -1.
Atom find_atom(ScriptEngine* engine, std::string_view name);
// The name of an atom; "???" for a number that is not an atom.
const char* atom_name(ScriptEngine* engine, Atom atom);

// Global variables by name. Interning may move the global slots, so the slot is found only after
// the name is interned: never write engine->globals.items[intern(...)], which reads the array first.
void set_global(ScriptEngine* engine, std::string_view name, Value value);
Value get_global(ScriptEngine* engine, std::string_view name);

// Frees every atom entry (engine destruction).
void free_atoms(ScriptEngine* engine);

}  // namespace quill
