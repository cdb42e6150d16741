// Script functions handed to automation servers as dispatch objects (for callbacks): calling any
// member of the object calls the function with the call's arguments. The function stays alive while
// the server holds the object, and not longer: the callbacks of an engine are roots of its
// collector only while their reference count is above zero.
#pragma once

#include <string>

#include "engine/values/value.h"
#include "platform/com.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// A new callback object for the function, holding one reference for the caller; null when the
// engine has no ActiveXObject class to keep its callbacks.
IDispatch* make_script_callback(quill::ScriptEngine* engine, const quill::Value& function);

// The class-wide state of ActiveXObject that keeps an engine's live callbacks: made and freed with
// the class, marked at every collection. Freeing it cuts every callback off from the engine (a
// server that still holds one gets E_UNEXPECTED from then on).
void* make_callback_registry(quill::ScriptEngine* engine);
void free_callback_registry(void* registry);
void mark_callback_registry(quill::ScriptEngine* engine, void* registry);

// Calls the function with `this` = Null and the VARIANTs (in COM's reversed order) as its arguments.
// The script that is running meanwhile keeps its result and message buffer; a failure is not raised
// but reported: false, with the engine's text in `failure`. The result goes to `result` when given.
bool call_script_function(quill::ScriptEngine* engine, const quill::Value& function, const DISPPARAMS& params,
                          VARIANT* result, std::string* failure);

}  // namespace tarpon::host
