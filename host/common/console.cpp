#include "host/common/console.h"

#include <cstdio>
#include <memory>

#include "engine/quill.h"
#include "host/common/class.h"

namespace tarpon::host {

namespace {

struct PrintTarget {
    PrintSink sink;
    void* context;
};

void print_call(MemberCall& call) {
    std::string text;
    for (uint32_t i = 0; i < call.args.count(); ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += ansi_of(call.engine, call.args[i]);
    }
    const PrintTarget& target = call.data<PrintTarget>();
    target.sink(target.context, text);
}

const ClassDeclaration print_function = {
    .name = nullptr,
    .call = print_call,
    .destroy = delete_instance<PrintTarget>,
};

}  // namespace

void define_console(ScriptEngine* engine, PrintSink sink, void* context,
                    const std::vector<std::string>& script_arguments) {
    HostClass* cls = declared_class(engine, print_function);
    if (cls == nullptr) {
        cls = declare_class(engine, print_function);
    }
    set_global(engine, "print", make_instance(engine, cls, std::make_unique<PrintTarget>(PrintTarget{sink, context})));
    set_global(engine, "scriptArgs", ansi_string_array(engine, script_arguments));
}

void print_to_stdout(void*, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace tarpon::host
