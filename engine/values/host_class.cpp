// Host classes and host records.
#include "engine/values/host_class.h"

#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/engine.h"
#include "engine/values/property_table.h"

namespace quill {

namespace {

void finalize_class(ScriptEngine*, void* data) {
    auto* cls = static_cast<HostClass*>(data);
    if (cls->user_data_finalizer != nullptr) {
        cls->user_data_finalizer(cls->user_data);
    }
}

void finalize_host_record(ScriptEngine*, void* data) {
    auto* record = static_cast<HostRecord*>(data);
    if (record->cls != nullptr && record->cls->destroy != nullptr && record->instance != nullptr) {
        record->cls->destroy(record->cls, record->instance);
    }
}

}  // namespace

void free_class_data(void* data) { plain_free(nullptr, data); }

HostClass* new_host_class(ScriptEngine* engine) {
    auto* cls = static_cast<HostClass*>(gc_allocate_finalized(engine, sizeof(HostClass), finalize_class));
    cls->prototype = new_table(engine);
    table_put(engine, cls->prototype, atom_proto, Value::null());
    return cls;
}

Value make_host_object(ScriptEngine* engine, HostClass* cls, void* instance) {
    // Instances are finalized in the first pass of a sweep, while their classes are still whole.
    auto* record = static_cast<HostRecord*>(
        gc_allocate_finalized(engine, sizeof(HostRecord), finalize_host_record, FinalizerOrder::First));
    // The record owns the instance data only once nothing more can fail: a caller whose allocation
    // raised still owns its data and frees it.
    record->cls = cls;
    record->instance = nullptr;
    record->properties = nullptr;
    if (instance != nullptr) {
        record->properties = new_table_with_prototype(engine, cls->prototype);
        record->instance = instance;
    }
    return Value::host(record);
}

void visit_host_class(ScriptEngine* engine, HostClass* cls) {
    if (gc_mark_block(cls) && cls->prototype != nullptr) {
        mark_value(engine, Value::object(cls->prototype));
    }
}

void visit_host_record(ScriptEngine* engine, HostRecord* record) {
    if (record->cls != nullptr) {
        visit_host_class(engine, record->cls);
    }
    if (record->properties != nullptr) {
        mark_value(engine, Value::object(record->properties));
    }
    if (record->cls != nullptr && record->cls->mark != nullptr) {
        record->cls->mark(engine, record->cls, record->instance);
    }
}

}  // namespace quill
