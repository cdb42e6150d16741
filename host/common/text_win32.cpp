#include "host/common/text.h"

#include "engine/values/conversions.h"
#include "engine/values/string_record.h"
#include "platform/wide_text.h"

namespace tarpon::host {

using namespace quill;

std::wstring wide_text(const StringRecord* string) { return platform::to_wide(string->view()); }

std::optional<std::wstring> wide_argument(const Arguments& args, uint32_t i) {
    const StringRecord* string = args.string(i);
    if (string == nullptr) {
        return std::nullopt;
    }
    return wide_text(string);
}

std::wstring wide_of(ScriptEngine* engine, const Value& value) {
    return wide_text(to_string(engine, value).payload.string);
}

Value wide_string(ScriptEngine* engine, std::wstring_view text) {
    return make_string_copy(engine, platform::from_wide(text));
}

}  // namespace tarpon::host
