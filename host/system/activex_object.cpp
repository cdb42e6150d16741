// The ActiveXObject class: an automation object reached by late binding. Any name a script uses on
// the object that the class itself does not have goes to the object: a read is a property get, a
// call a method call (or property get with arguments), a write a property put (put by reference for
// an object). Each name is resolved once per object and kept.
#include "host/system/activex_object.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/values/atoms.h"
#include "host/common/class.h"
#include "host/system/dispatch_call.h"
#include "host/system/object_events.h"
#include "host/system/script_callback.h"
#include "host/system/system_classes.h"
#include "platform/wide_text.h"

namespace tarpon::host {

namespace {

using platform::ComPtr;

// Members are destroyed last first: the events are disconnected before the object is let go, and
// the apartment outlives both.
struct ActiveXRecord {
    platform::ComScope com;
    ComPtr<IDispatch> dispatch;
    std::unordered_map<Atom, DISPID> ids;  // the names resolved so far
    ObjectEvents events;
};

ActiveXRecord& record_of(const MemberCall& call) { return call.data<ActiveXRecord>(); }

// The dispatch id of the name, from the object the first time.
bool id_of(ScriptEngine* engine, ActiveXRecord& record, Atom name, DISPID* id) {
    const auto known = record.ids.find(name);
    if (known != record.ids.end()) {
        *id = known->second;
        return true;
    }
    if (!dispatch_id_of(engine, record.dispatch.get(), atom_name(engine, name), id)) {
        return false;
    }
    record.ids.emplace(name, *id);
    return true;
}

// An object by program id ("Scripting.Dictionary") or class id ("{...}").
Value create_object(ScriptEngine* engine, HostClass* cls, const StringRecord* name) {
    if (name == nullptr) {
        return Value::null();
    }
    const std::wstring wide = wide_text(name);
    auto record = std::make_unique<ActiveXRecord>();
    CLSID clsid;
    HRESULT result = wide.starts_with(L'{') ? CLSIDFromString(wide.c_str(), &clsid)
                                             : CLSIDFromProgID(wide.c_str(), &clsid);
    if (SUCCEEDED(result)) {
        result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  record->dispatch.put_void());
    }
    if (FAILED(result) || !record->dispatch) {
        store_automation_error(engine, FAILED(result) ? result : E_NOINTERFACE, nullptr, ansi_text(name));
        return Value::null();
    }
    return make_instance(engine, cls, std::move(record));
}

void activex_construct(MemberCall& call) {
    *call.result = create_object(call.engine, call.cls, call.args.string(0));
}

// The class called as a function makes an object as `new` does; an object called as a function
// calls its default member.
void activex_call(MemberCall& call) {
    if (call.instance == nullptr) {
        activex_construct(call);
        return;
    }
    Arguments& args = call.args;
    dispatch_invoke(call.engine, record_of(call).dispatch.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                    args.count() > 0 ? &args.cell(0) : nullptr, args.count(), call.result, "ActiveXObject");
}

// attachEvent(name, function) and detachEvent(name, function): true when done.
template <bool attach>
void change_event(MemberCall& call) {
    const StringRecord* name = call.args.string(0);
    *call.result = Value::boolean(false);
    if (name == nullptr || !call.args.is(1, Tag::Function)) {
        return;
    }
    ActiveXRecord& record = record_of(call);
    const std::string text = ansi_text(name);
    const bool done = attach ? record.events.attach(call.engine, record.dispatch.get(), text, call.args[1])
                             : record.events.detach(call.engine, text, call.args[1]);
    *call.result = Value::boolean(done);
}

// Any other name goes to the object. The class object has none: it is no automation object.
bool activex_method(ScriptEngine* engine, HostClass*, void* instance, const Value&, Atom method, Value* result,
                    Value* args) {
    if (instance == nullptr) {
        return false;
    }
    auto& record = *static_cast<ActiveXRecord*>(instance);
    DISPID id = 0;
    // Conversions to a primitive ask valueOf: the object's default value when it has one that is
    // a primitive (an object as the default value would only be asked again).
    if (method == atom_value_of && !record.ids.contains(method)) {
        const bool valued = dispatch_invoke(engine, record.dispatch.get(), DISPID_VALUE, DISPATCH_PROPERTYGET,
                                            nullptr, 0, result, "valueOf");
        if (valued && result->is_primitive()) {
            return true;
        }
        *result = Value::undefined();
        return false;
    }
    *result = Value::undefined();
    if (!id_of(engine, record, method, &id)) {
        return true;
    }
    const uint32_t count = argument_count(args);
    dispatch_invoke(engine, record.dispatch.get(), id, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                    count > 0 ? args + 1 : nullptr, count, result, atom_name(engine, method));
    return true;
}

bool activex_property(ScriptEngine* engine, HostClass*, void* instance, const Value&, Atom property,
                      PropertyMode mode, Value* value) {
    if (instance == nullptr) {
        return false;
    }
    auto& record = *static_cast<ActiveXRecord*>(instance);
    DISPID id = 0;
    if (!id_of(engine, record, property, &id)) {
        if (mode == PropertyMode::Get) {
            *value = Value::undefined();
        }
        return true;
    }
    const char* name = atom_name(engine, property);
    if (mode == PropertyMode::Get) {
        dispatch_invoke(engine, record.dispatch.get(), id, DISPATCH_PROPERTYGET, nullptr, 0, value, name);
        return true;
    }
    // Objects (and functions, which go as callback objects) are put by reference.
    const bool object = value->tag == Tag::Function || activex_object_dispatch(*value) != nullptr;
    Value ignored;
    dispatch_invoke(engine, record.dispatch.get(), id, object ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, value,
                    1, &ignored, name);
    return true;
}

void mark_activex(ScriptEngine* engine, HostClass*, void* instance) {
    if (instance != nullptr) {
        static_cast<const ActiveXRecord*>(instance)->events.mark(engine);
    }
}

constexpr Needs instance = Needs::Instance;

const Member activex_members[] = {
    method("attachEvent", change_event<true>, instance),
    method("detachEvent", change_event<false>, instance),
};

const ClassDeclaration activex_class = {
    .name = "ActiveXObject",
    .class_text = "[object ActiveXObject]",
    .members = activex_members,
    .construct = activex_construct,
    .call = activex_call,
    .destroy = delete_instance<ActiveXRecord>,
    .mark = mark_activex,
    .other_method = activex_method,
    .other_property = activex_property,
    .elements_by_item = true,
    .make_state = make_callback_registry,
    .free_state = free_callback_registry,
    .mark_state = mark_callback_registry,
};

}  // namespace

void register_activex_object_class(ScriptEngine* engine) { declare_class(engine, activex_class); }

Value make_activex_object(ScriptEngine* engine, IDispatch* object) {
    HostClass* cls = declared_class(engine, activex_class);
    if (cls == nullptr || object == nullptr) {
        return Value::null();
    }
    auto record = std::make_unique<ActiveXRecord>();
    object->AddRef();
    record->dispatch = ComPtr<IDispatch>(object);
    return make_instance(engine, cls, std::move(record));
}

IDispatch* activex_object_dispatch(const Value& value) {
    const auto* record = instance_of<ActiveXRecord>(value, activex_class);
    return record != nullptr ? record->dispatch.get() : nullptr;
}

void* activex_class_state(ScriptEngine* engine) {
    HostClass* cls = declared_class(engine, activex_class);
    return cls != nullptr ? class_state(cls) : nullptr;
}

}  // namespace tarpon::host
