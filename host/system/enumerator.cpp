// The Enumerator class: a cursor over the items of a collection, an automation object's (through
// the IEnumVARIANT of its _NewEnum member) or a script Array's.
#include <cstdint>
#include <memory>

#include "engine/values/array.h"
#include "engine/values/collector.h"
#include "engine/values/records.h"
#include "host/common/class.h"
#include "host/system/activex_object.h"
#include "host/system/dispatch_call.h"
#include "host/system/system_classes.h"
#include "host/system/variant_conversion.h"

namespace tarpon::host {

namespace {

using platform::ComPtr;

struct EnumeratorRecord {
    platform::ComScope com;
    // Over an automation collection: its enumeration and the item it stands at.
    ComPtr<IEnumVARIANT> items;
    platform::Variant current;
    bool at_end = true;
    // Over an Array (else Undefined) and the index it stands at.
    Value array;
    uint64_t index = 0;
};

EnumeratorRecord& record_of(const MemberCall& call) { return call.data<EnumeratorRecord>(); }

void fetch(EnumeratorRecord& record) {
    ULONG fetched = 0;
    record.at_end = !record.items || record.items->Next(1, record.current.put(), &fetched) != S_OK || fetched != 1;
}

// The enumeration of the object's _NewEnum member; empty, with the error text stored, when it has none.
ComPtr<IEnumVARIANT> enumeration_of(ScriptEngine* engine, IDispatch* object) {
    platform::Variant answer;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO exception{};
    HRESULT result = object->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, answer.get(), &exception, nullptr);
    ComPtr<IEnumVARIANT> items;
    if (SUCCEEDED(result)) {
        VARIANT* v = answer.get();
        IUnknown* unknown = V_VT(v) == VT_UNKNOWN    ? V_UNKNOWN(v)
                            : V_VT(v) == VT_DISPATCH ? static_cast<IUnknown*>(V_DISPATCH(v))
                                                     : nullptr;
        result = unknown != nullptr ? unknown->QueryInterface(IID_IEnumVARIANT, items.put_void()) : E_NOINTERFACE;
    }
    if (FAILED(result)) {
        store_automation_error(engine, result, result == DISP_E_EXCEPTION ? &exception : nullptr, "Enumerator");
        items.reset();
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return items;
}

// new Enumerator(collection): Null for a value that is no collection; without an argument, an
// enumerator that is at its end.
void enumerator_construct(MemberCall& call) {
    *call.result = Value::null();
    const Value& collection = call.args[0];
    auto record = std::make_unique<EnumeratorRecord>();
    if (collection.tag == Tag::Array) {
        record->array = collection;
    } else if (IDispatch* object = activex_object_dispatch(collection)) {
        record->items = enumeration_of(call.engine, object);
        if (!record->items) {
            return;
        }
        fetch(*record);
    } else if (collection.tag != Tag::Undefined) {
        return;
    }
    *call.result = make_instance(call.engine, call.cls, std::move(record));
}

bool array_at_end(const EnumeratorRecord& record) {
    return record.array.tag != Tag::Array || record.index >= record.array.payload.array->length;
}

void enumerator_at_end(MemberCall& call) {
    const EnumeratorRecord& record = record_of(call);
    *call.result = Value::boolean(record.array.tag == Tag::Array ? array_at_end(record) : record.at_end);
}

void enumerator_item(MemberCall& call) {
    EnumeratorRecord& record = record_of(call);
    if (record.array.tag == Tag::Array) {
        const Value* element = array_at_end(record) ? nullptr : array_get(record.array.payload.array, record.index);
        *call.result = element != nullptr ? *element : Value::undefined();
    } else if (!record.at_end) {
        *call.result = variant_to_value(call.engine, *record.current.get());
    }
}

void enumerator_move_first(MemberCall& call) {
    EnumeratorRecord& record = record_of(call);
    record.index = 0;
    if (record.items) {
        record.items->Reset();
        fetch(record);
    }
}

void enumerator_move_next(MemberCall& call) {
    EnumeratorRecord& record = record_of(call);
    if (record.array.tag == Tag::Array) {
        record.index += array_at_end(record) ? 0 : 1;
    } else if (!record.at_end) {
        fetch(record);
    }
}

void mark_enumerator(ScriptEngine* engine, HostClass*, void* instance) {
    if (instance != nullptr) {
        mark_value(engine, static_cast<const EnumeratorRecord*>(instance)->array);
    }
}

constexpr Needs instance = Needs::Instance;

const Member enumerator_members[] = {
    method("atEnd", enumerator_at_end, instance),
    method("item", enumerator_item, instance),
    method("moveFirst", enumerator_move_first, instance),
    method("moveNext", enumerator_move_next, instance),
};

const ClassDeclaration enumerator_class = {
    .name = "Enumerator",
    .class_text = "[object Enumerator]",
    .members = enumerator_members,
    .construct = enumerator_construct,
    .call = enumerator_construct,
    .destroy = delete_instance<EnumeratorRecord>,
    .mark = mark_enumerator,
    .fixed_properties = true,
};

}  // namespace

void register_enumerator_class(ScriptEngine* engine) { declare_class(engine, enumerator_class); }

}  // namespace tarpon::host
