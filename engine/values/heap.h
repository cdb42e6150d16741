// The collected heap: a size-class allocator in large chunks, reclaimed by mark and sweep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/values/config.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct HeapChunk;

// Called by the sweep with the data address of a dead block before the block is reused.
using Finalizer = void (*)(ScriptEngine* engine, void* data);

// When a dead block's finalizer runs. Host instances die before the classes they name, so that a
// destroy handler may still read its class: their finalizers run in a first pass over the heap.
enum class FinalizerOrder { Normal, First };

// Chunk and block layout:
//
//   chunk:  | next chunk (8) | usable length (8) | block | block | ... |
//   block:  | header (8) | data (size bytes, a multiple of 8) |
//   header: size << 3 | bit 2 finalize first | bit 1 has finalizer | bit 0 mark
//
// Block data is always 8-byte aligned, so records may hold pointers and doubles. When bit 1 is set,
// the first data word holds the finalizer (possibly null). A free block keeps the next block of
// its free list in its first data word.
//
// Chunks come from the system (heap_pages.h), in two kinds. Ordinary chunks (config::chunk_size)
// hold the blocks of every request below config::large_block_size. A larger request gets a large
// chunk that holds its block alone; the block is never put on a free list. When it is freed or a
// sweep finds it dead, its chunk becomes a spare chunk, which a later large request of up to its
// size (and at least half of it) takes whole; a sweep gives back to the system the spare chunks
// that no request took for a whole cycle (since the sweep before the last). So a big block built
// again and again (a string grown by concatenation, an array filled anew) reuses the pages of its
// dead predecessors, while the chunks a growing array left behind go back within two cycles (at
// once when the spare chunks would hold more than 32 MiB). A large block can also grow where it is
// (gc_grow_block): the system adds pages to its chunk and may move the chunk's pages, so an array
// grown by push keeps its pages instead of copying them into a new chunk at every doubling.
//
// Requests are rounded up to the smallest block size of a class (block_size_for): 8-byte steps up
// to 256, then four steps per doubling. The free list of a class holds blocks from its smallest
// size up to the next class's, so any block on a request's own list fits it. A request is served
// from that list when it holds a block, otherwise carved from the front of the open block: a free
// block on no list, whose rest stays the open block. Only when that is too small does the search
// go through the higher classes (and past them to a new chunk); the rest of the block found there
// becomes the open block and the old one goes back to its list. A sweep rebuilds the free lists
// from scratch and leaves no open block.
inline constexpr size_t block_header_size = 8;
inline constexpr size_t chunk_header_size = 16;
inline constexpr size_t min_block_size = 8;

// The heap state kept in the engine.
struct Heap {
    HeapChunk* chunks = nullptr;                      // ordinary chunks, newest first
    HeapChunk* large_chunks = nullptr;                // chunks of one large block each, newest first
    HeapChunk* spare_chunks = nullptr;                // large chunks whose block was freed or died
    void* free_lists[config::size_class_count] = {};  // one list per size class
    uint64_t nonempty_lists = 0;  // bit c set exactly when free_lists[c] holds a block
    size_t allocated_bytes = 0;  // handed out since the last collection (see the sweep for the rule)
    size_t free_bytes = 0;       // bytes on the free lists
    char* open = nullptr;        // the open block (not on the lists, not in free_bytes), or null
    size_t chunk_bytes = 0;      // total size of all chunks, spare ones included
    size_t threshold = config::collection_threshold;  // the least allocation between two collections
    size_t spare_limit = size_t{32} << 20;  // most bytes the spare chunks may hold together
    size_t growth_allowance = 0;  // what the last collection's survivors allow before the next one
    uint32_t collection_count = 0;
    std::vector<Value> gray;  // the collector's work stack: values marked but not yet scanned
    bool draining = false;    // the collector is emptying the work stack
    bool verify = false;      // check the heap after every sweep (collector stress)
};

// The block size a request of n bytes gets: n rounded up to the smallest size of a class (at least
// 8). Requests of config::large_block_size and more are rounded the same way and then up to whole
// pages with their chunk.
size_t block_size_for(size_t n);
// Size class of a block of s bytes (a multiple of 8): the class whose smallest size is the largest
// not above s; every block of 64 KiB or more is in the last class.
int size_class(size_t size);

// Data of at least n bytes, not zeroed, no finalizer. Raises "Out of memory" when no chunk can be had.
void* gc_allocate(ScriptEngine* engine, size_t n);
// Zeroed data with the finalizer stored in its first word.
void* gc_allocate_finalized(ScriptEngine* engine, size_t n, Finalizer finalizer,
                            FinalizerOrder order = FinalizerOrder::Normal);
// The same block when it already holds n bytes, otherwise a large one grown (gc_grow_block) or a new
// one with the old contents (up to the smaller size), the old block freed. A null block is allocated.
void* gc_reallocate(ScriptEngine* engine, void* block, size_t n);
// Grows a large block (config::large_block_size or more) to hold at least n bytes without copying:
// its chunk's pages are kept and more added, so the contents stay while the block may move to a new
// address. The bytes past the old size are unspecified. Returns the block, or null when it is not a
// large one or should not grow so: the system cannot, or a copy would reuse pages touched before (a
// spare chunk fits the new size, or the old chunk would become one). The caller then allocates and
// copies, and the block is as it was.
void* gc_grow_block(ScriptEngine* engine, void* block, size_t n);
// Puts the block on the free list of its size class at once. A null block is ignored.
void gc_free(ScriptEngine* engine, void* block);

// Data size of a block, from its header.
size_t gc_block_size(const void* block);
// Sets the mark bit; returns true when the block was not marked before.
bool gc_mark_block(void* block);
bool gc_is_marked(const void* block);

// Sweeps the whole heap: runs the finalizer of every unmarked block, merges dead neighbours into
// free blocks, clears the marks of live ones. Returns the bytes of live blocks.
size_t gc_sweep(ScriptEngine* engine);

// Releases every chunk (after a final sweep has run the finalizers).
void gc_release_chunks(ScriptEngine* engine);

// Checks the heap's structure between collections: block sizes tile every chunk exactly (a large
// chunk holds one block of at least config::large_block_size), no block is marked, the free lists
// hold only blocks of the ordinary chunks, each once, free and of their class, and their sizes add
// up to the free byte count; the open block is a free block of the heap on no list. Right after a
// sweep (`swept`) no two free blocks are neighbours either, since the sweep merges them. Returns
// false on the first inconsistency.
bool gc_verify(ScriptEngine* engine, bool swept = false);

}  // namespace quill
