// The frame a script call builds on the engine's stack: where the interpreter keeps its registers
// of a call, and what the collector steps over when it walks the stack.
//
// The stack grows downward. `frame` points at the frame's first header cell; its cells, from the
// callee cell upward, are the caller's:
//
//   frame + 2 + n   argument n             frame slot n + 1
//   frame + 2       Integer count          frame slot 1
//   frame + 1       this (the callee cell) frame slot 0
//   frame + 0       FrameMark  caller frame (null for an entry frame)
//   frame - 1       FrameSlot  low: cells owned (count + 2), high: padding cells
//   frame - 2       FrameMark  with-scope list (or null)
//   frame - 3       FrameMark  resume code position
//   frame - 4 - i   local i, then the expression cells
//
// Header cells are never visible to scripts: reads of frame slots that land on them give Undefined
// and writes to them are dropped, so no code can corrupt a frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/values/value.h"

namespace quill::stack_frame {

// Offsets of the header cells from the frame pointer.
inline constexpr ptrdiff_t caller = 0;
inline constexpr ptrdiff_t cells = -1;
inline constexpr ptrdiff_t with_scopes = -2;
inline constexpr ptrdiff_t resume = -3;
inline constexpr ptrdiff_t header_cells = 4;
// Local i lives at frame + first_local - i.
inline constexpr ptrdiff_t first_local = -header_cells;
// Frame slot k lives at frame + first_slot + k.
inline constexpr ptrdiff_t first_slot = 1;

inline Value mark(const void* pointer) {
    Value v = Value::with_tag(Tag::FrameMark);
    v.payload.pointer = const_cast<void*>(pointer);
    return v;
}

inline Value slot(uint32_t owned, uint32_t padding) {
    Value v = Value::with_tag(Tag::FrameSlot);
    v.payload.words.low = owned;
    v.payload.words.high = padding;
    return v;
}

inline bool is_header_cell(const Value& v) { return v.tag == Tag::FrameMark || v.tag == Tag::FrameSlot; }

// The cells a script caller hands its callee: this, the count and the arguments the count names.
// Kept in the frame when it is entered, so that the callee cannot claim more by rewriting its count.
inline uint32_t claimed_cells(const Value& count) {
    if (count.tag != Tag::Integer || count.payload.integer < 0) {
        return 2;
    }
    return count.payload.integer < UINT32_MAX - 2 ? static_cast<uint32_t>(count.payload.integer) + 2 : UINT32_MAX;
}

// A walk up the stack meets each frame at its resume cell, the lowest header cell and the first
// FrameMark above the frame's locals: the frame pointer of a resume cell.
inline const Value* frame_of_resume(const Value* resume_cell) { return resume_cell - resume; }

}  // namespace quill::stack_frame
