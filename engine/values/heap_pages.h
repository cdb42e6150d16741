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

// Gives back a region of `size` bytes that map_heap_pages returned.
void unmap_heap_pages(void* pages, size_t size);

}  // namespace quill
