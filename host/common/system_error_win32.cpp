#include "host/common/system_error.h"

#include "engine/values/errors.h"
#include "platform/system_error.h"
#include "platform/windows.h"

namespace tarpon::host {

void store_system_error(quill::ScriptEngine* engine, uint32_t code) {
    quill::set_message(engine, "%s", platform::system_error_text(code).c_str());
}

void store_last_error(quill::ScriptEngine* engine) { store_system_error(engine, GetLastError()); }

}  // namespace tarpon::host
