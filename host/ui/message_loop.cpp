#include "host/ui/message_loop.h"

#include "engine/quill.h"
#include "host/common/class.h"

namespace tarpon::host {

namespace {

// The framework's idle message: it carries nothing to dispatch.
constexpr UINT idle_message = 0x036A;

MessageLoopHooks loop_hooks;

void process_msg_call(MemberCall& call) {
    *call.result = Value::boolean(process_messages());
}

const ClassDeclaration process_msg_function = {
    .name = nullptr,
    .call = process_msg_call,
};

}  // namespace

void set_message_loop_hooks(const MessageLoopHooks& hooks) {
    loop_hooks = hooks;
}

bool process_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            if (loop_hooks.shutdown != nullptr) {
                loop_hooks.shutdown();
            }
            return false;
        }
        bool consumed = loop_hooks.pre_translate != nullptr && loop_hooks.pre_translate(&message);
        if (message.message != idle_message && !consumed) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (loop_hooks.take_pending_close != nullptr && loop_hooks.take_pending_close()) {
            return false;
        }
    }
    return true;
}

void register_message_loop_functions(ScriptEngine* engine) {
    HostClass* cls = declared_class(engine, process_msg_function);
    if (cls == nullptr) {
        cls = declare_class(engine, process_msg_function);
    }
    set_global(engine, "processMsg", make_host_object(engine, cls, nullptr));
}

}  // namespace tarpon::host
