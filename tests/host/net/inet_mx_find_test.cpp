// The mail-exchanger lookup against DNS responders of the test's own on the loopback: compressed
// answers, hostile responses, a refused connection, and Inet.mxfind on the DNS port itself.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "host/net/mx_lookup.h"
#include "tests/host/host_engine.h"
#include "tests/host/net/loopback_server.h"

namespace tarpon::host::testing {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

// A responder answering each query with what `answer` makes of it (its bytes after the length),
// sent with `framed_length` as the length prefix when given.
class Responder {
  public:
    using Answer = std::function<Bytes(const Bytes& query)>;

    explicit Responder(Answer answer, uint16_t port = 0, std::optional<uint16_t> framed_length = std::nullopt)
        : m_answer(std::move(answer)), m_framed_length(framed_length),
          m_server([this](SOCKET connection) { serve(connection); }, port) {}

    bool listening() const { return m_server.listening(); }
    uint16_t port() const { return m_server.port(); }
    Bytes last_query() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_query;
    }

  private:
    void serve(SOCKET connection) {
        net::set_timeouts(connection, 5000);
        uint8_t prefix[2];
        if (recv(connection, reinterpret_cast<char*>(prefix), 2, MSG_WAITALL) != 2) {
            return;
        }
        Bytes query(static_cast<size_t>(prefix[0] << 8 | prefix[1]));
        if (recv(connection, reinterpret_cast<char*>(query.data()), static_cast<int>(query.size()),
                 MSG_WAITALL) != static_cast<int>(query.size())) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_query = query;
        }
        const Bytes response = m_answer(query);
        Bytes framed;
        put16(framed, m_framed_length ? *m_framed_length : static_cast<uint16_t>(response.size()));
        framed.insert(framed.end(), response.begin(), response.end());
        LoopbackServer::send_text(connection, std::string(framed.begin(), framed.end()));
    }

    Answer m_answer;
    std::optional<uint16_t> m_framed_length;
    std::mutex m_mutex;
    Bytes m_query;
    LoopbackServer m_server;
};

// The query turned into a response with the given answer records appended (each already written,
// owner names included).
Bytes respond(const Bytes& query, uint16_t answers, const Bytes& records) {
    Bytes response = query;
    response[2] = 0x81;
    response[3] = 0x80;
    response[6] = static_cast<uint8_t>(answers >> 8);
    response[7] = static_cast<uint8_t>(answers);
    response.insert(response.end(), records.begin(), records.end());
    return response;
}

// An MX record owned by the question's name (a pointer to offset 12), its exchange name given in
// wire form.
Bytes mx_record(uint16_t preference, const Bytes& exchange) {
    Bytes record{0xC0, 12};
    put16(record, dns::type_mx);
    put16(record, dns::class_in);
    record.insert(record.end(), {0, 0, 0x0E, 0x10});
    put16(record, static_cast<uint16_t>(exchange.size() + 2));
    put16(record, preference);
    record.insert(record.end(), exchange.begin(), exchange.end());
    return record;
}

Bytes two_exchangers(const Bytes& query) {
    Bytes records = mx_record(10, {3, 'm', 'x', '1', 0xC0, 12});
    const Bytes second = mx_record(20, {4, 'm', 'a', 'i', 'l', 3, 'n', 'e', 't', 0});
    records.insert(records.end(), second.begin(), second.end());
    return respond(query, 2, records);
}

TEST(MxFindTest, SendsOneFramedQueryAndReadsTheCompressedAnswers) {
    Responder responder(two_exchangers);
    ASSERT_TRUE(responder.listening());
    const std::vector<dns::MailExchanger> found =
        net::find_mail_exchangers("example.com", "127.0.0.1", responder.port());
    EXPECT_EQ(found, (std::vector<dns::MailExchanger>{{"mx1.example.com", 10}, {"mail.net", 20}}));
    EXPECT_EQ(responder.last_query(), *dns::mx_query("example.com"));
}

