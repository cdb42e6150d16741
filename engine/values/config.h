// Every limit and debug switch of the Quill engine, each with its reason and what depends on it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quill::config {

// Cells of the interpreter stack when the embedding configuration gives no size.
inline constexpr uint32_t default_stack_cells = 4096;

// Calls and RESERVE refuse to leave fewer free cells than this; ordinary pushes rely on the margin.
inline constexpr uint32_t stack_margin_cells = 10;

// Bytes of the engine's message buffer, terminating NUL included; longer messages are cut.
inline constexpr size_t message_buffer_size = 1024;

// Bytes of the work buffer warnings are formatted into before they go to the trace hook.
inline constexpr size_t warning_buffer_size = 1024;

// A collection runs at the next collection point once this many bytes were handed out since the last one,
inline constexpr size_t collection_threshold = 2097152;
// and once the bytes handed out reach this share (in percent) of those the last collection left alive
// (a threshold of 0 collects at every collection point all the same). A collection marks every live
// block, so with a fixed threshold alone a growing live heap would be marked again and again
// (quadratic in its size); letting the heap grow by a share of itself keeps the marking work in
// proportion to the allocation, at the price of that much more memory.
inline constexpr size_t collection_growth_percent = 100;

// Size of an ordinary heap chunk: one large page, taken from the system on its boundary, so that a
// growing heap costs one page fault (and one zeroing) per 2 MiB rather than one per 4 KiB. Only what
// is touched of a chunk is backed, so a small script holds little more than it uses.
inline constexpr size_t chunk_size = size_t{2} << 20;

// The large page the system may back chunks with (x86-64 and most 64-bit systems).
inline constexpr size_t large_page_size = size_t{2} << 20;

// Requests of at least this many bytes (the growing element store of a big array, a long string)
// get a chunk of their own, which goes back to the system within a collection cycle of the block's
// death unless a request of about its size takes it over first (engine/values/heap.h), rather than
// staying behind for good as a free block that only as large a request could reuse.
inline constexpr size_t large_block_size = size_t{256} << 10;

// Number of size classes (and free lists) of the collected heap: a class per 8 bytes up to 256, then
// four per doubling, so that a record takes a block of its own size (or at most a quarter more);
// the last class takes every block of 64 KiB and more.
inline constexpr int size_class_count = 64;

// The constant table and the global slots grow by this many entries at a time.
inline constexpr uint32_t value_array_growth = 1024;

// Chains of the engine's atom hash table (the low 8 bits of the engine hash pick one).
inline constexpr int atom_chain_count = 256;

// Chains of a property table's name index (the low 7 bits of the engine hash pick one).
inline constexpr int name_index_chain_count = 128;

// Most slots one property table may have. Writing at a large integer position appends blank slots up
// to it; a script asking for more than this gets "Out of memory" instead of exhausting the machine.
inline constexpr uint32_t max_table_slots = 1u << 24;

// Longest string, in UTF-16 code units. A script that asks for more (a string element written at a
// huge index, concatenation beyond it) gets "Out of memory" rather than exhausting the machine.
inline constexpr size_t max_string_length = size_t{1} << 28;

// Most cells of an array's dense block (20 bytes each with its stamp). Within it the block never
// holds more than about four cells per stored element, about what a node and its slots in the hash
// table cost; past it, elements are found through the array's hash table (engine/values/array.cpp).
inline constexpr uint64_t array_dense_limit = uint64_t{1} << 27;

// How deeply joins may nest (an array holding itself nests without end) before the join raises
// "stack overflow" instead of exhausting the native stack.
inline constexpr int array_max_join_depth = 1000;

// Longest text a number's toString and format give, in UTF-16 code units (a 256-unit buffer with
// its NUL).
inline constexpr size_t number_text_limit = 255;

// Work lists the compiler keeps in the engine between compilations.
inline constexpr int compiler_work_list_count = 32;

// The parser and the code generator recurse as deep as the source nests, on the native stack of the
// thread that compiles (the user-interface thread of the projector). A source nested deeper gets the
// compile error "nesting too deep" instead of overflowing that stack. Parser levels are nested
// statements, parenthesised or bracketed expressions, assignments and prefix operators (about twenty
// native frames each); the height counts the levels of an expression tree, which left-associative
// operator chains make as deep as they are long (a few frames each in the code generator).
inline constexpr int compiler_max_nesting = 200;
inline constexpr uint32_t compiler_max_expression_height = 1000;

// Match pairs every regular-expression search asks for: the whole match and up to 255 groups. The
// engine-wide last-match state keeps this many.
inline constexpr size_t regexp_match_pairs = 256;

// Entries of the engine's slot hints for property lookups by atom (a power of two; atoms that share
// their low bits share an entry, which costs only a missed hint).
inline constexpr uint32_t slot_hint_count = 256;

// Entries of the per-type handler table: one per value tag 0 to 14.
inline constexpr int type_handler_count = 15;

// Collector stress, built in when QUILL_GC_STRESS is defined (sanitizer and fuzzing builds): an engine
// created while the environment variable of that name is set (to anything but "" or "0") collects at
// every collection point and checks the heap's consistency after every sweep. Other builds read no
// variable and behave as without it.
#ifdef QUILL_GC_STRESS
inline constexpr bool gc_stress_switch = true;
#else
inline constexpr bool gc_stress_switch = false;
#endif
inline constexpr const char* gc_stress_variable = "QUILL_GC_STRESS";

// Instruction budget, built in when QUILL_INSTRUCTION_BUDGET is defined (the fuzzing build): an
// engine runs at most this many instructions in its life, after which every further instruction
// raises a runtime error, so that a script that loops for ever ends. Allocations on the collected
// heap are charged to it as well (see gc_allocate). 0 means no budget and costs nothing.
#ifdef QUILL_INSTRUCTION_BUDGET
inline constexpr uint64_t instruction_budget = QUILL_INSTRUCTION_BUDGET;
#else
inline constexpr uint64_t instruction_budget = 0;
#endif

}  // namespace quill::config
