// quill: the command-line host of the Quill Script engine.
//
//   quill FILE [ARG...]                 run a script file (compiled or source, by name or content)
//   quill -e TEXT [ARG...]              run source text
//   quill -c FILE.qls [-o OUT.qsc] [-g] compile to a module (-g: with debug information)
//   quill -l FILE                       list a module's code (a source file is compiled first)
//   quill                               run standard input, or an interactive prompt on a terminal
//   -w before any of these: warnings and trace output on standard error
//
// Scripts get two globals: print(...) and scriptArgs. Exit status: 0 success, 1 a runtime error or
// an uncaught throw, 2 a source that does not compile or a file that cannot be read, 64 bad usage.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "engine/quill.h"
#include "host/common/console.h"
#include "host/host_classes.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

using namespace quill;

// The exit statuses.
constexpr int exit_success = 0;
constexpr int exit_raised = 1;     // a runtime error or an uncaught throw
constexpr int exit_unusable = 2;   // a source that does not compile, a file that cannot be read
constexpr int exit_usage = 64;

#ifndef TARPON_VERSION
#define TARPON_VERSION "unknown"
#endif

// print and scriptArgs.
bool add_host_globals(EngineHandle* handle, const std::vector<std::string>& arguments) {
    return run_native(handle, [&](ScriptEngine* engine) {
        tarpon::host::define_console(engine, tarpon::host::print_to_stdout, nullptr, arguments);
    });
}

void print_line(std::FILE* stream, std::string text) {
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    std::fputs(text.c_str(), stream);
}

// Warnings and trace output, with -w.
void trace_to_stderr(ScriptEngine*, const char* text, void*) {
    std::fflush(stdout);
    print_line(stderr, text);
}

// The status of a run or call: its message on standard error when it failed.
int report(EngineHandle* handle, bool ok) {
    std::fflush(stdout);
    if (ok) {
        return exit_success;
    }
    print_line(stderr, last_message(handle));
    return last_run_unusable(handle) ? exit_unusable : exit_raised;
}

// Compiler diagnostics go to standard error whether or not the source compiled; a source that
// compiled then runs.
int run_compiled(EngineHandle* handle, const CompiledModule& compiled) {
    std::fflush(stdout);
    std::fputs(compiled.diagnostics.c_str(), stderr);
    if (!compiled.ok) {
        return exit_unusable;
    }
    return report(handle, run_compiled_bytes(handle, compiled.module.data(), compiled.module.size()));
}

bool read_file(const char* path, std::vector<uint8_t>* bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes->insert(bytes->end(), block, block + got);
    }
    bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool is_source_name(const std::string& path) {
    size_t dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? "" : path.substr(dot);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".qls";
}

int compile_command(EngineHandle* handle, const std::string& input, std::string output, bool debug) {
    if (output.empty()) {
        size_t dot = input.rfind('.');
        size_t slash = input.find_last_of("/\\");
        output = (dot != std::string::npos && (slash == std::string::npos || dot > slash) ? input.substr(0, dot) : input) +
                 ".qsc";
    }
    CompiledModule result = compile_source_file(handle, input.c_str(), debug, output.c_str());
    std::fputs(result.diagnostics.c_str(), stderr);
    return result.ok ? exit_success : exit_unusable;
}

int list_command(EngineHandle* handle, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!read_file(path.c_str(), &bytes)) {
        std::fprintf(stderr, "quill: can't open %s\n", path.c_str());
        return exit_unusable;
    }
    bool compiled = !is_source_name(path);
    if (compiled) {
        std::string listing;
        if (list_module(bytes.data(), bytes.size(), &listing)) {
            std::fputs(listing.c_str(), stdout);
            return exit_success;
        }
    }
    CompiledModule result = compile_source_file(handle, path.c_str());
    std::fputs(result.diagnostics.c_str(), stderr);
    if (!result.ok) {
        return exit_unusable;
    }
    std::string listing;
    list_module(result.module.data(), result.module.size(), &listing);
    std::fputs(listing.c_str(), stdout);
    return exit_success;
}

int run_file(EngineHandle* handle, const std::string& path) {
    if (is_compiled_script_file(path.c_str())) {
        return report(handle, quill::run_compiled_file(handle, path.c_str()));
    }
    return run_compiled(handle, compile_source_file(handle, path.c_str()));
}

