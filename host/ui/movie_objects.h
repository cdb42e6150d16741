// FlashPlayer and MovieClip: what scripts reach the movie in the host's player control through
// (see host_player.h for how a host lends its control to them).
#pragma once

#include <string_view>

#include "engine/values/value.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// A MovieClip for the target path ("/", "_root.menu", ...); null when `target` is no String or the
// engine has no MovieClip class.
quill::Value make_movie_clip(quill::ScriptEngine* engine, const quill::Value& target);

// Hands a command from the movie that the host itself does not handle to the function a script
// stored in FlashPlayer.onFSCommand, called with the command and its argument as Strings. Nothing
// happens without such a function; a failure in it is dropped, and the script that is running
// meanwhile keeps its result and message.
void forward_fs_command(quill::ScriptEngine* engine, std::string_view command, std::string_view argument);

}  // namespace tarpon::host
