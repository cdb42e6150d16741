#include "host/system/script_callback.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/values/class_declaration.h"
#include "engine/values/collector.h"
#include "engine/values/engine.h"
#include "engine/values/protected_run.h"
#include "engine/values/stack_roots.h"
#include "engine/vm/services.h"
#include "host/system/activex_object.h"
#include "host/system/variant_conversion.h"
#include "platform/com.h"
#include "platform/wide_text.h"

namespace tarpon::host {

using namespace quill;

namespace {

class ScriptCallback;

// What an engine's callbacks share with it. The callbacks hold it, so it outlives the engine when a
// server keeps a callback longer; `engine` is null from then on.
struct RegistryCore {
    ScriptEngine* engine = nullptr;
    DWORD thread = 0;                    // the engine's thread: calls from any other are refused
    std::vector<ScriptCallback*> live;   // every callback a server still holds
};

struct CallbackRegistry {
    std::shared_ptr<RegistryCore> core;
};

class ScriptCallback final : public platform::DispatchObject {
public:
    ScriptCallback(std::shared_ptr<RegistryCore> core, const Value& function)
        : m_core(std::move(core)), m_function(function) {
        m_core->live.push_back(this);
    }

    const Value& function() const { return m_function; }

    // Every name is the function.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        if (ids == nullptr) {
            return E_POINTER;
        }
        std::fill(ids, ids + count, DISPID_VALUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        ScriptEngine* engine = m_core->engine;
        if (engine == nullptr) {
            return E_UNEXPECTED;
        }
        if (GetCurrentThreadId() != m_core->thread) {
            return RPC_E_WRONG_THREAD;
        }
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        if (params != nullptr && params->cArgs > 0 && params->rgvarg == nullptr) {
            return E_INVALIDARG;
        }
        std::string failure;
        // Held across the call: the script may make the server let go of this object.
        AddRef();
        const bool called = call_script_function(engine, m_function, params != nullptr ? *params : none, result,
                                                 &failure);
        Release();
        if (called) {
            return S_OK;
        }
        if (exception != nullptr) {
            std::memset(exception, 0, sizeof *exception);
            exception->bstrSource = SysAllocString(L"Quill Script");
            exception->bstrDescription = SysAllocString(platform::ansi_to_wide(failure).c_str());
            exception->scode = E_FAIL;
        }
        return DISP_E_EXCEPTION;
    }

private:
    ~ScriptCallback() override = default;
    void last_release() override { std::erase(m_core->live, this); }

    std::shared_ptr<RegistryCore> m_core;
    Value m_function;
};

}  // namespace

void* make_callback_registry(ScriptEngine* engine) {
    auto* registry = new CallbackRegistry{std::make_shared<RegistryCore>()};
    registry->core->engine = engine;
    registry->core->thread = GetCurrentThreadId();
    return registry;
}

void free_callback_registry(void* registry) {
    std::unique_ptr<CallbackRegistry> owned(static_cast<CallbackRegistry*>(registry));
    owned->core->engine = nullptr;
    owned->core->live.clear();
}

void mark_callback_registry(ScriptEngine* engine, void* registry) {
    for (const ScriptCallback* callback : static_cast<CallbackRegistry*>(registry)->core->live) {
        mark_value(engine, callback->function());
    }
}

IDispatch* make_script_callback(ScriptEngine* engine, const Value& function) {
    auto* registry = static_cast<CallbackRegistry*>(activex_class_state(engine));
    if (registry == nullptr) {
        return nullptr;
    }
    return new ScriptCallback(registry->core, function);
}

bool call_script_function(ScriptEngine* engine, const Value& function, const DISPPARAMS& params,
                          VARIANT* result, std::string* failure) {
    const Value saved_result = engine->result;
    std::array<char, sizeof engine->message> saved_message;
    std::memcpy(saved_message.data(), engine->message, saved_message.size());

    bool called = false;
    const bool ran = run_protected(engine, [&] {
        // The function, the outer result and the argument block stay marked while the script runs.
        std::vector<Value> cells{function, saved_result, Value::integer(params.cArgs)};
        for (UINT i = params.cArgs; i-- > 0;) {
            cells.push_back(variant_to_value(engine, params.rgvarg[i]));
        }
        StackRoots roots(engine, cells.data(), cells.size());
        called = vm::call_function_value(engine, Value::null(), roots.cells()[0], params.cArgs + 1,
                                         roots.cells() + 2);
        if (called && result != nullptr) {
            VariantClear(result);
            value_to_variant(engine, engine->result, result);
        }
    });
    if (!called && failure != nullptr) {
        *failure = engine->message;
    }
    engine->result = saved_result;
    std::memcpy(engine->message, saved_message.data(), saved_message.size());
    return ran && called;
}

}  // namespace tarpon::host
