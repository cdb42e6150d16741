// SendMail and RecvMail against the servers of mail_servers.py (started for these tests by ctest):
// what the SMTP server received byte for byte, every login mechanism, TLS started in the session
// and from the start with the certificate refused and taken, POP3 sessions and when deletions
// apply, bounds on what a server sends, and servers that never answer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/host/host_engine.h"

namespace tarpon::host::testing {
namespace {

// The servers' folder as this program reaches it (Wine's Z: drive is the Linux root).
std::string servers_folder() {
    const char* folder = std::getenv("TARPON_MAIL_SERVERS");
    return folder != nullptr ? std::string("Z:") + folder : std::string();
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string quoted(std::string text) {
    for (size_t i = 0; (i = text.find('\\', i)) != std::string::npos; i += 2) {
        text.insert(i, "\\");
    }
    return "'" + text + "'";
}

class MailTransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = servers_folder();
        if (m_folder.empty()) {
            GTEST_SKIP() << "TARPON_MAIL_SERVERS is not set (ctest starts the servers)";
        }
        std::istringstream ports(read_file(m_folder + "/ports.txt"));
        std::string name;
        int port = 0;
        while (ports >> name >> port) {
            m_ports[name] = port;
        }
        ASSERT_EQ(m_ports.size(), 5u) << "no ports file in " << m_folder;
    }

    std::string port(const char* name) { return std::to_string(m_ports.at(name)); }
    std::string received(const std::string& recipient, const char* ending) {
        return read_file(m_folder + "/" + recipient + ending);
    }

    // A script that makes `mail` (to the given recipient, with a Bcc and a line that starts with a
    // dot) and a SendMail `smtp` for the server, then runs `rest`.
    std::string send_script(const std::string& recipient, const char* server, const std::string& rest) {
        return "var mail = new Mail(); mail.from = 'Sender <sender@x.org>';"
               "mail.to = '" + recipient + ", \"Doe, Jane\" <jane@x.org>'; mail.cc = 'cc@x.org';"
               "mail.bcc = 'Hidden <hidden@x.org>'; mail.subject = 'Report';"
               "mail.text = 'First line\\n.starts with a dot\\n..two dots\\nlast';"
               "var smtp = new SendMail(); smtp.server = '127.0.0.1'; smtp.port = " + port(server) + ";"
               "smtp.user = 'tim'; smtp.password = 'secret'; smtp.heloName = 'tester';"
               "smtp.verifyCertificate = false; smtp.timeout = 5000;" + rest;
    }

    std::string pop3_script(const char* user, const char* server, const std::string& rest) {
        return std::string("var pop = new RecvMail(); pop.server = '127.0.0.1'; pop.port = ") + port(server) +
               "; pop.user = '" + user + "'; pop.password = 'secret'; pop.verifyCertificate = false;"
               "pop.timeout = 5000;" + rest;
    }

    HostEngine m_engine;
    std::string m_folder;
    std::map<std::string, int> m_ports;
};

TEST_F(MailTransferTest, SendsTheEnvelopeAndTheTextByteForByteWithoutBcc) {
    const std::string result = m_engine.run(send_script(
        "plain@x.org", "smtp",
        "smtp.auth = 'plain'; var codes = '';"
        "smtp.onProgress = function (code, text) { codes += code + ' '; };"
        "var sent = smtp.send(mail); sent + '|' + smtp.lastResponse + '|' + codes + '|' + mail.asText()"));
    const size_t bar1 = result.find('|');
    const size_t bar2 = result.find('|', bar1 + 1);
    const size_t bar3 = result.find('|', bar2 + 1);
    ASSERT_NE(bar3, std::string::npos) << result;
    EXPECT_EQ(result.substr(0, bar1), "true") << result;
    EXPECT_EQ(result.substr(bar1 + 1, bar2 - bar1 - 1), "250 2.0.0 Message accepted");
    EXPECT_EQ(result.substr(bar2 + 1, bar3 - bar2 - 1), "220 250 235 250 250 250 250 250 354 250 221 ");

    EXPECT_EQ(received("plain@x.org", ".env"),
              "from: sender@x.org\nto: plain@x.org jane@x.org cc@x.org hidden@x.org\nauth: PLAIN\ntls: no\n"
              "helo: tester\n");
    // What the server took in (its dot-stuffing undone) is the message without the Bcc field.
    std::string expected = result.substr(bar3 + 1);
    const std::string bcc_field = "BCC: Hidden <hidden@x.org>\r\n";
    const size_t bcc = expected.find(bcc_field);
    ASSERT_NE(bcc, std::string::npos) << expected;
    expected.erase(bcc, bcc_field.size());
    // The body's lines end as the script wrote them; on the wire every line ends with CR LF.
    std::string wire;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == '\n' && (i == 0 || expected[i - 1] != '\r')) {
            wire += '\r';
        }
        wire += expected[i];
    }
    if (wire.size() < 2 || wire.compare(wire.size() - 2, 2, "\r\n") != 0) {
        wire += "\r\n";
    }
    const std::string got = received("plain@x.org", ".eml");
    EXPECT_EQ(got, wire);
    EXPECT_NE(got.find("\r\n.starts with a dot\r\n..two dots\r\n"), std::string::npos) << got;
}

