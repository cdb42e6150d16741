// Property reads and writes on values of every type.
#include "engine/values/property_access.h"

#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/class_dispatch.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"
#include "engine/values/records.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

// Where the own table of a String, Array or Function lives; null for other tags.
PropertyTable** own_table_slot(const Value& value) {
    switch (value.tag) {
    case Tag::String:
        return &value.payload.string->properties;
    case Tag::Array:
        return &value.payload.array->properties;
    case Tag::Function:
        return &value.payload.function->properties;
    default:
        return nullptr;
    }
}

bool ask_property_handler(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom name,
                          PropertyMode mode, Value* value) {
    if (cls == nullptr || cls->property == nullptr) {
        return false;
    }
    // Declared classes (every built-in one) are served here directly.
    return cls->property == dispatch_property ? serve_property(engine, cls, instance, receiver, name, mode, value)
                                              : cls->property(engine, cls, instance, receiver, name, mode, value);
}

bool get_host_property(ScriptEngine* engine, const Value& target, Atom name, Value* out) {
    HostRecord* record = target.payload.host;
    HostClass* cls = record->cls;
    if (ask_property_handler(engine, cls, record->instance, target, name, PropertyMode::Get, out)) {
        return true;
    }
    PropertyTable* table = record->properties != nullptr ? record->properties : cls->prototype;
    if (name == atom_proto) {
        *out = Value::object(table);
        return true;
    }
    return table != nullptr && table_get(engine, table, name, out);
}

bool set_host_property(ScriptEngine* engine, const Value& target, Atom name, const Value& value) {
    HostRecord* record = target.payload.host;
    HostClass* cls = record->cls;
    if (cls->property == nullptr) {
        warn(engine, Message::UndefinedProperty, atom_name(engine, name));
        return false;
    }
    Value copy = value;
    if (cls->property(engine, cls, record->instance, target, name, PropertyMode::Set, &copy)) {
        return true;
    }
    PropertyTable*& table = record->properties != nullptr ? record->properties : cls->prototype;
    if (name == atom_proto) {
        if (value.tag != Tag::Object) {
            warn(engine, Message::WrongTypeProperty, atom_name(engine, name));
            return false;
        }
        table = value.payload.table;
        return true;
    }
    table_put(engine, table, name, value);
    return true;
}

}  // namespace

PropertyTable* own_table_of(ScriptEngine* engine, const Value& value) {
    PropertyTable** slot = own_table_slot(value);
    if (slot == nullptr) {
        return nullptr;
    }
    if (*slot == nullptr) {
        if (value.tag == Tag::Array) {
            return array_own_table(engine, value.payload.array);
        }
        HostClass* handler = type_handler(engine, value.tag);
        *slot = new_table_with_prototype(engine, handler != nullptr ? handler->prototype : nullptr);
    }
    return *slot;
}

bool get_property(ScriptEngine* engine, const Value& target, Atom name, Value* out) {
    *out = Value::undefined();
    switch (target.tag) {
    case Tag::Object:
        return table_get(engine, target.payload.table, name, out);
    case Tag::HostObject:
        return get_host_property(engine, target, name, out);
    default:
        break;
    }
    HostClass* handler = type_handler(engine, target.tag);
    if (handler == nullptr) {
        return false;
    }
    if (ask_property_handler(engine, handler, nullptr, target, name, PropertyMode::Get, out)) {
        return true;
    }
    PropertyTable** own = own_table_slot(target);
    if (name == atom_proto && own != nullptr) {
        *out = Value::object(own_table_of(engine, target));
        return true;
    }
    PropertyTable* lookup = target.tag == Tag::Array ? array_lookup_table(target.payload.array)
                                                     : (own != nullptr ? *own : nullptr);
    if (lookup != nullptr && table_get(engine, lookup, name, out)) {
        return true;
    }
    return handler->prototype != nullptr && table_get(engine, handler->prototype, name, out);
}

bool set_property(ScriptEngine* engine, const Value& target, Atom name, const Value& value) {
    switch (target.tag) {
    case Tag::Object:
        table_put(engine, target.payload.table, name, value);
        return true;
    case Tag::HostObject:
        return set_host_property(engine, target, name, value);
    default:
        break;
    }
    HostClass* handler = type_handler(engine, target.tag);
    Value copy = value;
    if (ask_property_handler(engine, handler, nullptr, target, name, PropertyMode::Set, &copy)) {
        return true;
    }
    PropertyTable** own = own_table_slot(target);
    if (own == nullptr) {
        warn(engine, Message::UndefinedProperty, atom_name(engine, name));
        return false;
    }
    if (name == atom_proto) {
        if (value.tag != Tag::Object) {
            warn(engine, Message::WrongTypeProperty, atom_name(engine, name));
            return false;
        }
        *own = value.payload.table;
        return true;
    }
    table_put(engine, own_table_of(engine, target), name, value);
    return true;
}

bool conditional_set_property(ScriptEngine* engine, const Value& target, Atom name, const Value& value) {
    Value found;
    switch (target.tag) {
    case Tag::Object:
        if (!table_get(engine, target.payload.table, name, &found)) {
            return false;
        }
        table_put(engine, target.payload.table, name, value);
        return true;
    case Tag::HostObject: {
        HostRecord* record = target.payload.host;
        Value copy = value;
        if (ask_property_handler(engine, record->cls, record->instance, target, name, PropertyMode::Set, &copy)) {
            return true;
        }
        for (PropertyTable* table : {record->properties, record->cls->prototype}) {
            if (table != nullptr && table_get_own(table, name, &found)) {
                table_put(engine, table, name, value);
                return true;
            }
        }
        return false;
    }
    default:
        break;
    }
    Value copy = value;
    if (ask_property_handler(engine, type_handler(engine, target.tag), nullptr, target, name, PropertyMode::Set,
                             &copy)) {
        return true;
    }
    PropertyTable** own = own_table_slot(target);
    if (own != nullptr && *own == nullptr && target.tag == Tag::Array && name == atom_proto &&
        target.payload.array->prototype != nullptr) {
        // The array's table is not made yet; made, it would hold its "__proto__".
        array_own_table(engine, target.payload.array);
    }
    if (own != nullptr && *own != nullptr && table_get_own(*own, name, &found)) {
        table_put(engine, *own, name, value);
        return true;
    }
    return false;
}

}  // namespace quill
