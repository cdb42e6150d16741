// Class declarations: registration and the generic dispatcher.
#include "engine/values/class_declaration.h"

#include <algorithm>

#include "engine/values/class_dispatch.h"

#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

// Member tables are small and their names are usually interned together at registration, so their
// atoms mostly lie close together: a direct index over that range finds a member in one step.
constexpr Atom direct_index_limit = 512;

void free_class_record(void* data) {
    auto* record = static_cast<ClassData*>(data);
    if (record->state != nullptr && record->declaration->free_state != nullptr) {
        record->declaration->free_state(record->state);
    }
    plain_free(nullptr, record->atoms);
    plain_free(nullptr, record->index);
    plain_free(nullptr, record);
}

const ClassData* data_of(const HostClass* cls) {
    return cls != nullptr && cls->user_data_finalizer == free_class_record
               ? static_cast<const ClassData*>(cls->user_data)
               : nullptr;
}

}  // namespace

const Member* find_member_one_by_one(const ClassData& data, Atom atom) {
    for (uint32_t i = 0; i < data.member_count; ++i) {
        if (data.atoms[i] == atom) {
            return &data.members[i];
        }
    }
    return nullptr;
}

// A method the table does not serve for this receiver: the class text for toString when the table
// has no such name, else the class's handler of other names.
bool method_not_served(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom method,
                       Value* result, Value* args, bool not_in_table) {
    const ClassDeclaration& declaration = *static_cast<const ClassData*>(cls->user_data)->declaration;
    if (not_in_table && method == atom_to_string && declaration.class_text != nullptr) {
        *result = class_text(engine, cls);
        return true;
    }
    const MethodHandler other = declaration.other_method;
    return other != nullptr && other(engine, cls, instance, receiver, method, result, args);
}

bool declined_method(const MemberCall& call) {
    const auto& data = *static_cast<const ClassData*>(call.cls->user_data);
    const Atom method = data.atoms[call.member - data.members];
    return method_not_served(call.engine, call.cls, call.instance, call.receiver, method, call.result,
                             call.args.block(), false);
}

bool dispatch_method(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom method,
                     Value* result, Value* args) {
    return serve_method(engine, cls, instance, receiver, method, result, args);
}

// A property access serve_property does not finish: writes, a member without a getter, a
// handler that declined, a name the table does not serve for this receiver.
bool property_not_served(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver,
                         Atom property, PropertyMode mode, Value* value, const Member* member) {
    const ClassData& data = *static_cast<const ClassData*>(cls->user_data);
    if (member != nullptr && (member->get != nullptr || member->set != nullptr) &&
        needs_met(*member, instance, receiver)) {
        bool declined = false;
        if (mode == PropertyMode::Get) {
            *value = Value::undefined();  // a property without a getter reads as Undefined
        } else if (member->set != nullptr) {
            Value ignored;
            MemberCall call{engine, cls, instance, receiver, Arguments(nullptr), &ignored, member};
            member->set(call, *value);
            declined = call.declined;
        }
        if (!declined) {
            return true;
        }
    }
    const PropertyHandler other = data.declaration->other_property;
    return other != nullptr && other(engine, cls, instance, receiver, property, mode, value);
}

bool dispatch_property(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom property,
                       PropertyMode mode, Value* value) {
    return serve_property(engine, cls, instance, receiver, property, mode, value);
}

