// The control's identity and its automation interface through the vtable and through Invoke, as a
// container and a script host use it: one object behind every interface, IDispatch being the dual
// interface itself, names without regard to case, coerced and reversed arguments, and members that
// are not modelled answering without harm.
#include <gtest/gtest.h>

#include "player/control/guids.h"
#include "test_container.h"

namespace tarpon::player::test {
namespace {

ComPtr<IShockwaveFlash> new_control() {
    ComPtr<IShockwaveFlash> flash;
    if (ComPtr<IClassFactory> factory = player_factory()) {
        factory->CreateInstance(nullptr, iid_shockwave_flash, flash.put_void());
    }
    return flash;
}

TEST(PlayerDispatch, EveryInterfaceLeadsToOneIdentity) {
    ComPtr<IShockwaveFlash> flash = new_control();
    ASSERT_TRUE(flash);
    auto dispatch = flash.query<IDispatch>(IID_IDispatch);
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(flash.get()));
    auto identity = flash.query<IUnknown>(IID_IUnknown);
    const IID interfaces[] = {IID_IOleObject,
                              IID_IOleInPlaceObject,
                              IID_IOleInPlaceActiveObject,
                              IID_IOleControl,
                              IID_IViewObject,
                              IID_IViewObject2,
                              IID_IOleWindow,
                              IID_IConnectionPointContainer,
                              IID_IProvideClassInfo2,
                              IID_IPersistStreamInit,
                              IID_IPersist};
    for (const IID& iid : interfaces) {
        ComPtr<IUnknown> other;
        ASSERT_EQ(flash->QueryInterface(iid, other.put_void()), S_OK);
        ComPtr<IUnknown> back = other.query<IUnknown>(IID_IUnknown);
        EXPECT_EQ(back.get(), identity.get());
        ComPtr<IShockwaveFlash> again = other.query<IShockwaveFlash>(iid_shockwave_flash);
        EXPECT_EQ(again.get(), flash.get());
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(flash->QueryInterface(IID_IClassFactory, none.put_void()), E_NOINTERFACE);
    EXPECT_FALSE(none);
}

TEST(PlayerDispatch, NamesMapToTheirDispatchIdsWithoutRegardToCase) {
    ComPtr<IShockwaveFlash> flash = new_control();
    ASSERT_TRUE(flash);
    struct Case {
        const wchar_t* name;
        DISPID id;
    };
    const Case cases[] = {{L"TotalFrames", 124}, {L"totalframes", 124}, {L"MOVIE", 102},
                          {L"ReadyState", -525}, {L"setvariable", 151}, {L"TGetPropertyNum", 158},
                          {L"Quality2", 141},    {L"gotoFrame", 127}};
    for (const Case& c : cases) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
        DISPID id = 0;
        EXPECT_EQ(flash->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << c.name;
        EXPECT_EQ(id, c.id) << c.name;
    }
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    DISPID id = 0;
    EXPECT_EQ(flash->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST(PlayerDispatch, InvokeCoercesArgumentsAndAgreesWithTheVtable) {
    ComPtr<IShockwaveFlash> flash = new_control();
    ASSERT_TRUE(flash);
    // A string "2" for an int property, put with the named DISPID_PROPERTYPUT argument.
    EXPECT_EQ(invoke_by_name(flash.get(), L"scalemode", DISPATCH_PROPERTYPUT, {text_variant(L"2")}, nullptr),
              S_OK);
    int mode = -1;
    ASSERT_EQ(flash->get_ScaleMode(&mode), S_OK);
    EXPECT_EQ(mode, 2);

    // The word form of the quality changes the number form.
    EXPECT_EQ(invoke_by_name(flash.get(), L"Quality2", DISPATCH_PROPERTYPUT, {text_variant(L"LOW")}, nullptr),
              S_OK);
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(invoke_by_name(flash.get(), L"Quality", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0);
    ASSERT_EQ(invoke_by_name(flash.get(), L"Quality2", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_STREQ(result.bstrVal, L"low");
    VariantClear(&result);

    // A number for a VARIANT_BOOL, then read back with the method flag as script hosts do.
    EXPECT_EQ(invoke_by_name(flash.get(), L"Loop", DISPATCH_PROPERTYPUT, {long_variant(0)}, nullptr), S_OK);
    ASSERT_EQ(invoke_by_name(flash.get(), L"Loop", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);

    // Methods with results.
    ASSERT_EQ(invoke_by_name(flash.get(), L"FlashVersion", DISPATCH_METHOD, {}, &result), S_OK);
    EXPECT_EQ(result.lVal, 0x00080000);
    ASSERT_EQ(invoke_by_name(flash.get(), L"FrameLoaded", DISPATCH_METHOD, {text_variant(L"0")}, &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE); // no movie
}

TEST(PlayerDispatch, InvokeReportsBadCallsWithTheirDispatchErrors) {
    ComPtr<IShockwaveFlash> flash = new_control();
    ASSERT_TRUE(flash);
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(invoke_by_name(flash.get(), L"GotoFrame", DISPATCH_METHOD, {}, &result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(
        invoke_by_name(flash.get(), L"Pan", DISPATCH_METHOD, {long_variant(1), long_variant(2)}, &result),
        DISP_E_BADPARAMCOUNT);

    // The argument that cannot be converted is named by its index in rgvarg (reversed order).
    VARIANT args[3];
    args[2] = long_variant(1);
    args[1] = text_variant(L"not a number");
    args[0] = long_variant(0);
    DISPPARAMS params{args, nullptr, 3, 0};
    UINT bad = 99;
    EXPECT_EQ(flash->Invoke(dispid_pan, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, &bad),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 1u);
    VariantClear(&args[1]);

    // A read-only property cannot be put.
    EXPECT_EQ(invoke_by_name(flash.get(), L"TotalFrames", DISPATCH_PROPERTYPUT, {long_variant(3)}, nullptr),
              DISP_E_MEMBERNOTFOUND);
    // Out of range values are refused and leave the property as it was.
    EXPECT_EQ(flash->put_ScaleMode(7), E_INVALIDARG);
    EXPECT_EQ(flash->put_Quality(-1), E_INVALIDARG);
    BSTR word = SysAllocString(L"ultra");
    EXPECT_EQ(flash->put_Quality2(word), E_INVALIDARG);
    SysFreeString(word);
    int quality = -1;
    flash->get_Quality(&quality);
    EXPECT_EQ(quality, 1);
    // Other interface ids than IID_NULL are refused.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(flash->Invoke(dispid_total_frames, IID_IUnknown, 0, DISPATCH_PROPERTYGET, &none, &result,
                            nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST(PlayerDispatch, MembersNotModelledAnswerWithoutHarm) {
    ComPtr<IShockwaveFlash> flash = new_control();
    ASSERT_TRUE(flash);
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(flash->get_WMode(&text), E_NOTIMPL);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(flash->put_FlashVars(nullptr), E_NOTIMPL);
    EXPECT_EQ(flash->CallFunction(nullptr, &text), E_NOTIMPL);
    EXPECT_EQ(flash->get_AllowFullScreen(&text), E_NOTIMPL); // the last slot
    // Frames are called by target; without a movie there is none.
    EXPECT_EQ(flash->TCallLabel(nullptr, nullptr), E_INVALIDARG);

    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const DISPID unmodelled[] = {133 /* WMode */, 159 /* SWRemote */, 170 /* FlashVars */, 150, 202, 9999};
    for (DISPID id : unmodelled) {
        EXPECT_EQ(flash->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND)
            << id;
    }
}

TEST(PlayerDispatch, PropertiesWithoutAMovieHaveTheirDefaults) {
    ComPtr<IShockwaveFlash> flash = new_control();
    ASSERT_TRUE(flash);
    long value = -2;
    EXPECT_EQ(flash->get_TotalFrames(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(flash->get_BackgroundColor(&value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(flash->PercentLoaded(&value), S_OK);
    EXPECT_EQ(value, 0);
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_EQ(flash->get_Playing(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    // Values set before a movie are kept: the projector sets Playing, then Movie.
    EXPECT_EQ(flash->put_Playing(VARIANT_FALSE), S_OK);
    EXPECT_EQ(flash->get_Playing(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_EQ(flash->put_BackgroundColor(0x12345678), S_OK);
    EXPECT_EQ(flash->get_BackgroundColor(&value), S_OK);
    EXPECT_EQ(value, 0x345678);
    BSTR name = SysAllocString(L"x");
    BSTR got = nullptr;
    EXPECT_EQ(flash->GetVariable(name, &got), E_FAIL);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(flash->TCurrentFrame(name, &value), E_INVALIDARG);
    SysFreeString(name);
}

} // namespace
} // namespace tarpon::player::test
