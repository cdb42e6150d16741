// Calls through IDispatch for script values: names resolved to dispatch ids, the arguments turned into
// VARIANTs in COM's reversed order, the result turned back, and a failure's text in the engine's
// message buffer as "source: description (0x%08X)".
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/values/value.h"
#include "platform/com.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// Calls member `id` with the flags (DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT or
// DISPATCH_PROPERTYPUTREF, where the last argument is the value put). The result goes to `result`:
// Undefined when the call failed, with the error text stored; `name` is the failure's source when the
// server names none.
bool dispatch_invoke(quill::ScriptEngine* engine, IDispatch* object, DISPID id, WORD flags,
                     const quill::Value* args, uint32_t count, quill::Value* result, std::string_view name);

// The dispatch id of a name; false with the error text stored when the object does not know it.
bool dispatch_id_of(quill::ScriptEngine* engine, IDispatch* object, std::string_view name, DISPID* id);

// Stores "source: description (0x%08X)" for the failure: the exception's source and description
// when it has them, else `source` and the system's text for the code.
void store_automation_error(quill::ScriptEngine* engine, HRESULT code, const EXCEPINFO* exception,
                            std::string_view source);

}  // namespace tarpon::host
