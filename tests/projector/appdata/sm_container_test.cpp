// The SM container: round trips, the failure texts in the order the checks are made, and hostile
// headers that must not drive the allocation.
#include "projector/appdata/sm_container.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include "projector/appdata/item_source.h"

namespace tarpon::appdata {
namespace {

std::vector<uint8_t> bytes_of(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

void put_u32(std::vector<uint8_t>& item, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        item[at + i] = uint8_t(value >> (8 * i));
    }
}

TEST(SmContainer, RoundTripsAndCarriesTheCrc) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 100000; ++i) {
        data.push_back(uint8_t(i * 7 % 251));
    }
    for (const auto& original : {data, std::vector<uint8_t>{}, bytes_of("x")}) {
        std::vector<uint8_t> item = pack_sm(original);
        EXPECT_EQ(item[0], 'S');
        EXPECT_EQ(item[1], 'M');
        uint32_t crc = uint32_t(item[12] | item[13] << 8 | item[14] << 16) | uint32_t(item[15]) << 24;
        EXPECT_EQ(crc, uint32_t(crc32(0, original.data(), uInt(original.size()))));
        Unpacked unpacked = unpack_sm(item);
        ASSERT_TRUE(unpacked.ok()) << unpacked.error;
        EXPECT_EQ(unpacked.bytes, original);
    }
}

TEST(SmContainer, FailureTextsInTheOrderOfTheChecks) {
    std::vector<uint8_t> item = pack_sm(bytes_of("hello, hello, hello"));
    // Exactly the header's size is a length fault even when the header itself is wrong.
    EXPECT_EQ(unpack_sm(std::vector<uint8_t>(16, 0)).error, "Bad compressed data length");
    EXPECT_EQ(unpack_sm(std::span(item).first(16)).error, "Bad compressed data length");

    auto bad_header = item;
    bad_header[2] = 2;
    EXPECT_EQ(unpack_sm(bad_header).error, "Bad compressed data header");
    bad_header = item;
    bad_header[3] = 1;
    EXPECT_EQ(unpack_sm(bad_header).error, "Bad compressed data header");

    // Fewer bytes than the compressed size says.
    EXPECT_EQ(unpack_sm(std::span(item).first(item.size() - 1)).error, "Bad compressed data length");

    // An uncompressed size too small for the stream: zlib's buffer error.
    auto small = item;
    put_u32(small, 4, 3);
    EXPECT_EQ(unpack_sm(small).error, "There was not enough room in the compress(uncompress) output buffer");

    auto corrupt = item;
    corrupt[16] ^= 0xFF;
    EXPECT_EQ(unpack_sm(corrupt).error, "The compress(uncompress) input data was corrupted");
}

TEST(SmContainer, HugeUncompressedSizesAreLengthFaults) {
    std::vector<uint8_t> item = pack_sm(bytes_of("tiny"));
    auto huge = item;
    put_u32(huge, 4, 0xFFFFFFFF);
    EXPECT_EQ(unpack_sm(huge).error, "Bad compressed data length");
    // More than the stream could inflate to, though below the absolute bound.
    put_u32(huge, 4, uint32_t(inflate_bound(item.size() - 16) + 1));
    EXPECT_EQ(unpack_sm(huge).error, "Bad compressed data length");
}

TEST(SmContainer, EveryTruncationAndByteMutationFailsCleanly) {
    std::vector<uint8_t> data(3000);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = uint8_t(i % 13);
    }
    std::vector<uint8_t> item = pack_sm(data);
    for (size_t length = 0; length < item.size(); ++length) {
        EXPECT_FALSE(unpack_sm(std::span(item).first(length)).ok()) << length;
    }
    for (size_t at = 0; at < item.size(); ++at) {
        auto mutated = item;
        mutated[at] ^= 0x5A;
        Unpacked unpacked = unpack_sm(mutated);  // may or may not fail; must not crash
        if (unpacked.ok()) {
            EXPECT_LE(unpacked.bytes.size(), sm_max_uncompressed);
        }
    }
}

TEST(ItemSource, LoadsAndExtractsItemsCaseInsensitively) {
    ItemList items;
    items.add("TARPON", "BK", pack_sm(bytes_of("picture")));
    items.add("TARPON", "FP", {0x01});  // a one-byte stub
    items.add("TARPON", "XX", {});
    EXPECT_EQ(load_item(items, "tarpon", "bk").bytes, bytes_of("picture"));
    EXPECT_FALSE(load_item(items, "TARPON", "FP").ok());
    EXPECT_FALSE(items.raw_item("TARPON", "XX"));  // empty counts as missing
    EXPECT_FALSE(load_item(items, "TARPON", "ST").ok());
}

}  // namespace
}  // namespace tarpon::appdata
