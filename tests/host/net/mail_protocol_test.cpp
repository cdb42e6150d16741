// The text side of the SMTP and POP3 conversations: lines cut from the stream with bounds, replies,
// capabilities and the login choice, the message as DATA sends it, envelope addresses, and the
// login digests against the examples of their RFCs.
#include <gtest/gtest.h>

#include <string>

#include "host/net/mail_protocol.h"

namespace tarpon::host::mail {
namespace {

TEST(MailLineBuffer, CutsLinesAcrossPiecesAndDropsTheCarriageReturnOnly) {
    LineBuffer buffer;
    buffer.append("250-fir");
    EXPECT_FALSE(buffer.take_line());
    buffer.append("st\r\n250 sec\rond\nrest");
    EXPECT_EQ(buffer.take_line(), "250-first");
    EXPECT_EQ(buffer.take_line(), "250 sec\rond");
    EXPECT_FALSE(buffer.take_line());
    EXPECT_EQ(buffer.take_rest(), "rest");
    EXPECT_TRUE(buffer.empty());
}

TEST(MailLineBuffer, ALineBeyondTheBoundFailsForGoodWithOrWithoutItsEnd) {
    LineBuffer endless(8);
    endless.append(std::string(20, 'x'));
    EXPECT_FALSE(endless.take_line());
    EXPECT_TRUE(endless.overflowed());
    endless.append("\r\nshort\r\n");
    EXPECT_FALSE(endless.take_line());

    LineBuffer ended(8);
    ended.append("12345678\r\n123456789\r\n");
    EXPECT_EQ(ended.take_line(), "12345678");
    EXPECT_FALSE(ended.take_line());
    EXPECT_TRUE(ended.overflowed());
}

TEST(SmtpReplies, GathersAMultiLineReplyAndRefusesMixedCodesAndNonReplies) {
    SmtpReplyReader reader;
    EXPECT_EQ(reader.add("250-mail.example.org"), SmtpReplyReader::Status::More);
    EXPECT_EQ(reader.add("250-AUTH LOGIN CRAM-MD5"), SmtpReplyReader::Status::More);
    EXPECT_EQ(reader.add("250 STARTTLS"), SmtpReplyReader::Status::Done);
    EXPECT_EQ(reader.reply().code, 250);
    EXPECT_EQ(reader.reply().full, "250-mail.example.org\r\n250-AUTH LOGIN CRAM-MD5\r\n250 STARTTLS");
    ASSERT_EQ(reader.reply().lines.size(), 3u);
    EXPECT_EQ(reader.reply().lines[1], "AUTH LOGIN CRAM-MD5");

    SmtpReplyReader bare;
    EXPECT_EQ(bare.add("354"), SmtpReplyReader::Status::Done);
    EXPECT_EQ(bare.reply().code, 354);

    SmtpReplyReader mixed;
    EXPECT_EQ(mixed.add("250-first"), SmtpReplyReader::Status::More);
    EXPECT_EQ(mixed.add("550 second"), SmtpReplyReader::Status::Malformed);
    for (const char* line : {"", "25", "2x0 text", "250text", "+OK ready"}) {
        SmtpReplyReader other;
        EXPECT_EQ(other.add(line), SmtpReplyReader::Status::Malformed) << line;
    }

    SmtpReplyReader endless;
    size_t lines = 0;
    while (endless.add("250-again") == SmtpReplyReader::Status::More) {
        ++lines;
    }
    EXPECT_LE(lines, max_reply_lines);
}

SmtpReply reply_of(std::initializer_list<const char*> lines) {
    SmtpReplyReader reader;
    for (const char* line : lines) {
        reader.add(line);
    }
    return reader.reply();
}

TEST(SmtpReplies, CapabilitiesAndTheLoginChosenFromThem) {
    const SmtpCapabilities offered = parse_capabilities(
        reply_of({"250-host greets you", "250-size 1000", "250-AUTH=LOGIN", "250-auth plain cram-md5", "250 STARTTLS"}));
    EXPECT_TRUE(offered.starttls);
    EXPECT_TRUE(offered.plain && offered.login && offered.cram_md5);
    EXPECT_EQ(offered.size_limit, 1000u);
    // The greeting line names no extension, even when it looks like one.
    EXPECT_FALSE(parse_capabilities(reply_of({"250 STARTTLS"})).starttls);

    EXPECT_EQ(choose_auth("auto", offered, true), AuthMechanism::CramMd5);
    SmtpCapabilities plain_and_login;
    plain_and_login.plain = plain_and_login.login = true;
    EXPECT_EQ(choose_auth("AUTO", plain_and_login, true), AuthMechanism::Plain);
    plain_and_login.plain = false;
    EXPECT_EQ(choose_auth("auto", plain_and_login, true), AuthMechanism::Login);
    EXPECT_EQ(choose_auth("auto", offered, false), AuthMechanism::None);
    EXPECT_EQ(choose_auth("auto", SmtpCapabilities{}, true), AuthMechanism::None);
    // A mechanism named is used even when not offered: the server's refusal then says why.
    EXPECT_EQ(choose_auth("Login", SmtpCapabilities{}, true), AuthMechanism::Login);
    EXPECT_EQ(choose_auth("none", offered, true), AuthMechanism::None);
    EXPECT_FALSE(choose_auth("digest-md5", offered, true));
}

TEST(MailLogins, PlainCramMd5AndApopGiveTheirRfcExamples) {
    EXPECT_EQ(plain_response("tim", "tanstaaf"), "AHRpbQB0YW5zdGFhZg==");
    // RFC 2195, section 2.
    EXPECT_EQ(cram_md5_response("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+", "tim", "tanstaaftanstaaf"),
              "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
    // RFC 1939, section 7.
    const std::string stamp = apop_stamp("POP3 server ready <1896.697170952@dbc.mtview.ca.us>");
    EXPECT_EQ(stamp, "<1896.697170952@dbc.mtview.ca.us>");
    EXPECT_EQ(apop_digest(stamp, "tanstaaf"), "c4c9334bac560ecc979e58001b3e22fb");
    EXPECT_EQ(apop_stamp("POP3 server ready"), "");
    EXPECT_EQ(apop_stamp("ready <unclosed"), "");
}

TEST(MailAddresses, RecipientsSplitOutsideQuotesAndTakeTheAngleAddress) {
    EXPECT_EQ(split_recipients("a@x.org, \"Doe, John\" <john@x.org>;Ann <ann@y.org> ; ,(Team, all) team@z.org"),
              (std::vector<std::string>{"a@x.org", "john@x.org", "ann@y.org", "team@z.org"}));
    EXPECT_EQ(split_recipients("\"quoted <fake@x>\" <real@x.org>"), (std::vector<std::string>{"real@x.org"}));
    EXPECT_EQ(split_recipients("bob@x.org (Bob, at work)"), (std::vector<std::string>{"bob@x.org"}));
    EXPECT_TRUE(split_recipients(" ; , ").empty());
    EXPECT_EQ(sender_address("Me <me@x.org>"), "me@x.org");
    EXPECT_EQ(sender_address(""), "");
}

TEST(MailData, BccGoesFromTheHeadersOnlyWithItsContinuationLines) {
    const std::string message =
        "From: a@x.org\r\nBCC: hidden@x.org,\r\n\tother@x.org\r\nBccount: kept\r\nSubject: s\r\n\r\n"
        "Bcc: stays in the body\r\n";
    EXPECT_EQ(without_bcc(message),
              "From: a@x.org\r\nBccount: kept\r\nSubject: s\r\n\r\nBcc: stays in the body\r\n");
    EXPECT_EQ(without_bcc("Bcc: x\nTo: y\n\nbody"), "To: y\n\nbody");
}

TEST(MailData, LineEndsBecomeCrLfAndLeadingDotsAreDoubled) {
    EXPECT_EQ(data_text("a\nb\rc\r\n.d\r\n..e\n."), "a\r\nb\r\nc\r\n..d\r\n...e\r\n..\r\n.\r\n");
    EXPECT_EQ(data_text("line\r\n"), "line\r\n.\r\n");
    EXPECT_EQ(data_text(""), ".\r\n");
    EXPECT_EQ(data_text("no . at start"), "no . at start\r\n.\r\n");
}

TEST(Pop3Replies, StatusLinesListingsAndCounts) {
    const std::optional<Pop3Status> ok = parse_pop3_status("+OK 2 320");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ok->ok);
    EXPECT_EQ(ok->text, "2 320");
    EXPECT_FALSE(parse_pop3_status("-ERR no such message")->ok);
    EXPECT_TRUE(parse_pop3_status("+OK")->ok);
    EXPECT_FALSE(parse_pop3_status("+OKAY"));
    EXPECT_FALSE(parse_pop3_status("250 OK"));

    EXPECT_EQ(parse_stat("2 320"), 2u);
    EXPECT_FALSE(parse_stat("two 320"));
    EXPECT_FALSE(parse_stat("-1 0"));
    const std::optional<Pop3Listing> listing = parse_listing("1  whqtswO00WBw418f9t5JxYwZ");
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->number, 1u);
    EXPECT_EQ(listing->value, "whqtswO00WBw418f9t5JxYwZ");
    EXPECT_FALSE(parse_listing("1"));
}

TEST(Pop3Replies, MultiLineAnswersAreUnstuffedAndBounded) {
    Pop3MultiLineReader reader(1000);
    for (const char* line : {"Subject: x", "", "..leading dot", ".", "never read"}) {
        if (reader.add(line) == Pop3MultiLineReader::Status::Done) {
            break;
        }
    }
    EXPECT_EQ(reader.text(), "Subject: x\r\n\r\n.leading dot\r\n");

    Pop3MultiLineReader small(message_limit(0));
    Pop3MultiLineReader::Status status = Pop3MultiLineReader::Status::More;
    while (status == Pop3MultiLineReader::Status::More) {
        status = small.add(std::string(998, 'x'));
    }
    EXPECT_EQ(status, Pop3MultiLineReader::Status::TooLarge);
    EXPECT_LE(small.text().size(), message_limit(0));
    EXPECT_GE(message_limit(5000), 5000u);
    EXPECT_LE(message_limit(UINT64_MAX), uint64_t{1} << 30);
}

}  // namespace
}  // namespace tarpon::host::mail
