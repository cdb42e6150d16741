// The Folder class.
#include "host/common/class.h"
#include "host/system/system_classes.h"

namespace tarpon::host {

namespace {

const Member members[] = {
    {nullptr},
};

const ClassDeclaration declaration = {
    .name = "Folder",
    .also_named = "File",
    .class_text = "[object Folder]",
    .members = std::span<const Member>(members, 0),
};

}  // namespace

void register_folder_class(ScriptEngine* engine) { declare_class(engine, declaration); }

}  // namespace tarpon::host
