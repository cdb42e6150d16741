// What the classes of the language's own values share.
#include "engine/builtins/value_class.h"

#include "engine/values/string_record.h"

namespace quill {

Value constructor_text(ScriptEngine* engine) { return make_static_string(engine, u"[type Function]"); }

Value ascii_string(ScriptEngine* engine, const char* text, size_t length) {
    StringRecord* string = make_string_buffer(engine, length);
    for (size_t i = 0; i < length; ++i) {
        string->chars[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    }
    return Value::string(string);
}

}  // namespace quill
