#include "documents/Compress.h"

#include "documents/Blockstreams.h"
#include "platform/Exception.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

// Both directions move the data through two buffers of this size on the stack. With
// 64 KB buffers zlib's inflate runs at its full speed; 4 KB buffers cost about 15 %.
constexpr int BufferSize = 65536;

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

// Inflation behind DecompressStream and InflateStream; the CRC only when it is wanted
// (it costs about a tenth of the inflation itself).
TPlainBytes Inflate(TStream* src, TStream* dst, int64_t limit, bool withCRC)
{
    TInflater inflater;
    z_stream& z = inflater.Z;
    TPlainBytes plain;
    unsigned char in[BufferSize];
    unsigned char out[BufferSize];
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (z.avail_in == 0) {
            z.next_in = in;
            z.avail_in = uInt(std::max(src->Read(in, BufferSize), 0));
        }
        z.next_out = out;
        z.avail_out = BufferSize;
        result = inflate(&z, Z_NO_FLUSH);
        // Input is refilled before every call, so a call without progress (Z_BUF_ERROR)
        // means that the input ended before the deflate end mark.
        if (result != Z_OK && result != Z_STREAM_END)
            RaiseInflateError();
        const int32_t produced = int32_t(BufferSize - z.avail_out);
        if (produced > limit - plain.Count)
            RaiseInflateError();
        plain.Count += produced;
        if (withCRC)
            plain.CRC = UpdateCRC(plain.CRC, out, produced);
        dst->WriteBuffer(out, produced);
    }
    // Give back the input read past the end mark.
    src->Seek(-int64_t(z.avail_in), TSeekOrigin::soCurrent);
    return plain;
}


} // namespace

TPlainBytes DeflateStream(TStream* src, TStream* dst)
{
    TDeflater deflater;
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
