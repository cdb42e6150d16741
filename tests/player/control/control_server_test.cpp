// The DLL as a COM server: the factory from DllGetClassObject, plain and licensed creation, refused
// aggregation and class ids, and the unload answer.
#include <gtest/gtest.h>

#include "player/control/guids.h"
#include "test_container.h"

namespace tarpon::player::test {
namespace {

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

TEST(PlayerServer, FactoryRefusesOtherClassesAndAggregation) {
    ASSERT_NE(player_library(), nullptr);
    auto get = library_export<GetClassObject>(player_library(), "DllGetClassObject");
    ASSERT_NE(get, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(get(IID_IUnknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);

    ComPtr<IClassFactory> factory = player_factory();
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> outer;
    factory->CreateInstance(nullptr, IID_IUnknown, outer.put_void());
    ASSERT_TRUE(outer);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, aggregated.put_void()),
              CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(aggregated);
    ComPtr<IUnknown> wrong;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, wrong.put_void()), E_NOINTERFACE);
}

TEST(PlayerServer, LicensedCreationAcceptsAnyKey) {
    ComPtr<IClassFactory> factory = player_factory();
    ASSERT_TRUE(factory);
    auto licensed = factory.query<IClassFactory2>(IID_IClassFactory2);
    ASSERT_TRUE(licensed);
    LICINFO info{};
    ASSERT_EQ(licensed->GetLicInfo(&info), S_OK);
    EXPECT_TRUE(info.fLicVerified);
    BSTR key = nullptr;
    ASSERT_EQ(licensed->RequestLicKey(0, &key), S_OK);
    ComPtr<IShockwaveFlash> flash;
    EXPECT_EQ(licensed->CreateInstanceLic(nullptr, nullptr, iid_shockwave_flash, key, flash.put_void()),
              S_OK);
    EXPECT_TRUE(flash);
    SysFreeString(key);
    BSTR other = SysAllocString(L"a key meant for another player");
    ComPtr<IShockwaveFlash> second;
    EXPECT_EQ(licensed->CreateInstanceLic(nullptr, nullptr, iid_shockwave_flash, other, second.put_void()),
              S_OK);
    SysFreeString(other);
}

TEST(PlayerServer, CanUnloadOnlyWithoutLiveObjectsOrLocks) {
    auto can_unload = library_export<CanUnloadNow>(player_library(), "DllCanUnloadNow");
    ASSERT_NE(can_unload, nullptr);
    ASSERT_EQ(can_unload(), S_OK);
    {
        ComPtr<IClassFactory> factory = player_factory();
        EXPECT_EQ(can_unload(), S_FALSE);
        ComPtr<IShockwaveFlash> flash;
        factory->CreateInstance(nullptr, iid_shockwave_flash, flash.put_void());
        factory.reset();
        EXPECT_EQ(can_unload(), S_FALSE);
        flash.reset();
        EXPECT_EQ(can_unload(), S_OK);
        factory = player_factory();
        factory->LockServer(TRUE);
        factory.reset();
        EXPECT_EQ(can_unload(), S_FALSE);
        factory = player_factory();
        factory->LockServer(FALSE);
    }
    EXPECT_EQ(can_unload(), S_OK);
}

TEST(PlayerServer, DllCarriesAVersionResource) {
    wchar_t path[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(player_library(), path, MAX_PATH), 0u);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST(PlayerServer, ManualRegistrationNamesTheDllAndIsUndone) {
    using Register = HRESULT(STDAPICALLTYPE*)();
    auto register_server = library_export<Register>(player_library(), "DllRegisterServer");
    auto unregister_server = library_export<Register>(player_library(), "DllUnregisterServer");
    ASSERT_NE(register_server, nullptr);
    ASSERT_NE(unregister_server, nullptr);
    const wchar_t* server_key =
        L"Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32";
    ASSERT_EQ(unregister_server(), S_OK); // leftovers of an earlier run, or nothing
    ASSERT_EQ(register_server(), S_OK);
    wchar_t registered[MAX_PATH] = {};
    DWORD size = sizeof(registered);
    LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, server_key, nullptr, RRF_RT_REG_SZ, nullptr, registered, &size);
    wchar_t model[32] = {};
    DWORD model_size = sizeof(model);
    RegGetValueW(HKEY_CURRENT_USER, server_key, L"ThreadingModel", RRF_RT_REG_SZ, nullptr, model,
                 &model_size);
    EXPECT_EQ(unregister_server(), S_OK);
    ASSERT_EQ(status, ERROR_SUCCESS);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(player_library(), path, MAX_PATH);
    EXPECT_STREQ(registered, path);
    EXPECT_STREQ(model, L"Apartment");
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, server_key, 0, KEY_READ, &key), ERROR_SUCCESS);
}

} // namespace
} // namespace tarpon::player::test
