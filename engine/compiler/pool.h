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
// Records made since a mark can be ended at once (release): they are reset and their blocks kept
// for the records made next, so a pool used in stack order holds only what is live.
template <typename T, size_t largest_block = 1024>
class Pool {
public:
    // A position in the pool: the records made after it are the ones release ends.
    struct Mark {
        size_t block = 0;
        size_t used = 0;
    };

    Pool() = default;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // A value-initialised record.
    T* make() {
        if (m_blocks.empty() || m_used == m_blocks[m_current].size) {
            if (!m_blocks.empty() && m_current + 1 < m_blocks.size()) {
                ++m_current;  // a block kept by release or clear
            } else {
                size_t size = m_blocks.empty() ? first_block : std::min(m_blocks.back().size * 2, largest_block);
                m_blocks.push_back(Block{std::make_unique<T[]>(size), size});
                m_current = m_blocks.size() - 1;
            }
            m_used = 0;
        }
        return &m_blocks[m_current].records[m_used++];
    }

    Mark mark() const { return Mark{m_current, m_used}; }

    // Ends the records made since the mark: each is reset (what it owns is freed), and their
    // places are made again by the next calls of make.
    void release(Mark mark) {
        if (m_blocks.empty()) {
            return;
        }
        for (size_t b = mark.block; b <= m_current; ++b) {
            T* records = m_blocks[b].records.get();
            size_t from = b == mark.block ? mark.used : 0;
            size_t to = b == m_current ? m_used : m_blocks[b].size;
            for (size_t i = from; i < to; ++i) {
                records[i] = T{};
            }
        }
        m_current = mark.block;
        m_used = mark.used;
    }

    // Ends every record at once. The first block stays for the records made next; the others go.
    void clear() {
        if (m_blocks.empty()) {
            return;
        }
        if (m_current != 0) {
            m_current = 0;
            m_used = m_blocks[0].size;  // the first block is full
        }
        m_blocks.resize(1);
        release(Mark{});
    }

private:
    static constexpr size_t first_block = largest_block < 16 ? largest_block : 16;

    struct Block {
        std::unique_ptr<T[]> records;
        size_t size;
    };

    std::vector<Block> m_blocks;
    size_t m_current = 0;  // the block records are made in
    size_t m_used = 0;     // records made in that block
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
