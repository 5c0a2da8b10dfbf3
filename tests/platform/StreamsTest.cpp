#include "platform/Classes.h"
#include "platform/Paths.h"

#include "support/TestSupport.h"

#include <clocale>
#include <filesystem>

#include <fcntl.h>

namespace {

// A memory stream that takes at most `capacity` bytes in all, like a full disk.
class TFullStream : public TMemoryStream {
public:
    explicit TFullStream(int64_t capacity) : FCapacity(capacity) {}
    int32_t Write(const void* buffer, int32_t count) override
    {
        const auto allowed = static_cast<int32_t>(std::min<int64_t>(count, FCapacity - Size()));
        return TMemoryStream::Write(buffer, std::max(allowed, 0));
    }

private:
    int64_t FCapacity;
};

AnsiString OpenErrorText(const AnsiString& name, int error)
{
    return "Не удается открыть файл \"" + name + "\". " + SysErrorMessage(error);
}

// The descriptor flags of the open file whose path is `systemPath`, -1 when none is open.
int DescriptorFlagsOf(const std::string& systemPath)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored) == systemPath)
            return fcntl(std::stoi(entry.path().filename().string()), F_GETFD);
    }
    return -1;
}

}  // namespace

TEST(MemoryStreamTest, GrowsAndZeroFillsGaps)
{
    TMemoryStream stream;
    stream.WriteString("abc");
    EXPECT_EQ(stream.Position(), 3);
    EXPECT_EQ(stream.Seek(2, TSeekOrigin::soEnd), 5);   // beyond the end is allowed
    EXPECT_EQ(stream.Size(), 3);
    stream.WriteString("Z");
    EXPECT_EQ(stream.Bytes(), std::string("abc\0\0Z", 6));

    stream.SetSize(8);
    EXPECT_EQ(stream.Bytes(), std::string("abc\0\0Z\0\0", 8));
    EXPECT_EQ(stream.Position(), 6);
    stream.SetSize(2);
    EXPECT_EQ(stream.Bytes(), "ab");
    EXPECT_EQ(stream.Position(), 2);

    // A position before the start is refused and the position stays.
    EXPECT_EQ(stream.Seek(-3, TSeekOrigin::soCurrent), -1);
    EXPECT_EQ(stream.Position(), 2);

    stream.SetPosition(0);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, -1), 0);
    EXPECT_EQ(stream.Write(buffer, -5), 0);
    EXPECT_EQ(stream.Read(buffer, 8), 2);
    EXPECT_EQ(stream.Read(buffer, 8), 0);
    stream.Clear();
    EXPECT_EQ(stream.Size() + stream.Position(), 0);
}

TEST(MemoryStreamTest, ShortCountsRaise)
{
    TMemoryStream stream;
    stream.WriteString("abc");
    stream.SetPosition(1);
    char buffer[4] = {};
    EXPECT_RAISES(stream.ReadBuffer(buffer, 3), EReadError, "Ошибка чтения потока");
    stream.SetPosition(0);
    stream.ReadBuffer(buffer, 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");

    TFullStream full(4);
    full.WriteBuffer("ab", 2);
    EXPECT_RAISES(full.WriteBuffer("cde", 3), EWriteError, "Ошибка записи в поток");
}

TEST(MemoryStreamTest, CopyFromZeroTakesTheWholeSourceFromItsStart)
{
    const std::string data = RandomBytes(200000, 1);   // several 64 KiB pieces
    TMemoryStream source;
    source.WriteString(data);
    source.SetPosition(12345);

    TMemoryStream target;
    target.WriteString("head");
    EXPECT_EQ(target.CopyFrom(source, 0), 200000);
    EXPECT_EQ(target.Bytes(), "head" + data);
    EXPECT_EQ(source.Position(), 200000);

    // A count copies from the source's position.
    source.SetPosition(10);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(source, 5), 5);
    EXPECT_EQ(part.Bytes(), data.substr(10, 5));

    // More than the source holds.
    source.SetPosition(199990);
    TMemoryStream tooMuch;
    EXPECT_RAISES(tooMuch.CopyFrom(source, 11), EReadError, "Ошибка чтения потока");

    // A target that fills up.
    TFullStream full(70000);
    EXPECT_RAISES(full.CopyFrom(source, 0), EWriteError, "Ошибка записи в поток");
}

TEST(MemoryStreamTest, SaveToStreamAppendsTheWholeStreamWhateverItsPosition)
{
    TMemoryStream stream, target;
    stream.WriteString("0123456789");
    stream.SetPosition(5);
    target.WriteString("xy");
    stream.SaveToStream(target);
    EXPECT_EQ(target.Bytes(), "xy0123456789");
}

TEST(FileStreamTest, ModesAndSizes)
{
    TTempDir dir;
    const AnsiString name = dir.File("Поток.dat");
    {
        TFileStream created(name, fmCreate);
        created.WriteString("0123456789");
        created.SetPosition(4);
        EXPECT_EQ(created.Size(), 10);   // the size look-up keeps the position
        EXPECT_EQ(created.Position(), 4);
        created.FlushToDisk();
    }
    {
        TFileStream writer(name, fmOpenWrite | fmShareDenyWrite);   // no truncation
        EXPECT_EQ(writer.Size(), 10);
        writer.SetPosition(8);
        writer.WriteString("AB");
        char buffer[4];
        EXPECT_THROW(writer.Read(buffer, 4), EOSError);   // opened for writing only
    }
    EXPECT_EQ(ReadBytes(name), "01234567AB");
    {
        TFileStream both(name, fmOpenReadWrite);
        both.SetPosition(9);
        both.SetSize(3);
        EXPECT_EQ(both.Size(), 3);
        EXPECT_EQ(both.Position(), 3);
        EXPECT_EQ(both.Seek(-1, TSeekOrigin::soBeginning), -1);
        EXPECT_EQ(both.Position(), 3);
    }
    {
        TFileStream reader(name, fmOpenRead | fmShareDenyNone);
        EXPECT_THROW(reader.WriteString("x"), EOSError);   // opened for reading only
    }
    TFileStream truncated(name, fmCreate);
    EXPECT_EQ(truncated.Size(), 0);
}

TEST(FileStreamTest, OpenFailuresNameTheFileAndTheReasonInRussianWhateverTheLocale)
{
    TTempDir dir;
    const TEnvironmentVariable language("LANGUAGE", "en");
    std::setlocale(LC_MESSAGES, "C.UTF-8");
    EXPECT_RAISES(TFileStream(dir.File("нет.txt"), fmOpenRead), EFOpenError,
                  "Не удается открыть файл \"" + dir.File("нет.txt") + "\". Нет такого файла или папки");
    EXPECT_ANSI_EQ(SysErrorMessage(9999), "Системная ошибка 9999");
    EXPECT_RAISES(TFileStream(dir.Path(), fmOpenRead), EFOpenError, OpenErrorText(dir.Path(), EISDIR));
}

TEST(FileStreamTest, DescriptorIsClosedOnExec)
{
    TTempDir dir;
    TFileStream stream(dir.File("f"), fmCreate);
    const int flags = DescriptorFlagsOf(ToSystemPath(dir.File("f")));
    ASSERT_GE(flags, 0);
    EXPECT_TRUE(flags & FD_CLOEXEC);
}
