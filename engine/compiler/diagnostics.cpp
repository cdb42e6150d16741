// Warning and error lines of a compilation.
#include <cstdarg>
#include <cstdio>

#include "engine/compiler/compilation.h"
#include "engine/compiler/compiler_messages.h"
#include "engine/vm/module.h"

namespace quill::compiler {

namespace {

std::string line_text(const char* kind, uint32_t line, const char* format, va_list args) {
    char message[256];
    std::vsnprintf(message, sizeof message, format, args);
    return std::string(kind) + "line " + std::to_string(line) + ": " + message + "\r\n";
}

}  // namespace

void Diagnostics::warn(uint32_t line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_text += line_text("warning: ", line, format, args);
    va_end(args);
}

void Diagnostics::fail(uint32_t line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_text += line_text("error: ", line, format, args);
    va_end(args);
    throw CompileError{};
}

std::string Diagnostics::take_from(size_t position) {
    std::string lines = m_text.substr(position);
    m_text.resize(position);
    return lines;
}

void Diagnostics::fail_held(const std::string& lines) {
    m_text += lines;
    throw CompileError{};
}

void check_name(Compilation& compilation, uint32_t line, std::string_view name) {
    if (name.size() > vm::max_name_length) {
        compilation.diagnostics.fail(line, compiler_message(CompilerMessage::NameTooLong),
                                     static_cast<int>(vm::max_name_length));
    }
}

}  // namespace quill::compiler
