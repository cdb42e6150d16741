// What scripts cannot see of ActiveXObject: the error texts of failed calls and the references the
// wrappers and callbacks hold, counted by an automation object of the test's own.
#ifdef _WIN32

#include "host/system/activex_object.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/com.h"
#include "tests/host/host_engine.h"

namespace tarpon::host::testing {
namespace {

int live_objects = 0;

// An automation object with three members: Keep(value) holds a VARIANT, Call(args...) calls what it
// holds with the arguments, Drop() lets it go.
class KeepingObject final : public IDispatch {
public:
    static constexpr DISPID keep = 1, call = 2, drop = 3;

    KeepingObject() {
        ++live_objects;
        VariantInit(&m_kept);
    }
    KeepingObject(const KeepingObject&) = delete;
    KeepingObject& operator=(const KeepingObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        ++name_lookups;
        const std::wstring name = names[0];
        *id = name == L"Keep" ? keep : name == L"Call" ? call : name == L"Drop" ? drop : DISPID_UNKNOWN;
        return *id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        switch (id) {
        case keep:
            return VariantCopy(&m_kept, &params->rgvarg[0]);
        case drop:
            return VariantClear(&m_kept);
        case call: {
            if (V_VT(&m_kept) != VT_DISPATCH) {
                if (exception == nullptr) {
                    return E_FAIL;
                }
                *exception = EXCEPINFO{};
                exception->bstrSource = SysAllocString(L"Keeper");
                exception->bstrDescription = SysAllocString(L"Nothing kept");
                exception->scode = E_ABORT;
                return DISP_E_EXCEPTION;
            }
            DISPPARAMS passed{params->rgvarg, nullptr, params->cArgs, 0};
            return V_DISPATCH(&m_kept)->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &passed, result, exception,
                                               nullptr);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    int name_lookups = 0;

private:
    ~KeepingObject() {
        VariantClear(&m_kept);
        --live_objects;
    }

    VARIANT m_kept;
    ULONG m_references = 1;
};

class ActiveXObjectTest : public ::testing::Test {
protected:
    platform::ComScope com;
};

// The engine's object for a new KeepingObject in the global "keeper"; the test keeps no reference.
KeepingObject* give_keeper(HostEngine& engine) {
    auto* object = new KeepingObject();
    EXPECT_TRUE(quill::run_native(engine.handle(), [&](quill::ScriptEngine* e) {
        quill::set_global(e, "keeper", make_activex_object(e, object));
    }));
    object->Release();
    return object;
}

TEST_F(ActiveXObjectTest, FailuresLeaveTheirSourceDescriptionAndCode) {
    HostEngine engine;
    EXPECT_EQ(engine.run("new ActiveXObject('No.Such.Class') === null"), "true");
    EXPECT_EQ(std::string(engine.message()).substr(0, 15), "No.Such.Class: ");
    EXPECT_NE(std::string(engine.message()).find("(0x800401F3)"), std::string::npos) << engine.message();

    give_keeper(engine);
    // An exception the server raises: its own source and description, and its code.
    EXPECT_EQ(engine.run("typeof keeper.Call()"), "undefined");
    EXPECT_STREQ(engine.message(), "Keeper: Nothing kept (0x80004004)");
    // A name the object does not know: the name stands as the source.
    EXPECT_EQ(engine.run("typeof keeper.Missing"), "undefined");
    EXPECT_NE(std::string(engine.message()).find("Missing: "), std::string::npos) << engine.message();
    EXPECT_NE(std::string(engine.message()).find("(0x80020006)"), std::string::npos) << engine.message();
}

TEST_F(ActiveXObjectTest, NamesAreResolvedOncePerObject) {
    HostEngine engine;
    KeepingObject* object = give_keeper(engine);
    EXPECT_EQ(engine.run("keeper.Keep(1); keeper.Keep(2); keeper.Drop(); keeper.Drop(); 0"), "0");
    EXPECT_EQ(object->name_lookups, 2);
}

TEST_F(ActiveXObjectTest, CallbacksLiveWhileTheServerHoldsThem) {
    HostEngine engine;
    give_keeper(engine);
    EXPECT_EQ(engine.run("function f(a, b) { return a * 10 + b; } keeper.Keep(f); f = null; keeper.Call(4, 2)"), "42");
    // The script holds the function nowhere: the server's reference alone keeps it.
    engine.collect();
    EXPECT_EQ(engine.run("keeper.Call(5, 1)"), "51");
    // A failing function is reported to the server as an exception.
    EXPECT_EQ(engine.run("function g() { throw 'broken'; } keeper.Keep(g); typeof keeper.Call()"), "undefined");
    EXPECT_NE(std::string(engine.message()).find("Quill Script: "), std::string::npos) << engine.message();
    EXPECT_EQ(engine.run("keeper.Drop(); keeper = null; 0"), "0");
    engine.collect();
    EXPECT_EQ(live_objects, 0);
}

TEST_F(ActiveXObjectTest, EveryReferenceIsReleasedWithTheEngine) {
    {
        HostEngine engine;
        give_keeper(engine);
        EXPECT_EQ(engine.run("var also = keeper; keeper.Keep(keeper); 0"), "0");
        EXPECT_EQ(engine.run("function one() { return 1; } keeper.Drop(); keeper.Keep(one); 0"), "0");
        EXPECT_EQ(live_objects, 1);
    }
    EXPECT_EQ(live_objects, 0);
}

TEST_F(ActiveXObjectTest, AnEnumeratorKeepsItsArrayAndItsCollection) {
    HostEngine engine;
    EXPECT_EQ(engine.run("var d = new ActiveXObject('Scripting.Dictionary'); d.Add('k', 1);"
                         "var overDict = new Enumerator(d); d = null;"
                         "var overArray = new Enumerator(['a', 'b']); 0"),
              "0");
    engine.collect();
    EXPECT_EQ(engine.run("overArray.moveNext(); overArray.item() + overDict.item()"), "bk");
}

TEST_F(ActiveXObjectTest, ACallbackOutlivingItsEngineIsCutOff) {
    auto* object = new KeepingObject();
    {
        HostEngine engine;
        EXPECT_TRUE(quill::run_native(engine.handle(), [&](quill::ScriptEngine* e) {
            quill::set_global(e, "keeper", make_activex_object(e, object));
        }));
        EXPECT_EQ(engine.run("function one() { return 1; } keeper.Keep(one); keeper.Call()"), "1");
    }
    // The test still holds the object, which still holds the callback.
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"Call");
    ASSERT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), E_UNEXPECTED);
    object->Release();
    EXPECT_EQ(live_objects, 0);
}

}  // namespace
}  // namespace tarpon::host::testing

#endif
