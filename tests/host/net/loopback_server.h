// A TCP server on 127.0.0.1 for the network tests: a thread that accepts connections one at a time
// and hands each to the test's function. It stops and is joined when the server goes, whatever the
// test's outcome; every wait in it is bounded.
#pragma once
#ifdef _WIN32

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "host/net/winsock.h"

namespace tarpon::host::testing {

class LoopbackServer {
  public:
    using Serve = std::function<void(SOCKET connection)>;

    // Listens on the port, or on a free one for port 0. listening() tells whether it could.
    explicit LoopbackServer(Serve serve, uint16_t port = 0) : m_serve(std::move(serve)) {
        m_socket.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        int size = sizeof address;
        if (!m_socket || bind(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_socket.get(), 8) != 0 ||
            getsockname(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            m_socket.reset();
            return;
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~LoopbackServer() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool listening() const { return static_cast<bool>(m_socket); }
    uint16_t port() const { return m_port; }
    int connections() const { return m_connections; }

    // Reads until the text holds `end` or the peer stops sending (at most 64 KiB, 5 s a read).
    static std::string read_until(SOCKET connection, const std::string& end) {
        net::set_timeouts(connection, 5000);
        std::string text;
        char buffer[1024];
        while (text.find(end) == std::string::npos && text.size() < 65536) {
            const int n = recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }
    static void send_text(SOCKET connection, const std::string& text) {
        size_t sent = 0;
        while (sent < text.size()) {
            const int n = send(connection, text.data() + sent, static_cast<int>(text.size() - sent), 0);
            if (n <= 0) {
                return;
            }
            sent += static_cast<size_t>(n);
        }
    }

  private:
    void run() {
        while (!m_stop) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_socket.get(), &readable);
            timeval wait{0, 100 * 1000};
            if (select(0, &readable, nullptr, nullptr, &wait) != 1) {
                continue;
            }
            net::Socket connection(accept(m_socket.get(), nullptr, nullptr));
            if (connection) {
                ++m_connections;
                m_serve(connection.get());
                shutdown(connection.get(), SD_SEND);
            }
        }
    }

    net::WinsockSession m_winsock;
    net::Socket m_socket;
    uint16_t m_port = 0;
    Serve m_serve;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

} // namespace tarpon::host::testing

#endif // _WIN32
