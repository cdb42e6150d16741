// The dispatcher of declared classes, for the class declarations and for the interpreter's own
// method calls, which serve a declared class's members without the extra call through the class's
// method handler. Nothing else needs this header: hosts declare classes with class_declaration.h.
#pragma once

#include <cstdint>

#include "engine/values/class_declaration.h"

namespace quill {

// The user data of a declared class: its declaration and the atoms of its members, in table order.
struct ClassData {
    const ClassDeclaration* declaration;
    const Member* members;  // the declaration's table
    uint32_t member_count;
    Atom lowest;            // the direct index covers atoms lowest .. lowest + span - 1
    uint32_t span;          // 0 when the members are looked up one by one
    Atom* atoms;            // member_count atoms
    const Member** index;   // span entries: the member of that atom, or null
    void* state;            // the class-wide state, or null
};

const Member* find_member_one_by_one(const ClassData& data, Atom atom);
// The rare paths, kept out of line so that the one below stays short.
bool method_not_served(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom method,
                       Value* result, Value* args, bool not_in_table);
bool declined_method(const MemberCall& call);
bool property_not_served(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver,
                         Atom property, PropertyMode mode, Value* value, const Member* member);
// The method and property handlers of every declared class.
bool dispatch_property(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom property,
                       PropertyMode mode, Value* value);
bool dispatch_method(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom method,
                     Value* result, Value* args);

// Every member call and property access comes here first, so the direct index is one unsigned
// comparison and one load.
inline const Member* find_member(const ClassData& data, Atom atom) {
    const uint32_t offset = static_cast<uint32_t>(atom) - static_cast<uint32_t>(data.lowest);
    if (offset < data.span) {
        return data.index[offset];
    }
    return data.span > 0 ? nullptr : find_member_one_by_one(data, atom);
}

inline bool needs_met(const Member& member, void* instance, const Value& receiver) {
    if (member.needs == Needs::Nothing) {
        return true;
    }
    return member.needs == Needs::Instance ? instance != nullptr : receiver.tag != Tag::HostObject;
}

// What dispatch_method does, for a class whose method handler it is.
inline bool serve_method(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom method,
                         Value* result, Value* args) {
    const ClassData& data = *static_cast<const ClassData*>(cls->user_data);
    const Member* member = find_member(data, method);
    if (member == nullptr || member->method == nullptr || !needs_met(*member, instance, receiver)) [[unlikely]] {
        return method_not_served(engine, cls, instance, receiver, method, result, args, member == nullptr);
    }
    // Nothing but the call record lives across the handler, which keeps this path short.
    MemberCall call{engine, cls, instance, receiver, Arguments(args), result, member};
    member->method(call);
    return !call.declined || declined_method(call);
}

// What dispatch_property does, for a class whose property handler it is: the fast path is a read
// through a getter.
inline bool serve_property(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver,
                           Atom property, PropertyMode mode, Value* value) {
    const ClassData& data = *static_cast<const ClassData*>(cls->user_data);
    const Member* member = find_member(data, property);
    if (member == nullptr || mode != PropertyMode::Get || member->get == nullptr ||
        !needs_met(*member, instance, receiver)) {
        return property_not_served(engine, cls, instance, receiver, property, mode, value, member);
    }
    *value = Value::undefined();
    MemberCall call{engine, cls, instance, receiver, Arguments(nullptr), value, member};
    member->get(call);
    // A getter that declined: as if the table lacked the name.
    return !call.declined || property_not_served(engine, cls, instance, receiver, property, mode, value, nullptr);
}

}  // namespace quill
