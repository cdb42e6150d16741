// Record pools for the compiler's syntax tree and instruction list: records are made in large
// blocks, keep their addresses until the pool dies and are never freed one by one. A text pool keeps
// one copy of each distinct text for the names and literals records point at.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quill::compiler {

// Blocks grow from 16 records to `largest_block`, so that a small text (an eval) costs little.
template <typename T, size_t largest_block = 1024>
class Pool {
public:
    Pool() = default;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // A value-initialised record.
    T* make() {
        if (m_blocks.empty() || m_used == m_block_size) {
            m_block_size = m_blocks.empty() ? first_block : std::min(m_block_size * 2, largest_block);
            m_blocks.push_back(std::make_unique<T[]>(m_block_size));
            m_used = 0;
        }
        T* record = &m_blocks.back()[m_used++];
        if (m_blocks.size() == 1 && m_first_used) {
            *record = T{};  // the first block still holds records of before the last clear
        }
        return record;
    }

    // Ends every record at once. The first block stays for the records made next; the others go.
    void clear() {
        if (m_blocks.empty()) {
            return;
        }
        m_blocks.resize(1);
        m_block_size = first_block;
        m_used = 0;
        m_first_used = true;
    }

private:
    static constexpr size_t first_block = largest_block < 16 ? largest_block : 16;

    std::vector<std::unique_ptr<T[]>> m_blocks;
    size_t m_block_size = 0;    // records the last block holds
    size_t m_used = 0;          // records made in the last block
    bool m_first_used = false;  // the first block has been cleared
};

class TextPool {
public:
    TextPool() = default;
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // The pool's copy of the text: it stays in place as long as the pool (the set's nodes do not
    // move, so neither do their strings).
    std::string_view keep(std::string_view text) {
        if (text.empty()) {
            return {};
        }
        auto found = m_texts.find(text);
        if (found == m_texts.end()) {
            found = m_texts.emplace(text).first;
        }
        return *found;
    }

    void clear() { m_texts.clear(); }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_set<std::string, Hash, std::equal_to<>> m_texts;
};

}  // namespace quill::compiler
