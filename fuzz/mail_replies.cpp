// Server replies through the mail readers: the bytes are cut into lines in pieces the first byte
// chooses, and every line goes to the SMTP reply reader, the POP3 status and multi-line readers and
// the listing readers. Whatever arrives, they end, keep their bounds and never read past a line.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "host/net/mail_protocol.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarpon::host::mail;
    if (size == 0) {
        return 0;
    }
    const size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    LineBuffer lines(256);
    SmtpReplyReader smtp;
    bool smtp_open = true;
    Pop3MultiLineReader pop3(message_limit(bytes.size() % 512));
    bool pop3_open = true;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        lines.append(bytes.substr(at, piece));
        while (const std::optional<std::string> line = lines.take_line()) {
            if (line->size() > 256 || line->find('\n') != std::string::npos) {
                finding("a line past its bound or end");
            }
            if (smtp_open) {
                const SmtpReplyReader::Status status = smtp.add(*line);
                if (status != SmtpReplyReader::Status::More) {
                    smtp_open = false;
                    if (status == SmtpReplyReader::Status::Done) {
                        const SmtpReply& reply = smtp.reply();
                        if (reply.code < 0 || reply.code > 999 || reply.full.size() > max_reply_size) {
                            finding("an SMTP reply out of bounds");
                        }
                        (void)parse_capabilities(reply);
                    }
                }
            }
            if (pop3_open) {
                const Pop3MultiLineReader::Status status = pop3.add(*line);
                pop3_open = status == Pop3MultiLineReader::Status::More;
                if (pop3.text().size() > message_limit(bytes.size() % 512)) {
                    finding("a POP3 answer past its limit");
                }
            }
            if (const std::optional<Pop3Status> status = parse_pop3_status(*line)) {
                (void)parse_listing(status->text);
                (void)parse_stat(status->text);
            }
            (void)apop_stamp(*line);
            (void)split_recipients(*line);
        }
    }
    (void)without_bcc(bytes);
    const std::string data_out = data_text(bytes);
    if (data_out.size() < 3 || data_out.compare(data_out.size() - 3, 3, ".\r\n") != 0) {
        finding("DATA text without its end");
    }
    return 0;
}
