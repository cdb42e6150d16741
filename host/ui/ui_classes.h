// The registration functions of the classes of the user interface, one per class file.
#pragma once

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

void register_window_class(quill::ScriptEngine* engine);  // window.cpp
void register_dialogs_class(quill::ScriptEngine* engine);  // dialogs.cpp
void register_font_object_class(quill::ScriptEngine* engine);  // font_object.cpp
void register_mci_class(quill::ScriptEngine* engine);  // mci.cpp
void register_flash_player_class(quill::ScriptEngine* engine);  // flash_player.cpp
void register_movie_clip_class(quill::ScriptEngine* engine);  // movie_clip.cpp

}  // namespace tarpon::host
