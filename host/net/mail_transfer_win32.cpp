// The SendMail and RecvMail classes: an SMTP conversation that sends one Mail object, and a POP3
// session that stays open from connect to disconnect. Both run on the calling thread and wait for
// the server at most `timeout` milliseconds at a time.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/errors.h"
#include "engine/vm/services.h"
#include "host/common/class.h"
#include "host/net/mail_connection.h"
#include "host/net/mail_protocol.h"
#include "host/net/mail_system.h"
#include "host/net/mime_codec.h"
#include "host/net/net_classes.h"

namespace tarpon::host {

namespace {

using mail::AuthMechanism;
using mail::SmtpReply;

constexpr int64_t default_timeout = 10000;

// The settings and state of either class; each class reads the fields it has.
struct TransferRecord {
    std::string server;
    std::optional<uint16_t> port;
    std::string secure = "none";
    bool verify_certificate = true;
    std::string user;
    std::string password;
    int64_t timeout = default_timeout;
    std::string last_response;

    // SendMail
    std::string auth = "auto";
    std::optional<std::string> helo_name;
    Value on_progress;

    // RecvMail
    bool apop = false;
    std::unique_ptr<net::MailConnection> session;  // logged in from connect to disconnect
    int64_t count = 0;
};

TransferRecord& record(const MemberCall& call) { return call.data<TransferRecord>(); }

void transfer_mark(ScriptEngine* engine, HostClass*, void* instance) {
    if (instance != nullptr) {
        mark_value(engine, static_cast<const TransferRecord*>(instance)->on_progress);
    }
}

void transfer_construct(MemberCall& call) {
    *call.result = make_instance(call.engine, call.cls, std::make_unique<TransferRecord>());
}

void fail(MemberCall& call, const std::string& text) { set_message(call.engine, "%s", text.c_str()); }

// ---- properties both classes have ----

using TextField = std::string TransferRecord::*;
constexpr TextField server_field = &TransferRecord::server;
constexpr TextField user_field = &TransferRecord::user;
constexpr TextField password_field = &TransferRecord::password;
constexpr TextField last_response_field = &TransferRecord::last_response;

void get_text(MemberCall& call) {
    *call.result = ansi_string(call.engine, record(call).*call.context<TextField>());
}
void set_text(MemberCall& call, const Value& value) {
    std::string text = ansi_of(call.engine, value);
    record(call).*call.context<TextField>() = std::move(text);
}

// The port the script set, else the usual one for the kind of security.
struct DefaultPorts {
    uint16_t plain;
    uint16_t implicit_tls;
};
constexpr DefaultPorts smtp_ports{25, 465};
constexpr DefaultPorts pop3_ports{110, 995};

uint16_t port_of(const TransferRecord& r, const DefaultPorts& ports) {
    return r.port.value_or(r.secure == "tls" ? ports.implicit_tls : ports.plain);
}
void get_port(MemberCall& call) {
    *call.result = Value::integer(port_of(record(call), call.context<DefaultPorts>()));
}
void set_port(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer && value.payload.integer > 0 && value.payload.integer <= 65535) {
        record(call).port = static_cast<uint16_t>(value.payload.integer);
    }
}

// The values `secure` takes: a class's own three, compared without regard to case and kept in
// lower case. Anything else leaves it as it was.
struct SecureChoices {
    const char* in_session;  // "starttls" or "stls"
};
constexpr SecureChoices smtp_secure{"starttls"};
constexpr SecureChoices pop3_secure{"stls"};

void get_secure(MemberCall& call) { *call.result = ansi_string(call.engine, record(call).secure); }
void set_secure(MemberCall& call, const Value& value) {
    const std::string text = ansi_of(call.engine, value);
    for (const char* choice : {"none", "tls", call.context<SecureChoices>().in_session}) {
        if (equal_ignoring_ascii_case(text, choice)) {
            record(call).secure = choice;
        }
    }
}

void get_verify(MemberCall& call) { *call.result = Value::boolean(record(call).verify_certificate); }
void set_verify(MemberCall& call, const Value& value) { record(call).verify_certificate = to_boolean(value); }

void get_timeout(MemberCall& call) { *call.result = Value::integer(record(call).timeout); }
void set_timeout(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer && value.payload.integer > 0) {
        record(call).timeout = std::min<int64_t>(value.payload.integer, INT32_MAX);
    }
}

