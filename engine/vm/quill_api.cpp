// The parts of the host API that are more than a forwarding call.
#include <cstring>
#include <vector>

#include "engine/quill.h"
#include "engine/values/conversions.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"

namespace quill {

namespace {

// An argument block: the count cell, then the arguments.
std::vector<Value> argument_block(const Value* arguments, uint32_t count) {
    std::vector<Value> block;
    block.reserve(count + 1);
    block.push_back(Value::integer(count));
    block.insert(block.end(), arguments, arguments + count);
    return block;
}

}  // namespace

bool call_function(EngineHandle* engine, const char* name, const Value* arguments, uint32_t count) {
    std::vector<Value> block = argument_block(arguments, count);
    return vm::call_function(engine->engine, name, nullptr, count + 1, block.data());
}

bool call_method(EngineHandle* engine, const Value& receiver, const char* name, const Value* arguments,
                 uint32_t count) {
    std::vector<Value> block = argument_block(arguments, count);
    return vm::call_method(engine->engine, receiver, name, count + 1, block.data());
}

std::string last_result_text(EngineHandle* engine) {
    ScriptEngine* e = engine->engine;
    Value result = e->result;
    std::string text;
    // Converting may run a script's toString; that must not disturb the result or the message.
    char saved_message[sizeof e->message];
    std::memcpy(saved_message, e->message, sizeof saved_message);
    run_protected(e, [&] { text = utf16_to_narrow(to_string(e, result).payload.string->view()); });
    std::memcpy(e->message, saved_message, sizeof saved_message);
    e->result = result;
    return text;
}

}  // namespace quill
