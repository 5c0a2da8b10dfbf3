#include "documents/Compress.h"

#include "documents/Blockstreams.h"

#include "StreamBytes.h"
#include "support/TestSupport.h"

#include <zlib.h>

#include <vector>

namespace {

std::string Packed(const std::string& plain)
{
    TBlockStream src, dst;
    PutBytes(src, plain);
    PackStream(&src, &dst);
    EXPECT_EQ(src.Position(), 0);
    EXPECT_EQ(dst.Position(), dst.Size());
    return StreamBytes(dst);
}

std::string Unpacked(const std::string& packed) { return Transformed(packed, UnpackStream); }

// Raw deflate of the bytes by zlib in one call, with the given level and strategy.
std::string ZlibDeflate(const std::string& plain, int level, int strategy)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    std::string out(deflateBound(&z, uLong(plain.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = uInt(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(Compress, PackedBlocksAsBytes)
{
    EXPECT_EQ(Hex(Packed("")), "03 00 00 00 00 00");
    EXPECT_EQ(Hex(Packed("hello")), "CB 48 CD C9 C9 07 00 86 A6 10 36");
    EXPECT_EQ(Unpacked(Bytes({0x03, 0x00, 0x00, 0x00, 0x00, 0x00})), "");
    // The same settings through zlib in one call give the same bytes.
    const std::string plain = DelimitedText(200000);
    const std::string packed = Packed(plain);
    EXPECT_EQ(packed.substr(0, packed.size() - 4), ZlibDeflate(plain, Z_DEFAULT_COMPRESSION, Z_DEFAULT_STRATEGY));
}

// Sizes around multiples of the 4096-byte buffers, compressible and not, so that the
// output buffer is sometimes filled exactly.
TEST(Compress, RoundTripsAcrossBufferBoundaries)
{
    for (size_t size : {1, 4096, 65535, 65536, 65537, 131072, 131073, 300000}) {
        for (const std::string& plain : {DelimitedText(size), RandomBytes(size, unsigned(size))}) {
            ASSERT_EQ(Unpacked(Packed(plain)), plain) << size;
        }
    }
    for (size_t size = 65500; size < 65560; ++size) {
        const std::string plain = RandomBytes(size, unsigned(size));
        ASSERT_EQ(Unpacked(Packed(plain)), plain) << size;
    }
}

// Compressing from the middle keeps the source's position and leaves the target at its
// end; decompressing stops on the end mark.
TEST(Compress, StreamsAreTakenAndLeftAtTheirPositions)
{
    const std::string plain = DelimitedText(20000);
    TBlockStream src, dst, unpacked;
    PutBytes(src, "skip:" + plain);
    src.SetPosition(5);
    PutBytes(dst, "<<");
    CompressStream(&src, &dst);
    EXPECT_EQ(src.Position(), 5);
    EXPECT_EQ(dst.Position(), dst.Size());
    const int64_t end = dst.Size();

    PutBytes(dst, "TRAILER");
    dst.SetPosition(2);
    PutBytes(unpacked, "prefix:");
    DecompressStream(&dst, &unpacked);
    // dst on the first byte after the deflate data, unpacked on the first plain byte.
    EXPECT_EQ(dst.Position(), end);
    EXPECT_EQ(unpacked.Position(), 7);
    EXPECT_EQ(StreamBytes(unpacked), "prefix:" + plain);

    // The same through a stream the rest of which is a second block.
    TBlockStream two, out;
    PutBytes(two, Packed("first") + Packed("second"));
    two.SetPosition(0);
    UnpackStream(&two, &out);
    EXPECT_EQ(StreamBytes(out), "first");
    EXPECT_EQ(two.Position(), int64_t(Packed("first").size()));
    out.Clear();
    UnpackStream(&two, &out);
    EXPECT_EQ(StreamBytes(out), "second");
    EXPECT_EQ(two.Position(), two.Size());

    // Unpacking into the middle of a target: the bytes behind the unpacked ones stay and
    // are not part of the check.
    TBlockStream middle;
    PutBytes(middle, std::string(100, '#'));
    middle.SetPosition(10);
    two.SetPosition(0);
    UnpackStream(&two, &middle);
    EXPECT_EQ(middle.Position(), 10);
    EXPECT_EQ(StreamBytes(middle), std::string(10, '#') + "first" + std::string(85, '#'));
}

TEST(Compress, CRCFromThePosition)
{
    TBlockStream s;
    PutBytes(s, "0123456789");
    s.SetPosition(4);
    EXPECT_EQ(StreamCRC32(&s), ZlibCRC("456789"));
    EXPECT_EQ(s.Position(), 4);
    s.Seek(0, TSeekOrigin::soEnd);
    EXPECT_EQ(StreamCRC32(&s), 0u);
    s.SetPosition(0);
    EXPECT_EQ(StreamCRC32(&s), ZlibCRC("0123456789"));
    CheckStreamCRC32(&s, ZlibCRC("0123456789"));
    EXPECT_RAISES(CheckStreamCRC32(&s, 1), Exception, "Несовпадение CRC32");
}

// Every length around the 64- and 16-byte steps of the folded CRC, from every alignment,
// whole and continued from a running CRC, gives zlib's.
TEST(Compress, CRCIsZlibsForEveryLengthAndSplit)
{
    std::string bytes(400, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 151 + i / 7);
    for (size_t start = 0; start < 16; ++start)
        for (size_t length = 0; start + length <= bytes.size(); ++length) {
            const std::string piece = bytes.substr(start, length);
            ASSERT_EQ(UpdateCRC32(0, piece.data(), piece.size()), ZlibCRC(piece)) << start << " " << length;
            const size_t half = length / 3;
            ASSERT_EQ(UpdateCRC32(UpdateCRC32(0, piece.data(), half), piece.data() + half, length - half), ZlibCRC(piece));
        }
}

TEST(Compress, DamagedBlocksAreRefused)
{
    const std::string good = Packed(DelimitedText(5000));

    std::string badCRC = good;
    badCRC.back() ^= 1;
    EXPECT_RAISES(Unpacked(badCRC), Exception, "Несовпадение CRC32");

    EXPECT_RAISES(Unpacked(good.substr(0, good.size() / 2)), Exception, "Ошибка распаковки");
    EXPECT_RAISES(Unpacked(good.substr(0, good.size() - 2)), EReadError, "Ошибка чтения потока");
    EXPECT_RAISES(Unpacked(""), Exception, "Ошибка распаковки");
    // Block type 3 does not exist.
    EXPECT_RAISES(Unpacked(Bytes({0x07, 0x00})), Exception, "Ошибка распаковки");
}

TEST(Compress, InflateStopsAtTheLimit)
{
    std::string deflated = Packed(DelimitedText(100000));
    deflated.resize(deflated.size() - 4);
    TBlockStream src, dst;
    PutBytes(src, deflated);
    src.SetPosition(0);
    EXPECT_RAISES(InflateStream(&src, &dst, 99999), Exception, "Ошибка распаковки");
    EXPECT_LE(dst.Size(), 99999);

    src.SetPosition(0);
    dst.Clear();
    const TPlainBytes plain = InflateStream(&src, &dst, 100000);
    EXPECT_EQ(plain.Count, 100000);
    EXPECT_EQ(plain.CRC, ZlibCRC(DelimitedText(100000)));
    EXPECT_EQ(dst.Position(), 100000);
}

// ---- Packing bytes appended to a kept block ----

// The plain bytes of a packed block, inflated by zlib in one call; the CRC must match and
// nothing may follow the deflate data but the CRC.
std::string ZlibUnpacked(const std::string& packed)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    std::string plain;
    char out[65536];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = uInt(packed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(out);
        z.avail_out = sizeof out;
        result = inflate(&z, Z_NO_FLUSH);
        plain.append(out, sizeof out - z.avail_out);
    }
    EXPECT_EQ(result, Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 4u);
    inflateEnd(&z);
    EXPECT_EQ(Hex(packed.substr(packed.size() - 4)), Hex(LE32(ZlibCRC(plain))));
    return plain;
}

// Keeps the packed block while unpacking it, then packs its plain bytes followed by more.
std::string PackedWithAddition(const std::string& packed, const std::string& more)
{
    TBlockStream src, plain, out;
    PutBytes(src, packed);
    src.SetPosition(0);
    TPackedBlock block;
    UnpackAndKeep(&src, &plain, block);
    EXPECT_EQ(src.Position(), src.Size());
    EXPECT_FALSE(block.Empty());
    EXPECT_EQ(block.Plain.Count, plain.Size());
    plain.Seek(0, TSeekOrigin::soEnd);
    PutBytes(plain, more);
    PutBytes(out, "head");
    PackAppended(block, &plain, &out);
    EXPECT_EQ(plain.Position(), 0);
    return StreamBytes(out).substr(4);
}

TEST(Compress, AppendedBytesFollowTheKeptDeflateData)
{
    const std::string text = DelimitedText(150000);
    const std::string noise = RandomBytes(70000, 7);
    // Streams of every kind of block: fixed and dynamic codes, stored blocks, flush points,
    // and ends at every bit of a byte.
    std::vector<std::string> blocks = {Packed(""), Packed("a"), Packed(text), Packed(noise),
                                       ZlibDeflate(text, 0, Z_DEFAULT_STRATEGY) + LE32(ZlibCRC(text)),
                                       ZlibDeflate(text, 9, Z_FIXED) + LE32(ZlibCRC(text)),
                                       ZlibDeflate(noise, 1, Z_HUFFMAN_ONLY) + LE32(ZlibCRC(noise))};
    for (size_t size = 1; size < 9; ++size)
        blocks.push_back(Packed(text.substr(0, size * 7)));

    for (const std::string& packed : blocks) {
        const std::string plain = Unpacked(packed);
        for (const std::string& more : {std::string(), std::string("x"), text.substr(0, 5000), noise}) {
            const std::string appended = PackedWithAddition(packed, more);
            ASSERT_EQ(ZlibUnpacked(appended), plain + more) << plain.size() << " + " << more.size();
            // A block made so is kept again for the next addition.
            ASSERT_EQ(ZlibUnpacked(PackedWithAddition(appended, "tail")), plain + more + "tail");
        }
    }
}

TEST(Compress, AppendedBytesCompressAgainstTheKeptOnes)
{
    // The addition repeats the end of the kept bytes: with them as the dictionary it takes
    // a few bytes per 258 repeated, far less than a fresh stream of it.
    const std::string text = DelimitedText(50000);
    const std::string repeated = text.substr(40000, 2000);
    const size_t added = PackedWithAddition(Packed(text), repeated).size() - Packed(text).size();
    EXPECT_LT(added, 50u);
    EXPECT_GT(Packed(repeated).size(), 5 * added);
}

} // namespace
