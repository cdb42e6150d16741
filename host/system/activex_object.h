// ActiveXObject: late-bound access to any automation object, for scripts and for host code that
// hands a dispatch pointer out (createControl, the movie objects, results of calls).
#pragma once

#include "engine/values/value.h"
#include "platform/com.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// An ActiveXObject for the dispatch pointer, which it holds a reference of its own to; null for a
// null pointer or an engine without the ActiveXObject class.
quill::Value make_activex_object(quill::ScriptEngine* engine, IDispatch* object);

// The dispatch pointer of an ActiveXObject (no reference added); null for any other value.
IDispatch* activex_object_dispatch(const quill::Value& value);

// The class-wide state of the engine's ActiveXObject class (its callback registry); null when the
// class is not registered.
void* activex_class_state(quill::ScriptEngine* engine);

}  // namespace tarpon::host
