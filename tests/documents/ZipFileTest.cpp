#include "documents/Zipfiles.h"

#include "documents/Compress.h"

#include "StreamBytes.h"
#include "support/TestSupport.h"

namespace {

std::string RawDeflate(const std::string& plain) { return Transformed(plain, CompressStream); }

// A hand-built local header with its name, extra field and data.
struct TLocalEntry {
    AnsiString Name = "DATA.TXT";
    std::string Plain = "payload";
    uint16_t Method = 0;
    uint16_t Flags = 0;
    std::string Extra;
    std::string Data;              // the stored or deflated bytes; from Plain when empty
    int64_t Size = -1;             // uncompressed size field; Plain's size when -1
    int64_t CompressedSize = -1;   // Data's size when -1
    int64_t CRC = -1;              // of Plain when -1

    std::string Bytes() const
    {
        const std::string data =
            !Data.empty() ? Data : (Method == 8 ? RawDeflate(Plain) : Plain);
        return LE32(0x04034B50) + LE16(20) + LE16(Flags) + LE16(Method) + LE32(0) +
               LE32(CRC >= 0 ? uint32_t(CRC) : ZlibCRC(Plain)) +
               LE32(CompressedSize >= 0 ? uint32_t(CompressedSize) : uint32_t(data.size())) +
               LE32(Size >= 0 ? uint32_t(Size) : uint32_t(Plain.size())) +
               LE16(unsigned(Name.size())) + LE16(unsigned(Extra.size())) + Name + Extra + data;
    }
};

// The central directory start and end record that close every hand-built archive (the
// reader stops at the first central header and never looks further).
const std::string CentralStart = LE32(0x02014B50) + "anything at all";
const std::string EndRecord = LE32(0x06054B50) + std::string(18, '\0');

std::string Saved(TZipFile& zip)
{
    TBlockStream dst;
    zip.SaveToStream(&dst);
    EXPECT_EQ(dst.Position(), dst.Size());
    return StreamBytes(dst);
}

TEST(ZipFile, EmptyArchiveAndEmptyMemberAsBytes)
{
    TZipFile zip;
    const std::string saved = Saved(zip);
    EXPECT_EQ(saved, EndRecord);
    AddMember(zip, "old", "x");
    LoadZip(zip, saved);
    EXPECT_EQ(zip.Count(), 0);
    LoadZip(zip, "");
    EXPECT_EQ(zip.Count(), 0);

    // One empty member, byte for byte.
    AddMember(zip, "DATAFILE.000", "");
    std::string one = Saved(zip);
    const std::string name = "DATAFILE.000";
    const std::string local = LE32(0x04034B50) + LE16(20) + LE16(0) + LE16(8) + LE32(0) +
                              LE32(0) + LE32(2) + LE32(0) + LE16(12) + LE16(0) + name +
                              Bytes({0x03, 0x00});
    const std::string central = LE32(0x02014B50) + LE16(20) + LE16(20) + LE16(0) + LE16(8) +
                                LE32(0) + LE32(0) + LE32(2) + LE32(0) + LE16(12) + LE16(0) +
                                LE16(0) + LE16(0) + LE16(0) + LE32(0x20) + LE32(0) + name;
    const std::string end = LE32(0x06054B50) + LE16(0) + LE16(0) + LE16(1) + LE16(1) +
                            LE32(uint32_t(central.size())) + LE32(uint32_t(local.size())) +
                            LE16(0);
    ASSERT_EQ(one.size(), local.size() + central.size() + end.size());
    // The local header and the central entry carry the same moment, blanked here.
    EXPECT_EQ(one.substr(10, 4), one.substr(local.size() + 12, 4));
    one.replace(local.size() + 12, 4, std::string(4, '\0'));
    EXPECT_EQ(Hex(std::string(one).replace(10, 4, std::string(4, '\0'))), Hex(local + central + end));

    LoadZip(zip, one);
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.At(0)->Name(), "DATAFILE.000");
    EXPECT_EQ(zip.At(0)->Size(), 0);
}