TEST(MxFindTest, HostileResponsesGiveNothing) {
    // A pointer loop in the only answer.
    Responder loop([](const Bytes& query) {
        const uint16_t name_at = static_cast<uint16_t>(query.size() + 14);
        return respond(
            query, 1,
            mx_record(1, {static_cast<uint8_t>(0xC0 | name_at >> 8), static_cast<uint8_t>(name_at)}));
    });
    // A length prefix promising more than is sent before the connection closes.
    Responder short_response(two_exchangers, 0, 4000);
    // A response to another query.
    Responder other_id([](const Bytes& query) {
        Bytes response = two_exchangers(query);
        response[0] ^= 0xFF;
        return response;
    });
    // Nothing at all: the connection closes.
    Responder silent([](const Bytes&) { return Bytes{}; }, 0, 0);
    for (Responder* responder : {&loop, &short_response, &other_id, &silent}) {
        ASSERT_TRUE(responder->listening());
        EXPECT_TRUE(net::find_mail_exchangers("example.com", "127.0.0.1", responder->port()).empty());
    }
}

TEST(MxFindTest, ARefusedConnectionOrABadNameGivesNothing) {
    uint16_t closed_port = 0;
    {
        LoopbackServer gone{[](SOCKET) {}};
        closed_port = gone.port();
    }
    EXPECT_TRUE(net::find_mail_exchangers("example.com", "127.0.0.1", closed_port).empty());
    Responder responder(two_exchangers);
    EXPECT_TRUE(net::find_mail_exchangers("bad..name", "127.0.0.1", responder.port()).empty());
    EXPECT_TRUE(
        net::find_mail_exchangers("example.com", "no-such-server..invalid", responder.port()).empty());
}

// Debian's dnsmasq, started through Wine (which runs Unix programs too) on a free port of the
// loopback with two MX records of its own, and stopped by its process id when the test ends.
class Dnsmasq {
  public:
    static constexpr const char* program = "Z:\\usr\\sbin\\dnsmasq";

    Dnsmasq() {
        if (GetFileAttributesA(program) == INVALID_FILE_ATTRIBUTES) {
            return;
        }
        {
            LoopbackServer probe{[](SOCKET) {}};
            m_port = probe.port();
        }
        m_pid_file =
            "/tmp/tarpon-dnsmasq-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(m_port);
        run(std::string(program) + " --conf-file=/dev/null --no-resolv --no-hosts --bind-interfaces" +
            " --listen-address=127.0.0.1 --port=" + std::to_string(m_port) + " --pid-file=" + m_pid_file +
            " --user=root --log-facility=/dev/null --mx-host=example.test,mail.example.test,5" +
            " --mx-host=example.test,backup.example.test,10");
        // The daemon writes its id once it listens.
        for (int i = 0; i < 100 && m_pid.empty(); ++i) {
            Sleep(50);
            std::ifstream file("Z:" + m_pid_file);
            std::getline(file, m_pid);
        }
    }
    ~Dnsmasq() {
        if (!m_pid.empty() && m_pid.find_first_not_of("0123456789") == std::string::npos) {
            run("Z:\\bin\\kill " + m_pid);
            std::remove(("Z:" + m_pid_file).c_str());
        }
    }
    bool running() const { return !m_pid.empty(); }
    uint16_t port() const { return m_port; }

  private:
    static void run(std::string command) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }

    uint16_t m_port = 0;
    std::string m_pid_file;
    std::string m_pid;
};

TEST(MxFindTest, TheAnswersOfARealServerAreRead) {
    Dnsmasq server;
    if (!server.running()) {
        GTEST_SKIP() << "dnsmasq could not be started";
    }
    std::vector<dns::MailExchanger> found =
        net::find_mail_exchangers("example.test", "127.0.0.1", server.port());
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.preference < b.preference; });
    EXPECT_EQ(found,
              (std::vector<dns::MailExchanger>{{"mail.example.test", 5}, {"backup.example.test", 10}}));
    EXPECT_TRUE(net::find_mail_exchangers("other.test", "127.0.0.1", server.port()).empty());
}

TEST(MxFindTest, ScriptsGetPlainObjectsFromTheDnsPort) {
    Responder responder(two_exchangers, net::dns_port);
    if (!responder.listening()) {
        GTEST_SKIP() << "127.0.0.1:53 is taken";
    }
    HostEngine engine;
    EXPECT_EQ(
        engine.run("var found = new Inet().mxfind('example.com', '127.0.0.1');"
                   "found.length + ' ' + found[0].name + ' ' + found[0].pref + ' ' + found[1].name + ' ' +"
                   "(typeof found[1].pref)"),
        "2 mx1.example.com 10 mail.net number");
    EXPECT_EQ(engine.run(
                  "new Inet().mxfind('example.com').length + ' ' + new Inet().mxfind(1, '127.0.0.1').length"),
              "0 0");
}

} // namespace
} // namespace tarpon::host::testing

#endif // _WIN32
