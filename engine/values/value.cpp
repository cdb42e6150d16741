// typeof texts of the value tags.
#include "engine/values/value.h"

namespace quill {

const char* type_name(Tag tag) {
    switch (tag) {
    case Tag::Undefined:
        return "undefined";
    case Tag::Null:
    case Tag::Array:
    case Tag::Object:
    case Tag::HostObject:
        return "object";
    case Tag::Boolean:
        return "boolean";
    case Tag::Integer:
    case Tag::Number:
    case Tag::NaN:
        return "number";
    case Tag::String:
        return "string";
    case Tag::Function:
        return "function";
    default:
        return "";
    }
}

}  // namespace quill
