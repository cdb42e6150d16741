// quill: the command-line host of the Quill Script engine.
//
//   quill FILE [ARG...]                 run a script file (compiled or source, by name or content)
//   quill -e TEXT [ARG...]              run source text
//   quill -c FILE.qls [-o OUT.qsc] [-g] compile to a module (-g: with debug information)
//   quill -l FILE                       list a module's code (a source file is compiled first)
//   quill                               run standard input, or an interactive prompt on a terminal
//
// Scripts get two globals: print(...) and scriptArgs.
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

namespace {

using namespace quill;

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;

// print and scriptArgs.
bool add_host_globals(EngineHandle* handle, const std::vector<std::string>& arguments) {
    return run_native(handle, [&](ScriptEngine* engine) {
        tarpon::host::define_console(engine, tarpon::host::print_to_stdout, nullptr, arguments);
    });
}

int report(EngineHandle* handle, bool ok) {
    std::fflush(stdout);
    if (!ok) {
        std::string message = last_message(handle);
        if (!message.empty() && message.back() != '\n') {
            message += '\n';
        }
        std::fputs(message.c_str(), stderr);
        return exit_failure;
    }
    return 0;
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
    std::fclose(file);
    return true;
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
    return result.ok ? 0 : exit_failure;
}

int list_command(EngineHandle* handle, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!read_file(path.c_str(), &bytes)) {
        std::fprintf(stderr, "quill: can't open %s\n", path.c_str());
        return exit_failure;
    }
    bool compiled = !is_source_name(path);
    if (compiled) {
        std::string listing;
        if (list_module(bytes.data(), bytes.size(), &listing)) {
            std::fputs(listing.c_str(), stdout);
            return 0;
        }
    }
    CompiledModule result = compile_source_file(handle, path.c_str());
    std::fputs(result.diagnostics.c_str(), stderr);
    if (!result.ok) {
        return exit_failure;
    }
    std::string listing;
    list_module(result.module.data(), result.module.size(), &listing);
    std::fputs(listing.c_str(), stdout);
    return 0;
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
    return 0;
}

const char usage_text[] = "usage: quill FILE [ARG...]\n"
                          "       quill -e TEXT [ARG...]\n"
                          "       quill -c FILE.qls [-o OUT.qsc] [-g]\n"
                          "       quill -l FILE\n"
                          "       quill            (standard input, or an interactive prompt)\n";

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
               "Exit status: 0 success, 1 the script or a compilation failed, 2 bad options.\n",
               stdout);
    return 0;
}

int run(int argc, char** argv, EngineHandle* handle) {
    std::vector<std::string> args(argv + 1, argv + argc);
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
        return report(handle, run_source_text(handle, args[1].c_str()));
    }
    if (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        return usage();
    }
    std::vector<std::string> script_args = args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end());
    if (!add_host_globals(handle, script_args)) {
        return report(handle, false);
    }
    if (!args.empty()) {
        return report(handle, run_script_file(handle, args[0].c_str()));
    }
    if (isatty(fileno(stdin))) {
        return interactive(handle);
    }
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return report(handle, run_source_text(handle, text.c_str()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        return help();
    }
    // Every host class there is, at its place: the projector registers the same list.
    EngineConfig config;
    std::span<const ClassRegistration> classes = tarpon::host::host_classes();
    config.host_classes = classes.data();
    config.host_class_count = classes.size();
    EngineHandle* handle = quill::create_engine(&config);
    if (handle == nullptr) {
        std::fputs("quill: can't create the engine\n", stderr);
        return exit_failure;
    }
    int status = run(argc, argv, handle);
    quill::destroy_engine(handle);
    return status;
}
