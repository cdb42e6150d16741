// Socket against peers the test runs on its own threads: an echo server, a peer that watches for
// the close of a socket whose object goes away, and a listener that never answers.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/host_engine.h"
#include "tests/host/net/loopback_server.h"

namespace tarpon::host::testing {
namespace {

// Waits in processMsg until the condition (a function's name) holds, for at most ten seconds.
const char* const wait_helper = "function waitFor(done) {"
                                "  var end = new Date().getTime() + 10000;"
                                "  var ok = done();"
                                "  while (!ok && new Date().getTime() < end) { processMsg(); ok = done(); }"
                                "  return ok;"
                                "}";

// Sends back what it gets; after "quit" it closes its side.
void echo(SOCKET connection) {
    net::set_timeouts(connection, 5000);
    char buffer[4096];
    std::string seen;
    while (seen.find("quit") == std::string::npos) {
        const int n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        seen.append(buffer, static_cast<size_t>(n));
        LoopbackServer::send_text(connection, std::string(buffer, static_cast<size_t>(n)));
    }
}

// Waits up to five seconds for the peer to close: true when recv saw the end (or a reset).
bool sees_close(SOCKET connection) {
    net::set_timeouts(connection, 5000);
    char buffer[256];
    for (;;) {
        const int n = recv(connection, buffer, sizeof buffer, 0);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            return WSAGetLastError() == WSAECONNRESET;
        }
    }
}

std::string connect_text(uint16_t port) {
    return "var s = new Socket(); s.connect('127.0.0.1', " + std::to_string(port) + ");";
}

TEST(SocketTest, TalksToAnEchoServerWhileTheScriptWaits) {
    LoopbackServer server(echo);
    ASSERT_TRUE(server.listening());
    HostEngine engine;
    ASSERT_EQ(engine.run(std::string(wait_helper) + connect_text(server.port()) +
                         "var got = []; s.onReceive = function () {"
                         "  var line; while ((line = this.receiveLine()) !== null) got[got.length] = line; };"
                         "s.send('one\\r\\ntw'); s.send('o\\nthree\\n');"
                         "function three() { return got.length == 3; } waitFor(three); got.join('|')"),
              "one|two|three");
    // The server closing its side reaches onClose, after the last bytes it sent.
    EXPECT_EQ(engine.run("var closed = false; s.onClose = function () { closed = got.length; };"
                         "function heard() { return closed !== false; }"
                         "s.send('quit\\n'); var ok = waitFor(heard); [ok, closed, s.connected].join()"),
              "true,4,false");
}

TEST(SocketTest, CollectedOrFreedWithTheEngineClosesTheConnection) {
    std::atomic<int> closes{0};
    LoopbackServer server([&](SOCKET connection) {
        if (sees_close(connection)) {
            ++closes;
        }
    });
    ASSERT_TRUE(server.listening());
    {
        HostEngine engine;
        ASSERT_EQ(engine.run(connect_text(server.port()) + "s.send('x'); s = null; 1"), "1");
        engine.collect();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (closes < 1 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(closes, 1);
        // A socket still held when the engine goes is closed with it.
        ASSERT_EQ(engine.run(connect_text(server.port()) + "s.connected"), "true");
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (closes < 2 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(closes, 2);
}

// A peer that sends more than the receive queue holds while the script reads nothing: the socket
// stops reading at the bound and TCP holds the peer back; once the script reads, everything arrives,
// in order, nothing lost. Each chunk's first and last bytes are checked against their offsets.
TEST(SocketTest, ReceiveQueueIsBoundedAndLosesNothing) {
    // Well past the bound plus what the system buffers on both ends of the loopback.
    constexpr size_t total = 100u * 1024 * 1024;
    std::atomic<size_t> sent{0};
    LoopbackServer server([&](SOCKET connection) {
        std::string block(1 << 16, '\0');
        while (sent < total) {
            for (size_t i = 0; i < block.size(); ++i) {
                block[i] = static_cast<char>((sent + i) % 251);
            }
            const size_t n = std::min(block.size(), total - sent);
            size_t done = 0;
            while (done < n) {
                const int k = send(connection, block.data() + done, static_cast<int>(n - done), 0);
                if (k <= 0) {
                    return;
                }
                done += static_cast<size_t>(k);
            }
            sent += n;
        }
    });
    ASSERT_TRUE(server.listening());
    HostEngine engine;
    ASSERT_EQ(engine.run(connect_text(server.port()) + "s.charset = 'binary'; s.connected"), "true");
    // The script reads nothing for two seconds: the peer is held back short of the end.
    ASSERT_EQ(engine.run("var idle = new Date().getTime() + 2000;"
                         "while (new Date().getTime() < idle) processMsg(); 1"),
              "1");
    EXPECT_LT(sent, total);
    EXPECT_EQ(engine.run("var total = 0; var bad = 0; var limit = " + std::to_string(total) +
                         ";"
                         "function readSome() {"
                         "  var text = s.receive(1048576);"
                         "  if (text.length > 0) {"
                         "    if (text.charCodeAt(0) != total % 251) bad++;"
                         "    if (text.charCodeAt(text.length - 1) != (total + text.length - 1) % 251) bad++;"
                         "    total += text.length;"
                         "  }"
                         "  return total >= limit;"
                         "}"
                         "var end = new Date().getTime() + 60000; var ok = readSome();"
                         "while (!ok && new Date().getTime() < end) { processMsg(); ok = readSome(); }"
                         "[ok, total == limit, bad].join()"),
              "true,true,0");
}

// A listener whose queue is full leaves further attempts unanswered, so a blocking connect ends at
// its timeout. Where the system accepts them anyway the case cannot be made on the loopback.
TEST(SocketTest, BlockingConnectEndsAtItsTimeout) {
    net::WinsockSession winsock;
    net::Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener.get(), 1), 0);
    ASSERT_EQ(getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);

    // Fill the queue: attempts until one stays unanswered for half a second.
    std::vector<net::Socket> fillers;
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        fillers.emplace_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        u_long non_blocking = 1;
        ioctlsocket(fillers.back().get(), FIONBIO, &non_blocking);
        connect(fillers.back().get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(fillers.back().get(), &writable);
        timeval wait{0, 500 * 1000};
        full = select(0, nullptr, &writable, nullptr, &wait) == 0;
    }
    if (!full) {
        GTEST_SKIP() << "the loopback answers every connection attempt";
    }
    HostEngine engine;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine.run("var s = new Socket(); s.timeout = 700; var ok = s.connect('127.0.0.1', " +
                         std::to_string(ntohs(address.sin_port)) + "); [ok, s.connected, s.error].join()"),
              "false,false,10060");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(600));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

} // namespace
} // namespace tarpon::host::testing

#endif // _WIN32
