// The events of an automation object for its ActiveXObject: script functions attached by event name
// to the object's default source interface, called with the event's arguments when the object fires
// it on the engine's thread.
#pragma once

#include <string_view>

#include "engine/values/value.h"
#include "platform/com.h"

#include <ocidl.h>

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

class EventSink;

class ObjectEvents {
public:
    ObjectEvents() = default;
    // Disconnects from the object: no function is called from then on.
    ~ObjectEvents();
    ObjectEvents(const ObjectEvents&) = delete;
    ObjectEvents& operator=(const ObjectEvents&) = delete;

    // Attaches the function to the event; the first attach connects to the object's default source
    // interface. False, with the error text stored, when the object has no such interface or event.
    bool attach(quill::ScriptEngine* engine, IDispatch* object, std::string_view name, const quill::Value& function);
    // Detaches one attachment of the function from the event; false when it was not attached.
    bool detach(quill::ScriptEngine* engine, std::string_view name, const quill::Value& function);
    // Marks the attached functions.
    void mark(quill::ScriptEngine* engine) const;

private:
    bool connect(quill::ScriptEngine* engine, IDispatch* object);
    bool event_id(quill::ScriptEngine* engine, std::string_view name, DISPID* id) const;

    IID m_source = IID_NULL;
    platform::ComPtr<ITypeInfo> m_source_info;  // empty when the object describes no type
    platform::ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
    EventSink* m_sink = nullptr;  // one reference, while connected
};

}  // namespace tarpon::host
