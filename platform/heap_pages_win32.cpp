// Heap pages from VirtualAlloc. Large pages need a privilege a presentation does not hold, so the
// heap always gets ordinary pages here; reservations are aligned to the allocation granularity.
#include "engine/values/heap_pages.h"

#include "platform/windows.h"

namespace quill {

void* map_heap_pages(size_t size, bool) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

// A reservation cannot be grown in place or moved: callers copy into a new region instead.
void* remap_heap_pages(void*, size_t, size_t, bool) { return nullptr; }

void unmap_heap_pages(void* pages, size_t) { VirtualFree(pages, 0, MEM_RELEASE); }

}  // namespace quill
