// The connection point of the control's event interface: containers advise their sinks here and
// the control fires its events on every sink through IDispatch::Invoke.
#pragma once

#include "platform/windows.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace tarpon::player {

class EventConnection final : public IConnectionPoint {
  public:
    // At most this many sinks at once; Advise beyond it answers CONNECT_E_ADVISELIMIT.
    static constexpr size_t max_sinks = 64;

    // `owner` is the control: the connection point lives inside it and shares its reference count.
    EventConnection(IConnectionPointContainer* owner) : m_owner(owner) {}
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;
    ~EventConnection() { release_all(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_owner->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_owner->Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    // Calls event `id` on every sink advised when the call starts. `arguments` are in declared order
    // (they are reversed for DISPPARAMS here). A sink may unadvise, or release the control, while it
    // runs: the list is copied and the control held for the whole call.
    void fire(DISPID id, VARIANT* arguments, UINT count);
    void release_all();

  private:
    struct Sink {
        DWORD cookie;
        IDispatch* sink;
    };
    IConnectionPointContainer* m_owner;
    std::vector<Sink> m_sinks;
    DWORD m_next_cookie = 1;
};

} // namespace tarpon::player