TEST(ZipFile, SaveAndLoadKeepNamesOrderAndBytes)
{
    TZipFile zip;
    AddMember(zip, "DATAFILE.000", DelimitedText(300000));
    AddMember(zip, "Список.txt", RandomBytes(10000, 1));
    AddMember(zip, "dup", "first");
    AddMember(zip, "dup", "second");
    AddMember(zip, "sub\\name/with.dots", "");
    const std::string saved = Saved(zip);
    for (int i = 0; i < zip.Count(); ++i)
        EXPECT_EQ(zip.At(i)->Position(), 0);

    TZipFile loaded;
    LoadZip(loaded, saved);
    ASSERT_EQ(loaded.Count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_ANSI_EQ(loaded.At(i)->Name(), zip.At(i)->Name());
        EXPECT_EQ(StreamBytes(*loaded.At(i)), StreamBytes(*zip.At(i)));
        EXPECT_EQ(loaded.At(i)->Position(), 0);
    }
}

TEST(ZipFile, ReadsStoredDeflatedAndFolderEntries)
{
    TLocalEntry stored{.Name = "STORED", .Plain = RandomBytes(100, 2)};
    TLocalEntry deflated{.Name = "DEFLATED", .Plain = DelimitedText(9000), .Method = 8,
                         .Extra = "\x01\x02\x03\x04"};
    TLocalEntry level{.Name = "LEVEL", .Plain = "fast", .Method = 8, .Flags = 0x0006};
    TLocalEntry folder{.Name = "folder/", .Plain = "", .Method = 8};
    TLocalEntry emptyStored{.Name = "EMPTY", .Plain = ""};
    TZipFile zip;
    // Only the local headers are read: whatever follows the first central header is not.
    LoadZip(zip, stored.Bytes() + folder.Bytes() + deflated.Bytes() + level.Bytes() +
                  emptyStored.Bytes() + CentralStart + RandomBytes(500, 3));
    ASSERT_EQ(zip.Count(), 4);   // the folder entry is left out
    EXPECT_EQ(StreamBytes(*zip.At(0)), stored.Plain);
    EXPECT_EQ(StreamBytes(*zip.At(1)), deflated.Plain);
    EXPECT_EQ(StreamBytes(*zip.At(2)), "fast");
    EXPECT_EQ(zip.At(3)->Size(), 0);
}

TEST(ZipFile, RefusesHeadersItCannotReadAndDamagedMembers)
{
    TZipFile zip;
    EXPECT_RAISES(LoadZip(zip, LE32(0x08074B50) + std::string(30, '\0')), Exception,
                  "Неверная сигнатура блока ZIP-файла");
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Method = 12}.Bytes() + CentralStart), Exception,
                  "Неподдерживаемый метод сжатия ZIP-файла");
    for (uint16_t flags : {0x0001, 0x0008, 0x0800, 0x8000})
        EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Method = 8, .Flags = flags}.Bytes() + CentralStart),
                      Exception, "Неподдерживаемый формат ZIP-файла");
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Name = ""}.Bytes() + CentralStart), Exception,
                  "Неподдерживаемый формат ZIP-файла");

    // Damaged members.
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.CRC = 1}.Bytes() + CentralStart), Exception,
                  "Несовпадение CRC32");
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Method = 8, .CRC = 1}.Bytes() + CentralStart),
                  Exception, "Несовпадение CRC32");
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Method = 8, .Data = Bytes({0x07, 0x00})}.Bytes() +
                                CentralStart),
                  Exception, "Ошибка распаковки");
    // A member may not inflate past its size field, nor fall short of it.
    const std::string big = DelimitedText(1 << 20);
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Plain = big, .Method = 8, .Size = 1000}.Bytes()),
                  Exception, "Ошибка распаковки");
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Plain = "abc", .Method = 8, .Size = 4}.Bytes() +
                                CentralStart),
                  Exception, "Ошибка распаковки");
    // A failed load keeps the members read before the failure.
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Name = "ONE"}.Bytes() + TLocalEntry{.Name = "TWO", .CRC = 5}.Bytes() +
                                   CentralStart),
                  Exception, "Несовпадение CRC32");
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.At(0)->Name(), "ONE");
}

TEST(ZipFile, RefusesMoreThan512MegabytesOfPlainBytesBeforeInflatingThem)
{
    // 4 MB of zeros deflate to a few KB: a bomb that claims far more than it holds.
    const std::string zeros(4 << 20, '\0');
    const int64_t allowed = int64_t(512) << 20;
    const char* const tooLarge = "Слишком большой архив: больше 512 МБ после распаковки";
    TZipFile zip;
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Plain = zeros, .Method = 8, .Size = 0xFFFFFFFF}.Bytes() + CentralStart),
                  Exception, tooLarge);
    // Each member within the limit, both together past it.
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Name = "A", .Plain = zeros, .Method = 8}.Bytes() +
                                   TLocalEntry{.Name = "B", .Plain = zeros, .Method = 8,
                                               .Size = allowed - int64_t(zeros.size()) + 1}.Bytes() +
                                   CentralStart),
                  Exception, tooLarge);
}

