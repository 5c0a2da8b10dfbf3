#include "documents/Compress.h"

#include "documents/Blockstreams.h"
#include "platform/Exception.h"

#include <zlib.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <climits>
#include <memory>

namespace {

// Both directions move the data through two buffers of this size on the stack. With
// 64 KB buffers zlib's inflate runs at its full speed; 4 KB buffers cost about 15 %.
constexpr int BufferSize = 65536;

// Inflation that fills its first 64 KB goes on in a buffer of this size on the heap: every
// inflate call copies the last 32 KB of its output into zlib's window, a sixteenth of it
// here instead of half of it with 64 KB, and the CRC is taken while the output is in the
// cache.
constexpr int InflateOutSize = 512 * 1024;

// The most that a deflate stream can refer back to, the size of a dictionary.
constexpr int64_t WindowSize = 32768;

// Raw deflate: negative window bits leave out the zlib header and trailer.
constexpr int RawWindowBits = -15;
constexpr int MemoryLevel = 8;

// A zlib stream set up for one direction and ended however the operation leaves.
class TDeflater {
public:
    TDeflater()
    {
        if (deflateInit2(&Z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, RawWindowBits, MemoryLevel,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            throw Exception("Ошибка инициализации сжатия");
    }
    ~TDeflater() { deflateEnd(&Z); }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    z_stream Z{};
};

class TInflater {
public:
    TInflater()
    {
        if (inflateInit2(&Z, RawWindowBits) != Z_OK)
            throw Exception("Ошибка инициализации распаковки");
    }
    ~TInflater() { inflateEnd(&Z); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    z_stream Z{};
};

#if defined(__x86_64__) && defined(__GNUC__)
// The processor multiplies without carries (PCLMULQDQ, in nearly every x86-64 one since
// 2010), and does so on 32 bytes at once (VPCLMULQDQ with AVX2, since about 2019); the
// program itself is built for any x86-64, so the choice is made at run time.
const bool FoldsCRC = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}();
const bool FoldsCRCBy32 = [] {
    __builtin_cpu_init();
    return FoldsCRC && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq");
}();

// The bit-reflected CRC-32 (polynomial 0x104C11DB7) is taken by folding: a 16-byte lane
// multiplied by x to the power of the distance it moves (a constant pair for each distance
// d in bits: x^(d+32) and x^(d-32) modulo the polynomial, bit-reflected) and added to the
// bytes there keeps the CRC of the whole. The lanes are folded into one, and that one is
// reduced to 32 bits by Barrett's method.
[[gnu::target("pclmul,sse4.1")]] inline __m128i Load16(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

[[gnu::target("pclmul,sse4.1")]] inline __m128i Fold(__m128i lane, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11)), next);
}

[[gnu::target("pclmul,sse4.1,avx2,vpclmulqdq")]] inline __m256i Fold(__m256i lanes, __m256i k, __m256i next)
{
    return _mm256_xor_si256(
        _mm256_xor_si256(_mm256_clmulepi64_epi128(lanes, k, 0x00), _mm256_clmulepi64_epi128(lanes, k, 0x11)), next);
}

[[gnu::target("pclmul,sse4.1,avx2,vpclmulqdq")]] inline __m256i Load32(const unsigned char* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// Distances of 16 and 64 bytes.
[[gnu::target("pclmul,sse4.1")]] inline __m128i By16() { return _mm_set_epi64x(0x00ccaa009e, 0x01751997d0); }
[[gnu::target("pclmul,sse4.1")]] inline __m128i By64() { return _mm_set_epi64x(0x01c6e41596, 0x0154442bd4); }

// The first 64 bytes or more (count at least 64) folded into one lane, 64 at a time in
// four lanes; leaves bytes and count on what is left, less than 64.
[[gnu::target("pclmul,sse4.1")]] __m128i FoldBy64(uint32_t crc, const unsigned char*& bytes, size_t& count)
{
    __m128i x1 = _mm_xor_si128(Load16(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load16(bytes + 16);
    __m128i x3 = Load16(bytes + 32);
    __m128i x4 = Load16(bytes + 48);
    for (bytes += 64, count -= 64; count >= 64; bytes += 64, count -= 64) {
        x1 = Fold(x1, By64(), Load16(bytes));
        x2 = Fold(x2, By64(), Load16(bytes + 16));
        x3 = Fold(x3, By64(), Load16(bytes + 32));
        x4 = Fold(x4, By64(), Load16(bytes + 48));
    }
    return Fold(Fold(Fold(x1, By16(), x2), By16(), x3), By16(), x4);
}

// The same 128 bytes at a time in four 32-byte lanes (count at least 128).
[[gnu::target("pclmul,sse4.1,avx2,vpclmulqdq")]] __m128i FoldBy128(uint32_t crc, const unsigned char*& bytes, size_t& count)
{
    __m256i y1 = _mm256_xor_si256(Load32(bytes), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
    __m256i y2 = Load32(bytes + 32);
    __m256i y3 = Load32(bytes + 64);
    __m256i y4 = Load32(bytes + 96);
    const __m256i by128 = _mm256_set_epi64x(0x014a7fe880, 0x01e88ef372, 0x014a7fe880, 0x01e88ef372);
    for (bytes += 128, count -= 128; count >= 128; bytes += 128, count -= 128) {
        y1 = Fold(y1, by128, Load32(bytes));
        y2 = Fold(y2, by128, Load32(bytes + 32));
        y3 = Fold(y3, by128, Load32(bytes + 64));
        y4 = Fold(y4, by128, Load32(bytes + 96));
    }
    const __m256i by32 = _mm256_set_epi64x(0x015a546366, 0x00f1da05aa, 0x015a546366, 0x00f1da05aa);
    y1 = Fold(Fold(Fold(y1, by32, y2), by32, y3), by32, y4);
    return Fold(_mm256_castsi256_si128(y1), By16(), _mm256_extracti128_si256(y1, 1));
}

// The CRC of a multiple of 16 bytes, at least 64; crc is the running CRC without zlib's
// final inversion.
[[gnu::target("pclmul,sse4.1")]] uint32_t FoldedCRC(uint32_t crc, const unsigned char* bytes, size_t count)
{
    __m128i x1 = FoldsCRCBy32 && count >= 256 ? FoldBy128(crc, bytes, count) : FoldBy64(crc, bytes, count);
    for (; count >= 16; bytes += 16, count -= 16)
        x1 = Fold(x1, By16(), Load16(bytes));
    // 128 bits to 64, then to 32 bits by Barrett reduction.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, By16(), 0x10));
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), _mm_srli_si128(x1, 4));
    const __m128i polynomial = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    __m128i reduced = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), polynomial, 0x10);
    reduced = _mm_clmulepi64_si128(_mm_and_si128(reduced, low32), polynomial, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, reduced), 1));
}
#endif

