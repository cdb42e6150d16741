// Runtime errors, protection records and warnings: the engine's one error mechanism.
#pragma once

#include <cstdint>
#include <new>

#include "engine/values/messages.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// A record of the engine's protection chain. A runtime error exits non-locally to the innermost one.
// Host-level records (engine entry points) use only the link; try records of the interpreter also
// carry what a caught exception restores.
struct ProtectionRecord {
    ProtectionRecord* link = nullptr;
    bool is_try = false;
    Value exception;                     // the thrown value, or the "Runtime error: ..." text
    Value* saved_top = nullptr;          // stack top at TRY_PUSH
    Value* saved_frame = nullptr;        // frame at TRY_PUSH
    const uint32_t* resume = nullptr;    // code position just after TRY_PUSH
    int32_t catch_displacement = 0;      // in words, from the resume position
    uint32_t growth = 0;                 // stack room the catch code needs (its function's growth)
};

// The one exception type of the engine. It carries the record it unwinds to and must never cross a
// C or Win32 callback: every entry point catches it and returns a success flag.
struct ScriptUnwind {
    ProtectionRecord* target;
};

// Writes a formatted text into the message buffer, cut to fit.
void set_message(ScriptEngine* engine, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void set_message(ScriptEngine* engine, Message message);
// The message's text with the name in place of its "%s".
void set_message(ScriptEngine* engine, Message message, const char* name);
void clear_message(ScriptEngine* engine);

// Prefixes the message buffer text with "Runtime error: ", hands it to an innermost try record as its
// exception value, and exits to the innermost protection record.
[[noreturn]] void raise_runtime_error(ScriptEngine* engine);
// Raises the text already in the message buffer as it stands (no second prefix): how a native
// handler passes on the failure of a script it called back.
[[noreturn]] void raise_current_message(ScriptEngine* engine);
// Sets the message (formatted with the optional argument) and raises it.
[[noreturn]] void raise_error(ScriptEngine* engine, Message message);
[[noreturn]] void raise_error(ScriptEngine* engine, Message message, int argument);
// Exits to the innermost protection record without touching the message buffer.
[[noreturn]] void unwind_to_innermost(ScriptEngine* engine);

// Formats a warning (with the name where its text has "%s") and hands it to the trace hook.
// Warnings never touch the message buffer and never stop the script.
void warn(ScriptEngine* engine, Message message, const char* name = nullptr);

// Unlinks and frees every protection record above head; try records live on the plain heap.
void pop_protection_records(ScriptEngine* engine, ProtectionRecord* head);

}  // namespace quill
