// The SysInfo class.
#include "host/common/class.h"
#include "host/system/system_classes.h"

namespace tarpon::host {

namespace {

const Member members[] = {
    {nullptr},
};

const ClassDeclaration declaration = {
    .name = "SysInfo",
    .class_text = "[object SysInfo]",
    .members = std::span<const Member>(members, 0),
};

}  // namespace

void register_sys_info_class(ScriptEngine* engine) { declare_class(engine, declaration); }

}  // namespace tarpon::host
