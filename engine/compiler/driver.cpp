// The compiler driver.
#include "engine/compiler/driver.h"

#include <cstdio>
#include <cstring>

#include "engine/compiler/optimiser.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/vm/module_writer.h"

namespace quill::compiler {

namespace {

void write_listing(const char* path) {
    if (std::FILE* file = std::fopen(path, "wb")) {
        std::fputs("; -*- asm -*-\r\n", file);
        std::fclose(file);
    }
}

bool write_file(const char* path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// Builds a module from the code of a program handed over in pieces, in program order, each
// ending where a function entry follows: each piece is optimised, laid out after the code before it
// and written; its list may be emptied afterwards.
class ModuleAssembler {
public:
    // Line records are written with CF_DEBUG_INFO, under the source name.
    ModuleAssembler(uint32_t flags, const std::string& source_name);

    void add(InstructionList& list, bool optimised);
    std::vector<uint8_t> finish() const { return m_writer.finish(); }

private:
    vm::ModuleWriter m_writer;
    bool m_debug;
    bool m_have_line = false;
    uint32_t m_last_line = 0;
};

ModuleAssembler::ModuleAssembler(uint32_t flags, const std::string& source_name)
    : m_debug((flags & CF_DEBUG_INFO) != 0) {
    if (m_debug) {
        m_writer.add_source(source_name);
    }
}

void ModuleAssembler::add(InstructionList& list, bool optimised) {
    if (!optimised) {
        optimise(list, CF_ALL_PASSES);
    }
    layout(list, m_writer.code_size());
    for (const Instruction* i = list.first(); i != nullptr; i = i->next) {
        if (i->opcode == entry_label) {
            m_writer.add_function(i->name, i->offset);
            continue;
        }
        if (i->opcode == target_label) {
            continue;
        }
        if (m_debug && (!m_have_line || i->line != m_last_line)) {
            // The record names the instruction after the first one of the line; the interpreter's
            // saved position, which lies past the running instruction, reads it that way.
            m_writer.add_line(i->offset + i->size, i->line);
            m_have_line = true;
            m_last_line = i->line;
        }
        switch (vm::opcode_info(static_cast<uint8_t>(i->opcode)).operand) {
        case vm::OperandKind::None:
            m_writer.emit(i->op());
            break;
        case vm::OperandKind::Jump:
            m_writer.emit(i->op(), static_cast<int64_t>(i->target->offset) - static_cast<int64_t>(i->offset + i->size));
            break;
        case vm::OperandKind::Name:
            m_writer.emit(i->op(), m_writer.add_name(i->name));
            break;
        case vm::OperandKind::Constant:
            m_writer.emit(i->op(), m_writer.add_constant(*i->constant));
            break;
        default:
            m_writer.emit(i->op(), i->integer);
            break;
        }
    }
}

CompileOutput compile(ScriptEngine* engine, SourceText source, uint32_t flags, const char* listing_path,
                      const char* output_path) {
    Compilation compilation;
    compilation.engine = engine;
    compilation.flags = flags | CF_ALL_PASSES;
    compilation.source = std::move(source);
    CompileOutput output;
    try {
        // Each function's code is optimised and written as soon as the generator hands it over.
        ModuleAssembler assembler(compilation.flags, compilation.source.name);
        compilation.take_code = [&assembler](InstructionList& list, bool optimised) { assembler.add(list, optimised); };
        generate_program(compilation);
        if (listing_path != nullptr) {
            write_listing(listing_path);
        }
        output.module = assembler.finish();
        output.ok = true;
    } catch (const CompileError&) {
        output.ok = false;
    }
    output.diagnostics = compilation.diagnostics.text();
    if (engine != nullptr) {
        engine->diagnostics = output.diagnostics;
        set_message(engine, "%s", output.diagnostics.c_str());
    }
    if (output.ok && output_path != nullptr && !write_file(output_path, output.module)) {
        output.diagnostics += std::string("can't write the module file: ") + output_path + "\n";
        if (engine != nullptr) {
            set_message(engine, "%s", output.diagnostics.c_str());
        }
        output.ok = false;
    }
    return output;
}

}  // namespace

CompileOutput compile_text(ScriptEngine* engine, std::string_view text, uint32_t flags, const char* listing_path,
                           const char* output_path) {
    return compile(engine, SourceText{"string", std::string(text)}, flags, listing_path, output_path);
}

CompileOutput compile_file(ScriptEngine* engine, const char* path, uint32_t flags, const char* listing_path,
                           const char* output_path) {
    auto cant_open = [&] {
        CompileOutput output;
        output.diagnostics = std::string("can't open the script file: ") + path + "\n";
        if (engine != nullptr) {
            engine->diagnostics = output.diagnostics;
            set_message(engine, "%s", output.diagnostics.c_str());
        }
        return output;
    };
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return cant_open();
    }
    std::string bytes;
    char block[4096];
    size_t got = std::fread(block, 1, sizeof block, file);
    bytes.append(block, got);
    // The source stays whole while it compiles: once the first block has read as a file's (a
    // directory opens but fails there, and reports no size worth taking), size the string to it.
    if (got == sizeof block) {
        const long here = std::ftell(file);
        if (here >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
            const long size = std::ftell(file);
            if (size > here) {
                bytes.reserve(static_cast<size_t>(size));
            }
            std::fseek(file, here, SEEK_SET);
        }
    }
    while (got > 0 && (got = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes.append(block, got);
    }
    // A file that opens but cannot be read (a directory, on some systems) is no empty script.
    const bool unreadable = std::ferror(file) != 0;
    std::fclose(file);
    if (unreadable) {
        return cant_open();
    }
    bytes.shrink_to_fit();  // a file that grew while it was read, or one that cannot seek
    return compile(engine, SourceText{path, std::move(bytes)}, flags, listing_path, output_path);
}

uint32_t compile_flags_from_options(uint32_t option_word, uint32_t first_option_field) {
    static const struct {
        uint32_t option;
        uint32_t flag;
    } map[] = {
        {0x10, 0x2},         {0x20, 0x4},         {0x40, 0x8},         {0x80, 0x10000},  {0x100, 0x20000},
        {0x400, 0x40000},    {0x800, 0x80000},    {0x1000, 0x100000},  {0x2000, 0x200000}, {0x4000, 0x400000},
        {0x8000, 0x20},      {0x10000, 0x40},     {0x20000, 0x80},     {0x40000, 0x100},
    };
    uint32_t flags = first_option_field != 0 ? 1u : 0u;
    for (const auto& m : map) {
        if ((option_word & m.option) != 0) {
            flags |= m.flag;
        }
    }
    return flags;
}

}  // namespace quill::compiler
