// Heap pages from mmap, with transparent large pages where the system offers them.
#include "engine/values/heap_pages.h"

#include <sys/mman.h>

#include <cstdint>

#include "engine/values/config.h"

namespace quill {

namespace {

// A region of `size` bytes starting on a multiple of `alignment`, not yet advised; null when the
// system has none.
char* map_aligned(size_t size, size_t alignment) {
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
    return start + head;
}

void advise_large_pages([[maybe_unused]] void* start, [[maybe_unused]] size_t size) {
#ifdef MADV_HUGEPAGE
    // Only advice: where the system keeps large pages off, the region gets small pages.
    madvise(start, size, MADV_HUGEPAGE);
#endif
}

}  // namespace

void* map_heap_pages(size_t size, bool large_pages) {
    char* start = map_aligned(size, large_pages ? config::large_page_size : heap_page_size);
    if (start != nullptr && large_pages) {
        advise_large_pages(start, size);
    }
    return start;
}

void* remap_heap_pages(void* pages, size_t old_size, size_t new_size, bool large_pages) {
#if defined(MREMAP_MAYMOVE) && defined(MREMAP_FIXED)
    // The page tables move, not the contents. Where large pages are wanted the region moves to a
    // boundary of one (a region that merely grew where it lies would get small pages only);
    // otherwise it grows in place where the address space after it is free.
    if (!large_pages) {
        void* grown = mremap(pages, old_size, new_size, MREMAP_MAYMOVE);
        return grown != MAP_FAILED ? grown : nullptr;
    }
    char* target = map_aligned(new_size, config::large_page_size);
    if (target == nullptr) {
        return nullptr;
    }
    if (mremap(pages, old_size, new_size, MREMAP_MAYMOVE | MREMAP_FIXED, target) == MAP_FAILED) {
        munmap(target, new_size);
        return nullptr;
    }
    advise_large_pages(target, new_size);
    return target;
#else
    (void)pages;
    (void)old_size;
    (void)new_size;
    (void)large_pages;
    return nullptr;
#endif
}

void unmap_heap_pages(void* pages, size_t size) { munmap(pages, size); }

}  // namespace quill