TEST_F(MailTransferTest, EveryLoginMechanismAndAutoTakesTheBestOffered) {
    for (const char* auth : {"login", "cram-md5", "auto"}) {
        const std::string recipient = std::string("auth-") + auth + "@x.org";
        EXPECT_EQ(m_engine.run(send_script(recipient, "smtp", std::string("smtp.auth = '") + auth + "'; smtp.send(mail)")),
                  "true")
            << auth << ": " << m_engine.message();
        const std::string envelope = received(recipient, ".env");
        EXPECT_NE(envelope.find(std::string("auth: ") + (std::string(auth) == "login" ? "LOGIN" : "CRAM-MD5")),
                  std::string::npos)
            << auth << ": " << envelope;
    }
    const std::string refused = m_engine.run(
        send_script("refused@x.org", "smtp", "smtp.password = 'wrong'; smtp.send(mail) + '|' + smtp.lastResponse"));
    EXPECT_EQ(refused.substr(0, 10), "false|535 ") << refused;
    EXPECT_NE(std::string(m_engine.message()).find("535"), std::string::npos) << m_engine.message();
    EXPECT_TRUE(received("refused@x.org", ".env").empty());
}

TEST_F(MailTransferTest, TlsInTheSessionAndFromTheStartRefusesTheCertificateUnlessToldNotToCheck) {
    EXPECT_EQ(m_engine.run(send_script("starttls@x.org", "smtp", "smtp.secure = 'starttls'; smtp.send(mail)")), "true")
        << m_engine.message();
    EXPECT_NE(received("starttls@x.org", ".env").find("tls: yes"), std::string::npos);
    EXPECT_EQ(m_engine.run(send_script("implicit@x.org", "smtps", "smtp.secure = 'TLS'; smtp.send(mail)")), "true")
        << m_engine.message();
    EXPECT_NE(received("implicit@x.org", ".env").find("tls: yes"), std::string::npos);

    for (const char* mode : {"starttls", "tls"}) {
        const std::string script = std::string("smtp.secure = '") + mode +
                                   "'; smtp.verifyCertificate = true; smtp.send(mail)";
        EXPECT_EQ(m_engine.run(send_script(std::string("checked-") + mode + "@x.org",
                                           std::string(mode) == "tls" ? "smtps" : "smtp", script)),
                  "false");
        EXPECT_NE(std::string(m_engine.message()).find("certificate"), std::string::npos) << m_engine.message();
        EXPECT_TRUE(received(std::string("checked-") + mode + "@x.org", ".env").empty());
    }
}

TEST_F(MailTransferTest, SendRefusesWhatIsNoMessageAndAMessageWithoutRecipients) {
    EXPECT_EQ(m_engine.run(send_script("x@x.org", "smtp", "smtp.send('text')")), "false");
    EXPECT_EQ(m_engine.run(send_script("x@x.org", "smtp",
                                       "var empty = new Mail(); empty.from = 'a@x.org'; smtp.send(empty)")),
              "false");
    EXPECT_NE(std::string(m_engine.message()).find("recipient"), std::string::npos);
    EXPECT_EQ(m_engine.run("var s = new SendMail(); var r = new RecvMail(); s + ' ' + r + ' ' + s.port + ' ' +"
                           "r.port + ' ' + s.auth + ' ' + s.secure + ' ' + s.timeout + ' ' + s.verifyCertificate;"
                           "s.secure = 'tls'; r.secure = 'tls'; s.secure = 'bogus'; s.auth = 'bogus';"
                           "r.secure = 'starttls'; s.port + ' ' + r.port + ' ' + s.secure + ' ' + r.secure + ' ' + s.auth"),
              "465 995 tls tls auto");
}

TEST_F(MailTransferTest, Pop3SessionReadsSizesIdsHeadersAndMessages) {
    const std::string path = ::testing::TempDir() + "recv_mail_saved.eml";
    std::remove(path.c_str());
    const std::string result = m_engine.run(pop3_script(
        "reader", "pop3",
        "var out = pop.connect() + '|' + pop.count + '|' + pop.getSize(0) + '|' + pop.getUid(1).length + '|' +"
        "    pop.getHeaders(1, 1);"
        "var m = pop.getMail(0); out += '|' + m.subject + '|' + m.text;"
        "out += '|' + pop.saveMail(2, " + quoted(path) + ") + '|' + pop.getSize(3) + '|' + (pop.getMail(-1) === null) +"
        "    '|' + pop.getUid(3) + '|' + pop.getHeaders(0, -1);"
        "out + '|' + pop.disconnect() + '|' + pop.count + '|' + pop.getSize(0)"));
    EXPECT_EQ(result,
              "true|3|76|32|From: b@x.org\r\nTo: tim@x.org\r\nSubject: second\r\nX-Line: 1\r\n\r\nline 1\r\n|"
              "first|Hello.\r\n.leading dot\r\nBye.\r\n|true|-1|true|||true|0|-1")
        << m_engine.message();
    EXPECT_EQ(read_file(path), "From: c@x.org\r\nTo: tim@x.org\r\nSubject: third\r\n\r\nThird body.\r\n");
    std::remove(path.c_str());
}

