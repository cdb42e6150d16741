// The RegKey class.
#include "host/common/class.h"
#include "host/system/system_classes.h"

namespace tarpon::host {

namespace {

const Member members[] = {
    {nullptr},
};

const ClassDeclaration declaration = {
    .name = "RegKey",
    .class_text = "[object RegKey]",
    .members = std::span<const Member>(members, 0),
};

}  // namespace

void register_reg_key_class(ScriptEngine* engine) { declare_class(engine, declaration); }

}  // namespace tarpon::host
