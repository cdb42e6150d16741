// The Shortcut class.
#include "host/common/class.h"
#include "host/system/system_classes.h"

namespace tarpon::host {

namespace {

const Member members[] = {
    {nullptr},
};

const ClassDeclaration declaration = {
    .name = "Shortcut",
    .class_text = "[object Shortcut]",
    .members = std::span<const Member>(members, 0),
};

}  // namespace

void register_shortcut_class(ScriptEngine* engine) { declare_class(engine, declaration); }

}  // namespace tarpon::host
