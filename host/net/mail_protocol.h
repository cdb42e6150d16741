// The text side of the SMTP and POP3 conversations of SendMail and RecvMail: reply lines cut from
// the byte stream with bounds, SMTP replies and their capabilities, POP3 status lines and
// multi-line answers, the message text made ready for DATA, the envelope recipients, and the
// digests and encodings of the login mechanisms. Portable, no system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::host::mail {

// A reply or message line longer than this (without its line end) ends the conversation: the
// mail protocols keep lines under 1,000 bytes, and this leaves room for servers that do not.
constexpr size_t max_line_length = 64 * 1024;
// The lines of one SMTP reply, and its text in all.
constexpr size_t max_reply_lines = 512;
constexpr size_t max_reply_size = 64 * 1024;

// Cuts lines out of the bytes as they arrive. A line ends at LF (a CR before it is dropped); a
// line that grows past the bound without an end makes the buffer fail for good.
class LineBuffer {
  public:
    explicit LineBuffer(size_t limit = max_line_length) : m_limit(limit) {}
    void append(std::string_view bytes);
    // The next whole line without its line end, or nothing when none has arrived yet.
    std::optional<std::string> take_line();
    // The bytes that have arrived but are no line yet, taken out (for a TLS start that must begin
    // with the bytes after the server's answer).
    std::string take_rest();
    bool overflowed() const { return m_overflowed; }
    bool empty() const { return m_start == m_bytes.size(); }

  private:
    std::string m_bytes;
    size_t m_start = 0;
    size_t m_limit;
    bool m_overflowed = false;
};

// ---- SMTP ----

// One line of a reply: "250-text" goes on, "250 text" (or a bare "250") is the last.
struct SmtpLine {
    int code = 0;
    bool last = true;
    std::string_view text;
};
// Nothing when the line does not start with three digits followed by '-', ' ' or its end.
std::optional<SmtpLine> parse_smtp_line(std::string_view line);

struct SmtpReply {
    int code = 0;
    std::vector<std::string> lines;  // the texts after the codes
    std::string full;                // the lines as received, joined with "\r\n"
};

// Gathers the lines of one reply. Every line must carry the first line's code.
class SmtpReplyReader {
  public:
    enum class Status : uint8_t { More, Done, Malformed };
    Status add(std::string_view line);
    // The reply gathered; valid once add answered Done.
    SmtpReply& reply() { return m_reply; }

  private:
    SmtpReply m_reply;
};

// What an EHLO reply offers.
struct SmtpCapabilities {
    bool starttls = false;
    bool plain = false;
    bool login = false;
    bool cram_md5 = false;
    std::optional<uint64_t> size_limit;  // SIZE with a number other than 0
};
SmtpCapabilities parse_capabilities(const SmtpReply& ehlo);

enum class AuthMechanism : uint8_t { None, Plain, Login, CramMd5 };
// The mechanism for the auth setting ("auto", "none", "plain", "login", "cram-md5", in any case);
// nothing for a setting that names none of these. "auto" takes the best the server offers,
// CRAM-MD5 before PLAIN before LOGIN, and none without a user name or when nothing is offered.
std::optional<AuthMechanism> choose_auth(std::string_view setting, const SmtpCapabilities& offered,
                                         bool have_user);

// The AUTH PLAIN argument: base64 of NUL user NUL password.
std::string plain_response(std::string_view user, std::string_view password);
// The CRAM-MD5 answer to a challenge as sent (base64): base64 of the user, a space and the hex
// HMAC-MD5 of the decoded challenge keyed with the password.
std::string cram_md5_response(std::string_view challenge_base64, std::string_view user,
                              std::string_view password);

// The envelope addresses of header values such as To, Cc and Bcc: split at ',' and ';' outside
// quotes, comments and angle brackets; of each, the address inside the angle brackets when there is
// one, else the trimmed text; empty entries left out.
std::vector<std::string> split_recipients(std::string_view header_value);
// The address of a From value (the first of them), "" when it has none.
std::string sender_address(std::string_view header_value);

// The message text without its Bcc field (continuation lines included); only the message's own
// header block is looked at.
std::string without_bcc(std::string_view message);
// The message as DATA sends it: every line end made CR LF, a '.' doubled at the start of a line,
// and the final ".\r\n" after a line end.
std::string data_text(std::string_view message);

// ---- POP3 ----

// "+OK text" or "-ERR text"; nothing for any other line.
struct Pop3Status {
    bool ok = false;
    std::string_view text;
};
std::optional<Pop3Status> parse_pop3_status(std::string_view line);

// Gathers a multi-line answer after its status line: lines up to a lone ".", each with a doubled
// leading '.' made single, joined with "\r\n" line ends. Fails when the text passes the limit.
class Pop3MultiLineReader {
  public:
    enum class Status : uint8_t { More, Done, TooLarge };
    explicit Pop3MultiLineReader(uint64_t limit) : m_limit(limit) {}
    Status add(std::string_view line);
    std::string& text() { return m_text; }

  private:
    std::string m_text;
    uint64_t m_limit;
};

// The bound on a message the server says is `stated` bytes: line ends and dot-stuffing may differ
// from what it counted, so a margin is allowed, but no more.
uint64_t message_limit(uint64_t stated);

// "<number> <value>" of a LIST or UIDL line (also the text of a single "+OK" answer to them): the
// number and the first word after it.
struct Pop3Listing {
    uint64_t number = 0;
    std::string value;
};
std::optional<Pop3Listing> parse_listing(std::string_view text);
// The message count of a STAT answer's text ("<count> <size>").
std::optional<uint64_t> parse_stat(std::string_view text);

// The "<...>" stamp of a greeting that offers APOP, "" when it has none.
std::string apop_stamp(std::string_view greeting);
// The APOP digest: lower-case hex MD5 of the stamp followed by the password.
std::string apop_digest(std::string_view stamp, std::string_view password);

}  // namespace tarpon::host::mail
