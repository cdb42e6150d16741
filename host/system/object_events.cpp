#include "host/system/object_events.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <ocidl.h>
#include <olectl.h>

#include "engine/values/collector.h"
#include "engine/values/errors.h"
#include "host/common/text.h"
#include "host/system/dispatch_call.h"
#include "host/system/script_callback.h"
#include "platform/wide_text.h"

namespace tarpon::host {

using namespace quill;
using platform::ComPtr;

namespace {

// The player control's event interface describes no type: its events are known by name here.
const IID player_events = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
struct KnownEvent {
    const char* name;
    DISPID id;
};
const KnownEvent player_event_names[] = {
    {"OnReadyStateChange", -609},
    {"OnProgress", 1958},
    {"FSCommand", 150},
    {"FlashCall", 197},
};

// Reads a type's attributes through `read` and gives them back at once.
template <typename Read>
bool read_type_attr(ITypeInfo* type, Read&& read) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(type->GetTypeAttr(&attributes))) {
        return false;
    }
    read(*attributes);
    type->ReleaseTypeAttr(attributes);
    return true;
}

// The first interface the coclass lists with exactly the wanted default and source flags whose
// identifier `accept` takes, with its type information.
template <typename Accept>
bool find_implemented(ITypeInfo* coclass, INT wanted_flags, Accept&& accept, ComPtr<ITypeInfo>* found) {
    WORD count = 0;
    read_type_attr(coclass, [&](const TYPEATTR& a) { count = a.typekind == TKIND_COCLASS ? a.cImplTypes : 0; });
    const INT relevant = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    for (UINT i = 0; i < count; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> implemented;
        bool accepted = false;
        if (SUCCEEDED(coclass->GetImplTypeFlags(i, &flags)) && (flags & relevant) == wanted_flags &&
            SUCCEEDED(coclass->GetRefTypeOfImplType(i, &reference)) &&
            SUCCEEDED(coclass->GetRefTypeInfo(reference, implemented.put())) &&
            read_type_attr(implemented.get(), [&](const TYPEATTR& a) { accepted = accept(a.guid); }) && accepted) {
            *found = std::move(implemented);
            return true;
        }
    }
    return false;
}

// The default source interface of a coclass: its type information and interface id.
bool default_source_of(ITypeInfo* coclass, ComPtr<ITypeInfo>* source, IID* iid) {
    return find_implemented(
        coclass, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE,
        [&](const GUID& id) {
            *iid = id;
            return true;
        },
        source);
}

// Whether the coclass has the interface as its default (non-source) interface.
bool is_default_interface_of(ITypeInfo* coclass, const GUID& interface_id) {
    ComPtr<ITypeInfo> implemented;
    return find_implemented(
        coclass, IMPLTYPEFLAG_FDEFAULT, [&](const GUID& id) { return IsEqualGUID(id, interface_id) != 0; },
        &implemented);
}

// Without class information: the coclass of the type library of the object's own type that has that
// type as its default interface.
bool default_source_from_type(IDispatch* object, ComPtr<ITypeInfo>* source, IID* iid) {
    ComPtr<ITypeInfo> own;
    ComPtr<ITypeLib> library;
    UINT index = 0;
    GUID own_id;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, own.put())) || !own ||
        FAILED(own->GetContainingTypeLib(library.put(), &index)) ||
        !read_type_attr(own.get(), [&](const TYPEATTR& a) { own_id = a.guid; })) {
        return false;
    }
    const UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind;
        ComPtr<ITypeInfo> coclass;
        if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_COCLASS &&
            SUCCEEDED(library->GetTypeInfo(i, coclass.put())) && is_default_interface_of(coclass.get(), own_id) &&
            default_source_of(coclass.get(), source, iid)) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The sink advised on the object's connection point: the attached functions by event id.
class EventSink final : public platform::DispatchObject {
public:
    EventSink(ScriptEngine* engine, const IID& source)
        : DispatchObject(source), m_engine(engine), m_thread(GetCurrentThreadId()) {}

