// Functions of libraries loaded at run time (WinINet, the MIB-II agent, the SNMP utilities).
#pragma once

#include "platform/windows.h"

namespace tarpon::host::net {

// The exported function as the given pointer type, or null.
template <typename Function> Function library_function(HMODULE library, const char* name) {
    // Through a function type without parameters, which any function pointer may be cast to.
    auto found = reinterpret_cast<void (*)()>(GetProcAddress(library, name));
    return reinterpret_cast<Function>(found);
}

} // namespace tarpon::host::net
