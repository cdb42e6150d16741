// What the collected heap asks the system: whole pages for its chunks, given back when a chunk goes.
#pragma once

#include <cstddef>

namespace quill {

// Granularity of the sizes asked for: every size passed here is a multiple of it.
inline constexpr size_t heap_page_size = 4096;

// `size` bytes of fresh read-write memory, or null when the system has none. The pages are backed on
// first touch, so a chunk costs only what is used of it. With `large_pages` the region starts on a
// boundary of config::large_page_size and the system is asked to back it with pages of that size
// where it can (one fault and one zeroing per large page instead of one per small page); other
// systems simply give ordinary pages.
void* map_heap_pages(size_t size, bool large_pages);

// Grows a region of `old_size` bytes that map_heap_pages returned to `new_size` bytes (more), keeping
// its contents: the pages stay as they are, possibly at a new address, and only the added part is
// fresh. `large_pages` asks for large pages as map_heap_pages does, where the region allows them.
// Returns the region's address, or null when the system cannot grow regions so or has no room; the
// old region then stays as it was.
void* remap_heap_pages(void* pages, size_t old_size, size_t new_size, bool large_pages);

// Gives back a region of `size` bytes that map_heap_pages returned.
void unmap_heap_pages(void* pages, size_t size);

}  // namespace quill
