#include "host/common/text.h"

#include <cstring>

#include "engine/values/conversions.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"

namespace tarpon::host {

using namespace quill;

std::string ansi_text(const StringRecord* string) { return utf16_to_narrow(string->view()); }

std::optional<std::string> ansi_argument(const Arguments& args, uint32_t i) {
    const StringRecord* string = args.string(i);
    if (string == nullptr) {
        return std::nullopt;
    }
    return ansi_text(string);
}

std::string ansi_of(ScriptEngine* engine, const Value& value) {
    return ansi_text(to_string(engine, value).payload.string);
}

Value ansi_string(ScriptEngine* engine, std::string_view text) {
    return make_string_from_narrow(engine, text.data(), text.size());
}

Value ansi_string_z(ScriptEngine* engine, const char* text) {
    return make_string_from_narrow(engine, text, text != nullptr ? std::strlen(text) : 0);
}

}  // namespace tarpon::host