TEST(ZipFile, RefusesArchivesCutShort)
{
    const std::string member = TLocalEntry{.Plain = DelimitedText(5000), .Method = 8}.Bytes();
    TZipFile zip;
    EXPECT_RAISES(LoadZip(zip, member.substr(0, 20)), EReadError, "Ошибка чтения потока");
    EXPECT_RAISES(LoadZip(zip, member.substr(0, member.size() - 1)), Exception, "Ошибка распаковки");
    // Complete members without the central directory behind them.
    EXPECT_RAISES(LoadZip(zip, member), EReadError, "Ошибка чтения потока");
    // Lengths that claim more bytes than remain.
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Size = 1000}.Bytes() + CentralStart), EReadError,
                  "Ошибка чтения потока");
    std::string longExtra = TLocalEntry{.Plain = ""}.Bytes();
    longExtra.replace(28, 2, LE16(0xFFFF));
    EXPECT_RAISES(LoadZip(zip, longExtra + CentralStart), EReadError, "Ошибка чтения потока");
    EXPECT_RAISES(LoadZip(zip, TLocalEntry{.Name = "dir/", .Plain = "", .CompressedSize = 0xFFFFFFFF}
                                    .Bytes() +
                                CentralStart),
                  EReadError, "Ошибка чтения потока");
}

// A member that says when it is destroyed.
class TWatchedMember : public TZippedFile {
public:
    TWatchedMember(const AnsiString& name, int& destroyed)
        : TZippedFile(nullptr, name), FDestroyed(destroyed) {}
    ~TWatchedMember() override { ++FDestroyed; }

private:
    int& FDestroyed;
};

TEST(ZipFile, MembersAndTheirArchive)
{
    int destroyed = 0;
    auto* zip = new TZipFile;
    auto* a = new TWatchedMember("a", destroyed);
    auto* b = new TWatchedMember("b", destroyed);
    auto* c = new TWatchedMember("c", destroyed);
    zip->Add(a);
    zip->Add(c);
    zip->Insert(1, b);
    EXPECT_EQ(b->Owner(), zip);
    EXPECT_EQ(zip->IndexOf(c), 2);
    EXPECT_RAISES(zip->Insert(5, c), Exception, "Выход индекса за пределы диапазона (5)");
    // Inserting a member of the archive moves it.
    zip->Insert(3, a);
    EXPECT_EQ(zip->At(0), b);
    // Destroying a member takes it off the list; a member taken off is no longer owned.
    delete b;
    zip->Delete(0);
    EXPECT_EQ(c->Owner(), nullptr);
    EXPECT_EQ(zip->Count(), 1);
    // A member moved to another archive leaves the first one.
    TZipFile other;
    other.Add(a);
    EXPECT_EQ(zip->Count(), 0);
    EXPECT_EQ(a->Owner(), &other);
    zip->Add(c);
    delete zip;   // deletes c
    EXPECT_EQ(destroyed, 2);
    other.Clear();
    EXPECT_EQ(destroyed, 3);
}

TEST(ZipFile, RefusesToWriteWhatTheFieldsCannotHold)
{
    TZipFile zip;
    AddMember(zip, std::string(65536, 'n'), "x");
    EXPECT_RAISES(Saved(zip), Exception, "Неподдерживаемый формат ZIP-файла");
    zip.Clear();
    AddMember(zip, "", "x");
    EXPECT_RAISES(Saved(zip), Exception, "Неподдерживаемый формат ZIP-файла");
    zip.Clear();
    for (int i = 0; i < 65536; ++i)
        zip.Add(new TZippedFile(nullptr, "m"));
    EXPECT_RAISES(Saved(zip), Exception, "Неподдерживаемый формат ZIP-файла");
    // 65535 members fit.
    delete zip.At(0);
    TZipFile loaded;
    LoadZip(loaded, Saved(zip));
    EXPECT_EQ(loaded.Count(), 65535);
}

} // namespace
