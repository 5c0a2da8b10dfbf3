// Growing the first child of a 10 MB multi-stream one byte at a time: every growth moves
// the whole tail of the parent. Goal: 1,000 growths in under 2 seconds. Limit: the same
// 1,000 moves of the 10 MB tail by one byte with memmove in one buffer.

#include "BenchSupport.h"

#include <cstring>

#include "documents/Blockstreams.h"
#include "documents/Multistreams.h"

int main()
{
    TBlockStream parent;
    TMultiStream multi(&parent);
    multi.Append();
    multi.Append();
    multi.Child()->WriteString(std::string(10 * 1024 * 1024, 'x'));
    std::string buffer(10 * 1024 * 1024 + 1000, 'x');
    const auto seconds = RotatedRounds(5, {[&] {
                                               multi.Select(0);
                                               multi.SetSize(0);
                                               for (int i = 0; i < 1000; ++i) {
                                                   multi.Seek(0, TSeekOrigin::soEnd);
                                                   multi.Write("y", 1);
                                               }
                                           },
                                           [&] {
                                               for (size_t i = 0; i < 1000; ++i)
                                                   std::memmove(&buffer[i + 1], &buffer[i], 10 * 1024 * 1024);
                                           }});
    multi.Select(0);
    if (multi.Size() != 1000)
        return 1;
    Report("multistream_growths_seconds", seconds[0]);
    Report("multistream_growths_memmove_seconds", seconds[1]);
    return 0;
}
