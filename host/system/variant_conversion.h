// Script values as automation VARIANTs and back, for every call an ActiveXObject makes or receives.
//
//   Undefined -> VT_EMPTY (as a call's argument: VT_ERROR / DISP_E_PARAMNOTFOUND, "not given")
//   Null -> VT_NULL, Boolean -> VT_BOOL, Integer -> VT_I4 when it fits, else VT_R8, Number -> VT_R8,
//   String -> VT_BSTR, Date -> VT_DATE (local time), ActiveXObject -> VT_DISPATCH,
//   Array -> a one-dimensional SAFEARRAY of VARIANT, Function -> VT_DISPATCH of a callback object
//   whose every member calls the function; any other value -> VT_EMPTY.
//
// Back: every integer type -> Integer (a VT_UI8 beyond the Integer range -> Number), VT_R4, VT_R8,
// VT_CY and VT_DECIMAL -> Number, VT_BSTR -> String, VT_DATE -> Date, VT_DISPATCH -> ActiveXObject
// (Null for a null pointer), VT_UNKNOWN -> the ActiveXObject of its IDispatch (else Null),
// VT_BYREF followed, arrays of any dimension -> nested Arrays, VT_EMPTY and VT_ERROR -> Undefined.
#pragma once

#include "engine/values/value.h"
#include "platform/com.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

enum class VariantUse {
    Value,     // a property value, an element, a result
    Argument,  // an argument of a call: Undefined means "not given"
};

// Fills `out`, which must be empty (VariantInit), with the value. Raises "Out of memory" for an array
// too long to copy.
void value_to_variant(quill::ScriptEngine* engine, const quill::Value& value, VARIANT* out,
                      VariantUse use = VariantUse::Value);

// The value of a VARIANT; the VARIANT stays the caller's.
quill::Value variant_to_value(quill::ScriptEngine* engine, const VARIANT& variant);

}  // namespace tarpon::host
