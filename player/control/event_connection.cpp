#include "player/control/event_connection.h"

#include <algorithm>

#include "player/control/guids.h"

namespace tarpon::player {

HRESULT EventConnection::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT EventConnection::GetConnectionInterface(IID* iid) {
    if (iid == nullptr) {
        return E_POINTER;
    }
    *iid = diid_shockwave_flash_events;
    return S_OK;
}

HRESULT EventConnection::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (container == nullptr) {
        return E_POINTER;
    }
    m_owner->AddRef();
    *container = m_owner;
    return S_OK;
}

HRESULT EventConnection::Advise(IUnknown* sink, DWORD* cookie) {
    if (cookie == nullptr) {
        return E_POINTER;
    }
    *cookie = 0;
    if (sink == nullptr) {
        return E_POINTER;
    }
    if (m_sinks.size() >= max_sinks) {
        return CONNECT_E_ADVISELIMIT;
    }
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(diid_shockwave_flash_events, reinterpret_cast<void**>(&dispatch))) ||
        dispatch == nullptr) {
        if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) ||
            dispatch == nullptr) {
            return CONNECT_E_CANNOTCONNECT;
        }
    }
    m_sinks.push_back({m_next_cookie, dispatch});
    *cookie = m_next_cookie++;
    if (m_next_cookie == 0) {
        m_next_cookie = 1;
    }
    return S_OK;
}

HRESULT EventConnection::Unadvise(DWORD cookie) {
    auto found = std::find_if(m_sinks.begin(), m_sinks.end(),
                              [cookie](const Sink& sink) { return sink.cookie == cookie; });
    if (found == m_sinks.end()) {
        return CONNECT_E_NOCONNECTION;
    }
    IDispatch* sink = found->sink;
    m_sinks.erase(found);
    sink->Release();
    return S_OK;
}

HRESULT EventConnection::EnumConnections(IEnumConnections** connections) {
    if (connections != nullptr) {
        *connections = nullptr;
    }
    return E_NOTIMPL;
}

void EventConnection::fire(DISPID id, VARIANT* arguments, UINT count) {
    if (m_sinks.empty()) {
        return;
    }
    m_owner->AddRef();
    std::vector<IDispatch*> sinks;
    sinks.reserve(m_sinks.size());
    for (const Sink& sink : m_sinks) {
        sink.sink->AddRef();
        sinks.push_back(sink.sink);
    }
    std::vector<VARIANT> reversed(arguments, arguments + count);
    std::reverse(reversed.begin(), reversed.end());
    for (IDispatch* sink : sinks) {
        // Each sink gets its own copy: a sink may change the arguments it is given.
        std::vector<VARIANT> copies(count);
        for (UINT i = 0; i < count; ++i) {
            VariantInit(&copies[i]);
            VariantCopy(&copies[i], &reversed[i]);
        }
        DISPPARAMS params{count != 0 ? copies.data() : nullptr, nullptr, count, 0};
        VARIANT result;
        VariantInit(&result);
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        VariantClear(&result);
        for (VARIANT& copy : copies) {
            VariantClear(&copy);
        }
        sink->Release();
    }
    m_owner->Release();
}

void EventConnection::release_all() {
    std::vector<Sink> sinks;
    sinks.swap(m_sinks);
    for (const Sink& sink : sinks) {
        sink.sink->Release();
    }
}

} // namespace tarpon::player