[[noreturn]] void RaiseInflateError() { throw Exception("Ошибка распаковки"); }

uint32_t UpdateCRC(uint32_t crc, const unsigned char* bytes, int32_t count)
{
    return UpdateCRC32(crc, bytes, static_cast<size_t>(count));
}

// Deflates the input now in the stream record with the given flush mode, writing every
// filled output buffer to dst. Returns zlib's last result.
int DeflateAvailable(z_stream& z, int flush, TStream* dst)
{
    unsigned char out[BufferSize];
    int result;
    do {
        z.next_out = out;
        z.avail_out = BufferSize;
        result = deflate(&z, flush);
        // Z_BUF_ERROR only says that this call could make no progress (the previous one
        // filled the output exactly); it is not a failure.
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            throw Exception("Ошибка сжатия");
        dst->WriteBuffer(out, int32_t(BufferSize - z.avail_out));
    } while (z.avail_out == 0);
    return result;
}

// Where a deflate stream's blocks begin and end, noted while it is inflated block by block.
struct TBlockMarks {
    int64_t FinalHeaderBit = 0;   // the first block's header is at bit 0
    int64_t EndBit = -1;
};

// Notes a block border that inflate with Z_BLOCK has just stopped at: total_in bytes were
// taken, of which the last data_type & 7 bits are still unused.
void NoteBlockBorder(const z_stream& z, TBlockMarks& marks)
{
    if (!(z.data_type & 128))
        return;
    const int64_t bit = int64_t(z.total_in) * 8 - (z.data_type & 7);
    if (z.data_type & 64)
        marks.EndBit = bit;           // the final block has ended
    else
        marks.FinalHeaderBit = bit;   // a block has ended; the next one may be the final
}

