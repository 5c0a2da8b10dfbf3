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

// Each of the three bytes is found wherever it stands, in ranges shorter than, as long as
// and longer than one 16-byte block; a range without them, and bytes that differ from
// them only in the high bit, are not taken for them.
TEST(ByteScanTest, ContainsByteOfFindsEachByteAnywhere)
{
    for (size_t length = 0; length <= 40; ++length) {
        const std::string plain(length, static_cast<char>(';' | 0x80));
        EXPECT_FALSE(ContainsByteOf(plain.data(), plain.data() + length, '\r', '\n', ';')) << length;
        for (size_t at = 0; at < length; ++at)
            for (const char wanted : {'\r', '\n', ';'}) {
                std::string text = plain;
                text[at] = wanted;
                EXPECT_TRUE(ContainsByteOf(text.data(), text.data() + length, '\r', '\n', ';')) << length << " " << at;
                // Bytes outside the range do not count.
                EXPECT_FALSE(ContainsByteOf(text.data(), text.data() + at, '\r', '\n', ';')) << length << " " << at;
            }
    }
}
