// The ScriptEngine record every engine function and every native handler receives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/values/config.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/value.h"

namespace quill {

struct AtomEntry;
struct HostClass;
struct CodeBlock;
struct ClassDeclaration;

// Services the virtual machine installs; the values layer only carries them.
using RunModuleService = bool (*)(ScriptEngine* engine, void* module);
using FunctionNameService = const char* (*)(ScriptEngine* engine, const uint32_t* code);
using LineService = int (*)(ScriptEngine* engine, const char** source_name);
// Runs a script function with a receiver and an argument block of `cells` cells (count cell
// included); the result goes to the engine result. Raises on runtime errors.
using ScriptInvoker = void (*)(ScriptEngine* engine, const Value& self, const Value& function,
                               uint32_t cells, Value* args);
// Makes a RegExp object from a pattern and flags (1 global, 2 ignore case, 4 multiline); returns
// false when the pattern does not compile.
using RegExpMaker = bool (*)(ScriptEngine* engine, const char16_t* pattern, size_t length, int flags, Value* out);
// Called after every collection with the code 2; a non-zero answer stops the running script.
using EngineHook = int (*)(int code, void* user_data);
// Receives every warning and trace message; the engine's own hook discards them.
using TraceSink = void (*)(ScriptEngine* engine, const char* text, void* user_data);

// A growable array of values (constant table, global slots).
struct ValueArray {
    Value* items = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;
};

// The interpreter stack: cells grow downward from the last cell; the top is the first free cell.
struct EngineStack {
    Value* base = nullptr;
    uint32_t size = 0;                    // in cells
    Value* saved_top = nullptr;           // where a nested invocation starts
    const uint32_t* saved_code = nullptr; // code position of the running instruction
    Value* end() const { return base + size; }
};

// A class made by declare_class and the declaration it was made from.
struct DeclaredClass {
    const ClassDeclaration* declaration;
    HostClass* cls;
};

// Engine flag bits.
inline constexpr uint32_t engine_flag_creation = 1u << 0;     // passed through from the configuration
inline constexpr uint32_t engine_flag_warn_undefined = 1u << 2;  // warn about undefined variables

// Members in their documented order; the last group holds what this implementation adds.
struct ScriptEngine {
    void* owner = nullptr;
    uint32_t flags = 0;
    uint32_t compiler_options = 0;
    RunModuleService run_module = nullptr;
    FunctionNameService function_name_at = nullptr;
    LineService line_at = nullptr;
    ValueArray constants;
    AtomEntry* atom_chains[config::atom_chain_count] = {};
    ValueArray globals;
    void* compiler_work_lists[config::compiler_work_list_count] = {};
    uint32_t anonymous_functions = 0;
    EngineStack stack;
    HostClass* type_handlers[config::type_handler_count] = {};
    // The special atoms are interned first and so have fixed numbers (atoms.h).
    Heap heap;
    ProtectionRecord* protection = nullptr;
    char message[config::message_buffer_size] = {};
    Value result;
    EngineHook hook = nullptr;
    void* hook_data = nullptr;
    intptr_t host_words[2] = {0, -1};

    // Atom entries by number, so that the name of an atom is found in constant time.
    AtomEntry** atoms_by_number = nullptr;
    // Where warnings and traces go; null discards them.
    TraceSink trace_sink = nullptr;
    void* trace_data = nullptr;
    // The runtime services' handle of this engine (vm::EngineHandle), for native code that compiles
    // and runs source text in the engine it runs in.
    void* service_handle = nullptr;
    // How a script function is run from native code; installed by the virtual machine.
    ScriptInvoker invoke_script = nullptr;
    // Makes the RegExp object of a regular-expression constant; installed by the RegExp class.
    RegExpMaker make_regexp = nullptr;
    // The String class sets these: the interpreter answers charCodeAt itself for a string receiver
    // and one Integer argument while that class is the handler of strings.
    HostClass* quick_string_class = nullptr;
    Atom char_code_at = 0;
    // The Array class sets these likewise: the interpreter answers push with one argument, pop, and
    // reads of length on an array itself while that class is the handler of arrays, and reads of
    // length on a string while the String class above is. Each class interns `length_atom` when it
    // sets its own member.
    HostClass* quick_array_class = nullptr;
    Atom length_atom = 0;
    Atom array_push = 0;
    Atom array_pop = 0;
    // The RegExp class object, which the maker builds from and whose class keeps the engine-wide
    // last-match state. A root, so both live as long as the engine whatever scripts do to globals.
    Value regexp_class;
    // Collected blocks that live as long as the engine: the code blocks of loaded functions, which
    // must outlive every activation even when their function value is overwritten mid-call.
    // The whole diagnostic text of the last compilation (the message buffer holds what fits).
    std::string diagnostics;
    void** permanent_blocks = nullptr;
    uint32_t permanent_count = 0;
    uint32_t permanent_capacity = 0;
    // For each atom (by its low bits) the slot at which a property table last held it: a hint that
    // lookups by atom try first and confirm by the slot's key (property_table.cpp).
    uint32_t slot_hints[config::slot_hint_count] = {};
    // Every class made by declare_class, in registration order: roots, so that host code can make
    // objects of a class whatever scripts do to its global.
    std::vector<DeclaredClass> declared_classes;
    // Instructions this engine may still run (builds with an instruction budget only).
    uint64_t instructions_left = config::instruction_budget;
};

// The per-type handler of a tag, or null.
inline HostClass* type_handler(ScriptEngine* engine, Tag tag) {
    auto index = static_cast<uint32_t>(tag);
    return index < static_cast<uint32_t>(config::type_handler_count) ? engine->type_handlers[index] : nullptr;
}

// Creates the bare engine record: the stack of `stack_cells` cells with its saved top on the last
// cell, an empty heap, and the special atoms. Returns null when memory runs out.
ScriptEngine* create_engine_record(uint32_t stack_cells = config::default_stack_cells);

// Runs every finalizer (a sweep with nothing marked), then frees everything the engine owns.
void destroy_engine_record(ScriptEngine* engine);

// Keeps a collected block alive until the engine is destroyed.
void add_permanent_block(ScriptEngine* engine, void* block);

// Appends a value to the constant table; returns its index. A static String constant hands its
// character buffer (plain heap) to the table, which frees it with the engine.
uint32_t add_constant(ScriptEngine* engine, const Value& value);

}  // namespace quill
