// The stream classes: FileStream (also named Stream) and StringStream. Portable, in every build.
#pragma once

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

void register_file_stream_class(quill::ScriptEngine* engine);    // stream.cpp: FileStream and Stream
void register_string_stream_class(quill::ScriptEngine* engine);  // stream.cpp: StringStream

}  // namespace tarpon::host
