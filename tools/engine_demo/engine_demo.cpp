// A small tour of the engine's value layer: values and their conversions, an object with a
// prototype, a host class, and a collection that reclaims what nothing reaches.
#include <cstdio>
#include <string>

#include "engine/builtins/boolean.h"
#include "engine/builtins/number.h"
#include "engine/builtins/string.h"
#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/host_class.h"
#include "engine/values/property_access.h"
#include "engine/values/property_table.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"

using namespace quill;

namespace {

std::string text(ScriptEngine* engine, const Value& value) {
    return utf16_to_narrow(to_string(engine, value).payload.string->view());
}

const char* tag_name(Tag tag) {
    switch (tag) {
    case Tag::Integer:
        return "Integer";
    case Tag::Number:
        return "Number";
    case Tag::NaN:
        return "NaN";
    default:
        return type_name(tag);
    }
}

void show_conversions(ScriptEngine* engine) {
    std::printf("Conversions\n");
    for (const char* source : {"", "  42", "4.5e1", ".5", "12px", "010", "0x1f", "x", "9223372036854775808"}) {
        Value number = to_number(engine, make_string_from_narrow(engine, source));
        std::printf("  to number of %-22s -> %-7s %s\n", ("\"" + std::string(source) + "\"").c_str(),
                    tag_name(number.tag), text(engine, number).c_str());
    }
    std::printf("  to string of null      -> \"%s\"\n", text(engine, Value::null()).c_str());
    std::printf("  to int32 of -3.9       -> %d\n", to_int32(engine, Value::number(-3.9)));
    std::printf("  to boolean of \"0\"      -> %s\n",
                to_boolean(make_string_from_narrow(engine, "0")) ? "true" : "false");
    bool ok = run_protected(engine, [engine] { to_object(engine, Value::undefined()); });
    std::printf("  to object of undefined -> %s: %s\n", ok ? "ok" : "failed", engine->message);
}

int instances_destroyed = 0;

void show_objects_and_collection(ScriptEngine* engine) {
    std::printf("Objects\n");
    PropertyTable* shape = new_table(engine);
    table_put(engine, shape, intern(engine, "sides"), Value::integer(4));
    Value square = Value::object(new_table_with_prototype(engine, shape));
    set_property(engine, square, intern(engine, "size"), Value::number(2.5));
    set_global(engine, "square", square);
    Value sides, size;
    get_property(engine, square, intern(engine, "sides"), &sides);
    get_property(engine, square, intern(engine, "size"), &size);
    std::printf("  square.sides (inherited) = %s, square.size = %s\n", text(engine, sides).c_str(),
                text(engine, size).c_str());

    HostClass* cls = new_host_class(engine);
    cls->destroy = [](HostClass*, void* data) {
        ++instances_destroyed;
        delete static_cast<int*>(data);
    };
    set_global(engine, "Widget", make_host_object(engine, cls, nullptr));
    set_global(engine, "kept", make_host_object(engine, cls, new int(1)));
    for (int i = 0; i < 1000; ++i) {
        make_host_object(engine, cls, new int(i));  // garbage: nothing keeps these
    }
    for (int i = 0; i < 20000; ++i) {
        make_string_from_narrow(engine, "temporary text " + std::to_string(i));
    }

    std::printf("Collection\n");
    std::printf("  before: %zu bytes in chunks, %zu handed out since the last collection\n",
                engine->heap.chunk_bytes, engine->heap.allocated_bytes);
    size_t live = collect(engine, engine->stack.saved_top);
    std::printf("  after:  %zu live bytes, %zu free bytes, %d host instances destroyed\n", live,
                engine->heap.free_bytes, instances_destroyed);
}

}  // namespace

int main() {
    ScriptEngine* engine = create_engine_record();
    if (engine == nullptr) {
        std::fprintf(stderr, "engine_demo: out of memory\n");
        return 1;
    }
    bool ok = run_protected(engine, [engine] {
        register_string_class(engine);
        register_boolean_class(engine);
        register_number_class(engine);
        show_conversions(engine);
        show_objects_and_collection(engine);
    });
    if (!ok) {
        std::fprintf(stderr, "engine_demo: %s\n", engine->message);
    }
    destroy_engine_record(engine);
    std::printf("Engine destroyed: %d host instances destroyed in all\n", instances_destroyed);
    return ok ? 0 : 1;
}
