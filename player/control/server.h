// The DLL as a COM server: its module handle and the count of live objects and server locks that
// DllCanUnloadNow consults.
#pragma once

#include "platform/windows.h"

namespace tarpon::player {

HINSTANCE module_instance();

// Every control and class factory counts itself for its lifetime; LockServer counts too.
void server_add_ref();
void server_release();
bool server_in_use();

// Counts one live object of the server for the lifetime of the member.
class ServerReference {
  public:
    ServerReference() { server_add_ref(); }
    ServerReference(const ServerReference&) = delete;
    ServerReference& operator=(const ServerReference&) = delete;
    ~ServerReference() { server_release(); }
};

} // namespace tarpon::player
