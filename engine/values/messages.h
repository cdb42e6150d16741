// Every message text of the engine's values layer, in one table, used by name.
#pragma once

namespace quill {

// X(name, text): runtime errors (raised with the "Runtime error: " prefix) and warnings (handed to
// the trace hook). Texts are the system's own and must stay exactly as written.
#define QUILL_MESSAGES(X)                                                                  \
    X(OutOfMemory, "Out of memory")                                                        \
    X(StackOverflow, "stack overflow")                                                     \
    X(CantConvertToPrimitive, "Can't convert to primitive type")                           \
    X(CantConvertToObject, "Can't convert to object")                                      \
    X(UnimplementedBytecode, "Unimplemented Quill Script bytecode")                        \
    X(HookBreak, "hook break %d")                                                          \
    X(InvalidModule, "Invalid compiled module: %s")                                        \
    X(CantReadModuleFile, "can't read the module file: %s")                                \
    X(RuntimeError, "Runtime error: %s")                                                   \
    X(RegExpRuntimeError, "RegExp runtime error: %s")                                      \
    X(UndefinedVariable, "Warning: using undefined variable \"%s\"")                      \
    X(UndefinedProperty, "Warning: using undefined property \"%s\"")                      \
    X(WrongTypeProperty, "Warning: can't set property \"%s\" with a wrong type")          \
    X(InvalidIndex, "Warning: invalid index for operator []")                              \
    X(StringIndexOutOfRange, "Warning: string index out of range")                         \
    X(StaticStringChange, "Warning: can't change a static string")                         \
    X(NonCharacterStore, "Warning: can't store a non-charactor value to string")           \
    X(UndefinedFunction, "Warning: call a undefined function")                             \
    X(UnknownMethod, "Warning: unknown method \"%s\"")                                    \
    X(InvalidConstructor, "Warning: invalid constructor")                                  \
    X(InvalidUri, "Invalid URI string")                                                    \
    X(InstructionBudgetSpent, "instruction budget spent")

enum class Message {
#define QUILL_MESSAGE_ENUM(name, text) name,
    QUILL_MESSAGES(QUILL_MESSAGE_ENUM)
#undef QUILL_MESSAGE_ENUM
};

// The text of a message; a printf format where it holds "%s" or "%d".
const char* message_text(Message message);

}  // namespace quill
