// Inet.getUrl against an HTTP server of the test's own on the loopback: blocks and their events,
// error statuses, a refused connection and cancellation, and what each leaves in the destination.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/host/host_engine.h"
#include "tests/host/net/loopback_server.h"

namespace tarpon::host::testing {
namespace {

// 1,300 bytes: two whole blocks of 512 and a part.
std::string body() {
    std::string text;
    for (int i = 0; i < 1300; ++i) {
        text.push_back(static_cast<char>('a' + i % 26));
    }
    return text;
}

void serve_http(SOCKET connection) {
    const std::string request = LoopbackServer::read_until(connection, "\r\n\r\n");
    const bool found = request.rfind("GET /blocks ", 0) == 0;
    const std::string content = found ? body() : "<html>not here</html>";
    const std::string status = found ? "200 OK" : "404 Not Found";
    LoopbackServer::send_text(connection,
                              "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                                  std::to_string(content.size()) + "\r\nConnection: close\r\n\r\n" + content);
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class GetUrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.listening());
        m_path = ::testing::TempDir() + "inet_get_url_test.out";
        std::remove(m_path.c_str());
    }
    void TearDown() override { std::remove(m_path.c_str()); }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.port()) + path;
    }
    // Runs getUrl with a handler that records its events as "code:text" lines, then runs `finish`.
    std::string get(const std::string& address, const char* finish = "return true;") {
        std::string path = m_path;
        for (size_t i = 0; (i = path.find('\\', i)) != std::string::npos; i += 2) {
            path.insert(i, "\\");
        }
        return m_engine.run("var events = ''; var inet = new Inet();"
                            "inet.onGetUrl = function (code, text) { events += code + ':' + text + '\\n'; " +
                            std::string(finish) +
                            " };"
                            "inet.getUrl('" +
                            address + "', '" + path + "') + '\\n' + events");
    }

    LoopbackServer m_server{serve_http};
    HostEngine m_engine;
    std::string m_path;
};

TEST_F(GetUrlTest, CopiesTheBodyInBlocksWithAnEventAfterEach) {
    EXPECT_EQ(get(url("/blocks")), "true\n1:512\n1:1024\n1:1300\n");
    EXPECT_EQ(read_file(m_path), body());
}

TEST_F(GetUrlTest, AnErrorStatusFailsWithTheStatusLineAndLeavesTheFileAlone) {
    write_file(m_path, "kept");
    EXPECT_EQ(get(url("/missing")), "false\n0:HTTP/1.1 404 Not Found\n");
    EXPECT_EQ(read_file(m_path), "kept");
}

TEST_F(GetUrlTest, ARefusedConnectionFailsWithOneEventAndLeavesTheFileAlone) {
    uint16_t closed_port = 0;
    {
        LoopbackServer gone{[](SOCKET) {}};
        closed_port = gone.port();
    }
    write_file(m_path, "kept");
    const std::string result = get("http://127.0.0.1:" + std::to_string(closed_port) + "/blocks");
    EXPECT_EQ(result.rfind("false\n0:", 0), 0u) << result;
    EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 2) << result;
    // WinINet's own text for its code, which the system's message table lacks.
    EXPECT_EQ(result.find("error 12029"), std::string::npos) << result;
    EXPECT_GT(result.size(), std::string("false\n0:\n").size()) << result;
    EXPECT_EQ(read_file(m_path), "kept");
}

TEST_F(GetUrlTest, AHandlerAnsweringFalseStopsAfterTheFirstBlockKeepingIt) {
    EXPECT_EQ(get(url("/blocks"), "return false;"), "false\n1:512\n");
    EXPECT_EQ(read_file(m_path), body().substr(0, 512));
}

TEST_F(GetUrlTest, AFailingHandlerDoesNotStopTheDownload) {
    EXPECT_EQ(get(url("/blocks"), "throw 'handler failed';"), "true\n1:512\n1:1024\n1:1300\n");
    EXPECT_EQ(read_file(m_path), body());
}

TEST_F(GetUrlTest, WithoutAHandlerTheDownloadRunsToTheEnd) {
    std::string path = m_path;
    for (size_t i = 0; (i = path.find('\\', i)) != std::string::npos; i += 2) {
        path.insert(i, "\\");
    }
    EXPECT_EQ(m_engine.run("new Inet().getUrl('" + url("/blocks") + "', '" + path + "')"), "true");
    EXPECT_EQ(read_file(m_path), body());
    EXPECT_EQ(m_engine.run("new Inet().getUrl('" + url("/blocks") + "')"), "false");
}

} // namespace
} // namespace tarpon::host::testing

#endif // _WIN32
