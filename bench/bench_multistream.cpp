// Growing the first child of a 10 MB multi-stream one byte at a time: every growth moves
// the whole tail of the parent. Goal: 1,000 growths in under 2 seconds.

#include "BenchSupport.h"

#include "documents/Blockstreams.h"
#include "documents/Multistreams.h"

int main()
{
    TBlockStream parent;
    TMultiStream multi(&parent);
    multi.Append();
    multi.Append();
    multi.Child()->WriteString(std::string(10 * 1024 * 1024, 'x'));
    const double seconds = BestSeconds(1, [&] {
        multi.Select(0);
        for (int i = 0; i < 1000; ++i) {
            multi.Seek(0, TSeekOrigin::soEnd);
            multi.Write("y", 1);
        }
    });
    multi.Select(0);
    if (multi.Size() != 1000)
        return 1;
    Report("multistream_growths_seconds", seconds);
    return 0;
}
