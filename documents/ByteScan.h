#pragma once
// A scan of a byte range for the places of one or two byte values, 16 or 32 bytes at a
// time: splitting a file into lines and lines into fields calls it once per file or line
// instead of once per line or field, as memchr would be.

#include <cstddef>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#ifdef __SSE2__
// The byte in each of 16 lanes. Spread through an int: _mm_set1_epi8 goes through a byte
// stored on the stack, and its wider read back stalls on every call.
inline __m128i SpreadBy16(char byte)
{
    return _mm_set1_epi32(static_cast<int>(0x01010101u * static_cast<unsigned char>(byte)));
}
#endif

// ForEachByteOf (below) 16 bytes at a time.
template <class TFound> void ForEachByteOfBy16(const char* begin, const char* end, char a, char b, TFound&& found)
{
    const char* p = begin;
#ifdef __SSE2__
    const __m128i wantedA = SpreadBy16(a);
    const __m128i wantedB = SpreadBy16(b);
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

#if defined(__x86_64__) && defined(__GNUC__)
// The same 32 bytes at a time, on a processor with AVX2 (nearly every x86-64 one since
// 2013); the program itself is built for any x86-64, so the choice is made at run time.
// Read by start-up code that runs before it is set, it is false: the 16-byte scan, which
// finds the same places.
inline const bool ScanBy32 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

[[gnu::target("avx2")]] inline unsigned MatchesOf32(const char* at, __m256i wantedA, __m256i wantedB)
{
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    return static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, wantedA), _mm256_cmpeq_epi8(bytes, wantedB))));
}

template <class TFound>
[[gnu::target("avx2")]] void ForEachByteOfBy32(const char* begin, const char* end, char a, char b, TFound&& found)
{
    if (end - begin < 32) {
        ForEachByteOfBy16(begin, end, a, b, found);
        return;
    }
    const __m256i wantedA = _mm256_set1_epi32(static_cast<int>(0x01010101u * static_cast<unsigned char>(a)));
    const __m256i wantedB = _mm256_set1_epi32(static_cast<int>(0x01010101u * static_cast<unsigned char>(b)));
    const char* p = begin;
    for (; end - p >= 32; p += 32)
        for (unsigned mask = MatchesOf32(p, wantedA, wantedB); mask != 0; mask &= mask - 1)
            found(p + __builtin_ctz(mask));
    if (p != end) {
        const char* const last = end - 32;
        for (unsigned mask = MatchesOf32(last, wantedA, wantedB) & (0xFFFFFFFFu << (p - last)); mask != 0;
             mask &= mask - 1)
            found(last + __builtin_ctz(mask));
    }
}
#endif

// Calls found(p) for every p in [begin, end) whose byte is a or b, in order.
template <class TFound> void ForEachByteOf(const char* begin, const char* end, char a, char b, TFound&& found)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (ScanBy32) {
        ForEachByteOfBy32(begin, end, a, b, found);
        return;
    }
#endif
    ForEachByteOfBy16(begin, end, a, b, found);
}

// Whether any byte in [begin, end) is a, b or c: one pass for all three, as a record's
// every field is checked this way before it is written.
inline bool ContainsByteOf(const char* begin, const char* end, char a, char b, char c)
{
    const char* p = begin;
#ifdef __SSE2__
    if (end - begin >= 16) {
        const __m128i wantedA = SpreadBy16(a);
        const __m128i wantedB = SpreadBy16(b);
        const __m128i wantedC = SpreadBy16(c);
        const auto anyIn = [&](const char* at) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            const __m128i equal = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantedA), _mm_cmpeq_epi8(bytes, wantedB)),
                                               _mm_cmpeq_epi8(bytes, wantedC));
            return _mm_movemask_epi8(equal) != 0;
        };
        for (; end - p >= 16; p += 16)
            if (anyIn(p))
                return true;
        // The rest as the last 16 bytes of the range: those seen again hold none of them.
        return p != end && anyIn(end - 16);
    }
#endif
    for (; p != end; ++p)
        if (*p == a || *p == b || *p == c)
            return true;
    return false;
}
