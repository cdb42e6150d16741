// Scans over UTF-16 code units that the string built-ins and the regular-expression layer share:
// finding one code unit, and telling and copying ASCII text. On x86-64 they look at eight units at
// a time; elsewhere they run unit by unit with the same results.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

// The first position in [from, end) that holds `unit`, or `end`.
inline const char16_t* find_code_unit(const char16_t* from, const char16_t* end, char16_t unit) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    while (end - from >= 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, wanted)));
        if (hits != 0) {
            return from + std::countr_zero(hits) / 2;
        }
        from += 8;
    }
#endif
    while (from != end && *from != unit) {
        ++from;
    }
    return from;
}

// Copies the `count` units at `from` to `to` as bytes while every one is ASCII (below 0x80).
// Returns true when all were; false as soon as one is not, with `to` partly written.
inline bool copy_ascii(const char16_t* from, size_t count, char* to) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    for (; i + 8 <= count; i += 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(block, high), _mm_setzero_si128())) != 0xFFFF) {
            return false;
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(block, block));
    }
#endif
    for (; i < count; ++i) {
        if (from[i] >= 0x80) {
            return false;
        }
        to[i] = static_cast<char>(from[i]);
    }
    return true;
}

}  // namespace quill
