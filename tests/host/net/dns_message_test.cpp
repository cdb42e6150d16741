// The MX query we send and the reading of responses, hostile ones included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/net/dns_message.h"

namespace tarpon::host::dns {
namespace {

using Bytes = std::vector<uint8_t>;

// Builds responses byte by byte.
struct Message {
    Bytes bytes;

    Message& u16(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Message& u32(uint32_t v) { return u16(static_cast<uint16_t>(v >> 16)).u16(static_cast<uint16_t>(v)); }
    Message& raw(std::initializer_list<uint8_t> data) {
        bytes.insert(bytes.end(), data);
        return *this;
    }
    Message& label(const std::string& text) {
        bytes.push_back(static_cast<uint8_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    Message& pointer(uint16_t offset) { return u16(static_cast<uint16_t>(0xC000 | offset)); }
    Message& header(uint16_t answers, uint16_t id = query_id) {
        return u16(id).u16(0x8180).u16(1).u16(answers).u16(0).u16(0);
    }
    // The question for example.com at offset 12.
    Message& question() { return label("example").label("com").raw({0}).u16(type_mx).u16(class_in); }
    // An answer owned by the question's name; the data length is filled in from the data.
    Message& answer(uint16_t type, const Bytes& data) {
        pointer(12).u16(type).u16(class_in).u32(3600).u16(static_cast<uint16_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
};

Bytes mx_data(uint16_t preference, const Bytes& name) {
    Bytes data{static_cast<uint8_t>(preference >> 8), static_cast<uint8_t>(preference)};
    data.insert(data.end(), name.begin(), name.end());
    return data;
}

TEST(DnsQueryTest, WritesTheDomainAsLabelsWithTypeMxAndClassIn) {
    const Bytes expected = Message{}
                               .u16(query_id)
                               .u16(0x0100)
                               .u16(1)
                               .u16(0)
                               .u16(0)
                               .u16(0)
                               .label("mail")
                               .label("example")
                               .label("org")
                               .raw({0})
                               .u16(15)
                               .u16(1)
                               .bytes;
    EXPECT_EQ(mx_query("mail.example.org"), expected);
    EXPECT_EQ(mx_query("mail.example.org."), expected);
}

TEST(DnsQueryTest, RefusesNamesThatCannotBeLabels) {
    EXPECT_FALSE(mx_query("a..b"));
    EXPECT_FALSE(mx_query(".example.com"));
    EXPECT_FALSE(mx_query("example.com.."));
    EXPECT_FALSE(mx_query(std::string(64, 'a') + ".com")); // a length byte of 64 would read as a pointer
    EXPECT_TRUE(mx_query(std::string(63, 'a') + ".com"));
    std::string long_name;
    for (int i = 0; i < 5; ++i) {
        long_name += std::string(60, 'x') + ".";
    }
    EXPECT_FALSE(mx_query(long_name + "com"));
}

// Two MX answers with compressed names around a CNAME record, as a server writes them.
Bytes typical_response() {
    Message m;
    m.header(3).question();
    // mx1.example.com: "mx1" and a pointer to the question's example.com.
    m.answer(type_mx, mx_data(10, Message{}.label("mx1").pointer(12).bytes));
    m.answer(5, Message{}.label("alias").pointer(12).bytes);
    m.answer(type_mx, mx_data(20, Message{}.label("backup").label("mail").label("net").raw({0}).bytes));
    return m.bytes;
}

TEST(DnsResponseTest, ReadsMxAnswersInOrderFollowingPointersAndSkippingOtherTypes) {
    const std::vector<MailExchanger> expected{{"mx1.example.com", 10}, {"backup.mail.net", 20}};
    EXPECT_EQ(parse_mx_response(typical_response()), expected);
}

TEST(DnsResponseTest, EveryTruncationGivesAPrefixOfTheAnswers) {
    const Bytes full = typical_response();
    const std::vector<MailExchanger> all = parse_mx_response(full);
    for (size_t size = 0; size < full.size(); ++size) {
        const std::vector<MailExchanger> got = parse_mx_response(std::span(full.data(), size));
        ASSERT_LT(got.size(), all.size()) << size;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << size;
    }
}

TEST(DnsResponseTest, ResponsesToOtherQueriesAreIgnored) {
    Message other_id;
    other_id.header(1, query_id + 1).question().answer(type_mx, mx_data(1, Message{}.pointer(12).bytes));
    EXPECT_TRUE(parse_mx_response(other_id.bytes).empty());
    Bytes query = *mx_query("example.com");
    EXPECT_TRUE(parse_mx_response(query).empty()); // not marked as a response
}

TEST(DnsResponseTest, PointerLoopsEndTheParse) {
    Message m;
    m.header(3).question();
    m.answer(type_mx, mx_data(5, Message{}.label("first").pointer(12).bytes));
    // The exchange name points at itself: offset of this record's name data.
    const uint16_t self = static_cast<uint16_t>(m.bytes.size() + 14);
    m.answer(type_mx, mx_data(6, Message{}.pointer(self).bytes));
    m.answer(type_mx, mx_data(7, Message{}.label("never").raw({0}).bytes));
    EXPECT_EQ(parse_mx_response(m.bytes), (std::vector<MailExchanger>{{"first.example.com", 5}}));

    // Two names pointing at each other.
    Message pair;
    pair.header(1).question();
    const uint16_t at = static_cast<uint16_t>(pair.bytes.size() + 14);
    pair.answer(type_mx, mx_data(1, Message{}.pointer(at + 2).pointer(at).bytes));
    EXPECT_TRUE(parse_mx_response(pair.bytes).empty());
}

TEST(DnsResponseTest, LengthsAndPointersOutsideTheMessageEndTheParse) {
    {
        Message m; // a pointer past the end
        m.header(1).question().answer(type_mx, mx_data(1, Message{}.pointer(0x3FFF).bytes));
        EXPECT_TRUE(parse_mx_response(m.bytes).empty());
    }
    {
        Message m; // a data length past the end
        m.header(1).question().pointer(12).u16(type_mx).u16(class_in).u32(0).u16(400).u16(1).raw({0});
        EXPECT_TRUE(parse_mx_response(m.bytes).empty());
    }
    {
        Message m; // an exchange name running out of its record's data into the next record
        m.header(2).question();
        m.answer(type_mx, Bytes{0, 1, 1, 'a'});
        m.answer(5, Message{}.label("c").raw({0}).bytes);
        EXPECT_TRUE(parse_mx_response(m.bytes).empty());
    }
    {
        Message m; // a reserved label type
        m.header(1).question().answer(type_mx, mx_data(1, Message{}.raw({0x40, 'a', 0}).bytes));
        EXPECT_TRUE(parse_mx_response(m.bytes).empty());
    }
    {
        Message m; // more answers announced than present
        m.header(60000).question().answer(type_mx, mx_data(3, Message{}.label("only").raw({0}).bytes));
        EXPECT_EQ(parse_mx_response(m.bytes), (std::vector<MailExchanger>{{"only", 3}}));
    }
}

TEST(DnsResponseTest, NamesGrowingPastTheLimitAreRefused) {
    // A chain of 63-byte labels, each record's name pointing back at the previous one: the fifth
    // name would be longer than any legal name.
    Message m;
    m.header(1).question();
    Bytes name;
    for (int i = 0; i < 5; ++i) {
        Message part;
        part.label(std::string(63, static_cast<char>('a' + i)));
        name.insert(name.end(), part.bytes.begin(), part.bytes.end());
    }
    name.push_back(0);
    m.answer(type_mx, mx_data(1, name));
    EXPECT_TRUE(parse_mx_response(m.bytes).empty());
}

} // namespace
} // namespace tarpon::host::dns
