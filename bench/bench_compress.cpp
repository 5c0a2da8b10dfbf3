// Raw deflate and inflate of a CP1251 delimited text between block streams, the way the
// table files and zip members use them. Anchor: Python's zlib with the same parameters.

#include "BenchSupport.h"

#include "documents/Blockstreams.h"
#include "documents/Compress.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_compress TEXT-FILE\n");
        return 2;
    }
    const std::string text = ReadWholeFile(argv[1]);
    TBlockStream plain, deflated, inflated;
    Fill(plain, text);

    const double deflate = BestSeconds(3, [&] {
        deflated.Clear();
        plain.SetPosition(0);
        CompressStream(&plain, &deflated);
    });
    const double inflate = BestSeconds(3, [&] {
        inflated.Clear();
        deflated.SetPosition(0);
        DecompressStream(&deflated, &inflated);
    });
    if (inflated.Size() != int64_t(text.size()))
        return 1;
    Report("plain_bytes", double(text.size()));
    Report("deflated_bytes", double(deflated.Size()));
    Report("deflate_seconds", deflate);
    Report("inflate_seconds", inflate);
    return 0;
}
