#include "player/control/class_factory.h"

#include <atomic>

#include <ocidl.h>

#include "player/control/player_control.h"
#include "player/control/server.h"

namespace tarpon::player {

namespace {

// The control needs no licence; the key handed out is only for containers that insist on one, and
// every key is accepted.
const wchar_t licence_key[] = L"Tarpon Player";

class ClassFactory final : public IClassFactory2 {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ||
            IsEqualIID(iid, IID_IClassFactory2)) {
            *object = static_cast<IClassFactory2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        return create_player_control(outer, iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            server_add_ref();
        } else {
            server_release();
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetLicInfo(LICINFO* info) override {
        if (info == nullptr) {
            return E_POINTER;
        }
        info->cbLicInfo = sizeof(LICINFO);
        info->fRuntimeKeyAvail = TRUE;
        info->fLicVerified = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RequestLicKey(DWORD, BSTR* key) override {
        if (key == nullptr) {
            return E_POINTER;
        }
        *key = SysAllocString(licence_key);
        return *key != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceLic(IUnknown* outer, IUnknown*, REFIID iid, BSTR,
                                                void** object) override {
        return create_player_control(outer, iid, object);
    }

  private:
    std::atomic<ULONG> m_references{1};
    ServerReference m_server;
};

} // namespace

HRESULT create_class_factory(REFIID iid, void** object) {
    auto* factory = new (std::nothrow) ClassFactory;
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

} // namespace tarpon::player
