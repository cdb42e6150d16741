// Writing messages: the layouts Mail writes read back to the same parts, byte for byte.
#include "host/net/mime_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "host/net/mime_charset.h"
#include "host/net/mime_headers.h"
#include "host/net/mime_parser.h"

namespace tarpon::mime {
namespace {

constexpr BoundarySeed seed{0x1F4, 0xABCDEF};

std::string all_bytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes;
}

MessageHeaders some_headers() {
    MessageHeaders headers;
    headers.from = "me@example.com";
    headers.to = "you@example.com";
    headers.subject = "Hi";
    return headers;
}

TEST(WriteMessage, TextOnlyIsOnePlainPart) {
    MessageContent content;
    content.text = new_text_part("Hello");
    const WrittenMessage written = write_message(some_headers(), content, "iso-8859-1", seed);
    EXPECT_EQ(
        written.text,
        "From: me@example.com\r\nTo: you@example.com\r\nSubject: =?iso-8859-1?B?SGk=?=\r\n"
        "MIME-Version: 1.0\r\nX-Mailer: Tarpon.Quill\r\nX-Priority: 3\r\n"
        "Content-Type: text/plain; charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: quoted-printable\r\n"
        "\r\nHello=\r\n\r\n\r\n");
}

TEST(WriteMessage, HeaderValuesCannotAddFields) {
    MessageHeaders headers;
    headers.to = "a@example.com\r\nBcc: everyone@example.com";
    headers.cc = "";
    const WrittenMessage written = write_message(headers, {}, "utf-8", seed);
    EXPECT_EQ(written.text.find("\r\nBcc:"), std::string::npos);
    EXPECT_NE(
        written.text.find("From:  \r\nTo: a@example.com  Bcc: everyone@example.com\r\nCC: \r\nSubject: \r\n"),
        std::string::npos);
    const MessageHeaders read = parse_headers(written.text);
    EXPECT_EQ(read.bcc, std::nullopt);
    EXPECT_EQ(read.cc, "");
    EXPECT_EQ(read.from, "");
}

TEST(WriteMessage, LongSubjectsAreFoldedIntoShortEncodedWords) {
    // Local text, so that it reads back as it was written; a character is never cut in two.
    MessageHeaders headers;
    std::string subject = std::string(200, 'x') + " \u00e9t\u00e9 ";
    for (int i = 0; i < 40; ++i) {
        subject += "\u00e9";
    }
    headers.subject = to_local_text("utf-8", subject).value();
    const WrittenMessage written = write_message(headers, {}, local_charset(), seed);
    const size_t start = written.text.find("Subject: ");
    const size_t end = written.text.find("\r\nMIME-Version");
    const std::string field = written.text.substr(start, end - start);
    int lines = 0;
    for (size_t at = 0; at <= field.size();) {
        size_t next = field.find("\r\n", at);
        if (next == std::string::npos) {
            next = field.size();
        }
        const std::string line = field.substr(at, next - at);
        EXPECT_LE(line.size(), 76u) << line;
        const size_t word = line.find("=?");
        EXPECT_LE(line.size() - word, 75u) << line;
        ++lines;
        at = next + 2;
    }
    EXPECT_GT(lines, 3);
    EXPECT_EQ(parse_headers(written.text).subject, headers.subject);
}

// Every combination of text, HTML, attachments and items, with bodies that are hard to carry.
struct Layout {
    bool text;
    bool html;
    int attachments;
    int items;
};

class LayoutTest : public testing::TestWithParam<Layout> {};

TEST_P(LayoutTest, ReadsBackByteForByteAndRewritesUnchanged) {
    const Layout layout = GetParam();
    MessageContent content;
    const std::string text = "Line one \r\nline two\t\r\n=?x?= " + std::string(100, 'z') + "\r\n\r\n";
    const std::string html = "<p>caf\xe9</p>\r\n";
    if (layout.text) {
        content.text = new_text_part(text);
    }
    if (layout.html) {
        content.html = new_text_part(html);
    }
    for (int i = 0; i < layout.attachments; ++i) {
        content.attachments.push_back(new_file_part(all_bytes() + std::to_string(i),
                                                    "application/octet-stream",
                                                    "file" + std::to_string(i) + ".bin"));
    }
    for (int i = 0; i < layout.items; ++i) {
        content.items.push_back(
            new_file_part("picture " + std::to_string(i), "image/gif",
                          item_name("p" + std::to_string(i) + ".gif", i == 0 ? "" : "id@x")));
    }
    const WrittenMessage written = write_message(some_headers(), content, "iso-8859-1", seed);
    const ParsedMessage parsed = parse_message(written.text);

    auto same_range = [](const MimePart& a, const MimePart& b) {
        return a.start == b.start && a.end == b.end;
    };
    EXPECT_TRUE(same_range(parsed.text, written.parts.text));
    EXPECT_TRUE(same_range(parsed.html, written.parts.html));
    EXPECT_EQ(decoded_body(written.text, parsed.text), layout.text ? text : "");
    if (layout.html || layout.items > 0) {
        EXPECT_EQ(decoded_body(written.text, parsed.html), layout.html ? html : "");
    } else {
        EXPECT_FALSE(parsed.html.present());
    }
    ASSERT_EQ(parsed.attachments.size(), static_cast<size_t>(layout.attachments));
    for (int i = 0; i < layout.attachments; ++i) {
        EXPECT_TRUE(same_range(parsed.attachments[i], written.parts.attachments[i]));
        EXPECT_EQ(parsed.attachments[i].name, "file" + std::to_string(i) + ".bin");
        EXPECT_EQ(decoded_body(written.text, parsed.attachments[i]), all_bytes() + std::to_string(i));
    }
    ASSERT_EQ(parsed.items.size(), static_cast<size_t>(layout.items));
    for (int i = 0; i < layout.items; ++i) {
        EXPECT_EQ(parsed.items[i].name, written.parts.items[i].name);
        EXPECT_EQ(item_content_id(parsed.items[i].name), i == 0 ? "" : "id@x");
        EXPECT_EQ(parsed.items[i].content_type, "image/gif");
        EXPECT_EQ(decoded_body(written.text, parsed.items[i]), "picture " + std::to_string(i));
    }
    // Loading the message and writing it again copies every body as it is.
    const WrittenMessage again =
        write_message(parse_headers(written.text), content_of(written.text, parsed), "iso-8859-1", seed);
    EXPECT_EQ(again.text, written.text);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, LayoutTest,
                         testing::Values(Layout{false, false, 0, 0}, Layout{true, false, 0, 0},
                                         Layout{true, false, 2, 0}, Layout{false, false, 1, 0},
                                         Layout{true, true, 1, 0}, Layout{true, true, 0, 2},
                                         Layout{false, false, 0, 1}, Layout{true, true, 0, 0},
                                         Layout{false, true, 0, 0}, Layout{true, true, 2, 2},
                                         Layout{false, false, 1, 1}));

TEST(WriteMessage, KeepsTheCharsetOfACopiedBody) {
    const std::string message = "Content-Type: text/plain; charset=utf-8\r\n\r\ncaf\xc3\xa9";
    MessageContent content = content_of(message, parse_message(message));
    content.attachments.push_back(new_file_part("x", "text/plain", "x.txt"));
    const WrittenMessage written = write_message({}, content, "iso-8859-1", seed);
    EXPECT_NE(
        written.text.find("Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: binary"),
        std::string::npos);
    EXPECT_EQ(decoded_body(written.text, parse_message(written.text).text), "caf\xc3\xa9");
}

TEST(WriteMessage, AFilePartIsNeverWrittenAsAContainer) {
    MessageContent content;
    content.attachments.push_back(new_file_part("one", " Multipart/Mixed", "a"));
    content.attachments.push_back(new_file_part("two", "text/plain; charset=x\r\nBcc: b@example.com", "b"));
    const WrittenMessage written = write_message({}, content, "iso-8859-1", seed);
    const ParsedMessage parsed = parse_message(written.text);
    ASSERT_EQ(parsed.attachments.size(), 2u);
    EXPECT_EQ(decoded_body(written.text, parsed.attachments[0]), "one");
    EXPECT_EQ(parsed.attachments[0].content_type, "application/octet-stream");
    EXPECT_EQ(parsed.attachments[1].content_type, "text/plain");
    EXPECT_EQ(written.parts.attachments[1].content_type, "text/plain");
    EXPECT_EQ(written.text.find("\r\nBcc:"), std::string::npos);
}

TEST(WriteMessage, NamesFromOtherMessagesReadBackAsTheyWere) {
    MessageContent content;
    content.html = new_text_part("<p>");
    content.attachments.push_back(new_file_part("a", "text/plain", "..\\say \"hi\".txt"));
    content.items.push_back(new_file_part("b", "image/gif", item_name("x\\y.gif", "<id>@x")));
    const WrittenMessage written = write_message({}, content, "iso-8859-1", seed);
    const ParsedMessage parsed = parse_message(written.text);
    ASSERT_EQ(parsed.attachments.size(), 1u);
    ASSERT_EQ(parsed.items.size(), 1u);
    EXPECT_EQ(parsed.attachments[0].name, "..\\say \"hi\".txt");
    EXPECT_EQ(written.parts.attachments[0].name, parsed.attachments[0].name);
    EXPECT_EQ(parsed.items[0].name, "x\\y.gif*id@x");
    EXPECT_EQ(written.parts.items[0].name, parsed.items[0].name);
}

TEST(WriteMessage, BoundariesNeverAppearInABody) {
    MessageContent content;
    PartContent text;
    text.encoding = TransferEncoding::Binary;
    text.body =
        "\r\n--====_TARPON_MAIL_PART_1F4.ABCDEF.0_====\r\n--====_TARPON_MAIL_PART_1F4.ABCDEF.1_====\r\n";
    content.text = text;
    content.attachments.push_back(new_file_part("data", "application/octet-stream", "d"));
    const WrittenMessage written = write_message({}, content, "iso-8859-1", seed);
    const ParsedMessage parsed = parse_message(written.text);
    EXPECT_EQ(decoded_body(written.text, parsed.text), text.body);
    ASSERT_EQ(parsed.attachments.size(), 1u);
    EXPECT_EQ(decoded_body(written.text, parsed.attachments[0]), "data");
}

}  // namespace
}  // namespace tarpon::mime