// Inflation behind DecompressStream, InflateStream and the unpacking that keeps the block;
// the CRC only when it is wanted (it costs about a tenth of the inflation itself). With
// `kept` the deflate bytes read are collected there and the block borders noted in marks.
TPlainBytes Inflate(TStream* src, TStream* dst, int64_t limit, bool withCRC, std::string* kept = nullptr,
                    TBlockMarks* marks = nullptr)
{
    TInflater inflater;
    z_stream& z = inflater.Z;
    TPlainBytes plain;
    unsigned char in[BufferSize];
    // Small outputs stay on the stack; one that fills it moves to the larger buffer.
    unsigned char firstOut[BufferSize];
    std::unique_ptr<unsigned char[]> largeOut;
    unsigned char* out = firstOut;
    uInt outSize = BufferSize;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (z.avail_in == 0) {
            z.next_in = in;
            z.avail_in = uInt(std::max(src->Read(in, BufferSize), 0));
            if (kept)
                kept->append(reinterpret_cast<const char*>(in), z.avail_in);
        }
        z.next_out = out;
        z.avail_out = outSize;
        result = inflate(&z, marks ? Z_BLOCK : Z_NO_FLUSH);
        // Input is refilled before every call, so a call without progress (Z_BUF_ERROR)
        // means that the input ended before the deflate end mark.
        if (result != Z_OK && result != Z_STREAM_END)
            RaiseInflateError();
        if (marks)
            NoteBlockBorder(z, *marks);
        const int32_t produced = int32_t(outSize - z.avail_out);
        if (produced > limit - plain.Count)
            RaiseInflateError();
        plain.Count += produced;
        if (withCRC)
            plain.CRC = UpdateCRC(plain.CRC, out, produced);
        dst->WriteBuffer(out, produced);
        if (z.avail_out == 0 && !largeOut) {
            largeOut.reset(new unsigned char[InflateOutSize]);
            out = largeOut.get();
            outSize = InflateOutSize;
        }
    }
    // Give back the input read past the end mark.
    src->Seek(-int64_t(z.avail_in), TSeekOrigin::soCurrent);
    return plain;
}

// Deflates src from its position to its end into dst with a deflater already set up.
TPlainBytes Deflate(TDeflater& deflater, TStream* src, TStream* dst)
{
    z_stream& z = deflater.Z;
    const int64_t start = src->Position();
    int64_t left = std::max<int64_t>(src->Size() - start, 0);
    TPlainBytes plain;
    unsigned char in[BufferSize];
    for (;;) {
        const int32_t wanted = int32_t(std::min<int64_t>(left, BufferSize));
        const int32_t got = wanted > 0 ? src->Read(in, wanted) : 0;
        left -= got;
        plain.Count += got;
        plain.CRC = UpdateCRC(plain.CRC, in, got);
        // A short read means the source ended before its size said: finish there too.
        const bool last = left == 0 || got < wanted;
        z.next_in = in;
        z.avail_in = uInt(got);
        const int result = DeflateAvailable(z, last ? Z_FINISH : Z_NO_FLUSH, dst);
        if (last) {
            if (result != Z_STREAM_END)
                throw Exception("Ошибка сжатия");
            break;
        }
    }
    src->Seek(start, TSeekOrigin::soBeginning);
    return plain;
}

} // namespace

TPlainBytes DeflateStream(TStream* src, TStream* dst)
{
    TDeflater deflater;
    return Deflate(deflater, src, dst);
}

void CompressStream(TStream* src, TStream* dst) { DeflateStream(src, dst); }

TPlainBytes InflateStream(TStream* src, TStream* dst, int64_t limit)
{
    return Inflate(src, dst, limit, true);
}

void DecompressStream(TStream* src, TStream* dst)
{
    const int64_t start = dst->Position();
    Inflate(src, dst, INT64_MAX, false);
    dst->Seek(start, TSeekOrigin::soBeginning);
}

