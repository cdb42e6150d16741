// IPConfig objects, which Inet.getIPConfig makes.
#pragma once

#include <vector>

#include "engine/values/value.h"
#include "host/net/interface_table.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

// A new IPConfig object holding the rows.
quill::Value make_ip_config(quill::ScriptEngine* engine, std::vector<net::InterfaceRow> rows);

} // namespace tarpon::host
