#include "host/system/variant_conversion.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/builtins/date.h"
#include "engine/values/array.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/records.h"
#include "engine/values/string_record.h"
#include "host/common/class.h"
#include "host/system/activex_object.h"
#include "host/system/script_callback.h"

namespace tarpon::host {

namespace {

using platform::ComPtr;

// Arrays inside arrays deeper than this (an array that holds itself, say) go as VT_EMPTY.
constexpr int nesting_limit = 32;
// The most elements an array may have to cross either way: beyond it a script's array raises
// "Out of memory" and a server's array reads as Undefined.
constexpr uint64_t element_limit = uint64_t{1} << 24;

// OLE dates count days from 1899-12-30, local time; time values count milliseconds from 1970-01-01 UTC.
constexpr double ole_epoch_days = 25569.0;

// Before 1899-12-30 the day part counts back while the time of day still counts forward.
double ole_date_of(double local_days) {
    const double day = std::floor(local_days);
    const double time = local_days - day;
    return day < 0 ? day - time : local_days;
}
double local_days_of(double ole_date) {
    const double day = std::trunc(ole_date);
    return ole_date < 0 ? day + (day - ole_date) : ole_date;
}

double bias_ms(ScriptEngine* engine) { return date_time_zone_bias(engine) * 60000.0; }

Value number(double d) { return std::isnan(d) ? Value::nan() : Value::number(d); }

void array_to_variant(ScriptEngine* engine, ArrayRecord* array, VARIANT* out, int depth) {
    if (array->length > element_limit) {
        raise_error(engine, Message::OutOfMemory);
    }
    const auto count = static_cast<ULONG>(array->length);
    SAFEARRAY* safe = SafeArrayCreateVector(VT_VARIANT, 0, count);
    if (safe == nullptr) {
        raise_error(engine, Message::OutOfMemory);
    }
    VARIANT* cells = nullptr;
    SafeArrayAccessData(safe, reinterpret_cast<void**>(&cells));
    // The cells start empty; holes stay so. A raise further in frees what was filled so far.
    struct Owner {
        SAFEARRAY* safe;
        ~Owner() {
            if (safe != nullptr) {
                SafeArrayUnaccessData(safe);
                SafeArrayDestroy(safe);
            }
        }
    } owner{safe};
    for (ULONG i = 0; i < count; ++i) {
        if (const Value* element = array_get(array, i)) {
            if (element->tag == Tag::Array && depth + 1 < nesting_limit) {
                array_to_variant(engine, element->payload.array, &cells[i], depth + 1);
            } else if (element->tag != Tag::Array) {
                value_to_variant(engine, *element, &cells[i]);
            }
        }
    }
    SafeArrayUnaccessData(safe);
    owner.safe = nullptr;
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = safe;
}

Value element_of(ScriptEngine* engine, SAFEARRAY* safe, VARTYPE type, LONG* indexes) {
    platform::Variant cell;
    VARIANT* v = cell.get();
    HRESULT result;
    if (type == VT_VARIANT) {
        result = SafeArrayGetElement(safe, indexes, v);
    } else if (type == VT_DECIMAL) {
        // A DECIMAL fills the whole VARIANT, its type field included.
        result = SafeArrayGetElement(safe, indexes, &V_DECIMAL(v));
        V_VT(v) = VT_DECIMAL;
    } else {
        result = SafeArrayGetElement(safe, indexes, &V_I8(v));
        if (SUCCEEDED(result)) {
            V_VT(v) = type;
        }
    }
    return SUCCEEDED(result) ? variant_to_value(engine, *v) : Value::undefined();
}

// The elements of dimension `dimension` (from 0) onwards at the indexes fixed so far.
Value dimension_to_value(ScriptEngine* engine, SAFEARRAY* safe, VARTYPE type, std::vector<LONG>& indexes,
                         UINT dimension) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(safe, dimension + 1, &lower);
    SafeArrayGetUBound(safe, dimension + 1, &upper);
    const int64_t count = upper >= lower ? int64_t{upper} - lower + 1 : 0;
    ArrayRecord* array = array_create(engine, static_cast<uint64_t>(count));
    const Value result = Value::array(array);
    for (int64_t i = 0; i < count; ++i) {
        indexes[dimension] = static_cast<LONG>(lower + i);
        const Value element = dimension + 1 < indexes.size()
                                  ? dimension_to_value(engine, safe, type, indexes, dimension + 1)
                                  : element_of(engine, safe, type, indexes.data());
        array_put(engine, array, static_cast<uint64_t>(i), element);
    }
    return result;
}

Value safe_array_to_value(ScriptEngine* engine, SAFEARRAY* safe) {
    const UINT dimensions = safe != nullptr ? SafeArrayGetDim(safe) : 0;
    VARTYPE type = VT_EMPTY;
    if (dimensions == 0 || FAILED(SafeArrayGetVartype(safe, &type))) {
        return Value::undefined();
    }
    uint64_t total = 1;
    for (UINT d = 0; d < dimensions; ++d) {
        total *= safe->rgsabound[d].cElements;
        if (total > element_limit) {
            return Value::undefined();
        }
    }
    std::vector<LONG> indexes(dimensions, 0);
    return dimension_to_value(engine, safe, type, indexes, 0);
}

Value dispatch_value(ScriptEngine* engine, IDispatch* dispatch) {
    return dispatch != nullptr ? make_activex_object(engine, dispatch) : Value::null();
}

Value unknown_value(ScriptEngine* engine, IUnknown* unknown) {
    ComPtr<IDispatch> dispatch;
    if (unknown == nullptr || FAILED(unknown->QueryInterface(IID_IDispatch, dispatch.put_void()))) {
        return Value::null();
    }
    return dispatch_value(engine, dispatch.get());
}

Value by_value_to_value(ScriptEngine* engine, const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_NULL:
        return Value::null();
    case VT_BOOL:
        return Value::boolean(V_BOOL(&v) != VARIANT_FALSE);
    case VT_I1:
        return Value::integer(V_I1(&v));
    case VT_I2:
        return Value::integer(V_I2(&v));
    case VT_I4:
        return Value::integer(V_I4(&v));
    case VT_INT:
        return Value::integer(V_INT(&v));
    case VT_I8:
        return Value::integer(V_I8(&v));
    case VT_UI1:
        return Value::integer(V_UI1(&v));
    case VT_UI2:
        return Value::integer(V_UI2(&v));
    case VT_UI4:
        return Value::integer(V_UI4(&v));
    case VT_UINT:
        return Value::integer(V_UINT(&v));
    case VT_UI8:
        return V_UI8(&v) <= static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max())
                   ? Value::integer(static_cast<int64_t>(V_UI8(&v)))
                   : Value::number(static_cast<double>(V_UI8(&v)));
    case VT_R4:
        return number(V_R4(&v));
    case VT_R8:
        return number(V_R8(&v));
    case VT_CY:
        return Value::number(static_cast<double>(V_CY(&v).int64) / 10000.0);
    case VT_DECIMAL: {
        double d = 0;
        DECIMAL value = V_DECIMAL(&v);
        VarR8FromDec(&value, &d);
        return number(d);
    }
    case VT_BSTR:
        return wide_string(engine, std::wstring_view(V_BSTR(&v), V_BSTR(&v) != nullptr ? SysStringLen(V_BSTR(&v)) : 0));
    case VT_DATE: {
        const double local_ms = (local_days_of(V_DATE(&v)) - ole_epoch_days) * 86400000.0;
        return make_date_object(engine, std::round(local_ms) + bias_ms(engine));
    }
    case VT_DISPATCH:
        return dispatch_value(engine, V_DISPATCH(&v));
    case VT_UNKNOWN:
        return unknown_value(engine, V_UNKNOWN(&v));
    default:
        return Value::undefined();  // VT_EMPTY, VT_ERROR and what scripts have no value for
    }
}

}  // namespace

