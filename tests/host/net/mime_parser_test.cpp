// Reading messages the way other mailers write them.
#include "host/net/mime_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "host/net/mime_charset.h"
#include "host/net/mime_headers.h"
#include "mime_test_text.h"

namespace tarpon::mime {
namespace {

// The local text of a UTF-8 text (the two agree where the local text is UTF-8).
std::string local(std::string_view utf8) { return to_local_text("utf-8", utf8).value(); }

struct Read {
    std::string message;
    MessageHeaders headers;
    ParsedMessage parts;
};

Read read(std::string_view text) {
    Read r{crlf(text), {}, {}};
    r.headers = parse_headers(r.message);
    r.parts = parse_message(r.message);
    return r;
}

std::string body(const Read& r, const MimePart& part) { return decoded_body(r.message, part); }

// A reply with an alternative body, as a desktop mailer sends it.
constexpr std::string_view alternative_reply = R"(Delivered-To: someone@example.org
Received: from mx.example.net by example.org; Tue, 3 Mar 2026 10:00:00 +0100
Delivery-Date: Tue, 3 Mar 2026 10:00:01 +0100
Reply-To: Lists <lists@example.net>
From: Ann Example <ann@example.net>
To: someone@example.org
BCC: hidden@example.org
CC: copy@example.org
Date: Tue, 3 Mar 2026 09:59:58 +0100
Subject: Re: the
 plan
X-Priority: 1 (Highest)
MIME-Version: 1.0
Content-Type: multipart/alternative;
 boundary="------------A1B2C3"

This is a multi-part message in MIME format.
--------------A1B2C3
Content-Type: text/plain; charset=UTF-8; format=flowed
Content-Transfer-Encoding: 7bit

Text text text.
--------------A1B2C3
Content-Type: text/html; charset=UTF-8
Content-Transfer-Encoding: quoted-printable

<p>Text <b>text</b> =
text.</p>
--------------A1B2C3--
)";

TEST(ParseMessage, HeadersAreFieldsAtLineStartsOnly) {
    const Read r = read(alternative_reply);
    EXPECT_EQ(r.headers.to, "someone@example.org");
    EXPECT_EQ(r.headers.reply_to, "Lists <lists@example.net>");
    EXPECT_EQ(r.headers.cc, "copy@example.org");
    EXPECT_EQ(r.headers.bcc, "hidden@example.org");
    EXPECT_EQ(r.headers.date, "Tue, 3 Mar 2026 09:59:58 +0100");
    EXPECT_EQ(r.headers.from, "Ann Example <ann@example.net>");
    EXPECT_EQ(r.headers.subject, "Re: the plan");
    EXPECT_EQ(r.headers.priority, 1);
}

TEST(ParseMessage, PartsEndAtTheLineBreakBeforeTheDelimiter) {
    const Read r = read(alternative_reply);
    EXPECT_EQ(body(r, r.parts.text), "Text text text.");
    EXPECT_EQ(r.parts.text.charset, "UTF-8");
    EXPECT_EQ(body(r, r.parts.html), "<p>Text <b>text</b> text.</p>");
    EXPECT_TRUE(r.parts.attachments.empty());
    EXPECT_TRUE(r.parts.items.empty());
}

// Mixed, holding a related that holds an alternative, with an inline picture and two attachments,
// capitalised names and values, and a part whose body follows its headers without an empty line.
constexpr std::string_view nested = R"(From: b@example.com
To: c@example.com
Subject: =?UTF-8?B?UmVwb3J0IGbDvHI=?= =?iso-8859-1?Q?_M=E4rz?=
content-type: Multipart/Mixed; Boundary=outer

preamble
--outer
Content-Type: multipart/related; type="multipart/alternative"; boundary="outer-rel"

--outer-rel
Content-Type: multipart/alternative; boundary=alt

--alt
Content-Type: text/plain; Charset="iso-8859-1"
Content-Transfer-Encoding: Quoted-Printable

Gr=FC=dfe
--alt
Content-Type: text/html
Content-Transfer-Encoding: QUOTED-PRINTABLE
<img src=3D"cid:logo@x">
--alt--

--outer-rel
Content-Type: image/png; NAME="logo.png"
Content-Transfer-Encoding: Base64
Content-ID: <logo@x>

iVBORw0K
--outer-rel--

--outer
Content-Type: application/pdf
Content-Disposition: ATTACHMENT; FileName="report.pdf"
Content-Transfer-Encoding: base64

JVBERi0x
LjQK
--outer
Content-Type: application/zip
Content-Disposition: attachment
Content-Transfer-Encoding: base64

UEsDBA==
--outer--
epilogue
)";

TEST(ParseMessage, NestedMultipartsAndNamesInAnyCase) {
    const Read r = read(nested);
    EXPECT_EQ(body(r, r.parts.text), "Gr\xfc\xdf"
                                     "e");
    EXPECT_EQ(r.parts.text.encoding, TransferEncoding::QuotedPrintable);
    EXPECT_EQ(body(r, r.parts.html), "<img src=\"cid:logo@x\">");
    ASSERT_EQ(r.parts.items.size(), 1u);
    EXPECT_EQ(r.parts.items[0].name, "logo.png*logo@x");
    EXPECT_EQ(r.parts.items[0].content_type, "image/png");
    EXPECT_EQ(body(r, r.parts.items[0]), "\x89PNG\r\n");
    EXPECT_EQ(item_name("a*b.png", "id*2"), "a_b.png*id*2");
    EXPECT_EQ(item_content_id(item_name("a*b.png", "id*2")), "id*2");
    ASSERT_EQ(r.parts.attachments.size(), 2u);
    EXPECT_EQ(r.parts.attachments[0].name, "report.pdf");
    EXPECT_EQ(body(r, r.parts.attachments[0]), "%PDF-1.4\n");
    EXPECT_EQ(r.parts.attachments[1].name, "attachment 2");
    EXPECT_EQ(r.parts.attachments[1].content_type, "application/zip");
    EXPECT_EQ(body(r, r.parts.attachments[1]), "PK\x03\x04");
}

