#include "documents/ByteScan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<size_t> PlacesFound(const std::string& text, bool by32)
{
    std::vector<size_t> places;
    const auto found = [&](const char* p) { places.push_back(static_cast<size_t>(p - text.data())); };
    const char* const end = text.data() + text.size();
#if defined(__x86_64__) && defined(__GNUC__)
    if (by32 && ScanBy32) {
        ForEachByteOfBy32(text.data(), end, '\r', '\n', found);
        return places;
    }
#endif
    (void)by32;
    ForEachByteOfBy16(text.data(), end, '\r', '\n', found);
    return places;
}

}  // namespace

// Both widths of the scan find what a byte-by-byte look finds, in ranges of every length
// up to three 32-byte blocks: in the blocks, in the rest and where the last block
// overlaps the ones before it.
TEST(ByteScanTest, BothWidthsFindEveryPlaceOnce)
{
    unsigned seed = 7;
    for (size_t length = 0; length <= 100; ++length) {
        std::string text(length, 'x');
        std::vector<size_t> expected;
        for (size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            if ((seed >> 16) % 4 == 0) {
                text[i] = (seed >> 20) % 2 ? '\r' : '\n';
                expected.push_back(i);
            }
        }
        EXPECT_EQ(PlacesFound(text, false), expected) << length;
        EXPECT_EQ(PlacesFound(text, true), expected) << length;
    }
}
