// The collected heap's allocator and sweep (marking is in collector.cpp).
#include "engine/values/heap.h"

#include <bit>
#include <algorithm>
#include <cstring>

#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/heap_pages.h"

namespace quill {

struct HeapChunk {
    HeapChunk* next;
    size_t length;  // usable bytes after this header: the blocks, headers included
};
static_assert(sizeof(HeapChunk) == chunk_header_size, "chunk header layout");

namespace {

constexpr uint64_t mark_bit = 1u << 0;
constexpr uint64_t finalizer_bit = 1u << 1;
constexpr uint64_t first_bit = 1u << 2;
constexpr int size_shift = 3;

// Larger requests cannot be met on any machine this runs on; refusing them early keeps the
// power-of-two rounding from overflowing.
constexpr size_t largest_request = size_t{1} << 40;

uint64_t& header_of(void* data) { return *reinterpret_cast<uint64_t*>(static_cast<char*>(data) - block_header_size); }
uint64_t header_of(const void* data) {
    return *reinterpret_cast<const uint64_t*>(static_cast<const char*>(data) - block_header_size);
}
size_t size_of(const void* data) { return static_cast<size_t>(header_of(data) >> size_shift); }
void set_header(void* data, size_t size, uint64_t bits = 0) {
    header_of(data) = (static_cast<uint64_t>(size) << size_shift) | bits;
}

void*& free_link(void* data) { return *static_cast<void**>(data); }

char* first_block(HeapChunk* chunk) {
    return reinterpret_cast<char*>(chunk) + chunk_header_size + block_header_size;
}
char* chunk_end(HeapChunk* chunk) { return reinterpret_cast<char*>(chunk) + chunk_header_size + chunk->length; }
char* next_block(char* data) { return data + size_of(data) + block_header_size; }

static_assert(config::size_class_count <= 64, "one bit per free list");
static_assert(config::chunk_size % heap_page_size == 0 && config::chunk_size % config::large_page_size == 0,
              "ordinary chunks are whole large pages");
static_assert(config::large_block_size + chunk_header_size + block_header_size <= config::chunk_size,
              "every request below the large size fits an ordinary chunk");

// Classes 0 to 31 hold the sizes 8 to 256 in steps of 8; above, four classes per doubling.
constexpr size_t small_limit = 256;
constexpr int small_classes = static_cast<int>(small_limit / 8);

void push_free(Heap& heap, void* data) {
    size_t size = size_of(data);
    int c = size_class(size);
    free_link(data) = heap.free_lists[c];
    heap.free_lists[c] = data;
    heap.nonempty_lists |= uint64_t{1} << c;
    heap.free_bytes += size;
}

void clear_free_lists(Heap& heap) {
    for (void*& list : heap.free_lists) {
        list = nullptr;
    }
    heap.nonempty_lists = 0;
}

// Unlinks the first free block of at least `size` bytes, searching the class of the size and every
// higher one. Empty lists are skipped by their bit, so a small request costs the same whether the
// free memory lies in small blocks or in one large one.
void* take_free(Heap& heap, size_t size) {
    uint64_t candidates = heap.nonempty_lists & ~((uint64_t{1} << size_class(size)) - 1);
    while (candidates != 0) {
        int c = std::countr_zero(candidates);
        candidates &= candidates - 1;
        for (void** link = &heap.free_lists[c]; *link != nullptr; link = &free_link(*link)) {
            void* block = *link;
            if (size_of(block) >= size) {
                *link = free_link(block);
                if (heap.free_lists[c] == nullptr) {
                    heap.nonempty_lists &= ~(uint64_t{1} << c);
                }
                heap.free_bytes -= size_of(block);
                return block;
            }
        }
    }
    return nullptr;
}

// A new ordinary chunk, its whole usable part one free block on its list. The first chunk takes
// small pages: most scripts never need a second, and touch only a part of the first.
bool add_chunk(ScriptEngine* engine) {
    Heap& heap = engine->heap;
    const size_t total = config::chunk_size;
    auto* chunk = static_cast<HeapChunk*>(map_heap_pages(total, heap.chunks != nullptr));
    if (chunk == nullptr) {
        return false;
    }
    chunk->next = heap.chunks;
    chunk->length = total - chunk_header_size;
    heap.chunks = chunk;
    heap.chunk_bytes += total;
    char* block = first_block(chunk);
    set_header(block, chunk->length - block_header_size);
    push_free(heap, block);
    return true;
}

// The pages a large chunk for a block of `size` bytes takes.
size_t large_chunk_total(size_t size) {
    const size_t needed = size + chunk_header_size + block_header_size;
    return (needed + heap_page_size - 1) / heap_page_size * heap_page_size;
}

// The chunk of a block that a large chunk holds alone.
HeapChunk* chunk_of_large(void* data) {
    return reinterpret_cast<HeapChunk*>(static_cast<char*>(data) - block_header_size - chunk_header_size);
}

void release_large_chunk(Heap& heap, HeapChunk* chunk) {
    const size_t total = chunk->length + chunk_header_size;
    heap.chunk_bytes -= total;
    unmap_heap_pages(chunk, total);
}

// A spare chunk's block carries this bit once a sweep has passed it by unused. (On other blocks
// bit 2 means "finalize first", and only with a finalizer, which a spare block never has.)
constexpr uint64_t idle_bit = first_bit;

// At a sweep: gives back the spare chunks that no request took since the sweep before, and marks
// the others idle, so that every spare chunk waits a whole cycle for a request.
void age_spare_chunks(Heap& heap) {
    for (HeapChunk** link = &heap.spare_chunks; *link != nullptr;) {
        HeapChunk* chunk = *link;
        uint64_t& header = header_of(first_block(chunk));
        if ((header & idle_bit) != 0) {
            *link = chunk->next;
            release_large_chunk(heap, chunk);
        } else {
            header |= idle_bit;
            link = &chunk->next;
        }
    }
}

// Whether a large chunk freed now would be kept as a spare chunk. The spare chunks hold at most
// heap.spare_limit bytes together; a chunk that would take them past it goes back to the system at
// once: the blocks a huge array leaves behind as it grows are never asked for again, while the
// blocks worth keeping (rebuilt strings, arrays filled anew) are a few megabytes at most.
bool kept_as_spare(const Heap& heap, const HeapChunk* chunk) {
    size_t spare = chunk->length + chunk_header_size;
    for (HeapChunk* other = heap.spare_chunks; other != nullptr && spare <= heap.spare_limit; other = other->next) {
        spare += other->length + chunk_header_size;
    }
    return spare <= heap.spare_limit;
}

// Makes a large chunk whose block was freed or died spare, or gives it back when the spare chunks
// would hold too much.
void make_spare(Heap& heap, HeapChunk* chunk) {
    if (!kept_as_spare(heap, chunk)) {
        release_large_chunk(heap, chunk);
        return;
    }
    chunk->next = heap.spare_chunks;
    heap.spare_chunks = chunk;
}

void release_spare_chunks(Heap& heap) {
    while (heap.spare_chunks != nullptr) {
        HeapChunk* next = heap.spare_chunks->next;
        release_large_chunk(heap, heap.spare_chunks);
        heap.spare_chunks = next;
    }
}

// The link to a spare chunk whose block holds `size` bytes and not more than twice that, the
// smallest such; null when there is none.
HeapChunk** find_spare_chunk(Heap& heap, size_t size) {
    HeapChunk** best = nullptr;
    for (HeapChunk** link = &heap.spare_chunks; *link != nullptr; link = &(*link)->next) {
        const size_t length = (*link)->length;
        if (length - block_header_size >= size && length - block_header_size <= 2 * size &&
            (best == nullptr || length < (*best)->length)) {
            best = link;
        }
    }
    return best;
}

// That spare chunk, unlinked from the spare list; null when there is none.
HeapChunk* take_spare_chunk(Heap& heap, size_t size) {
    HeapChunk** best = find_spare_chunk(heap, size);
    if (best == nullptr) {
        return nullptr;
    }
    HeapChunk* chunk = *best;
    *best = chunk->next;
    return chunk;
}

// A large chunk holding one block of at least `size` bytes (all of the chunk's pages): a spare one
// that fits, or new pages.
void* allocate_large(ScriptEngine* engine, size_t size) {
    Heap& heap = engine->heap;
    HeapChunk* chunk = take_spare_chunk(heap, size);
    if (chunk == nullptr) {
        const size_t total = large_chunk_total(size);
        chunk = static_cast<HeapChunk*>(map_heap_pages(total, total >= config::large_page_size));
        if (chunk == nullptr) {
            raise_error(engine, Message::OutOfMemory);
        }
        chunk->length = total - chunk_header_size;
        heap.chunk_bytes += total;
    }
    chunk->next = heap.large_chunks;
    heap.large_chunks = chunk;
    char* block = first_block(chunk);
    const size_t available = chunk->length - block_header_size;
    set_header(block, available);
    heap.allocated_bytes += available;
    return block;
}

// Moves a freed large block's chunk to the spare list.
void free_large(Heap& heap, void* data) {
    HeapChunk* chunk = chunk_of_large(data);
    for (HeapChunk** link = &heap.large_chunks; *link != nullptr; link = &(*link)->next) {
        if (*link == chunk) {
            *link = chunk->next;
            set_header(data, size_of(data));
            make_spare(heap, chunk);
            return;
        }
    }
}

[[gnu::noinline]] void call_finalizer(ScriptEngine* engine, void* data) {
    header_of(data) &= ~(finalizer_bit | first_bit);
    Finalizer finalizer = *static_cast<Finalizer*>(data);
    if (finalizer == nullptr) {
        return;
    }
    // Finalizers run inside the sweep, where nothing may unwind.
    try {
        finalizer(engine, data);
    } catch (...) {
    }
}

// Most dead blocks have no finalizer: the sweep asks that here, without a call.
inline void run_finalizer(ScriptEngine* engine, void* data) {
    if ((header_of(data) & finalizer_bit) != 0) {
        call_finalizer(engine, data);
    }
}

template <typename Visit>
void for_each_block(Heap& heap, Visit&& visit) {
    for (HeapChunk* chunk = heap.chunks; chunk != nullptr; chunk = chunk->next) {
        char* end = chunk_end(chunk);
        for (char* block = first_block(chunk); block < end; block = next_block(block)) {
            visit(block);
        }
    }
    for (HeapChunk* chunk = heap.large_chunks; chunk != nullptr; chunk = chunk->next) {
        visit(first_block(chunk));
    }
}

}  // namespace

size_t block_size_for(size_t n) {
    if (n <= small_limit) {
        return n <= min_block_size ? min_block_size : (n + 7) & ~size_t{7};
    }
    // Four steps between n's power of two and the next: a quarter of the lower one each.
    const size_t step = size_t{1} << (std::bit_width(n - 1) - 3);
    return (n + step - 1) & ~(step - 1);
}

int size_class(size_t size) {
    if (size <= small_limit) {
        return size < min_block_size ? 0 : static_cast<int>(size / 8) - 1;
    }
    const int log = static_cast<int>(std::bit_width(size)) - 1;  // floor(log2 size), 8 or more
    const int step = static_cast<int>(size >> (log - 2)) & 3;
    const int c = small_classes - 1 + (log - 8) * 4 + step;
    return c < config::size_class_count - 1 ? c : config::size_class_count - 1;
}

namespace {

// The rest of a block of `available` bytes serving `size`, when it is large enough to be a block of
// its own: its data address, with its header written; otherwise null.
char* split_rest(void* block, size_t available, size_t size) {
    if (available < size + block_header_size + min_block_size) {
        return nullptr;
    }
    char* rest = static_cast<char*>(block) + size + block_header_size;
    set_header(rest, available - size - block_header_size);
    return rest;
}

// Hands out a block taken off a free list or made from the open block.
void* hand_out(Heap& heap, void* block, size_t size) {
    set_header(block, size);
    heap.allocated_bytes += size;
    return block;
}

// A request neither its own class's list nor the open block can serve.
void* allocate_elsewhere(ScriptEngine* engine, size_t size) {
    Heap& heap = engine->heap;
    if (heap.open != nullptr) {
        push_free(heap, heap.open);
        heap.open = nullptr;
    }
    void* block = take_free(heap, size);
    if (block == nullptr) {
        if (!add_chunk(engine)) {
            raise_error(engine, Message::OutOfMemory);
        }
        block = take_free(heap, size);
    }
    const size_t available = size_of(block);
    heap.open = split_rest(block, available, size);
    return hand_out(heap, block, heap.open != nullptr ? size : available);
}

}  // namespace

namespace {

// One instruction may set off native work without end in sight (a join of a long array on every
// turn of a loop): allocations are charged to the instruction budget too, one instruction for each
// block and each 64 bytes.
void charge_allocation(ScriptEngine* engine, size_t n) {
    if constexpr (config::instruction_budget != 0) {
        uint64_t cost = 1 + n / 64;
        engine->instructions_left -= cost < engine->instructions_left ? cost : engine->instructions_left;
    }
}

// gc_allocate beyond its fast path: the checks, then the class's own list, then the open block,
// then the higher classes and new chunks. Kept out of line, so that the fast path saves no registers.
[[gnu::noinline]] void* allocate_with_checks(ScriptEngine* engine, size_t n) {
    if (n > largest_request) {
        raise_error(engine, Message::OutOfMemory);
    }
    charge_allocation(engine, n);
    const size_t size = block_size_for(n);
    if (size >= config::large_block_size) {
        return allocate_large(engine, size);
    }
    Heap& heap = engine->heap;
    const int c = size_class(size);
    if ((heap.nonempty_lists >> c & 1u) != 0 && c < config::size_class_count - 1) {
        // The head of the class's own list: every block there holds at least `size` bytes (the
        // last class is open-ended and is searched block by block).
        void* block = heap.free_lists[c];
        heap.free_lists[c] = free_link(block);
        if (heap.free_lists[c] == nullptr) {
            heap.nonempty_lists &= ~(uint64_t{1} << c);
        }
        const size_t available = size_of(block);
        heap.free_bytes -= available;
        if (char* rest = split_rest(block, available, size)) {
            push_free(heap, rest);
            return hand_out(heap, block, size);
        }
        return hand_out(heap, block, available);
    }
    if (heap.open != nullptr) {
        if (char* rest = split_rest(heap.open, size_of(heap.open), size)) {
            void* block = heap.open;
            heap.open = rest;
            return hand_out(heap, block, size);
        }
    }
    return allocate_elsewhere(engine, size);
}

}  // namespace

// Most requests are small and carved from the open block while their class's list is empty; that
// path alone is kept here, without calls, and everything else goes the long way.
void* gc_allocate(ScriptEngine* engine, size_t n) {
    if (config::instruction_budget == 0 && n <= small_limit) {
        Heap& heap = engine->heap;
        const size_t size = n <= min_block_size ? min_block_size : (n + 7) & ~size_t{7};
        char* open = heap.open;
        const uint64_t bit = uint64_t{1} << (size / 8 - 1);  // the size's class
        if (open != nullptr && (heap.nonempty_lists & bit) == 0) {
            const size_t available = size_of(open);
            if (available >= size + block_header_size + min_block_size) {
                char* rest = open + size + block_header_size;
                set_header(rest, available - size - block_header_size);
                heap.open = rest;
                set_header(open, size);
                heap.allocated_bytes += size;
                return open;
            }
        }
    }
    return allocate_with_checks(engine, n);
}

void* gc_allocate_finalized(ScriptEngine* engine, size_t n, Finalizer finalizer, FinalizerOrder order) {
    if (n < sizeof(Finalizer)) {
        n = sizeof(Finalizer);
    }
    void* block = gc_allocate(engine, n);
    std::memset(block, 0, size_of(block));
    *static_cast<Finalizer*>(block) = finalizer;
    header_of(block) |= finalizer_bit | (order == FinalizerOrder::First ? first_bit : 0);
    return block;
}

void* gc_grow_block(ScriptEngine* engine, void* block, size_t n) {
    if (block == nullptr || size_of(block) < config::large_block_size) {
        return nullptr;
    }
    const size_t old_size = size_of(block);
    if (n <= old_size) {
        return block;
    }
    if (n > largest_request) {
        return nullptr;
    }
    Heap& heap = engine->heap;
    const size_t size = block_size_for(n);
    HeapChunk* chunk = chunk_of_large(block);
    // Fresh pages cost a fault each when first touched, which is more than a copy into pages touched
    // before. So the block grows here only when copying would not reuse pages either way: no spare
    // chunk fits the new size, and the old chunk would not be kept as a spare for a later request
    // (an array growing by push leaves its old blocks to the next array built the same way).
    if (find_spare_chunk(heap, size) != nullptr || kept_as_spare(heap, chunk)) {
        return nullptr;
    }
    HeapChunk** link = &heap.large_chunks;
    while (*link != chunk) {
        if (*link == nullptr) {
            return nullptr;  // not a block of this heap's large chunks
        }
        link = &(*link)->next;
    }
    charge_allocation(engine, n - old_size);
    const size_t old_total = chunk->length + chunk_header_size;
    const size_t total = large_chunk_total(size);
    auto* grown = static_cast<HeapChunk*>(remap_heap_pages(chunk, old_total, total, total >= config::large_page_size));
    if (grown == nullptr) {
        return nullptr;
    }
    // The chunk's header and the block's moved with the pages; the list link before it did not.
    *link = grown;
    grown->length = total - chunk_header_size;
    heap.chunk_bytes += total - old_total;
    char* data = first_block(grown);
    const uint64_t bits = header_of(data) & (mark_bit | finalizer_bit | first_bit);
    set_header(data, grown->length - block_header_size, bits);
    // Only the added bytes count as handed out: the old ones were counted when the block was made.
    heap.allocated_bytes += size_of(data) - old_size;
    return data;
}

void* gc_reallocate(ScriptEngine* engine, void* block, size_t n) {
    if (block == nullptr) {
        return gc_allocate(engine, n);
    }
    size_t size = size_of(block);
    if (size >= n) {
        return block;
    }
    if (void* grown = gc_grow_block(engine, block, n)) {
        return grown;
    }
    void* grown = gc_allocate(engine, n);
    std::memcpy(grown, block, size);
    gc_free(engine, block);
    return grown;
}

void gc_free(ScriptEngine* engine, void* block) {
    if (block == nullptr) {
        return;
    }
    // Blocks handed out from ordinary chunks stay below the large size (block_size_for rounds every
    // smaller request to a class size below it, and a block handed out whole exceeds its request by
    // less than a block header and the least block).
    if (size_of(block) >= config::large_block_size) {
        free_large(engine->heap, block);
        return;
    }
    set_header(block, size_of(block));
    push_free(engine->heap, block);
}

size_t gc_block_size(const void* block) { return size_of(block); }

bool gc_mark_block(void* block) {
    uint64_t& header = header_of(block);
    if ((header & mark_bit) != 0) {
        return false;
    }
    header |= mark_bit;
    return true;
}

bool gc_is_marked(const void* block) { return (header_of(block) & mark_bit) != 0; }

size_t gc_sweep(ScriptEngine* engine) {
    Heap& heap = engine->heap;

    // Host instances first: their destroy handlers may still look at their classes.
    for_each_block(heap, [engine](char* block) {
        uint64_t header = header_of(block);
        if ((header & (mark_bit | first_bit)) == first_bit) {
            run_finalizer(engine, block);
        }
    });

    // The open block is an unmarked free block like any other: it merges with its dead neighbours.
    heap.open = nullptr;
    clear_free_lists(heap);
    heap.allocated_bytes = 0;
    heap.free_bytes = 0;
    size_t live = 0;
    // Large chunks first, so that the count of bytes handed out restarts from an ordinary block.
    // Spare chunks that went unused for a whole cycle go back to the system; the chunks of the
    // large blocks that died in this one become spare.
    age_spare_chunks(heap);
    for (HeapChunk** link = &heap.large_chunks; *link != nullptr;) {
        HeapChunk* chunk = *link;
        char* block = first_block(chunk);
        if (gc_is_marked(block)) {
            header_of(block) &= ~mark_bit;
            heap.allocated_bytes = size_of(block);
            live += size_of(block);
            link = &chunk->next;
            continue;
        }
        run_finalizer(engine, block);
        *link = chunk->next;
        make_spare(heap, chunk);
    }
    for (HeapChunk* chunk = heap.chunks; chunk != nullptr; chunk = chunk->next) {
        char* end = chunk_end(chunk);
        char* block = first_block(chunk);
        while (block < end) {
            if (gc_is_marked(block)) {
                header_of(block) &= ~mark_bit;
                size_t size = size_of(block);
                // Assigned, not added: the count of bytes handed out restarts from here.
                heap.allocated_bytes = size;
                live += size;
                block = next_block(block);
                continue;
            }
            run_finalizer(engine, block);
            size_t merged = size_of(block);
            char* next = next_block(block);
            while (next < end && !gc_is_marked(next)) {
                run_finalizer(engine, next);
                merged += block_header_size + size_of(next);
                next = next_block(next);
            }
            set_header(block, merged);
            push_free(heap, block);
            block = next;
        }
    }
    return live;
}

void gc_release_chunks(ScriptEngine* engine) {
    Heap& heap = engine->heap;
    while (heap.chunks != nullptr) {
        HeapChunk* next = heap.chunks->next;
        unmap_heap_pages(heap.chunks, heap.chunks->length + chunk_header_size);
        heap.chunks = next;
    }
    while (heap.large_chunks != nullptr) {
        HeapChunk* next = heap.large_chunks->next;
        release_large_chunk(heap, heap.large_chunks);
        heap.large_chunks = next;
    }
    release_spare_chunks(heap);
    clear_free_lists(heap);
    heap.open = nullptr;
    heap.chunk_bytes = 0;
    heap.free_bytes = 0;
    heap.allocated_bytes = 0;
}

bool gc_verify(ScriptEngine* engine, bool swept) {
    Heap& heap = engine->heap;

    // Every block, by address. The walk checks each header before it steps over the block.
    std::vector<const char*> blocks;
    size_t total = 0;
    for (HeapChunk* chunk = heap.chunks; chunk != nullptr; chunk = chunk->next) {
        char* end = chunk_end(chunk);
        char* block = first_block(chunk);
        while (block < end) {
            uint64_t header = header_of(block);
            size_t size = size_of(block);
            if (size % min_block_size != 0 || size == 0 || size > static_cast<size_t>(end - block) ||
                (header & mark_bit) != 0 || ((header & first_bit) != 0 && (header & finalizer_bit) == 0)) {
                return false;
            }
            blocks.push_back(block);
            block = next_block(block);
        }
        // The walk ends on the data address a block after the last would have.
        if (block != end + block_header_size) {
            return false;
        }
        total += chunk->length + chunk_header_size;
    }
    // Large and spare chunks: one block each, filling the chunk, never on a list (they are not in
    // `blocks`).
    for (HeapChunk* list : {heap.large_chunks, heap.spare_chunks}) {
        for (HeapChunk* chunk = list; chunk != nullptr; chunk = chunk->next) {
            char* block = first_block(chunk);
            if (size_of(block) != chunk->length - block_header_size || size_of(block) < config::large_block_size ||
                (header_of(block) & mark_bit) != 0) {
                return false;
            }
            total += chunk->length + chunk_header_size;
        }
    }
    if (total != heap.chunk_bytes) {
        return false;
    }
    std::sort(blocks.begin(), blocks.end());
    auto is_block = [&](const void* p) {
        return std::binary_search(blocks.begin(), blocks.end(), static_cast<const char*>(p));
    };

    // The free lists: blocks of the heap (checked before their headers are read), each once, with
    // no bits set, in the list of their size class, adding up to the free byte count.
    std::vector<const char*> free_blocks;
    size_t free_total = 0;
    for (int c = 0; c < config::size_class_count; ++c) {
        if ((heap.free_lists[c] != nullptr) != ((heap.nonempty_lists >> c & 1u) != 0)) {
            return false;
        }
        for (void* block = heap.free_lists[c]; block != nullptr; block = free_link(block)) {
            // More entries than blocks: a list runs in a cycle.
            if (!is_block(block) || free_blocks.size() == blocks.size() ||
                (header_of(block) & (mark_bit | finalizer_bit | first_bit)) != 0 ||
                size_class(size_of(block)) != c) {
                return false;
            }
            free_blocks.push_back(static_cast<const char*>(block));
            free_total += size_of(block);
        }
    }
    // The open block: a free block of the heap, on no list (the duplicate check below sees to that).
    if (heap.open != nullptr) {
        if (!is_block(heap.open) || (header_of(heap.open) & (mark_bit | finalizer_bit | first_bit)) != 0) {
            return false;
        }
        free_blocks.push_back(heap.open);
    }
    std::sort(free_blocks.begin(), free_blocks.end());
    if (free_total != heap.free_bytes ||
        std::adjacent_find(free_blocks.begin(), free_blocks.end()) != free_blocks.end()) {
        return false;
    }

    // A sweep merges dead neighbours: right after one, no free block follows another.
    if (swept) {
        for (const char* block : free_blocks) {
            const char* next = block + size_of(block) + block_header_size;
            if (std::binary_search(free_blocks.begin(), free_blocks.end(), next)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace quill
