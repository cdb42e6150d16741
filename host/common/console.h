// The globals of a console host: print(...) and scriptArgs. quill, quill.exe and the tests' runner
// define them the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// Receives each text print makes: its arguments' string conversions joined by blanks, without a
// line end.
using PrintSink = void (*)(void* context, std::string_view text);

// Defines print, writing to the sink, and scriptArgs, an Array of the arguments' texts (ANSI code
// page). Call under a protection record (raises on out of memory).
void define_console(quill::ScriptEngine* engine, PrintSink sink, void* context,
                    const std::vector<std::string>& script_arguments);

// The sink that writes each text and a line end to standard output.
void print_to_stdout(void* context, std::string_view text);

}  // namespace tarpon::host
