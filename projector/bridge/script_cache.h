// The cache of compiled scripts: 17 buckets, keyed by the script name without regard to case, each
// node holding a copy of the name and the unpacked module bytes. New nodes go to the head of their
// bucket and live as long as the cache. A name that differs from a cached one only in letter case
// is looked up in the bucket its own bytes hash to, so it may load again and add a node.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::projector {

constexpr size_t script_cache_buckets = 17;

// The bucket hash over the name's bytes: h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5), unsigned 32-bit.
uint32_t script_name_hash(std::string_view name);

class ScriptCache {
public:
    struct Node {
        std::string name;
        std::vector<uint8_t> module;
        std::unique_ptr<Node> next;
    };

    // The node for the name, or null.
    const Node* find(std::string_view name) const;
    // Adds a node at the head of the name's bucket and gives it.
    const Node& add(std::string_view name, std::vector<uint8_t> module);
    size_t size() const;
    void clear();

private:
    std::array<std::unique_ptr<Node>, script_cache_buckets> m_buckets;
    size_t m_size = 0;
};

}  // namespace tarpon::projector