// Opens the connection with implicit TLS when asked.
bool open_connection(MemberCall& call, net::MailConnection& connection, const DefaultPorts& ports) {
    TransferRecord& r = record(call);
    if (r.server.empty()) {
        fail(call, "No server is set.");
        return false;
    }
    if (!connection.open(r.server, port_of(r, ports), static_cast<uint32_t>(r.timeout)) ||
        (r.secure == "tls" && !connection.start_tls(r.server, r.verify_certificate))) {
        fail(call, connection.error());
        return false;
    }
    return true;
}

// ---- SendMail ----

// Calls onProgress with the object as `this`; its failure does not stop the conversation.
void progress(MemberCall& call, const SmtpReply& reply) {
    const Value handler = record(call).on_progress;
    if (handler.tag != Tag::Function) {
        return;
    }
    Value block[3] = {Value::integer(2), Value::integer(reply.code), ansi_string(call.engine, reply.full)};
    vm::call_function_value(call.engine, call.receiver, handler, 3, block);
}

class SmtpConversation {
  public:
    explicit SmtpConversation(MemberCall& call) : m_call(call) {}

    net::MailConnection& connection() { return m_connection; }

    // The next reply; nothing when the connection failed or the server sent no reply (the error
    // text is set).
    std::optional<SmtpReply> reply() {
        mail::SmtpReplyReader reader;
        for (;;) {
            const std::optional<std::string> line = m_connection.read_line();
            if (!line) {
                fail(m_call, m_connection.error());
                return std::nullopt;
            }
            switch (reader.add(*line)) {
                case mail::SmtpReplyReader::Status::More:
                    continue;
                case mail::SmtpReplyReader::Status::Malformed:
                    record(m_call).last_response = *line;
                    fail(m_call, "The server's answer is not an SMTP reply.");
                    return std::nullopt;
                case mail::SmtpReplyReader::Status::Done:
                    break;
            }
            SmtpReply result = std::move(reader.reply());
            record(m_call).last_response = result.full;
            progress(m_call, result);
            return result;
        }
    }

    // Sends the line and reads the reply; the reply when its code is in the hundred expected.
    std::optional<SmtpReply> command(const std::string& line, int expected_hundred, const char* what) {
        if (!m_connection.send(line + "\r\n")) {
            fail(m_call, m_connection.error());
            return std::nullopt;
        }
        return expect(expected_hundred, what);
    }

    std::optional<SmtpReply> expect(int expected_hundred, const char* what) {
        std::optional<SmtpReply> answer = reply();
        if (answer && answer->code / 100 != expected_hundred) {
            fail(m_call, std::string("The server refused ") + what + ": " + answer->full);
            return std::nullopt;
        }
        return answer;
    }

  private:
    MemberCall& m_call;
    net::MailConnection m_connection;
};

// EHLO, falling back to HELO for a server that does not know it; the capabilities offered.
std::optional<mail::SmtpCapabilities> greet(SmtpConversation& smtp, const std::string& name) {
    if (std::optional<SmtpReply> ehlo = smtp.command("EHLO " + name, 2, "the greeting")) {
        return mail::parse_capabilities(*ehlo);
    }
    if (!smtp.connection().is_open() || !smtp.command("HELO " + name, 2, "the greeting")) {
        return std::nullopt;
    }
    return mail::SmtpCapabilities{};
}

bool authenticate(MemberCall& call, SmtpConversation& smtp, AuthMechanism mechanism) {
    const TransferRecord& r = record(call);
    switch (mechanism) {
        case AuthMechanism::None:
            return true;
        case AuthMechanism::Plain:
            return smtp.command("AUTH PLAIN " + mail::plain_response(r.user, r.password), 2, "the login")
                .has_value();
        case AuthMechanism::Login:
            return smtp.command("AUTH LOGIN", 3, "the login") &&
                   smtp.command(mime::base64_encode(r.user, 0), 3, "the login") &&
                   smtp.command(mime::base64_encode(r.password, 0), 2, "the login");
        case AuthMechanism::CramMd5: {
            const std::optional<SmtpReply> challenge = smtp.command("AUTH CRAM-MD5", 3, "the login");
            return challenge && !challenge->lines.empty() &&
                   smtp.command(mail::cram_md5_response(challenge->lines.front(), r.user, r.password), 2,
                                "the login");
        }
    }
    return false;
}

