#include <cerrno>
#include <cstring>

#include "host/common/system_error.h"

#include "engine/values/errors.h"

namespace tarpon::host {

// Away from Windows the codes are errno values and the texts the C library's.
void store_system_error(quill::ScriptEngine* engine, uint32_t code) {
    quill::set_message(engine, "%s", std::strerror(static_cast<int>(code)));
}

void store_last_error(quill::ScriptEngine* engine) { store_system_error(engine, static_cast<uint32_t>(errno)); }

}  // namespace tarpon::host
