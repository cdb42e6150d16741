#include "projector/bridge/script_cache.h"

namespace tarpon::projector {

namespace {

char ascii_upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii_upper(a[i]) != ascii_upper(b[i])) {
            return false;
        }
    }
    return true;
}

size_t bucket_of(std::string_view name) {
    return script_name_hash(name) % script_cache_buckets;
}

}  // namespace

uint32_t script_name_hash(std::string_view name) {
    uint32_t h = 0;
    for (char c : name) {
        uint32_t b = static_cast<uint8_t>(c);
        h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5);
    }
    return h;
}

const ScriptCache::Node* ScriptCache::find(std::string_view name) const {
    for (const Node* node = m_buckets[bucket_of(name)].get(); node != nullptr; node = node->next.get()) {
        if (same_name(node->name, name)) {
            return node;
        }
    }
    return nullptr;
}

const ScriptCache::Node& ScriptCache::add(std::string_view name, std::vector<uint8_t> module) {
    std::unique_ptr<Node>& head = m_buckets[bucket_of(name)];
    auto node = std::make_unique<Node>();
    node->name.assign(name);
    node->module = std::move(module);
    node->next = std::move(head);
    head = std::move(node);
    ++m_size;
    return *head;
}

size_t ScriptCache::size() const {
    return m_size;
}

void ScriptCache::clear() {
    for (std::unique_ptr<Node>& head : m_buckets) {
        // Unlinked one by one: a long chain freed recursively could exhaust the stack.
        while (head != nullptr) {
            head = std::move(head->next);
        }
    }
    m_size = 0;
}

}  // namespace tarpon::projector