namespace {

void dispatch_construct(ScriptEngine* engine, HostClass* cls, Value* args, Value* result) {
    const Value none;
    MemberCall call{engine, cls, nullptr, none, Arguments(args), result, nullptr};
    data_of(cls)->declaration->construct(call);
}

void dispatch_call(ScriptEngine* engine, HostClass* cls, void* instance, Value* result, Value* args) {
    const Value none;
    MemberCall call{engine, cls, instance, none, Arguments(args), result, nullptr};
    data_of(cls)->declaration->call(call);
}

ClassData* make_class_data(ScriptEngine* engine, const ClassDeclaration& declaration) {
    auto* data = static_cast<ClassData*>(plain_allocate(engine, sizeof(ClassData)));
    *data = ClassData{&declaration, declaration.members.data(), 0, 0, 0, nullptr, nullptr, nullptr};
    const auto count = static_cast<uint32_t>(declaration.members.size());
    data->atoms = static_cast<Atom*>(plain_allocate(engine, sizeof(Atom) * (count > 0 ? count : 1)));
    data->member_count = count;
    Atom lowest = 0;
    Atom highest = -1;
    for (uint32_t i = 0; i < count; ++i) {
        Atom atom = intern(engine, declaration.members[i].name);
        data->atoms[i] = atom;
        lowest = i == 0 || atom < lowest ? atom : lowest;
        highest = atom > highest ? atom : highest;
    }
    if (count > 0 && highest - lowest < direct_index_limit) {
        const auto span = static_cast<uint32_t>(highest - lowest + 1);
        data->index = static_cast<const Member**>(plain_allocate(engine, sizeof(const Member*) * span));
        std::fill(data->index, data->index + span, nullptr);
        // Of two entries with one name the first serves, as in the one-by-one search.
        for (uint32_t i = count; i-- > 0;) {
            data->index[data->atoms[i] - lowest] = &declaration.members[i];
        }
        data->lowest = lowest;
        data->span = span;
    }
    return data;
}

}  // namespace

HostClass* declare_class(ScriptEngine* engine, const ClassDeclaration& declaration) {
    HostClass* cls = new_host_class(engine);
    // The class is kept first, so that it is never collected between the steps below.
    engine->declared_classes.push_back({&declaration, cls});
    cls->user_data = make_class_data(engine, declaration);
    cls->user_data_finalizer = free_class_record;
    if (declaration.make_state != nullptr) {
        static_cast<ClassData*>(cls->user_data)->state = declaration.make_state(engine);
    }
    cls->method = dispatch_method;
    cls->property = declaration.fixed_properties ? nullptr : dispatch_property;
    cls->construct = declaration.construct != nullptr ? dispatch_construct : nullptr;
    cls->call = declaration.call != nullptr ? dispatch_call : nullptr;
    cls->destroy = declaration.destroy;
    cls->mark = declaration.mark;
    if (declaration.name != nullptr || declaration.also_named != nullptr) {
        Value object = make_host_object(engine, cls, nullptr);
        if (declaration.name != nullptr) {
            set_global(engine, declaration.name, object);
        }
        if (declaration.also_named != nullptr) {
            set_global(engine, declaration.also_named, object);
        }
    }
    for (Tag tag : declaration.types) {
        engine->type_handlers[static_cast<uint32_t>(tag)] = cls;
    }
    return cls;
}

HostClass* declared_class(ScriptEngine* engine, const ClassDeclaration& declaration) {
    for (const DeclaredClass& entry : engine->declared_classes) {
        if (entry.declaration == &declaration) {
            return entry.cls;
        }
    }
    return nullptr;
}

bool reads_elements_by_item(const HostClass* cls) {
    const ClassData* data = data_of(cls);
    return data != nullptr && data->declaration->elements_by_item;
}

void mark_class_state(ScriptEngine* engine, const HostClass* cls) {
    const ClassData* data = data_of(cls);
    if (data != nullptr && data->state != nullptr && data->declaration->mark_state != nullptr) {
        data->declaration->mark_state(engine, data->state);
    }
}

void* class_state(const HostClass* cls) {
    const ClassData* data = data_of(cls);
    return data != nullptr ? data->state : nullptr;
}

const ClassDeclaration* declaration_of(const HostClass* cls) {
    const ClassData* data = data_of(cls);
    return data != nullptr ? data->declaration : nullptr;
}

void* instance_of(const Value& value, const ClassDeclaration& declaration) {
    if (value.tag != Tag::HostObject || value.payload.host == nullptr) {
        return nullptr;
    }
    const HostRecord* record = value.payload.host;
    return declaration_of(record->cls) == &declaration ? record->instance : nullptr;
}

Value class_text(ScriptEngine* engine, const HostClass* cls) {
    const ClassData* data = data_of(cls);
    const char* text = data != nullptr ? data->declaration->class_text : nullptr;
    return make_string_from_narrow(engine, text != nullptr ? text : "");
}

void construct_stateless(MemberCall& call) { *call.result = make_host_object(call.engine, call.cls, nullptr); }

}  // namespace quill
