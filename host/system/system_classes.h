// The registration functions of the classes of the system, one per class file.
#pragma once

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

void register_folder_class(quill::ScriptEngine* engine);       // folder.cpp: Folder and File
void register_drive_class(quill::ScriptEngine* engine);        // drive.cpp
void register_activex_object_class(quill::ScriptEngine* engine);  // activex_object.cpp
void register_enumerator_class(quill::ScriptEngine* engine);   // enumerator.cpp
void register_reg_key_class(quill::ScriptEngine* engine);      // reg_key.cpp
void register_reg_value_class(quill::ScriptEngine* engine);    // reg_value.cpp
void register_ini_class(quill::ScriptEngine* engine);          // ini.cpp
void register_shell_class(quill::ScriptEngine* engine);        // shell.cpp
void register_shortcut_class(quill::ScriptEngine* engine);     // shortcut.cpp
void register_url_shortcut_class(quill::ScriptEngine* engine); // url_shortcut.cpp
void register_sys_info_class(quill::ScriptEngine* engine);     // sys_info.cpp

}  // namespace tarpon::host
