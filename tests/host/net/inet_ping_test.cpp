// Ping of the loopback through each path the system may give, seen from its events; and the
// interface table from both of its sources.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "host/net/interface_table.h"
#include "host/net/ping.h"
#include "host/net/winsock.h"
#include "tests/host/host_engine.h"
#include <iphlpapi.h>

namespace tarpon::host::testing {
namespace {

struct Event {
    net::PingEvent code;
    int value;
    std::string text;
};

std::vector<Event> ping_events(const std::string& host, int count, net::PingMethod method, int* replies) {
    std::vector<Event> events;
    *replies = net::ping(
        host, count,
        [&](net::PingEvent code, int value, const std::string& text) {
            events.push_back({code, value, text});
        },
        method);
    return events;
}

void expect_loopback_replies(net::PingMethod method) {
    int replies = 0;
    const std::vector<Event> events = ping_events("127.0.0.1", 3, method, &replies);
    EXPECT_EQ(replies, 3);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].code, net::PingEvent::Banner);
    EXPECT_EQ(events[0].text, "Pinging 127.0.0.1 [127.0.0.1]: with 32 bytes of data:\n\n");
    const std::regex reply(
        "Reply from 127\\.0\\.0\\.1: bytes=32 time=([0-9]+)ms TTL=([0-9]+) icmp_seq=([0-9]+)");
    for (size_t i = 1; i < events.size(); ++i) {
        std::smatch match;
        EXPECT_EQ(events[i].code, net::PingEvent::Reply);
        ASSERT_TRUE(std::regex_match(events[i].text, match, reply)) << events[i].text;
        EXPECT_EQ(std::stoi(match[1]), events[i].value);
        EXPECT_GT(std::stoi(match[2]), 0);
        EXPECT_EQ(std::stoul(match[3]), i - 1); // each reply is the one to its own request
        EXPECT_LT(events[i].value, 1000);
    }
}

TEST(PingTest, TheLoopbackAnswersEveryRequestOnWhicheverPathTheSystemGives) {
    expect_loopback_replies(net::PingMethod::Automatic);
}

TEST(PingTest, TheSystemServiceGivesTheSameEvents) {
    expect_loopback_replies(net::PingMethod::SystemService);
}

TEST(PingTest, AnUnknownHostStopsBeforeTheBanner) {
    for (net::PingMethod method : {net::PingMethod::Automatic, net::PingMethod::SystemService}) {
        int replies = -1;
        const std::vector<Event> events = ping_events("no-such-host..invalid", 2, method, &replies);
        EXPECT_EQ(replies, 0);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].code, net::PingEvent::NotStarted);
        EXPECT_EQ(events[0].text, "Unkown host no-such-host..invalid");
    }
}

// The handlers are held only by the object's record: a collection keeps them (and marking the
// class object, which has no record, is harmless).
TEST(InetTest, HandlersSurviveCollections) {
    HostEngine engine;
    engine.run("var inet = new Inet(); inet.onPinging = function (c) { return 'p' + c; };"
               "inet.onGetUrl = function (c) { return 'u' + c; }; 0");
    engine.collect();
    EXPECT_EQ(engine.run("var p = inet.onPinging, u = inet.onGetUrl; '' + p(1) + u(2)"), "p1u2");
}

TEST(InterfaceTableTest, TheIpHelperRowsMatchTheSystemsInterfaceCount) {
    ULONG count = 0;
    ASSERT_EQ(GetNumberOfInterfaces(&count), NO_ERROR);
    const std::vector<net::InterfaceRow> rows = net::interfaces_from_ip_helper();
    EXPECT_EQ(rows.size(), count);
    bool loopback = false;
    for (const net::InterfaceRow& row : rows) {
        EXPECT_LE(row.addresses.size(), net::max_addresses);
        EXPECT_EQ(row.addresses.size(), row.masks.size());
        if (row.type == 24) {
            loopback = true;
            ASSERT_FALSE(row.addresses.empty());
            EXPECT_EQ(row.addresses[0], htonl(INADDR_LOOPBACK));
        }
    }
    EXPECT_TRUE(loopback);
}

// An agent that skips rows or columns (as Wine's does) is not used; one that answers whole gives
// the same interfaces.
TEST(InterfaceTableTest, TheAgentIsUsedOnlyWhenItAgreesWithTheSystem) {
    const std::optional<std::vector<net::InterfaceRow>> from_agent = net::interfaces_from_mib_agent();
    if (!from_agent) {
        GTEST_SKIP() << "the MIB-II agent is missing or inconsistent here";
    }
    const std::vector<net::InterfaceRow> from_helper = net::interfaces_from_ip_helper();
    ASSERT_EQ(from_agent->size(), from_helper.size());
    for (size_t i = 0; i < from_helper.size(); ++i) {
        EXPECT_EQ((*from_agent)[i].index, from_helper[i].index);
        EXPECT_EQ((*from_agent)[i].physical_address, from_helper[i].physical_address);
    }
}

} // namespace
} // namespace tarpon::host::testing

#endif // _WIN32
