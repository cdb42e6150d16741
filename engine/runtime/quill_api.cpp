// The parts of the host API (engine/quill.h) that are more than a forwarding call.
#include <cstring>
#include <utility>
#include <vector>

#include "engine/quill.h"
#include "engine/compiler/compilation.h"
#include "engine/compiler/driver.h"
#include "engine/values/collector.h"
#include "engine/values/heap.h"
#include "engine/values/text_codec.h"
#include "engine/vm/disassembler.h"

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

CompiledModule compiled_module(compiler::CompileOutput&& output) {
    CompiledModule compiled;
    compiled.ok = output.ok;
    compiled.module = std::move(output.module);
    compiled.diagnostics = std::move(output.diagnostics);
    return compiled;
}

uint32_t flags_with(const EngineHandle* engine, bool debug_info) {
    return runtime::compile_flags(engine) | (debug_info ? compiler::CF_DEBUG_INFO : 0);
}

}  // namespace

Value array_value(ScriptEngine* engine, const std::vector<Value>& elements) {
    ArrayRecord* array = array_create(engine, elements.size());
    for (size_t i = 0; i < elements.size(); ++i) {
        array_insert(engine, array, elements[i], i);
    }
    return Value::array(array);
}

CompiledModule compile_source_text(EngineHandle* engine, std::string_view text, bool debug_info) {
    return compiled_module(compiler::compile_text(engine->engine, text, flags_with(engine, debug_info)));
}

CompiledModule compile_source_file(EngineHandle* engine, const char* path, bool debug_info, const char* module_path) {
    return compiled_module(
        compiler::compile_file(engine->engine, path, flags_with(engine, debug_info), nullptr, module_path));
}

bool source_compiles(const EngineHandle* engine, std::string_view text) {
    return compiler::compile_text(nullptr, text, runtime::compile_flags(engine)).ok;
}

bool list_module(const void* bytes, size_t length, std::string* listing) {
    return vm::disassemble(static_cast<const uint8_t*>(bytes), length, listing);
}

bool collect_and_check_heap(EngineHandle* engine) {
    ScriptEngine* e = engine->engine;
    run_protected(e, [e] { collect(e, e->stack.saved_top); });
    return gc_verify(e, true);
}

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
