#include "host/common/text.h"

#include <algorithm>
#include <cstring>

#include "engine/values/array.h"
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

namespace {

template <typename Text>
Value string_array(ScriptEngine* engine, const std::vector<Text>& texts) {
    ArrayRecord* array = array_create(engine, texts.size());
    const Value result = Value::array(array);
    for (size_t i = 0; i < texts.size(); ++i) {
        array_insert(engine, array, ansi_string(engine, texts[i]), i);
    }
    return result;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

Value ansi_string_array(ScriptEngine* engine, const std::vector<std::string>& texts) {
    return string_array(engine, texts);
}

Value ansi_string_array(ScriptEngine* engine, const std::vector<std::string_view>& texts) {
    return string_array(engine, texts);
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

}  // namespace tarpon::host
