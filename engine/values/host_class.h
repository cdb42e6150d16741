// Host classes: the handler tables through which built-in classes and host objects reach scripts.
#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/values/heap.h"
#include "engine/values/plain_heap.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct HostClass;
struct PropertyTable;

// Argument block: args[0] is an Integer holding the argument count n, args[1..n] the arguments.
// A handler that receives no block (internal toString/valueOf calls) sees a count of 0.
inline uint32_t argument_count(const Value* args) {
    return args != nullptr && args[0].tag == Tag::Integer && args[0].payload.integer > 0
               ? static_cast<uint32_t>(args[0].payload.integer)
               : 0;
}

enum class PropertyMode { Get = 0, Set = 1 };

// For host classes `instance` is the instance data (null for the class object) and `receiver` the
// HostObject value; for per-type handlers `instance` is null and `receiver` is the value itself.
using CallHandler = void (*)(ScriptEngine* engine, HostClass* cls, void* instance, Value* result,
                             Value* args);
using MethodHandler = bool (*)(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver,
                               Atom method, Value* result, Value* args);
using PropertyHandler = bool (*)(ScriptEngine* engine, HostClass* cls, void* instance,
                                 const Value& receiver, Atom property, PropertyMode mode, Value* value);
using ConstructHandler = void (*)(ScriptEngine* engine, HostClass* cls, Value* args, Value* result);
using DestroyHandler = void (*)(HostClass* cls, void* instance);
using MarkHandler = void (*)(ScriptEngine* engine, HostClass* cls, void* instance);
using UserDataFinalizer = void (*)(void* user_data);

// The ten members, in order. Lives in the collected heap; `finalizer` is its first data word.
// Any handler may be absent.
struct HostClass {
    Finalizer finalizer;                    // runs the user-data finalizer when the class dies
    CallHandler call;                       // the class object or an instance called as a function
    MethodHandler method;                   // returns true when it handled the name
    PropertyHandler property;               // returns true when it handled the name
    ConstructHandler construct;             // makes an instance for `new`
    DestroyHandler destroy;                 // frees an instance's data when the instance dies
    MarkHandler mark;                       // marks the values an instance's data holds
    void* user_data;                        // class-wide data, usually its record of member atoms
    UserDataFinalizer user_data_finalizer;  // frees the user data
    PropertyTable* prototype;               // shared by the class and its instances
};

// The payload of a HostObject value. Lives in the collected heap; `finalizer` is its first data word.
struct HostRecord {
    Finalizer finalizer;       // calls the class destroy handler with the instance data
    HostClass* cls;
    void* instance;            // owned by the class; null for a class object
    PropertyTable* properties; // made only for instances
};

// All handlers empty; the prototype table created with "__proto__" = Null.
HostClass* new_host_class(ScriptEngine* engine);
// The user-data finalizer of data made by set_class_data.
void free_class_data(void* data);

// Gives the class a plain-heap copy of `data` (usually its record of member atoms) as its user data,
// freed with the class from here on. Returns the copy.
template <typename T>
T* set_class_data(ScriptEngine* engine, HostClass* cls, const T& data) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    auto* copy = static_cast<T*>(plain_allocate(engine, sizeof(T)));
    *copy = data;
    cls->user_data = copy;
    cls->user_data_finalizer = free_class_data;
    return copy;
}

// A HostObject of the class; with non-null instance data also an own table whose "__proto__" is
// the class prototype table. The object owns the data once this returns; when it raises (out of
// memory) the data is still the caller's.
Value make_host_object(ScriptEngine* engine, HostClass* cls, void* instance);

// Marks the class record with its prototype table.
void visit_host_class(ScriptEngine* engine, HostClass* cls);
// Marks a host record: its class, the class prototype table, its own table, then the class mark
// handler with the instance data.
void visit_host_record(ScriptEngine* engine, HostRecord* record);

}  // namespace quill