bool send_message(MemberCall& call, const MailToSend& message) {
    const TransferRecord& settings = record(call);
    const std::string sender = mail::sender_address(message.from);
    std::vector<std::string> recipients;
    for (const std::string* field : {&message.to, &message.cc, &message.bcc}) {
        for (std::string& address : mail::split_recipients(*field)) {
            recipients.push_back(std::move(address));
        }
    }
    if (recipients.empty()) {
        fail(call, "The message has no recipient.");
        return false;
    }
    // A line break inside an address would start a command of its own.
    const auto unsafe = [](const std::string& address) { return address.find_first_of("\r\n") != std::string::npos; };
    if (unsafe(sender) || std::any_of(recipients.begin(), recipients.end(), unsafe)) {
        fail(call, "An address of the message holds a line break.");
        return false;
    }
    const std::string helo = settings.helo_name.value_or(net::computer_name());
    const std::string auth_setting = settings.auth;

    SmtpConversation smtp(call);
    if (!open_connection(call, smtp.connection(), smtp_ports) || !smtp.expect(2, "the connection")) {
        return false;
    }
    std::optional<mail::SmtpCapabilities> offered = greet(smtp, helo);
    if (!offered) {
        return false;
    }
    if (settings.secure == "starttls") {
        if (!smtp.command("STARTTLS", 2, "to start TLS")) {
            return false;
        }
        if (!smtp.connection().start_tls(settings.server, settings.verify_certificate)) {
            fail(call, smtp.connection().error());
            return false;
        }
        // What the server offered in the clear counts no more.
        offered = greet(smtp, helo);
        if (!offered) {
            return false;
        }
    }
    const std::optional<AuthMechanism> mechanism = mail::choose_auth(auth_setting, *offered, !settings.user.empty());
    if (!mechanism) {
        fail(call, "The auth setting names no login mechanism: " + auth_setting);
        return false;
    }
    if (!authenticate(call, smtp, *mechanism)) {
        return false;
    }
    if (!smtp.command("MAIL FROM:<" + sender + ">", 2, "the sender")) {
        return false;
    }
    for (const std::string& recipient : recipients) {
        if (!smtp.command("RCPT TO:<" + recipient + ">", 2, "a recipient")) {
            return false;
        }
    }
    if (!smtp.command("DATA", 3, "the message")) {
        return false;
    }
    if (!smtp.connection().send(mail::data_text(mail::without_bcc(message.text)))) {
        fail(call, smtp.connection().error());
        return false;
    }
    if (!smtp.expect(2, "the message")) {
        return false;
    }
    // The message is accepted; how the goodbye goes changes nothing.
    const std::string accepted = record(call).last_response;
    if (smtp.connection().send("QUIT\r\n")) {
        smtp.reply();
    }
    record(call).last_response = accepted;
    return true;
}

void send_mail_send(MemberCall& call) {
    *call.result = Value::boolean(false);
    record(call).last_response.clear();
    const std::optional<MailToSend> message = mail_to_send(call.args[0]);
    if (!message) {
        fail(call, "send needs a Mail object.");
        return;
    }
    *call.result = Value::boolean(send_message(call, *message));
}

void get_auth(MemberCall& call) { *call.result = ansi_string(call.engine, record(call).auth); }
void set_auth(MemberCall& call, const Value& value) {
    const std::string text = ansi_of(call.engine, value);
    for (const char* choice : {"auto", "none", "plain", "login", "cram-md5"}) {
        if (equal_ignoring_ascii_case(text, choice)) {
            record(call).auth = choice;
        }
    }
}

void get_helo_name(MemberCall& call) {
    *call.result = ansi_string(call.engine, record(call).helo_name.value_or(net::computer_name()));
}
void set_helo_name(MemberCall& call, const Value& value) {
    std::string text = ansi_of(call.engine, value);
    // The name goes into a command line of its own.
    if (text.find_first_of("\r\n") == std::string::npos) {
        record(call).helo_name = std::move(text);
    }
}

void get_on_progress(MemberCall& call) { *call.result = record(call).on_progress; }
void set_on_progress(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Function || value.tag == Tag::Null) {
        record(call).on_progress = value.tag == Tag::Function ? value : Value();
    }
}