TEST_F(MailTransferTest, DeletionsApplyOnlyAfterDisconnect) {
    // A mailbox of this run's own: the servers keep theirs while they run.
    const std::string user =
        "deleter" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    const char* deleter = user.c_str();
    // Freed without disconnect: the connection closes without QUIT and the mark is dropped.
    EXPECT_EQ(m_engine.run(pop3_script(deleter, "pop3", "var a = pop.connect() + ' ' + pop.deleteMail(0); pop = null; a")),
              "true true");
    m_engine.collect();
    EXPECT_EQ(m_engine.run(pop3_script(deleter, "pop3",
                                       "pop.connect() + ' ' + pop.count + ' ' + pop.deleteMail(0) + ' ' +"
                                       "pop.deleteMail(0) + ' ' + pop.disconnect() + ' ' + pop.getSize(0)")),
              "true 3 true false true -1");
    EXPECT_EQ(m_engine.run(pop3_script(deleter, "pop3", "pop.connect() + ' ' + pop.count + ' ' + pop.getMail(0).subject")),
              "true 2 second");
    // A second connect without disconnect drops the first session's marks too.
    EXPECT_EQ(m_engine.run(pop3_script(deleter, "pop3",
                                       "pop.connect(); pop.deleteMail(0); pop.connect() + ' ' + pop.count")),
              "true 2");
}

TEST_F(MailTransferTest, Pop3ApopStlsAndImplicitTls) {
    EXPECT_EQ(m_engine.run(pop3_script("apop", "pop3", "pop.apop = true; pop.connect() + ' ' + pop.count")), "true 3");
    EXPECT_EQ(m_engine.run(pop3_script("apop", "pop3", "pop.apop = true; pop.password = 'wrong'; pop.connect()")),
              "false");
    EXPECT_EQ(m_engine.run(pop3_script("stls", "pop3", "pop.secure = 'stls'; pop.connect() + ' ' + pop.getMail(1).subject")),
              "true second")
        << m_engine.message();
    EXPECT_EQ(m_engine.run(pop3_script("pop3s", "pop3s", "pop.secure = 'tls'; pop.connect() + ' ' + pop.count")), "true 3")
        << m_engine.message();
    for (const char* server : {"pop3", "pop3s"}) {
        const std::string mode = std::string(server) == "pop3" ? "stls" : "tls";
        EXPECT_EQ(m_engine.run(pop3_script("checked", server,
                                           "pop.secure = '" + mode + "'; pop.verifyCertificate = true; pop.connect()")),
                  "false");
        EXPECT_NE(std::string(m_engine.message()).find("certificate"), std::string::npos) << m_engine.message();
    }
    EXPECT_EQ(m_engine.run(pop3_script("tim", "pop3", "pop.password = 'wrong'; pop.connect() + ' ' + pop.lastResponse")),
              "false -ERR not logged in");
}

TEST_F(MailTransferTest, AMessageFarBeyondItsListedSizeIsRefused) {
    EXPECT_EQ(m_engine.run(pop3_script("liar", "pop3", "pop.connect() + ' ' + pop.getSize(0) + ' ' + (pop.getMail(0) === null)")),
              "true 10 true");
    EXPECT_NE(std::string(m_engine.message()).find("size"), std::string::npos) << m_engine.message();
}

TEST_F(MailTransferTest, AServerThatNeverAnswersEndsWithinTheTimeout) {
    for (const char* script :
         {"var s = new SendMail(); s.server = '127.0.0.1'; s.port = PORT; s.timeout = 1500;"
          "var m = new Mail(); m.to = 'a@x.org'; s.send(m)",
          "var r = new RecvMail(); r.server = '127.0.0.1'; r.port = PORT; r.timeout = 1500; r.connect()"}) {
        std::string text = script;
        text.replace(text.find("PORT"), 4, port("silent"));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(m_engine.run(text), "false");
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::milliseconds(4000));
        EXPECT_GE(elapsed, std::chrono::milliseconds(1400));
        EXPECT_NE(std::string(m_engine.message()).find("in time"), std::string::npos) << m_engine.message();
    }
}

}  // namespace
}  // namespace tarpon::host::testing
