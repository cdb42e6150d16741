// The Ini class.
#include "host/common/class.h"
#include "host/system/system_classes.h"

namespace tarpon::host {

namespace {

const Member members[] = {
    {nullptr},
};

const ClassDeclaration declaration = {
    .name = "Ini",
    .class_text = "[object INI]",
    .members = std::span<const Member>(members, 0),
};

}  // namespace

void register_ini_class(ScriptEngine* engine) { declare_class(engine, declaration); }

}  // namespace tarpon::host
