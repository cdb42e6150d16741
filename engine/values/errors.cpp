// Runtime errors, the protection chain and warnings.
#include "engine/values/errors.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/values/engine.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"

namespace quill {

void set_message(ScriptEngine* engine, const char* format, ...) {
    va_list args;
    va_start(args, format);
    // vsnprintf cuts the text to the buffer and always terminates it.
    std::vsnprintf(engine->message, sizeof engine->message, format, args);
    va_end(args);
}

namespace {

// Formats a message of the table: its "%s" takes the name, its "%d" the number.
void format_message(char* out, size_t size, Message message, const char* name, int number) {
    const char* text = message_text(message);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    if (std::strstr(text, "%d") != nullptr) {
        std::snprintf(out, size, text, number);
    } else {
        std::snprintf(out, size, text, name != nullptr ? name : "");
    }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

}  // namespace

void set_message(ScriptEngine* engine, Message message) {
    set_message(engine, "%s", message_text(message));
}

void set_message(ScriptEngine* engine, Message message, const char* name) {
    format_message(engine->message, sizeof engine->message, message, name, 0);
}

void clear_message(ScriptEngine* engine) { engine->message[0] = '\0'; }

void unwind_to_innermost(ScriptEngine* engine) { throw ScriptUnwind{engine->protection}; }

void raise_runtime_error(ScriptEngine* engine) {
    char text[sizeof engine->message];
    std::snprintf(text, sizeof text, message_text(Message::RuntimeError), engine->message);
    std::memcpy(engine->message, text, sizeof text);
    raise_current_message(engine);
}

void raise_current_message(ScriptEngine* engine) {
    ProtectionRecord* innermost = engine->protection;
    if (innermost != nullptr && innermost->is_try) {
        // The message becomes the caught value. Building it must not raise again: while it is built
        // the record counts as host-level, so a failure inside lands in the catch below, and the try
        // block then catches Undefined with the text still in the message buffer.
        char text[sizeof engine->message];
        std::memcpy(text, engine->message, sizeof text);
        innermost->exception = Value::undefined();
        innermost->is_try = false;
        try {
            innermost->exception = make_string_from_narrow(engine, text, std::strlen(text));
        } catch (const ScriptUnwind&) {
        } catch (const std::bad_alloc&) {
        }
        std::memcpy(engine->message, text, sizeof text);
        innermost->is_try = true;
    }
    unwind_to_innermost(engine);
}

void raise_error(ScriptEngine* engine, Message message) {
    set_message(engine, message);
    raise_runtime_error(engine);
}

void raise_error(ScriptEngine* engine, Message message, int argument) {
    format_message(engine->message, sizeof engine->message, message, nullptr, argument);
    raise_runtime_error(engine);
}

void warn(ScriptEngine* engine, Message message, const char* name) {
    if (engine->trace_sink == nullptr) {
        return;
    }
    char text[config::warning_buffer_size];
    format_message(text, sizeof text, message, name, 0);
    engine->trace_sink(engine, text, engine->trace_data);
}

void pop_protection_records(ScriptEngine* engine, ProtectionRecord* head) {
    while (engine->protection != nullptr && engine->protection != head) {
        ProtectionRecord* record = engine->protection;
        engine->protection = record->link;
        if (record->is_try) {
            plain_free(engine, record);
        }
    }
}

}  // namespace quill