    std::vector<std::pair<DISPID, Value>>& handlers() { return m_handlers; }
    // From here on the sink calls nothing.
    void cut_off() {
        m_engine = nullptr;
        m_handlers.clear();
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    // Every function attached to the event when it fires is called, unless an earlier one detaches
    // it; failures are dropped.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (result != nullptr) {
            VariantInit(result);
        }
        if (m_engine == nullptr || GetCurrentThreadId() != m_thread) {
            return S_OK;
        }
        if (params != nullptr && params->cArgs > 0 && params->rgvarg == nullptr) {
            return E_INVALIDARG;
        }
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        std::vector<Value> called;
        for (const auto& [event, function] : m_handlers) {
            if (event == id) {
                called.push_back(function);
            }
        }
        AddRef();
        for (const Value& function : called) {
            const bool still_attached = std::any_of(m_handlers.begin(), m_handlers.end(), [&](const auto& handler) {
                return handler.first == id && handler.second.payload.function == function.payload.function;
            });
            if (m_engine == nullptr || !still_attached) {
                continue;
            }
            call_script_function(m_engine, function, params != nullptr ? *params : none, nullptr, nullptr);
        }
        Release();
        return S_OK;
    }

private:
    ~EventSink() override = default;

    ScriptEngine* m_engine;
    DWORD m_thread;
    std::vector<std::pair<DISPID, Value>> m_handlers;
};

ObjectEvents::~ObjectEvents() {
    if (m_sink == nullptr) {
        return;
    }
    m_sink->cut_off();
    if (m_point) {
        m_point->Unadvise(m_cookie);
    }
    m_sink->Release();
}

bool ObjectEvents::connect(ScriptEngine* engine, IDispatch* object) {
    ComPtr<IDispatch> held(object);
    object->AddRef();
    bool found = false;
    if (ComPtr<IProvideClassInfo> info = held.query<IProvideClassInfo>(IID_IProvideClassInfo)) {
        ComPtr<ITypeInfo> coclass;
        found = SUCCEEDED(info->GetClassInfo(coclass.put())) && coclass &&
                default_source_of(coclass.get(), &m_source_info, &m_source);
    }
    if (!found) {
        if (ComPtr<IProvideClassInfo2> info = held.query<IProvideClassInfo2>(IID_IProvideClassInfo2)) {
            found = SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &m_source));
        }
    }
    if (!found) {
        found = default_source_from_type(object, &m_source_info, &m_source);
    }
    if (!found) {
        store_automation_error(engine, CONNECT_E_NOCONNECTION, nullptr, "attachEvent");
        return false;
    }
    ComPtr<IConnectionPointContainer> container =
        held.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    HRESULT connected = container ? container->FindConnectionPoint(m_source, m_point.put()) : E_NOINTERFACE;
    auto* sink = new EventSink(engine, m_source);
    if (SUCCEEDED(connected)) {
        connected = m_point->Advise(sink, &m_cookie);
    }
    if (FAILED(connected)) {
        sink->Release();
        m_point.reset();
        store_automation_error(engine, connected, nullptr, "attachEvent");
        return false;
    }
    m_sink = sink;
    return true;
}

bool ObjectEvents::event_id(ScriptEngine* engine, std::string_view name, DISPID* id) const {
    if (m_source_info) {
        std::wstring wide = platform::ansi_to_wide(name);
        LPOLESTR names[] = {wide.data()};
        const HRESULT found = m_source_info->GetIDsOfNames(names, 1, id);
        if (SUCCEEDED(found)) {
            return true;
        }
        store_automation_error(engine, found, nullptr, name);
        return false;
    }
    if (IsEqualIID(m_source, player_events)) {
        for (const KnownEvent& known : player_event_names) {
            if (equal_ignoring_ascii_case(name, known.name)) {
                *id = known.id;
                return true;
            }
        }
    }
    store_automation_error(engine, DISP_E_UNKNOWNNAME, nullptr, name);
    return false;
}

bool ObjectEvents::attach(ScriptEngine* engine, IDispatch* object, std::string_view name, const Value& function) {
    if (m_sink == nullptr && !connect(engine, object)) {
        return false;
    }
    DISPID id = 0;
    if (!event_id(engine, name, &id)) {
        return false;
    }
    m_sink->handlers().emplace_back(id, function);
    return true;
}

bool ObjectEvents::detach(ScriptEngine* engine, std::string_view name, const Value& function) {
    DISPID id = 0;
    if (m_sink == nullptr || !event_id(engine, name, &id)) {
        return false;
    }
    auto& handlers = m_sink->handlers();
    const auto found = std::find_if(handlers.begin(), handlers.end(), [&](const auto& handler) {
        return handler.first == id && handler.second.payload.function == function.payload.function;
    });
    if (found == handlers.end()) {
        return false;
    }
    handlers.erase(found);
    return true;
}

void ObjectEvents::mark(ScriptEngine* engine) const {
    if (m_sink == nullptr) {
        return;
    }
    for (const auto& handler : m_sink->handlers()) {
        mark_value(engine, handler.second);
    }
}

}  // namespace tarpon::host
