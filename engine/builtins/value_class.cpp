// What the classes of the language's own values share.
#include "engine/builtins/value_class.h"

#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/string_record.h"

namespace quill {

HostClass* register_value_class(ScriptEngine* engine, const char* name, std::initializer_list<Tag> types) {
    HostClass* cls = new_host_class(engine);
    cls->property = no_class_property;
    set_global(engine, name, make_host_object(engine, cls, nullptr));
    for (Tag tag : types) {
        engine->type_handlers[static_cast<int>(tag)] = cls;
    }
    return cls;
}

bool no_class_property(ScriptEngine*, HostClass*, void*, const Value&, Atom, PropertyMode, Value*) { return false; }

Value constructor_text(ScriptEngine* engine) { return make_static_string(engine, u"[type Function]"); }

Value ascii_string(ScriptEngine* engine, const char* text, size_t length) {
    StringRecord* string = make_string_buffer(engine, length);
    for (size_t i = 0; i < length; ++i) {
        string->chars[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    }
    return Value::string(string);
}

}  // namespace quill
