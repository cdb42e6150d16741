// The connection of SendMail and RecvMail: a blocking TCP connection to the server, in the clear or
// under TLS through Schannel, read a line at a time. Every wait (connecting, sending, receiving,
// the TLS handshake) ends after the time-out, and every line is bounded.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarpon::host::net {

class MailConnection {
  public:
    MailConnection();
    ~MailConnection();
    MailConnection(const MailConnection&) = delete;
    MailConnection& operator=(const MailConnection&) = delete;

    // Connects to the server (a name or a dotted address) within the time-out, in milliseconds,
    // which then bounds every later wait too.
    bool open(const std::string& server, uint16_t port, uint32_t timeout);
    // Starts TLS on the open connection. With `verify`, the server's certificate must chain to a
    // trusted root and be made out to `server`; otherwise any certificate is taken.
    bool start_tls(const std::string& server, bool verify);
    bool send(std::string_view bytes);
    // The next line without its line end; nothing when the server closed the connection, sent a
    // line past the bound or let the time-out pass.
    std::optional<std::string> read_line();
    // Closes at once, without any goodbye to the server.
    void close();
    bool is_open() const;
    bool secure() const;

    // What the last failure was, as a sentence for the script's error text.
    const std::string& error() const;

  private:
    struct State;
    std::unique_ptr<State> m;
};

// The computer's NetBIOS name, for the greeting of an SMTP server; "localhost" without one.
std::string computer_name();

}  // namespace tarpon::host::net