const Member send_mail_members[] = {
    property("server", get_text, set_text, Needs::Instance, &server_field),
    property("port", get_port, set_port, Needs::Instance, &smtp_ports),
    property("secure", get_secure, set_secure, Needs::Instance, &smtp_secure),
    property("verifyCertificate", get_verify, set_verify, Needs::Instance),
    property("user", get_text, set_text, Needs::Instance, &user_field),
    property("password", get_text, set_text, Needs::Instance, &password_field),
    property("auth", get_auth, set_auth, Needs::Instance),
    property("heloName", get_helo_name, set_helo_name, Needs::Instance),
    property("timeout", get_timeout, set_timeout, Needs::Instance),
    property("lastResponse", get_text, nullptr, Needs::Instance, &last_response_field),
    property("onProgress", get_on_progress, set_on_progress, Needs::Instance),
    method("send", send_mail_send, Needs::Instance),
};

const ClassDeclaration send_mail_class = {
    .name = "SendMail",
    .class_text = "[object SendMail]",
    .members = send_mail_members,
    .construct = transfer_construct,
    .destroy = delete_instance<TransferRecord>,
    .mark = transfer_mark,
};

// ---- RecvMail ----

// Reads one status line into lastResponse; its text when it is +OK. A failed connection ends the
// session.
std::optional<std::string> pop3_status(MemberCall& call, net::MailConnection& connection, const char* what) {
    TransferRecord& r = record(call);
    const std::optional<std::string> line = connection.read_line();
    if (!line) {
        fail(call, connection.error());
        connection.close();
        return std::nullopt;
    }
    r.last_response = *line;
    const std::optional<mail::Pop3Status> status = mail::parse_pop3_status(*line);
    if (!status) {
        fail(call, "The server's answer is not a POP3 reply.");
        connection.close();
        return std::nullopt;
    }
    if (!status->ok) {
        fail(call, std::string("The server refused ") + what + ": " + *line);
        return std::nullopt;
    }
    return std::string(status->text);
}

std::optional<std::string> pop3_command(MemberCall& call, net::MailConnection& connection, const std::string& line,
                                        const char* what) {
    if (!connection.send(line + "\r\n")) {
        fail(call, connection.error());
        connection.close();
        return std::nullopt;
    }
    return pop3_status(call, connection, what);
}

// The lines of a multi-line answer after its +OK, within the limit.
std::optional<std::string> pop3_lines(MemberCall& call, net::MailConnection& connection, uint64_t limit) {
    mail::Pop3MultiLineReader reader(limit);
    for (;;) {
        const std::optional<std::string> line = connection.read_line();
        if (!line) {
            fail(call, connection.error());
            connection.close();
            return std::nullopt;
        }
        switch (reader.add(*line)) {
            case mail::Pop3MultiLineReader::Status::More:
                continue;
            case mail::Pop3MultiLineReader::Status::TooLarge:
                fail(call, "The server sent more than the message's size.");
                connection.close();
                return std::nullopt;
            case mail::Pop3MultiLineReader::Status::Done:
                return std::move(reader.text());
        }
    }
}

void end_session(TransferRecord& r) {
    r.session.reset();
    r.count = 0;
}

bool log_in(MemberCall& call, net::MailConnection& connection) {
    TransferRecord& r = record(call);
    if (!open_connection(call, connection, pop3_ports)) {
        return false;
    }
    const std::optional<std::string> greeting = pop3_status(call, connection, "the connection");
    if (!greeting) {
        return false;
    }
    const std::string stamp = mail::apop_stamp(*greeting);
    if (r.secure == "stls") {
        if (!pop3_command(call, connection, "STLS", "to start TLS")) {
            return false;
        }
        if (!connection.start_tls(r.server, r.verify_certificate)) {
            fail(call, connection.error());
            return false;
        }
    }
    if (r.user.find_first_of("\r\n") != std::string::npos || r.password.find_first_of("\r\n") != std::string::npos) {
        fail(call, "The user name or password holds a line break.");
        return false;
    }
    if (r.apop) {
        if (stamp.empty()) {
            fail(call, "The server does not offer APOP.");
            return false;
        }
        if (!pop3_command(call, connection, "APOP " + r.user + " " + mail::apop_digest(stamp, r.password),
                          "the login")) {
            return false;
        }
    } else if (!pop3_command(call, connection, "USER " + r.user, "the user name") ||
               !pop3_command(call, connection, "PASS " + r.password, "the login")) {
        return false;
    }
    const std::optional<std::string> stat = pop3_command(call, connection, "STAT", "the message count");
    const std::optional<uint64_t> count = stat ? mail::parse_stat(*stat) : std::nullopt;
    if (!count) {
        if (stat) {
            fail(call, "The server's message count cannot be read: " + *stat);
        }
        return false;
    }
    r.count = static_cast<int64_t>(std::min<uint64_t>(*count, INT32_MAX));
    return true;
}

