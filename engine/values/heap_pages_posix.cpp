// Heap pages from mmap, with transparent large pages where the system offers them.
#include "engine/values/heap_pages.h"

#include <sys/mman.h>

#include <cstdint>

#include "engine/values/config.h"

namespace quill {

void* map_heap_pages(size_t size, bool large_pages) {
    const size_t alignment = large_pages ? config::large_page_size : heap_page_size;
    // Over-asking by the alignment leaves room to cut an aligned region out of the mapping.
    const size_t span = size + (alignment > heap_page_size ? alignment : 0);
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    auto* start = static_cast<char*>(mapped);
    const uintptr_t address = reinterpret_cast<uintptr_t>(start);
    const size_t head = (alignment - address % alignment) % alignment;
    if (head != 0) {
        munmap(start, head);
    }
    const size_t tail = span - head - size;
    if (tail != 0) {
        munmap(start + head + size, tail);
    }
    start += head;
#ifdef MADV_HUGEPAGE
    if (large_pages) {
        // Only advice: where the system keeps large pages off, the region gets small pages.
        madvise(start, size, MADV_HUGEPAGE);
    }
#endif
    return start;
}

void unmap_heap_pages(void* pages, size_t size) { munmap(pages, size); }

}  // namespace quill
