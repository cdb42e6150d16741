// The order in which an engine registers its classes at creation. Built-in classes fill their
// places; a host names the place of each class it supplies, so a class takes the same place in
// every host and any subset keeps this order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quill {

struct ScriptEngine;

enum class ClassSlot : uint8_t {
    GlobalFunctions,
    Date,
    FolderAndFile,
    Drive,
    StreamAndFileStream,
    StringStream,
    Math,
    RegExp,
    Array,
    Boolean,
    Function,
    Number,
    String,
    Object,
    ActiveXObject,
    Enumerator,
    RegKey,
    RegValue,
    Ini,
    Dialogs,
    FontObject,
    Shell,
    Shortcut,
    URLShortcut,
    MCI,
    CreateControl,
    FlashPlayer,
    MovieClip,
    ApplicationGlobals,
    Window,
    Mail,
    SendMail,
    RecvMail,
    Inet,
    IPConfig,
    SysInfo,
    Socket,
    Count
};

using RegisterClass = void (*)(ScriptEngine* engine);

// One class a host supplies and its place in the order.
struct ClassRegistration {
    ClassSlot slot;
    RegisterClass register_class;
};

}  // namespace quill
