// String records and their makers.
#include "engine/values/string_record.h"

#include <cstring>

#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap.h"
#include "engine/values/text_codec.h"

namespace quill {

namespace {

StringRecord* new_record(ScriptEngine* engine, uint32_t flags, char16_t* chars, size_t length) {
    auto* record = static_cast<StringRecord*>(gc_allocate(engine, sizeof(StringRecord)));
    record->flags = flags;
    record->chars = chars;
    record->length = static_cast<uint32_t>(length);
    record->properties = nullptr;
    return record;
}

void check_length(ScriptEngine* engine, size_t length) {
    if (length > config::max_string_length) {
        raise_error(engine, Message::OutOfMemory);
    }
}

}  // namespace

Value make_static_string(ScriptEngine* engine, const char16_t* chars, size_t length) {
    check_length(engine, length);
    // The characters stay the caller's; the static flag keeps anyone from changing them.
    return Value::string(new_record(engine, string_static, const_cast<char16_t*>(chars), length));
}

StringRecord* make_string_buffer(ScriptEngine* engine, size_t length) {
    check_length(engine, length);
    if (length == 0) {
        return new_record(engine, 0, nullptr, 0);
    }
    // One block for the record and its characters: half the allocations of a string.
    static_assert(sizeof(StringRecord) % alignof(char16_t) == 0);
    auto* record = static_cast<StringRecord*>(gc_allocate(engine, sizeof(StringRecord) + length * sizeof(char16_t)));
    record->flags = string_inline;
    record->chars = reinterpret_cast<char16_t*>(record + 1);
    record->length = static_cast<uint32_t>(length);
    record->properties = nullptr;
    return record;
}

Value make_string_copy(ScriptEngine* engine, const char16_t* chars, size_t length) {
    StringRecord* record = make_string_buffer(engine, length);
    if (length > 0) {
        std::memcpy(record->chars, chars, length * sizeof(char16_t));
    }
    return Value::string(record);
}

Value make_string_from_narrow(ScriptEngine* engine, const char* text, size_t length) {
    if (text == nullptr || length == 0) {
        return Value::string(make_string_buffer(engine, 0));
    }
    std::string_view narrow(text, length);
    StringRecord* record = make_string_buffer(engine, narrow_to_utf16_length(narrow));
    narrow_to_utf16(narrow, record->chars, record->length);
    return Value::string(record);
}

PlainPtr<char> string_to_narrow(ScriptEngine* engine, const StringRecord* string) {
    size_t bytes = utf16_to_narrow_length(string->view());
    PlainPtr<char> text(static_cast<char*>(plain_allocate(engine, bytes + 1)));
    if (text) {
        utf16_to_narrow(string->view(), text.get(), bytes);
        text.get()[bytes] = '\0';
    }
    return text;
}

PlainPtr<char16_t> string_to_wide(ScriptEngine* engine, const StringRecord* string) {
    PlainPtr<char16_t> text(
        static_cast<char16_t*>(plain_allocate(engine, (size_t{string->length} + 1) * sizeof(char16_t))));
    if (text) {
        if (string->length > 0) {
            std::memcpy(text.get(), string->chars, string->length * sizeof(char16_t));
        }
        text.get()[string->length] = 0;
    }
    return text;
}

int compare_strings(const StringRecord* a, const StringRecord* b) {
    uint32_t common = a->length < b->length ? a->length : b->length;
    for (uint32_t i = 0; i < common; ++i) {
        if (a->chars[i] != b->chars[i]) {
            return static_cast<uint16_t>(a->chars[i]) < static_cast<uint16_t>(b->chars[i]) ? -1 : 1;
        }
    }
    if (a->length == b->length) {
        return 0;
    }
    return a->length < b->length ? -1 : 1;
}

}  // namespace quill