void recv_mail_connect(MemberCall& call) {
    TransferRecord& r = record(call);
    // A session still open ends without QUIT: its marks are not applied.
    end_session(r);
    r.last_response.clear();
    auto connection = std::make_unique<net::MailConnection>();
    const bool ok = log_in(call, *connection);
    if (ok) {
        r.session = std::move(connection);
    } else {
        r.count = 0;
    }
    *call.result = Value::boolean(ok);
}

// The open session and the message number of index argument 0; nothing (with the error text) when
// there is no session or the index is not one of a message.
std::optional<uint64_t> message_number(MemberCall& call) {
    TransferRecord& r = record(call);
    if (!r.session || !r.session->is_open()) {
        end_session(r);
        fail(call, "Not connected.");
        return std::nullopt;
    }
    const std::optional<int64_t> index = call.args.integer(0);
    if (!index || *index < 0 || *index >= r.count) {
        fail(call, "No message has that index.");
        return std::nullopt;
    }
    return static_cast<uint64_t>(*index) + 1;
}

// After a command on the session: a connection that failed ends the session.
template <typename T>
T checked(MemberCall& call, T outcome) {
    TransferRecord& r = record(call);
    if (r.session && !r.session->is_open()) {
        end_session(r);
    }
    return outcome;
}

std::optional<uint64_t> stated_size(MemberCall& call, uint64_t number) {
    const std::optional<std::string> text =
        pop3_command(call, *record(call).session, "LIST " + std::to_string(number), "the message size");
    const std::optional<mail::Pop3Listing> listing = text ? mail::parse_listing(*text) : std::nullopt;
    if (!listing) {
        return std::nullopt;
    }
    uint64_t size = 0;
    for (const char c : listing->value) {
        if (c < '0' || c > '9' || size > UINT64_MAX / 10 - 9) {
            fail(call, "The server's message size cannot be read: " + *text);
            return std::nullopt;
        }
        size = size * 10 + static_cast<uint64_t>(c - '0');
    }
    return size;
}

// The message's text by RETR, or its headers and first lines by TOP.
std::optional<std::string> fetch(MemberCall& call, uint64_t number, std::optional<int64_t> top_lines) {
    const std::optional<uint64_t> size = stated_size(call, number);
    if (!size) {
        return std::nullopt;
    }
    const std::string command = top_lines ? "TOP " + std::to_string(number) + " " + std::to_string(*top_lines)
                                          : "RETR " + std::to_string(number);
    net::MailConnection& connection = *record(call).session;
    if (!pop3_command(call, connection, command, "the message")) {
        return std::nullopt;
    }
    return pop3_lines(call, connection, mail::message_limit(*size));
}

void recv_mail_get_size(MemberCall& call) {
    *call.result = Value::integer(-1);
    if (const std::optional<uint64_t> number = message_number(call)) {
        if (const std::optional<uint64_t> size = checked(call, stated_size(call, *number))) {
            *call.result = Value::integer(static_cast<int64_t>(std::min<uint64_t>(*size, INT64_MAX)));
        }
    }
}

void recv_mail_get_uid(MemberCall& call) {
    *call.result = ansi_string(call.engine, "");
    const std::optional<uint64_t> number = message_number(call);
    if (!number) {
        return;
    }
    const std::optional<std::string> text = checked(
        call, pop3_command(call, *record(call).session, "UIDL " + std::to_string(*number), "the message's id"));
    if (const std::optional<mail::Pop3Listing> listing = text ? mail::parse_listing(*text) : std::nullopt) {
        *call.result = ansi_string(call.engine, listing->value);
    }
}

