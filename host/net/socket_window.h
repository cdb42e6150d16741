// The socket layer's hidden window: every Socket object's notifications (WSAAsyncSelect) arrive
// there, on the thread that made it, and are handed to their socket's handler while the host's
// message loop runs. Each watched socket gets a message number of its own, so that a notification
// still queued for a socket that was closed meanwhile never reaches a later socket that happens to
// get the same handle.
#pragma once

#include <cstdint>

#include "host/net/winsock.h"

namespace tarpon::host::net {

// Receives one notification: the event (FD_READ, FD_CLOSE, ...) and its error code.
using SocketNotify = void (*)(void* context, uint16_t event, uint16_t error);

// Starts delivering the events of the socket to notify(context); the socket becomes non-blocking.
// The watch's message number, or 0 when the window or WSAAsyncSelect failed (WSAGetLastError then
// says why).
unsigned watch_socket(SOCKET socket, long events, SocketNotify notify, void* context);
// Changes the events of a watch; false (WSAGetLastError) when WSAAsyncSelect refuses.
bool change_watch(unsigned watch, long events);
// Stops the watch: no more notifications, and those still queued for it are dropped. The socket
// stays non-blocking. A watch of 0 is none.
void unwatch_socket(unsigned watch);
// Queues a notification for the watch as if the system had sent it (for an event the socket layer
// noticed itself).
void post_notification(unsigned watch, uint16_t event, uint16_t error = 0);

} // namespace tarpon::host::net
