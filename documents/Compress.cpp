#include "documents/Compress.h"

#include "documents/Blockstreams.h"
#include "platform/Exception.h"

#include <zlib.h>

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

[[noreturn]] void RaiseInflateError() { throw Exception("Ошибка распаковки"); }

uint32_t UpdateCRC(uint32_t crc, const unsigned char* bytes, int32_t count)
{
    return uint32_t(crc32(crc, bytes, uInt(count)));
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