uint32_t UpdateCRC32(uint32_t crc, const void* bytes, size_t count)
{
    const auto* at = static_cast<const unsigned char*>(bytes);
#if defined(__x86_64__) && defined(__GNUC__)
    if (FoldsCRC && count >= 64) {
        const size_t folded = count & ~size_t(15);
        crc = ~FoldedCRC(~crc, at, folded);
        at += folded;
        count -= folded;
    }
#endif
    return static_cast<uint32_t>(crc32_z(crc, at, count));
}

uint32_t StreamCRC32(TStream* s)
{
    const int64_t start = s->Position();
    unsigned char buffer[BufferSize];
    uint32_t crc = 0;
    for (int32_t got; (got = s->Read(buffer, BufferSize)) > 0;)
        crc = UpdateCRC(crc, buffer, got);
    s->Seek(start, TSeekOrigin::soBeginning);
    return crc;
}

void CheckCRC32(uint32_t actual, uint32_t expected)
{
    if (actual != expected)
        throw Exception("Несовпадение CRC32");
}

void CheckStreamCRC32(TStream* s, uint32_t crc) { CheckCRC32(StreamCRC32(s), crc); }

void PackStream(TStream* src, TStream* dst)
{
    src->Seek(0, TSeekOrigin::soBeginning);
    const TPlainBytes plain = DeflateStream(src, dst);
    WriteLE32(dst, plain.CRC);
}

void UnpackStream(TStream* src, TStream* dst)
{
    const int64_t start = dst->Position();
    const TPlainBytes plain = InflateStream(src, dst, INT64_MAX);
    const uint32_t stored = ReadLE32(src);
    CheckCRC32(plain.CRC, stored);
    dst->Seek(start, TSeekOrigin::soBeginning);
}

void UnpackAndKeep(TStream* src, TStream* dst, TPackedBlock& block)
{
    block = TPackedBlock();
    const int64_t start = dst->Position();
    std::string deflated;
    TBlockMarks marks;
    const TPlainBytes plain = Inflate(src, dst, INT64_MAX, true, &deflated, &marks);
    CheckCRC32(plain.CRC, ReadLE32(src));
    dst->Seek(start, TSeekOrigin::soBeginning);

    // Bit b of the stream is bit b % 8 of byte b / 8; a block header begins with the bit
    // that marks the final block. Borders not as inflate reports them keep nothing: a
    // save then packs anew.
    if (marks.EndBit <= marks.FinalHeaderBit)
        return;
    deflated.resize(size_t((marks.EndBit + 7) / 8));   // without the input read ahead
    char& header = deflated[size_t(marks.FinalHeaderBit / 8)];
    const int finalFlag = 1 << (marks.FinalHeaderBit % 8);
    if (!(header & finalFlag))
        return;
    header = char(header & ~finalFlag);
    block.TailBitCount = int(marks.EndBit % 8);
    if (block.TailBitCount > 0) {
        block.TailBits = uint8_t(deflated.back() & ((1 << block.TailBitCount) - 1));
        deflated.pop_back();
    }
    block.Deflated = std::move(deflated);
    block.Plain = plain;
}

void PackAppended(const TPackedBlock& block, TStream* src, TStream* dst)
{
    TDeflater deflater;
    z_stream& z = deflater.Z;
    const int64_t start = block.Plain.Count;
    const int64_t window = std::min(start, WindowSize);
    if (window > 0) {
        unsigned char dictionary[WindowSize];
        src->Seek(start - window, TSeekOrigin::soBeginning);
        src->ReadBuffer(dictionary, int32_t(window));
        if (deflateSetDictionary(&z, dictionary, uInt(window)) != Z_OK)
            throw Exception("Ошибка сжатия");
    }
    src->Seek(start, TSeekOrigin::soBeginning);
    // The new blocks begin with the bits of the kept partial byte.
    if (block.TailBitCount > 0 && deflatePrime(&z, block.TailBitCount, block.TailBits) != Z_OK)
        throw Exception("Ошибка сжатия");
    dst->WriteString(block.Deflated);
    const TPlainBytes added = Deflate(deflater, src, dst);
    WriteLE32(dst, uint32_t(crc32_combine(block.Plain.CRC, added.CRC, z_off_t(added.Count))));
    src->Seek(0, TSeekOrigin::soBeginning);
}