void value_to_variant(ScriptEngine* engine, const Value& value, VARIANT* out, VariantUse use) {
    VariantInit(out);
    switch (value.tag) {
    case Tag::Undefined:
        if (use == VariantUse::Argument) {
            V_VT(out) = VT_ERROR;
            V_ERROR(out) = DISP_E_PARAMNOTFOUND;
        }
        return;
    case Tag::Null:
        V_VT(out) = VT_NULL;
        return;
    case Tag::Boolean:
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = value.payload.flag != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case Tag::Integer:
        if (value.payload.integer >= INT32_MIN && value.payload.integer <= INT32_MAX) {
            V_VT(out) = VT_I4;
            V_I4(out) = static_cast<LONG>(value.payload.integer);
        } else {
            V_VT(out) = VT_R8;
            V_R8(out) = static_cast<double>(value.payload.integer);
        }
        return;
    case Tag::Number:
        V_VT(out) = VT_R8;
        V_R8(out) = value.payload.number;
        return;
    case Tag::NaN:
        V_VT(out) = VT_R8;
        V_R8(out) = std::numeric_limits<double>::quiet_NaN();
        return;
    case Tag::String: {
        const std::wstring text = wide_text(value.payload.string);
        BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (copy == nullptr) {
            raise_error(engine, Message::OutOfMemory);
        }
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = copy;
        return;
    }
    case Tag::Array:
        array_to_variant(engine, value.payload.array, out, 0);
        return;
    case Tag::Function:
        if (IDispatch* callback = make_script_callback(engine, value)) {
            V_VT(out) = VT_DISPATCH;
            V_DISPATCH(out) = callback;  // the reference made for it
        }
        return;
    case Tag::HostObject: {
        double time = 0;
        if (IDispatch* dispatch = activex_object_dispatch(value)) {
            dispatch->AddRef();
            V_VT(out) = VT_DISPATCH;
            V_DISPATCH(out) = dispatch;
        } else if (date_time_value(value, &time)) {
            V_VT(out) = VT_DATE;
            V_DATE(out) = ole_date_of((time - bias_ms(engine)) / 86400000.0 + ole_epoch_days);
        }
        return;
    }
    default:
        return;
    }
}

Value variant_to_value(ScriptEngine* engine, const VARIANT& variant) {
    const VARIANT* v = &variant;
    // VT_VARIANT | VT_BYREF may point at another reference; two steps are all COM allows.
    for (int step = 0; step < 2 && V_VT(v) == (VT_VARIANT | VT_BYREF); ++step) {
        if (V_VARIANTREF(v) == nullptr) {
            return Value::undefined();
        }
        v = V_VARIANTREF(v);
    }
    if (V_VT(v) & VT_ARRAY) {
        SAFEARRAY* safe = (V_VT(v) & VT_BYREF) ? (V_ARRAYREF(v) != nullptr ? *V_ARRAYREF(v) : nullptr) : V_ARRAY(v);
        return safe_array_to_value(engine, safe);
    }
    if (V_VT(v) & VT_BYREF) {
        platform::Variant copy;
        if (V_BYREF(v) == nullptr || FAILED(VariantCopyInd(copy.get(), const_cast<VARIANT*>(v)))) {
            return Value::undefined();
        }
        return (V_VT(copy.get()) & VT_BYREF) ? Value::undefined() : variant_to_value(engine, *copy.get());
    }
    return by_value_to_value(engine, *v);
}

}  // namespace tarpon::host
