// The method-call service.
#include "engine/values/method_call.h"

#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"
#include "engine/values/protected_run.h"
#include "engine/values/stack_roots.h"

namespace quill {

namespace {

[[noreturn]] void fail(ScriptEngine* engine, Message message, Atom method) {
    set_message(engine, message, atom_name(engine, method));
    unwind_to_innermost(engine);
}

// The handler gets the receiver and a copy of the block on the stack, as the interpreter gives them:
// the caller's cells may be anywhere in native memory, and a handler that runs script code (a
// conversion of an argument) must find them still alive afterwards.
bool ask_method_handler(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom method,
                        uint32_t cells, Value* args) {
    if (cls == nullptr || cls->method == nullptr) {
        return false;
    }
    StackRoots rooted_receiver(engine, &receiver, 1);
    RootedArguments block(engine, args, cells);
    Value result;
    if (!cls->method(engine, cls, instance, rooted_receiver.cells()[0], method, &result, block.block())) {
        return false;
    }
    engine->result = result;
    return true;
}

}  // namespace

bool call_method(ScriptEngine* engine, const Value& receiver, Atom method, uint32_t cells, Value* args) {
    Value no_arguments = Value::integer(0);
    if (args == nullptr || cells == 0) {
        args = &no_arguments;
        cells = 1;
    }
    return run_protected(engine, [&] {
        switch (receiver.tag) {
        case Tag::HostObject: {
            HostRecord* record = receiver.payload.host;
            if (!ask_method_handler(engine, record->cls, record->instance, receiver, method, cells, args)) {
                fail(engine, Message::UnknownMethod, method);
            }
            return;
        }
        case Tag::Object: {
            Value found;
            if (table_get(engine, receiver.payload.table, method, &found)) {
                if (found.tag != Tag::Function) {
                    fail(engine, Message::UnknownMethod, method);
                }
                if (engine->invoke_script == nullptr) {
                    fail(engine, Message::UndefinedFunction, method);
                }
                engine->invoke_script(engine, receiver, found, cells, args);
                return;
            }
            break;
        }
        default:
            break;
        }
        // Built-in methods of the value's type, such as an object's toString.
        HostClass* handler = type_handler(engine, receiver.tag);
        if (!ask_method_handler(engine, handler, nullptr, receiver, method, cells, args)) {
            fail(engine, Message::UnknownMethod, method);
        }
    });
}

}  // namespace quill
