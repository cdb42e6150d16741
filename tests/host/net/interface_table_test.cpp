// The interface rows' text forms and how addresses and routes join their interfaces.
#include <gtest/gtest.h>

#include "host/net/interface_table.h"

namespace tarpon::host::net {
namespace {

TEST(InterfaceTableTest, TextFormsAndWhereAddressesAndRoutesGo) {
    EXPECT_EQ(physical_address_text({0x00, 0x1a, 0x2B, 0xff, 0x04, 0x50}), "00-1A-2B-FF-04-50");
    EXPECT_EQ(physical_address_text({}), "");
    EXPECT_EQ(interface_type_name(6), "ethernet");
    EXPECT_EQ(interface_type_name(24), "loopback");
    EXPECT_EQ(interface_type_name(71), "");

    std::vector<InterfaceRow> rows(2);
    rows[0].index = 5;
    rows[1].index = 9;
    for (uint32_t a = 1; a <= 3; ++a) {
        add_address(rows, 9, a, 0xFF);
    }
    add_address(rows, 77, 1, 1);    // no such interface
    add_route(rows, 9, 0x0A, 0x01); // not a default route
    add_route(rows, 9, 0, 0x02);
    add_route(rows, 9, 0, 0x03);
    EXPECT_TRUE(rows[0].addresses.empty());
    EXPECT_EQ(rows[1].addresses, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(rows[1].masks, (std::vector<uint32_t>{0xFF, 0xFF}));
    EXPECT_EQ(rows[1].gateway, 0x02u);
    EXPECT_FALSE(rows[0].gateway);
}

} // namespace
} // namespace tarpon::host::net
