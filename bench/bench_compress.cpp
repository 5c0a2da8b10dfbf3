// Raw deflate, and inflate with the CRC-32 of the plain bytes, of a CP1251 delimited text
// between block streams, the way the table files and zip members use them. Anchor and
// limit: zlib called directly with the same parameters, the whole text in one buffer and
// one call, its output into one buffer allocated for the round (as our block streams are
// made for theirs).

#include "BenchSupport.h"

#include "documents/Blockstreams.h"
#include "documents/Compress.h"

#include "ZlibDirect.h"

#include <climits>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_compress TEXT-FILE\n");
        return 2;
    }
    const std::string text = ReadWholeFile(argv[1]);
    TBlockStream plain;
    Fill(plain, text);

    TBlockStream deflated;
    std::string zlibDeflated;
    const auto deflate = RotatedRounds(5, {[&] {
                                              deflated.Clear();
                                              plain.SetPosition(0);
                                              CompressStream(&plain, &deflated);
                                          },
                                          [&] { zlibDeflated = ZlibDeflate(text); }});

    TPlainBytes ours;
    uint32_t zlibCRC = 0;
    const auto inflate = RotatedRounds(11, {[&] {
                                               TBlockStream inflated;
                                               deflated.SetPosition(0);
                                               ours = InflateStream(&deflated, &inflated, INT64_MAX);
                                           },
                                           [&] { zlibCRC = ZlibInflate(zlibDeflated, text.size()); }});
    if (ours.Count != int64_t(text.size()) || ours.CRC != zlibCRC)
        return 1;
    Report("plain_bytes", double(text.size()));
    Report("deflated_bytes", double(deflated.Size()));
    Report("deflate_seconds", deflate[0]);
    Report("deflate_zlib_seconds", deflate[1]);
    Report("inflate_seconds", inflate[0]);
    Report("inflate_zlib_seconds", inflate[1]);
    return 0;
}
