#include "host/system/dispatch_call.h"

#include <cstdio>
#include <string>
#include <vector>

#include "engine/values/errors.h"
#include "host/common/class.h"
#include "host/system/variant_conversion.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace tarpon::host {

namespace {

// VARIANTs cleared however the call ends (a conversion may raise part-way).
class VariantBlock {
public:
    explicit VariantBlock(size_t count) : m_cells(count) {
        for (VARIANT& cell : m_cells) {
            VariantInit(&cell);
        }
    }
    VariantBlock(const VariantBlock&) = delete;
    VariantBlock& operator=(const VariantBlock&) = delete;
    ~VariantBlock() {
        for (VARIANT& cell : m_cells) {
            VariantClear(&cell);
        }
    }
    VARIANT* data() { return m_cells.empty() ? nullptr : m_cells.data(); }
    VARIANT& operator[](size_t i) { return m_cells[i]; }

private:
    std::vector<VARIANT> m_cells;
};

std::string text_of(BSTR text) {
    return text != nullptr ? platform::wide_to_ansi(std::wstring_view(text, SysStringLen(text))) : std::string();
}

// The exception's strings, freed with it.
struct ExceptionInfo {
    EXCEPINFO info{};
    ~ExceptionInfo() {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
};

}  // namespace

void store_automation_error(ScriptEngine* engine, HRESULT code, const EXCEPINFO* exception, std::string_view source) {
    std::string from(source);
    std::string description;
    HRESULT shown = code;
    if (exception != nullptr) {
        if (exception->bstrSource != nullptr && SysStringLen(exception->bstrSource) > 0) {
            from = text_of(exception->bstrSource);
        }
        description = text_of(exception->bstrDescription);
        if (exception->scode != 0) {
            shown = exception->scode;
        } else if (exception->wCode != 0) {
            shown = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, exception->wCode);
        }
    }
    if (description.empty()) {
        description = platform::system_error_text(static_cast<uint32_t>(shown));
    }
    set_message(engine, "%s: %s (0x%08X)", from.c_str(), description.c_str(), static_cast<unsigned>(shown));
}

bool dispatch_id_of(ScriptEngine* engine, IDispatch* object, std::string_view name, DISPID* id) {
    std::wstring wide = platform::ansi_to_wide(name);
    LPOLESTR names[] = {wide.data()};
    const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
    if (FAILED(found)) {
        store_automation_error(engine, found, nullptr, name);
        return false;
    }
    return true;
}

bool dispatch_invoke(ScriptEngine* engine, IDispatch* object, DISPID id, WORD flags, const Value* args,
                     uint32_t count, Value* result, std::string_view name) {
    *result = Value::undefined();
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    // COM takes the arguments last first; the value put is the last and goes as the named argument.
    VariantBlock cells(count);
    for (uint32_t i = 0; i < count; ++i) {
        const bool value_put = put && i + 1 == count;
        value_to_variant(engine, args[i], &cells[count - 1 - i],
                         value_put ? VariantUse::Value : VariantUse::Argument);
    }
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{cells.data(), put && count > 0 ? &put_id : nullptr, count, put && count > 0 ? 1u : 0u};
    platform::Variant answer;
    ExceptionInfo exception;
    UINT argument_error = 0;
    HRESULT called = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, put ? nullptr : answer.get(),
                                    &exception.info, &argument_error);
    // An object property that is only put by value.
    if (called == DISP_E_MEMBERNOTFOUND && flags == DISPATCH_PROPERTYPUTREF) {
        called = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                                &exception.info, &argument_error);
    }
    if (called == DISP_E_EXCEPTION && exception.info.pfnDeferredFillIn != nullptr) {
        exception.info.pfnDeferredFillIn(&exception.info);
    }
    if (FAILED(called)) {
        store_automation_error(engine, called, called == DISP_E_EXCEPTION ? &exception.info : nullptr, name);
        return false;
    }
    if (!put) {
        *result = variant_to_value(engine, *answer.get());
    }
    return true;
}

}  // namespace tarpon::host
