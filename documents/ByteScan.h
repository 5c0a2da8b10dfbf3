#pragma once
// A scan of a byte range for the places of one or two byte values, 16 bytes at a time:
// splitting a file into lines and lines into fields calls it once per file or line
// instead of once per line or field, as memchr would be.

#include <cstddef>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Calls found(p) for every p in [begin, end) whose byte is a or b, in order.
template <class TFound> void ForEachByteOf(const char* begin, const char* end, char a, char b, TFound&& found)
{
    const char* p = begin;
#ifdef __SSE2__
    // Spread through an int: _mm_set1_epi8 goes through a byte stored on the stack, and
    // its wider read back stalls on every call.
    const __m128i wantedA = _mm_set1_epi32(static_cast<int>(0x01010101u * static_cast<unsigned char>(a)));
    const __m128i wantedB = _mm_set1_epi32(static_cast<int>(0x01010101u * static_cast<unsigned char>(b)));
    const auto matches = [&](const char* at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantedA), _mm_cmpeq_epi8(bytes, wantedB))));
    };
    for (; end - p >= 16; p += 16)
        for (unsigned mask = matches(p); mask != 0; mask &= mask - 1)
            found(p + __builtin_ctz(mask));
    // The rest as the last 16 bytes of the range, less those already seen.
    if (p != end && end - begin >= 16) {
        const char* const last = end - 16;
        for (unsigned mask = matches(last) & (0xFFFFu << (p - last)); mask != 0; mask &= mask - 1)
            found(last + __builtin_ctz(mask));
        return;
    }
#endif
    for (; p < end; ++p)
        if (*p == a || *p == b)
            found(p);
}

// Whether any byte in [begin, end) is a, b or c.
inline bool ContainsByteOf(const char* begin, const char* end, char a, char b, char c)
{
    bool found = false;
    ForEachByteOf(begin, end, a, b, [&](const char*) { found = true; });
    return found || (a != c && b != c && std::memchr(begin, c, static_cast<size_t>(end - begin)) != nullptr);
}
