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

bool write_file(const char* path, const vm::ModuleWriter& writer) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = writer.write([file](const uint8_t* bytes, size_t size) { return std::fwrite(bytes, 1, size, file) == size; });
    return std::fclose(file) == 0 && ok;
}

CompileOutput cant_open(ScriptEngine* engine, const char* path) {
    CompileOutput output;
    output.diagnostics = std::string("can't open the script file: ") + path + "\n";
    if (engine != nullptr) {
        engine->diagnostics = output.diagnostics;
        set_message(engine, "%s", output.diagnostics.c_str());
    }
    return output;
}

// Builds a module from the code of a program handed over in pieces, in program order, each
// ending where a function entry follows: each piece is optimised, laid out after the code before it
// and written; its list may be emptied afterwards.
class ModuleAssembler {
public:
    // Line records are written with CF_DEBUG_INFO, under the source name.
    ModuleAssembler(uint32_t flags, const std::string& source_name);

    void add(InstructionList& list, bool optimised);
    const vm::ModuleWriter& writer() const { return m_writer; }

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
    // Each function's code is optimised and written as soon as the generator hands it over.
    ModuleAssembler assembler(compilation.flags, compilation.source.name);
    try {
        compilation.take_code = [&assembler](InstructionList& list, bool optimised) { assembler.add(list, optimised); };
        generate_program(compilation);
        if (listing_path != nullptr) {
            write_listing(listing_path);
        }
        output.ok = true;
    } catch (const CompileError&) {
        output.ok = false;
    }
    // The source has been read: it goes before the module is put together.
    compilation.source.bytes = std::string();
    if (compilation.source.file != nullptr && std::ferror(compilation.source.file) != 0) {
        // A file that could not be read to its end is no script either.
        return cant_open(engine, compilation.source.name.c_str());
    }
    if (output.ok && output_path == nullptr) {
        output.module = assembler.writer().finish();
    }
    output.diagnostics = compilation.diagnostics.text();
    if (engine != nullptr) {
        engine->diagnostics = output.diagnostics;
        set_message(engine, "%s", output.diagnostics.c_str());
    }
    if (output.ok && output_path != nullptr && !write_file(output_path, assembler.writer())) {
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
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return cant_open(engine, path);
    }
    // The file is read as the lexer goes, a block at a time, never held whole. Its first block is
    // read here: a file that opens but cannot be read (a directory, on some systems) is no empty
    // script.
    std::string first(4096, '\0');
    first.resize(std::fread(first.data(), 1, first.size(), file));
    if (std::ferror(file) != 0) {
        std::fclose(file);
        return cant_open(engine, path);
    }
    CompileOutput output = compile(engine, SourceText{path, std::move(first), file}, flags, listing_path, output_path);
    std::fclose(file);
    return output;
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
