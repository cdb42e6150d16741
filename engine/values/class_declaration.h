// The one way a class is declared, built-in or host: its script name, its class text, one table of
// members and the handlers a class needs beyond them. Registration interns the member names once
// into the class's user data; one generic dispatcher then serves every method call and property
// access by comparing atoms. A class file reads as its table:
//
//   const Member ini_members[] = {
//       method("getInt", ini_get_int),
//       method("getString", ini_get_string),
//       ...
//   };
//   const ClassDeclaration ini_class = {
//       .name = "Ini", .class_text = "[object INI]", .members = ini_members,
//       .construct = ini_construct, .destroy = delete_instance<IniRecord>,
//   };
//   void register_ini_class(ScriptEngine* engine) { declare_class(engine, ini_class); }
//
// Handlers receive a MemberCall: the engine, the class, the instance data (null for the class
// object and for values served as a type), the receiver, the arguments and the result (Undefined
// on entry; a handler that writes nothing leaves it so). Every class answers toString with its class
// text unless its table has a member of that name.
//
// The built-in classes of the language's values (String, Array, Number, ...) are declared the same
// way: `.types` enters the class as the per-type handler of its value tags, members that only such
// values have are marked Needs::Value, and a member's `context` carries the datum of a handler that
// serves several names (a Math function, a Date field). Class-wide state (RegExp's last match) is
// made by `.make_state` and reached with call.state<T>().
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

#include "engine/values/arguments.h"
#include "engine/values/host_class.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct Member;

void* class_state(const HostClass* cls);

struct MemberCall {
    ScriptEngine* engine;
    HostClass* cls;
    void* instance;
    const Value& receiver;
    Arguments args;
    Value* result;
    const Member* member;  // the table entry being served; null for construct and call
    bool declined = false;

    template <typename T>
    T& data() const {
        return *static_cast<T*>(instance);
    }
    // The class-wide state the declaration's make_state made.
    template <typename T>
    T& state() const {
        return *static_cast<T*>(class_state(cls));
    }
    // The member's context datum, as the type it was given as.
    template <typename T>
    const T& context() const;
    // For a member whose name is this class's only for some receivers: the call or access goes on
    // as if the table lacked the name (a method call as a call of a missing method, a property
    // access to the generic lookup).
    void decline() { declined = true; }
};

using MemberHandler = void (*)(MemberCall& call);
using PropertySetter = void (*)(MemberCall& call, const Value& value);

// What a member needs before its handler runs. Without it the name is not this class's: a method
// call goes on as a call of a method the class lacks, a property access to the generic lookup.
enum class Needs : uint8_t {
    Nothing,
    Instance,  // instance data (an object made by the constructor, not the class object)
    Value,     // a value the class serves as a type (a string, an array), not the class object
};

struct Member {
    const char* name = nullptr;
    MemberHandler method = nullptr;  // a method
    MemberHandler get = nullptr;     // a property read
    PropertySetter set = nullptr;    // a property write; a property without one ignores writes
    Needs needs = Needs::Nothing;
    const void* context = nullptr;   // the member's own datum, for handlers shared by several members
};

template <typename T>
const T& MemberCall::context() const {
    return *static_cast<const T*>(member->context);
}

constexpr Member method(const char* name, MemberHandler handler, Needs needs = Needs::Nothing,
                        const void* context = nullptr) {
    return Member{name, handler, nullptr, nullptr, needs, context};
}
constexpr Member property(const char* name, MemberHandler get, PropertySetter set = nullptr,
                          Needs needs = Needs::Nothing, const void* context = nullptr) {
    return Member{name, nullptr, get, set, needs, context};
}

struct ClassDeclaration {
    const char* name = nullptr;          // the global slot of the class object; null: none
    const char* also_named = nullptr;    // a second global slot for the same class
    const char* class_text = nullptr;    // the toString answer, e.g. "[object RegKey]"
    std::span<const Member> members = {};
    MemberHandler construct = nullptr;   // `new`: writes the new object into the result
    MemberHandler call = nullptr;        // the class object (or an instance) called as a function
    DestroyHandler destroy = nullptr;    // frees instance data; see delete_instance
    MarkHandler mark = nullptr;          // marks values the instance data holds
    // The value types the class serves (its per-type handler entries), for built-in classes.
    std::initializer_list<Tag> types = {};
    // Names the table does not hold go here, for classes whose members are not known in advance.
    MethodHandler other_method = nullptr;
    PropertyHandler other_property = nullptr;
    // No property handler at all, for a class whose table has no properties: a write of any name to
    // its objects warns of an undefined property and stores nothing (otherwise it is stored in the
    // object's own table, or the class prototype table for the class object).
    bool fixed_properties = false;
    // Element reads `o[key]` of its objects call their method "Item" with the key as the only
    // argument (collections whose members are reached by key, such as automation objects).
    bool elements_by_item = false;
    // Class-wide state, one per engine: made at registration, freed with the class (see
    // MemberCall::state and new_state/delete_state).
    void* (*make_state)(ScriptEngine* engine) = nullptr;
    void (*free_state)(void* state) = nullptr;
    // Marks the values the class-wide state holds, at every collection (values host code keeps for
    // the system, such as script functions handed out as callbacks).
    void (*mark_state)(ScriptEngine* engine, void* state) = nullptr;
};

// A make_state handler for state made with `new T`, and the free_state handler that goes with it.
template <typename T>
void* new_state(ScriptEngine*) {
    return new T();
}
template <typename T>
void delete_state(void* state) {
    delete static_cast<T*>(state);
}

// Registers the class: interns its member names, makes the HostClass with the generic handlers,
// stores the class object in its global slot(s) and enters it for its value types. The class stays
// reachable for as long as the engine lives, whatever scripts do to its global, so that other
// classes can make its objects (declared_class).
HostClass* declare_class(ScriptEngine* engine, const ClassDeclaration& declaration);

// The class made from the declaration in this engine, or null when it is not registered.
HostClass* declared_class(ScriptEngine* engine, const ClassDeclaration& declaration);
// The declaration a class was made from, or null for a class not made by declare_class.
const ClassDeclaration* declaration_of(const HostClass* cls);
// The instance data of an object of the declared class, else null (another class, the class
// object, or not a host object at all).
void* instance_of(const Value& value, const ClassDeclaration& declaration);
template <typename T>
T* instance_of(const Value& value, const ClassDeclaration& declaration) {
    return static_cast<T*>(instance_of(value, declaration));
}

// Whether the class was declared with elements_by_item.
bool reads_elements_by_item(const HostClass* cls);

// Runs the class's mark_state handler, if it has one; for the collector.
void mark_class_state(ScriptEngine* engine, const HostClass* cls);

// The class text as a string value.
Value class_text(ScriptEngine* engine, const HostClass* cls);

// A destroy handler for instance data made with `new T`.
template <typename T>
void delete_instance(HostClass*, void* instance) {
    delete static_cast<T*>(instance);
}

// A new object of the class owning the instance data. The data is freed with the object; if making
// the object fails (out of memory, raised), the data is freed here.
template <typename T>
Value make_instance(ScriptEngine* engine, HostClass* cls, std::unique_ptr<T> data) {
    Value object = make_host_object(engine, cls, data.get());
    data.release();
    return object;
}

// A constructor for classes without instance state (`new Shell()`): an object of the class whose
// members behave as the class object's.
void construct_stateless(MemberCall& call);

}  // namespace quill