TEST(ParseMessage, EveryEncodedWordIsDecodedFromItsCharset) {
    const Read r = read(nested);
    EXPECT_EQ(r.headers.subject, local("Report f\u00fcr M\u00e4rz"));
    EXPECT_EQ(decode_encoded_words("=?us-ascii?q?a_b?= plain =?x-unknown?B?/w==?= =?bad"),
              "a b plain \xff =?bad");
    EXPECT_EQ(decode_encoded_words("=?utf-8*en?Q?caf=C3=A9?=\t=?UTF-8?B?IQ==?=, fin"),
              local("caf\u00e9!, fin"));
}

TEST(ParseMessage, MessagesStoredWithBareLineFeedsReadTheSame) {
    const MessageHeaders headers = parse_headers(nested);
    const ParsedMessage parts = parse_message(nested);
    const Read r = read(nested);
    EXPECT_EQ(headers.subject, r.headers.subject);
    EXPECT_EQ(decoded_body(nested, parts.text), body(r, r.parts.text));
    EXPECT_EQ(decoded_body(nested, parts.html), body(r, r.parts.html));
    ASSERT_EQ(parts.items.size(), 1u);
    ASSERT_EQ(parts.attachments.size(), 2u);
    EXPECT_EQ(decoded_body(nested, parts.attachments[0]), body(r, r.parts.attachments[0]));
    EXPECT_EQ(parts.attachments[1].name, "attachment 2");
}

TEST(ParseMessage, AMessageWithoutContentTypeIsText) {
    const Read r = read("From: old@example.com\nSubject: hello\n\nJust text.\n");
    EXPECT_EQ(body(r, r.parts.text), "Just text.\r\n");
    EXPECT_TRUE(r.parts.attachments.empty());
    EXPECT_EQ(r.headers.priority, 3);
    EXPECT_EQ(r.headers.to, std::nullopt);
}

TEST(ParseMessage, ABoundaryThatBeginsAnotherIsNotItsDelimiter) {
    const Read r = read(R"(Content-Type: multipart/mixed; boundary="b"

--b
Content-Type: multipart/alternative; boundary="b-2"

--b-2
Content-Type: text/plain

inner
--b-2--
--b
Content-Type: text/html

<p>outer</p>
--b--
)");
    EXPECT_EQ(body(r, r.parts.text), "inner");
    EXPECT_EQ(body(r, r.parts.html), "<p>outer</p>");
}

TEST(ParseMessage, DamagedMultipartsGiveWhatTheyHold) {
    // Cut short: the last part runs to the end.
    Read r = read("Content-Type: multipart/mixed; boundary=z\n\n--z\nContent-Type: text/plain\n\nfirst\n--z\n"
                  "Content-Type: text/csv; name=a.csv\nContent-Disposition: attachment\n\n1,2");
    EXPECT_EQ(body(r, r.parts.text), "first");
    ASSERT_EQ(r.parts.attachments.size(), 1u);
    EXPECT_EQ(body(r, r.parts.attachments[0]), "1,2");
    // Empty parts, a part with headers only, and a multipart without a boundary.
    r = read("Content-Type: multipart/mixed; boundary=z\n\n--z\n--z\nContent-Type: text/plain\n--z--\n");
    EXPECT_EQ(body(r, r.parts.text), "");
    EXPECT_TRUE(r.parts.text.present());
    r = read("Content-Type: multipart/mixed\n\n--z\nContent-Type: text/plain\n\nx\n--z--\n");
    EXPECT_FALSE(r.parts.text.present());
    EXPECT_TRUE(r.parts.attachments.empty());
}

TEST(ParseMessage, DeepNestingStopsWithoutExhaustingTheStack) {
    std::string message;
    for (int i = 0; i < 5000; ++i) {
        const std::string boundary = "q" + std::to_string(i) + "x";
        message += "Content-Type: multipart/mixed; boundary=" + boundary + "\n\n--" + boundary + "\n";
    }
    const Read r = read(message);
    EXPECT_FALSE(r.parts.text.present());
}

TEST(FindHeader, ContinuationLinesAndParameters) {
    const std::string headers =
        crlf("Content-Type: text/plain;\n\tcharset=\"utf-8\";\n name=\"a;b.txt\"\nX: y\n");
    const std::optional<std::string> type = find_header(headers, "content-type");
    ASSERT_TRUE(type);
    EXPECT_EQ(*type, "text/plain; charset=\"utf-8\"; name=\"a;b.txt\"");
    EXPECT_EQ(main_value(*type), "text/plain");
    EXPECT_EQ(find_parameter(*type, "Charset"), "utf-8");
    EXPECT_EQ(find_parameter(*type, "NAME"), "a;b.txt");
    EXPECT_EQ(find_parameter("attachment; filename=x.txt", "name"), std::nullopt);
    EXPECT_EQ(find_header(headers, "Type"), std::nullopt);
    // A CR that ends no line is a space.
    EXPECT_EQ(find_header("Content-Type:\r multipart/mixed\r\n", "Content-Type"), "multipart/mixed");
}

}  // namespace
}  // namespace tarpon::mime
