#include "host/system/activex_object.h"

namespace tarpon::host {

quill::Value make_activex_object(quill::ScriptEngine*, IDispatch*) {
    return quill::Value::null();
}

IDispatch* activex_object_dispatch(const quill::Value&) {
    return nullptr;
}

}  // namespace tarpon::host
