// Running scripts from source.
#include "engine/runtime/run.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/compiler/driver.h"

namespace quill::runtime {

namespace {

bool has_extension(const char* path, const char* extension) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr || std::strlen(dot) != std::strlen(extension)) {
        return false;
    }
    for (size_t i = 0; dot[i] != 0; ++i) {
        if (std::tolower(static_cast<unsigned char>(dot[i])) != extension[i]) {
            return false;
        }
    }
    return true;
}

// Whether the file holds a compiled module: "QS1b" at its start or after a "#" first line.
bool holds_module(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    int c = std::fgetc(file);
    if (c == '#') {
        while (c != EOF && c != '\n') {
            c = std::fgetc(file);
        }
    } else if (c != EOF) {
        std::ungetc(c, file);
    }
    char magic[4] = {};
    bool compiled = std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "QS1b", 4) == 0;
    std::fclose(file);
    return compiled;
}

}  // namespace

bool is_compiled_script_file(const char* path) {
    if (has_extension(path, ".qsc")) {
        return true;
    }
    return !has_extension(path, ".qls") && holds_module(path);
}

bool run_compiled_output(vm::EngineHandle* handle, const compiler::CompileOutput& output) {
    if (!output.ok) {
        handle->engine->result = Value::undefined();
        handle->script_unusable = true;
        return false;
    }
    return vm::run_compiled_bytes(handle, output.module.data(), output.module.size());
}

uint32_t compile_flags(const vm::EngineHandle* handle) {
    return compiler::compile_flags_from_options(handle->config.flags, handle->config.stack_cells);
}

bool run_source_text(vm::EngineHandle* handle, const char* text) {
    return run_compiled_output(handle, compiler::compile_text(handle->engine, text, compile_flags(handle)));
}

bool run_source_bytes(vm::EngineHandle* handle, const char* bytes, size_t length) {
    // The text ends at its first NUL, as a terminated copy would.
    std::string text(bytes, length);
    return run_source_text(handle, text.c_str());
}

bool run_source_file(vm::EngineHandle* handle, const char* path) {
    return run_compiled_output(handle, compiler::compile_file(handle->engine, path, compile_flags(handle)));
}

bool run_script_file(vm::EngineHandle* handle, const char* path) {
    return is_compiled_script_file(path) ? vm::run_compiled_file(handle, path) : run_source_file(handle, path);
}

}  // namespace quill::runtime
