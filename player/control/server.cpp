// The DLL's entry point and COM exports. Nothing is registered for the control to work: a container
// loads the DLL and asks DllGetClassObject for the factory. DllRegisterServer writes the class id's
// in-process server entry under the current user's classes for those who want creation by class id.
#include "player/control/server.h"

#include <atomic>
#include <string>

#include <objbase.h>

#include "player/control/class_factory.h"
#include "player/control/guids.h"
#include "player/control/player_control.h"

namespace tarpon::player {

namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_users{0};

const wchar_t class_key[] = L"Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";

bool set_string(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

} // namespace

HINSTANCE module_instance() { return g_instance; }

void server_add_ref() { ++g_users; }
void server_release() { --g_users; }
bool server_in_use() { return g_users.load() != 0; }

} // namespace tarpon::player

using namespace tarpon::player;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary: a later load may land at another address.
        unregister_control_window_class();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(clsid, clsid_shockwave_flash)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return create_class_factory(iid, object);
}

STDAPI DllCanUnloadNow() { return server_in_use() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(g_instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return SELFREG_E_CLASS;
    }
    const std::wstring key = class_key;
    bool ok = set_string(HKEY_CURRENT_USER, key, nullptr, L"Tarpon Player Control") &&
              set_string(HKEY_CURRENT_USER, key + L"\\InprocServer32", nullptr, path) &&
              set_string(HKEY_CURRENT_USER, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    LONG status = RegDeleteTreeW(HKEY_CURRENT_USER, class_key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