// Reads lines until the input compiles, evaluates it, prints a result that is not undefined.
int interactive(EngineHandle* handle) {
    std::string pending;
    std::string line;
    std::fputs("> ", stdout);
    std::fflush(stdout);
    while (std::getline(std::cin, line)) {
        pending += line;
        pending += '\n';
        if (!source_compiles(handle, pending) && !line.empty()) {
            std::fputs(". ", stdout);  // not complete yet: keep reading
            std::fflush(stdout);
            continue;
        }
        bool ok = run_source_text(handle, pending.c_str());
        if (!ok) {
            report(handle, false);
        } else if (last_result(handle).tag != Tag::Undefined) {
            std::printf("%s\n", last_result_text(handle).c_str());
        }
        pending.clear();
        std::fputs("> ", stdout);
        std::fflush(stdout);
    }
    std::fputs("\n", stdout);
    return exit_success;
}

const char usage_text[] = "usage: quill [-w] FILE [ARG...]\n"
                          "       quill [-w] -e TEXT [ARG...]\n"
                          "       quill -c FILE.qls [-o OUT.qsc] [-g]\n"
                          "       quill -l FILE\n"
                          "       quill [-w]       (standard input, or an interactive prompt)\n"
                          "       quill --help | --version\n";

int usage() {
    std::fputs(usage_text, stderr);
    return exit_usage;
}

int help() {
    std::fputs(usage_text, stdout);
    std::fputs("\n"
               "Runs Quill Script files (source .qls or compiled .qsc, told apart by name or content),\n"
               "compiles them (-c; -g keeps line information) and lists compiled code (-l). Scripts see\n"
               "the standard globals, the host objects of this build, print(...) and scriptArgs.\n"
               "-w shows warnings (such as undefined variables) and trace output on standard error;\n"
               "compiler warnings always go there.\n"
               "\n"
               "Exit status: 0 success, 1 a runtime error or an uncaught throw, 2 a source that does\n"
               "not compile or a file that cannot be read, 64 bad usage.\n",
               stdout);
    return exit_success;
}

// What the command line asks for, once read.
struct Command {
    bool warnings = false;
    std::vector<std::string> args;  // after the options that apply to every command
};

int run(const Command& command, EngineHandle* handle) {
    const std::vector<std::string>& args = command.args;
    if (!args.empty() && args[0] == "-c") {
        std::string input;
        std::string output;
        bool debug = false;
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "-o" && i + 1 < args.size()) {
                output = args[++i];
            } else if (args[i] == "-g") {
                debug = true;
            } else if (input.empty() && args[i][0] != '-') {
                input = args[i];
            } else {
                return usage();
            }
        }
        return input.empty() ? usage() : compile_command(handle, input, output, debug);
    }
    if (!args.empty() && args[0] == "-l") {
        return args.size() == 2 ? list_command(handle, args[1]) : usage();
    }
    if (!args.empty() && args[0] == "-e") {
        if (args.size() < 2) {
            return usage();
        }
        if (!add_host_globals(handle, std::vector<std::string>(args.begin() + 2, args.end()))) {
            return report(handle, false);
        }
        return run_compiled(handle, compile_source_text(handle, args[1]));
    }
    if (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        return usage();
    }
    std::vector<std::string> script_args = args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end());
    if (!add_host_globals(handle, script_args)) {
        return report(handle, false);
    }
    if (!args.empty()) {
        return run_file(handle, args[0]);
    }
    if (isatty(fileno(stdin))) {
        return interactive(handle);
    }
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return run_compiled(handle, compile_source_text(handle, text));
}

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Scripts make large temporary blocks over and over (a sort's working arrays, a joined text):
    // the C library would map each afresh and unmap it when freed, so every use of it pays a page
    // fault per page. Blocks up to 32 MiB come from the heap instead, which keeps up to that much it
    // freed for the next request.
    constexpr int kept_bytes = 32 << 20;
    mallopt(M_MMAP_THRESHOLD, kept_bytes);
    mallopt(M_TRIM_THRESHOLD, kept_bytes);
#endif
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        return help();
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quill %s\n", TARPON_VERSION);
        return exit_success;
    }
    Command command;
    command.args.assign(argv + 1, argv + argc);
    if (!command.args.empty() && command.args[0] == "-w") {
        command.warnings = true;
        command.args.erase(command.args.begin());
    }
    // Every host class there is, at its place: the projector registers the same list.
    EngineConfig config;
    std::span<const ClassRegistration> classes = tarpon::host::host_classes();
    config.host_classes = classes.data();
    config.host_class_count = classes.size();
    if (!command.warnings) {
        config.flags &= ~vm::config_flag_warn_undefined;
    }
    EngineHandle* handle = quill::create_engine(&config);
    if (handle == nullptr) {
        std::fputs("quill: can't create the engine\n", stderr);
        return exit_raised;
    }
    if (command.warnings) {
        set_trace(handle, trace_to_stderr, nullptr);
    }
    int status = run(command, handle);
    quill::destroy_engine(handle);
    return status;
}