void recv_mail_get_headers(MemberCall& call) {
    *call.result = ansi_string(call.engine, "");
    int64_t lines = 0;
    if (call.args.has(1)) {
        const std::optional<int64_t> given = call.args.integer(1);
        if (!given || *given < 0) {
            fail(call, "The line count must be an Integer of 0 or more.");
            return;
        }
        lines = *given;
    }
    if (const std::optional<uint64_t> number = message_number(call)) {
        if (const std::optional<std::string> text = checked(call, fetch(call, *number, lines))) {
            *call.result = ansi_string(call.engine, *text);
        }
    }
}

void recv_mail_get_mail(MemberCall& call) {
    *call.result = Value::null();
    if (const std::optional<uint64_t> number = message_number(call)) {
        if (std::optional<std::string> text = checked(call, fetch(call, *number, std::nullopt))) {
            *call.result = new_mail(call.engine, std::move(*text));
        }
    }
}

void recv_mail_save_mail(MemberCall& call) {
    *call.result = Value::boolean(false);
    const std::optional<std::string> path = ansi_argument(call.args, 1);
    if (!path) {
        fail(call, "saveMail needs a path.");
        return;
    }
    if (const std::optional<uint64_t> number = message_number(call)) {
        if (const std::optional<std::string> text = checked(call, fetch(call, *number, std::nullopt))) {
            const bool written = write_whole_file(*path, *text);
            if (!written) {
                fail(call, "The message could not be written to " + *path + ".");
            }
            *call.result = Value::boolean(written);
        }
    }
}

void recv_mail_delete_mail(MemberCall& call) {
    *call.result = Value::boolean(false);
    if (const std::optional<uint64_t> number = message_number(call)) {
        *call.result = Value::boolean(checked(
            call, pop3_command(call, *record(call).session, "DELE " + std::to_string(*number), "the deletion")
                      .has_value()));
    }
}

void recv_mail_disconnect(MemberCall& call) {
    TransferRecord& r = record(call);
    *call.result = Value::boolean(false);
    if (!r.session || !r.session->is_open()) {
        end_session(r);
        fail(call, "Not connected.");
        return;
    }
    // QUIT applies the deletions; the session ends whatever the answer.
    const bool ok = pop3_command(call, *r.session, "QUIT", "to end the session").has_value();
    end_session(r);
    *call.result = Value::boolean(ok);
}

void get_apop(MemberCall& call) { *call.result = Value::boolean(record(call).apop); }
void set_apop(MemberCall& call, const Value& value) { record(call).apop = to_boolean(value); }
void get_count(MemberCall& call) { *call.result = Value::integer(record(call).count); }

const Member recv_mail_members[] = {
    property("server", get_text, set_text, Needs::Instance, &server_field),
    property("port", get_port, set_port, Needs::Instance, &pop3_ports),
    property("secure", get_secure, set_secure, Needs::Instance, &pop3_secure),
    property("verifyCertificate", get_verify, set_verify, Needs::Instance),
    property("user", get_text, set_text, Needs::Instance, &user_field),
    property("password", get_text, set_text, Needs::Instance, &password_field),
    property("apop", get_apop, set_apop, Needs::Instance),
    property("timeout", get_timeout, set_timeout, Needs::Instance),
    property("lastResponse", get_text, nullptr, Needs::Instance, &last_response_field),
    property("count", get_count, nullptr, Needs::Instance),
    method("connect", recv_mail_connect, Needs::Instance),
    method("getSize", recv_mail_get_size, Needs::Instance),
    method("getUid", recv_mail_get_uid, Needs::Instance),
    method("getHeaders", recv_mail_get_headers, Needs::Instance),
    method("getMail", recv_mail_get_mail, Needs::Instance),
    method("saveMail", recv_mail_save_mail, Needs::Instance),
    method("deleteMail", recv_mail_delete_mail, Needs::Instance),
    method("disconnect", recv_mail_disconnect, Needs::Instance),
};

const ClassDeclaration recv_mail_class = {
    .name = "RecvMail",
    .class_text = "[object RecvMail]",
    .members = recv_mail_members,
    .construct = transfer_construct,
    .destroy = delete_instance<TransferRecord>,
    .mark = transfer_mark,
};

}  // namespace

void register_send_mail_class(ScriptEngine* engine) { declare_class(engine, send_mail_class); }
void register_recv_mail_class(ScriptEngine* engine) { declare_class(engine, recv_mail_class); }

}  // namespace tarpon::host
