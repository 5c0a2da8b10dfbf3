#include "documents/Blockstreams.h"

#include "StreamBytes.h"
#include "support/TestSupport.h"

#include <climits>
#include <random>

namespace {

TEST(BlockStream, SeekRules)
{
    TBlockStream s;
    s.SetSize(100);
    EXPECT_EQ(s.Seek(-10, TSeekOrigin::soBeginning), 0);
    EXPECT_EQ(s.Seek(40, TSeekOrigin::soCurrent), 40);
    EXPECT_EQ(s.Seek(-50, TSeekOrigin::soCurrent), 0);
    // Beyond the end: a read gives nothing, a write grows the stream to its end.
    EXPECT_EQ(s.Seek(5, TSeekOrigin::soEnd), 105);
    char byte = 'x';
    EXPECT_EQ(s.Read(&byte, 1), 0);
    EXPECT_EQ(s.Write(&byte, 1), 1);
    EXPECT_EQ(s.Size(), 106);
    EXPECT_EQ(StreamBytes(s), std::string(105, '\0') + "x");
    // A huge offset stops at the largest position instead of wrapping to a small one.
    EXPECT_EQ(s.Seek(INT64_MAX, TSeekOrigin::soEnd), INT64_MAX);
}

TEST(BlockStream, BlocksAreHeldOnlyForBytesKeptAndNoSizeWraps)
{
    TBlockStream sized;   // sized but never written: zeros without memory
    sized.SetSize(1 << 20);
    std::string read(1 << 20, 'x');
    EXPECT_EQ(sized.Read(read.data(), int32_t(read.size())), 1 << 20);
    EXPECT_EQ(read, std::string(1 << 20, '\0'));
    EXPECT_EQ(sized.AllocatedBlocks(), 0);

    TBlockStream standard(-5);   // below one: 4096
    PutBytes(standard, RandomBytes(4097, 1));
    EXPECT_EQ(standard.AllocatedBlocks(), 2);
    TBlockStream s(16);
    PutBytes(s, std::string(100, 'a'));
    EXPECT_EQ(s.AllocatedBlocks(), 7);
    s.Seek(50, TSeekOrigin::soBeginning);
    s.SetSize(10);
    EXPECT_EQ(s.Position(), 50);   // the position is kept
    char byte;
    EXPECT_EQ(s.Read(&byte, 1), 0);
    EXPECT_EQ(s.AllocatedBlocks(), 1);

    s.Clear();
    EXPECT_EQ(s.Size() + s.Position() + s.AllocatedBlocks(), 0);

    // Written one byte at a time (the slot list then keeps spare slots) and cut again.
    for (int i = 0; i < 1000; ++i)
        PutBytes(s, "b");
    EXPECT_EQ(s.AllocatedBlocks(), 63);
    s.SetSize(20);
    EXPECT_EQ(s.AllocatedBlocks(), 2);
    s.SetSize(40);
    EXPECT_EQ(StreamBytes(s), std::string(20, 'b') + std::string(20, '\0'));

    TBlockStream held;
    PutBytes(held, "abc");
    // A negative count writes and reads nothing.
    EXPECT_EQ(held.Write("x", -1), 0);
    char none;
    held.SetPosition(0);
    EXPECT_EQ(held.Read(&none, -1), 0);
    EXPECT_EQ(StreamBytes(held), "abc");

    EXPECT_RAISES(held.SetSize(-1), EWriteError, "Ошибка записи в поток");
    // Far beyond what the block slots can count: refused, not wrapped.
    held.Seek(INT64_MAX - 1, TSeekOrigin::soBeginning);
    EXPECT_RAISES(held.Write("x", 1), EWriteError, "Ошибка записи в поток");
    EXPECT_RAISES(held.SetSize(INT64_MAX), EWriteError, "Ошибка записи в поток");
    EXPECT_EQ(StreamBytes(held), "abc");
}

// Random writes, seeks and resizes against a plain string as the model: regrown bytes
// and gaps left by writes past the end must read as zero.
TEST(BlockStream, BehavesLikeAFlatBuffer)
{
    TBlockStream s(16);
    std::string model;
    int64_t position = 0;
    std::mt19937 random(7);
    for (int step = 0; step < 3000; ++step) {
        switch (random() % 4) {
        case 0: {
            const std::string data = RandomBytes(random() % 70, unsigned(step));
            s.Write(data.data(), int32_t(data.size()));
            if (position + int64_t(data.size()) > int64_t(model.size()))
                model.resize(size_t(position) + data.size(), '\0');
            model.replace(size_t(position), data.size(), data);
            position += int64_t(data.size());
            break;
        }
        case 1: {
            std::string read(random() % 70, '\0');
            const int32_t got = s.Read(read.data(), int32_t(read.size()));
            const std::string expected =
                position < int64_t(model.size()) ? model.substr(size_t(position), read.size()) : "";
            ASSERT_EQ(std::string(read.data(), size_t(got)), expected);
            position += got;
            break;
        }
        case 2:
            position = s.Seek(int64_t(random() % 300) - 100, TSeekOrigin::soCurrent);
            break;
        case 3: {
            const size_t size = random() % 400;
            s.SetSize(int64_t(size));
            model.resize(size, '\0');
            break;
        }
        }
        ASSERT_EQ(s.Position(), position);
    }
    EXPECT_EQ(StreamBytes(s), model);
}

} // namespace
