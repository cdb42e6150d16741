#include "projector/bridge/script_cache.h"

#include <gtest/gtest.h>

namespace tarpon::projector {
namespace {

// Hashes worked out by hand from h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5):
//   "A": 0x41.
//   "AB": 0x41 << 5 = 0x820, ^ 0x42 = 0x862.
//   "ABC": 0x862 >> 7 = 0x10, 0x862 << 5 = 0x10C40, 0x10 ^ 0x43 ^ 0x10C40 = 0x10C13.
//   "a": 0x61.
TEST(ScriptNameHash, FollowsTheFormula) {
    EXPECT_EQ(script_name_hash(""), 0u);
    EXPECT_EQ(script_name_hash("A"), 0x41u);
    EXPECT_EQ(script_name_hash("AB"), 0x862u);
    EXPECT_EQ(script_name_hash("ABC"), 0x10C13u);
    EXPECT_EQ(script_name_hash("a"), 0x61u);
    // Bytes above 0x7F count as unsigned, and the shifts wrap at 32 bits.
    EXPECT_EQ(script_name_hash("\xFF"), 0xFFu);
    uint32_t h = 0;
    for (unsigned char b : std::string(40, 'z')) {
        h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5);
    }
    EXPECT_EQ(script_name_hash(std::string(40, 'z')), h);
    EXPECT_GT(h, 0xFFFFu);
}

TEST(ScriptCache, FindsNamesWithoutRegardToCaseInTheirBucket) {
    ScriptCache cache;
    EXPECT_EQ(cache.find("Initialize"), nullptr);
    const ScriptCache::Node& node = cache.add("Initialize", {1, 2, 3});
    EXPECT_EQ(node.name, "Initialize");
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.find("Initialize"), &node);
    EXPECT_EQ(cache.find("Initializ"), nullptr);

    // "AB" and "ab" hash to 0x862 % 17 = 4 and 0xC42 % 17 = 10: the other case is not found.
    ASSERT_EQ(script_name_hash("ab"), 0xC42u);
    cache.add("AB", {7});
    EXPECT_EQ(cache.find("ab"), nullptr);
    cache.add("ab", {8});
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_EQ(cache.find("AB")->module, std::vector<uint8_t>{7});
    EXPECT_EQ(cache.find("ab")->module, std::vector<uint8_t>{8});
}

TEST(ScriptCache, SameBucketMatchesOtherCaseAndNewNodesGoFirst) {
    // "AAA" and "aAA" differ only in letter case and both fall into bucket 7.
    const std::string upper = "AAA", lower = "aAA";
    ASSERT_EQ(script_name_hash(upper) % 17, 7u);
    ASSERT_EQ(script_name_hash(lower) % 17, 7u);
    ScriptCache cache;
    const ScriptCache::Node& first = cache.add(upper, {1});
    EXPECT_EQ(cache.find(lower), &first);

    // A second node for a name of that bucket goes to the head, so it is the one found.
    const ScriptCache::Node& second = cache.add(lower, {2});
    EXPECT_EQ(cache.find(upper), &second);
    EXPECT_EQ(second.next.get(), &first);
    EXPECT_EQ(cache.size(), 2u);

    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.find(upper), nullptr);
    cache.add(upper, {3});
    EXPECT_EQ(cache.find(lower)->module, std::vector<uint8_t>{3});
}

}  // namespace
}  // namespace tarpon::projector
