#include "documents/Datafiles.h"

#include "DataFileHelpers.h"
#include "ProfileFiles.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "platform/Classes.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Every record's text, walked from First to Eof.
std::vector<AnsiString> Walk(TDataFile& file)
{
    std::vector<AnsiString> texts;
    for (file.First(); !file.Eof(); file.Next())
        texts.push_back(file.CurRecord()->GetText());
    return texts;
}

}  // namespace

// ---- The cursor ----

TEST(DataFileTest, EmptyTablesHaveNoCurrentRecordUntilAnAppend)
{
    TDelimFile file(";", CodePageCp1251, false);
    for (bool loaded : {false, true}) {
        if (loaded)
            LoadBytes(file, "");
        EXPECT_EQ(file.Open(), loaded);
        EXPECT_TRUE(file.Bof() && file.Eof());
        EXPECT_EQ(file.RecNo(), -1);
        EXPECT_RAISES(file.CurRecord()->Get(0), Exception, "Выход индекса поля за пределы диапазона");
        EXPECT_RAISES(file.CurRecord()->Set(0, "x"), Exception, "Выход индекса поля за пределы диапазона");
        file.Delete();
        EXPECT_FALSE(file.IsModified());
    }
    TDelimFile fresh(";", CodePageCp1251, false);
    fresh.Append();
    EXPECT_TRUE(fresh.Open());
    EXPECT_EQ(fresh.RecNo(), 0);
    EXPECT_TRUE(fresh.IsModified());
}

TEST(DataFileTest, WalkVisitsEveryRecordOnce)
{
    TDelimFile file(";", CodePageCp1251, false);
    LoadBytes(file, "a\r\nb\nc\rd");
    EXPECT_EQ(Walk(file), (std::vector<AnsiString>{"a", "b", "c", "d"}));
    EXPECT_EQ(file.RecNo(), 3);
    file.Next();
    EXPECT_EQ(file.RecNo(), 3);

    file.GoTo(1);
    EXPECT_FALSE(file.Bof() || file.Eof());
    file.Prior();
    file.Prior();
    EXPECT_TRUE(file.Bof());
    EXPECT_EQ(file.CurRecord()->Get(0), "a");
    file.GoTo(99);
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.CurRecord()->Get(0), "d");

    // Empty lines between every kind of line end; the final one adds none.
    LoadBytes(file, "\r\n\rx\n\ry\r");
    EXPECT_EQ(Walk(file), (std::vector<AnsiString>{"", "", "x", "", "y"}));
}

// A stream that says it ends after one byte however many it has, as a stream whose size
// is not known in advance may.
class TUnderstatedStream : public TStream {
public:
    explicit TUnderstatedStream(std::string bytes) : FBytes(std::move(bytes)) {}

    int32_t Read(void* buffer, int32_t count) override
    {
        const auto left = static_cast<int64_t>(FBytes.size()) - FPosition;
        const auto n = static_cast<int32_t>(std::clamp<int64_t>(left, 0, count));
        std::memcpy(buffer, FBytes.data() + FPosition, static_cast<size_t>(n));
        FPosition += n;
        return n;
    }
    int32_t Write(const void* /*buffer*/, int32_t /*count*/) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        const int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPosition : 1;
        return FPosition = base + offset;
    }
    void SetSize(int64_t /*size*/) override {}

private:
    std::string FBytes;
    int64_t FPosition = 0;
};

TEST(DataFileTest, LinesEndAcrossTheLoadsPiecesAndBeyondTheStatedSize)
{
    // The loader reads 256 KB at a time: a CR LF, and a CR alone, on a piece's border.
    const std::string first(256 * 1024 - 1, 'x');
    TDelimFile file(";", CodePageCp1251, false);
    LoadBytes(file, first + "\r\ny\r");
    EXPECT_EQ(Walk(file), (std::vector<AnsiString>{first, "y"}));
    EXPECT_TRUE(SavedBytes(file) == first + "\r\ny\r");
    LoadBytes(file, first + "\rz");
    EXPECT_EQ(Walk(file), (std::vector<AnsiString>{first, "z"}));
    EXPECT_TRUE(SavedBytes(file) == first + "\rz");

    TUnderstatedStream stream(first + "\r\n" + first + "\nend");
    file.LoadFromStream(&stream);
    EXPECT_EQ(Walk(file), (std::vector<AnsiString>{first, first, "end"}));
}

TEST(DataFileTest, ALargeFileSplitsAsTheSameBytesFromMemory)
{
    // A file of several megabytes is read in pieces: line ends of each kind on and across
    // megabyte borders, and no line end at all at the end.
    constexpr size_t piece = 1 << 20;
    std::string bytes;
    const char* const ends[] = {"\r\n", "\r", "\n"};
    for (int border = 1; border <= 9; ++border) {
        const size_t before = static_cast<size_t>(border) * piece - (border % 3 == 0 ? 1 : 0) - bytes.size();
        bytes += std::string(before - 2, static_cast<char>('a' + border)) + ";" + ends[border % 3];
        bytes += ends[(border + 1) % 3];
    }
    // A line longer than a loaded line's length can say is kept as a copy of its own.
    const std::string longLine = std::string(9 << 20, 'q') + ";end";
    bytes += longLine + "\n";
    bytes += "last;line";
    const TTempDir dir;
    const AnsiString path = dir.File("large.txt");
    WriteBytes(path, bytes);

    TDelimFile fromFile(";", CodePageCp1251, false);
    fromFile.LoadFromFile(path);
    TDelimFile fromMemory(";", CodePageCp1251, false);
    LoadBytes(fromMemory, bytes);
    EXPECT_EQ(fromFile.RecordCount(), fromMemory.RecordCount());
    EXPECT_EQ(Walk(fromFile), Walk(fromMemory));
    fromFile.GoTo(fromFile.RecordCount() - 1);
    EXPECT_EQ(fromFile.CurRecord()->Get(1), "line");
    fromFile.Prior();
    EXPECT_TRUE(fromFile.CurRecord()->GetText() == longLine);
    EXPECT_EQ(fromFile.CurRecord()->Get(1), "end");
    // Every line is saved with the break it was read with, the copied one too.
    EXPECT_TRUE(SavedBytes(fromFile) == bytes);
}

// A new line takes the break of the line before it; a last line without a break gets the
// file's first break once a line follows it, and the new last line has none.
TEST(DataFileTest, AppendedLinesTakeTheFilesBreaks)
{
    const auto appended = [](const std::string& bytes) {
        TDelimFile file(";", CodePageCp1251, false);
        LoadBytes(file, bytes);
        AppendRow(file, {"c", "3"});
        return SavedBytes(file);
    };
    EXPECT_EQ(appended("a;1\r\nb;2\n"), "a;1\r\nb;2\nc;3\n");
    EXPECT_EQ(appended("a;1\rb;2\r"), "a;1\rb;2\rc;3\r");
    EXPECT_EQ(appended("a;1\rb;2\nd;4"), "a;1\rb;2\nd;4\rc;3");
    EXPECT_EQ(appended("a;1"), "a;1\r\nc;3");
    EXPECT_EQ(appended(""), "c;3\r\n");
}

// An empty last record has a break of its own, else it would be saved as nothing and be
// gone at the next load: one added after a last line without a break, one whose fields
// were all cleared there.
TEST(DataFileTest, AnEmptyLastRecordIsSavedWithABreakAndLoadsAgain)
{
    const auto savedAndLoaded = [](TDataFile& file, const std::string& bytes, const std::string& expected,
                                   bool append) {
        LoadBytes(file, bytes);
        if (append) {
            file.Append();
        } else {
            file.GoTo(file.RecordCount() - 1);
            for (int field = 0; field < file.CurRecord()->Count(); ++field)
                file.CurRecord()->Set(field, "");
        }
        const int records = file.RecordCount();
        const std::string saved = SavedBytes(file);
        EXPECT_EQ(saved, expected);
        LoadBytes(file, saved);
        EXPECT_EQ(file.RecordCount(), records) << saved;
    };
    TDelimFile delim(";", CodePageCp1251, false);
    savedAndLoaded(delim, "a;1\r\nb;2", "a;1\r\nb;2\r\n\r\n", true);
    savedAndLoaded(delim, "a;1\nb;2", "a;1\nb;2\n\n", true);
    savedAndLoaded(delim, "", "\r\n", true);
    savedAndLoaded(delim, "a\rb", "a\r\r", false);
    TFixedFile fixed(Widths({3, 2}).get(), CodePageCp1251);
    savedAndLoaded(fixed, "ab 1\nc", "ab 1\nc\n\n", true);
}

TEST(DataFileTest, EditIsWrittenBackOnlyOnMovingAndALoadDropsIt)
{
    // A CP1251 record is read in place in the loaded text, a CP866 one is converted.
    for (const uint8_t codePage : {CodePageCp866, CodePageCp1251}) {
        TDelimFile file(";", codePage, false);
        LoadBytes(file, FromAnsi("Иванов;100\r\nПетров;200\r\n", codePage));
        file.CurRecord()->Set(1, "150");
        EXPECT_TRUE(file.IsModified());
        EXPECT_EQ(file.Lines()[0], FromAnsi("Иванов;100", codePage));
        file.Next();
        EXPECT_EQ(file.Lines()[0], FromAnsi("Иванов;150", codePage));
        EXPECT_EQ(SavedBytes(file), FromAnsi("Иванов;150\r\nПетров;200\r\n", codePage));
        EXPECT_FALSE(file.IsModified());

        file.CurRecord()->Set(0, "b");
        file.SetFileName("name");
        LoadBytes(file, "c\r\n");
        EXPECT_FALSE(file.IsModified());
        EXPECT_EQ(file.FileName(), "");
        EXPECT_EQ(file.CurRecord()->Get(0), "c");
    }
}

TEST(DataFileTest, AppendCopiesTheSourceAsAPendingEdit)
{
    TDelimFile source(";", CodePageCp1251, false);
    LoadBytes(source, "x;y\r\n");
    TDelimFile file(";", CodePageKoi8R, false);
    LoadBytes(file, "a;b\r\n");
    file.Append(source.CurRecord());
    EXPECT_EQ(file.RecNo(), 1);
    EXPECT_TRUE(file.CurRecord()->Modified());
    EXPECT_EQ(file.Lines()[1], "");
    file.First();
    EXPECT_EQ(file.Lines()[1], "x;y");
}

TEST(DataFileTest, DeleteMovesToTheFollowingRecord)
{
    TDelimFile file(";", CodePageCp1251, false);
    LoadBytes(file, "a\r\nb\r\nc\r\n");
    file.GoTo(1);
    file.CurRecord()->Set(0, "edited");
    file.Delete();
    EXPECT_EQ(file.CurRecord()->Get(0), "c");
    EXPECT_EQ(file.RecNo(), 1);
    file.Delete();   // the last one: the new last becomes current
    EXPECT_EQ(file.RecNo(), 0);
    EXPECT_EQ(file.CurRecord()->Get(0), "a");
    file.Delete();
    EXPECT_EQ(file.RecNo(), -1);
    EXPECT_EQ(file.CurRecord()->GetText(), "");   // nothing left of the deleted lines
    EXPECT_TRUE(file.IsModified());
    EXPECT_EQ(SavedBytes(file), "");
}

TEST(DataFileTest, ReadRecordLeavesTheCursorAndShowsPendingEdits)
{
    TDelimFile file(";", CodePageCp866, true);
    LoadBytes(file, FromAnsi("Иванов;1\r\nПетров;23\r\nСидоров;4\r\n", CodePageCp866));
    file.GoTo(1);
    file.CurRecord()->Set(1, "a;b");   // escaped in the line, pending
    const std::unique_ptr<TFileRecord> reader = file.CurRecord()->NewRecord();
    file.ReadRecord(2, *reader);
    EXPECT_ANSI_EQ(reader->Get(0), "Сидоров");   // converted from the file's code page
    file.ReadRecord(1, *reader);
    EXPECT_ANSI_EQ(reader->Get(1), "a;b");
    EXPECT_EQ(file.RecNo(), 1);
    EXPECT_TRUE(file.CurRecord()->Modified());   // nothing posted
    EXPECT_RAISES(file.ReadRecord(3, *reader), Exception, "Выход индекса за пределы диапазона (3)");
    EXPECT_RAISES(file.ReadRecord(-1, *reader), Exception, "Выход индекса за пределы диапазона (-1)");
}

TEST_F(ProfileFileTest, NewDataFileFollowsTheKindsFormat)
{
    TProfile& profile = SelectProfile({"Salary.FileFormat=FIXED", "Salary.Lengths=3,2,1", "Salary.Charset=KOI8R",
                                       "NewCli.Delim=|"});
    std::unique_ptr<TDataFile> file = NewDataFile(*profile.ExportProfiles.At(0));
    LoadBytes(*file, FromAnsi("ЁЖZ12x\r\n", CodePageKoi8R));
    EXPECT_EQ(CurrentRow(*file), (std::vector<AnsiString>{"ЁЖZ", "12", "x"}));
    const std::unique_ptr<TFileRecord> reader = file->CurRecord()->NewRecord();
    file->ReadRecord(0, *reader);
    EXPECT_ANSI_EQ(reader->Get(1), "12");   // the widths reach the second reader too
    file = NewDataFile(*profile.ExportProfiles.At(1));
    LoadBytes(*file, "a|b\r\n");
    EXPECT_EQ(CurrentRow(*file), (std::vector<AnsiString>{"a", "b"}));
}

// ---- Code pages ----

TEST(DataFileTest, Cp866AndKoi8FilesComeBackByteForByte)
{
    // Every byte but the line ends, in both code pages.
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte)
        if (byte != '\r' && byte != '\n')
            bytes.push_back(static_cast<char>(byte));
    for (uint8_t codePage : {CodePageCp866, CodePageKoi8R}) {
        const std::string text = bytes + "\r\n" + FromAnsi("Иванов;Иван", codePage) + "\r\n";
        TDelimFile file(";", codePage, false);
        LoadBytes(file, text);
        Walk(file);
        EXPECT_ANSI_EQ(file.CurRecord()->Get(1), "Иван");   // converted, not passed through
        file.CurRecord()->Set(1, file.CurRecord()->Get(1));   // rewritten unchanged
        file.First();
        EXPECT_EQ(Hex(SavedBytes(file)), Hex(text)) << int(codePage);
    }
}

// The judge of the code page reads the records as they are, also after a change: a
// CP1251 file of ASCII and one line of UTF-8 Cyrillic is plainly UTF-8, one that also holds
// CP1251 Cyrillic is not.
TEST(DataFileTest, PlainlyInOtherCodePageFollowsTheRecords)
{
    const std::string utf8 = AnsiToUtf8("Жук;1");
    TDelimFile file(";", CodePageCp1251, false);
    LoadBytes(file, "a;1\n" + utf8 + "\nb;2\n");
    EXPECT_TRUE(file.PlainlyInOtherCodePage());
    file.GoTo(2);
    file.CurRecord()->Set(0, "Жук");
    file.First();
    EXPECT_FALSE(file.PlainlyInOtherCodePage());

    LoadBytes(file, "a;1\nЖук;2\n" + utf8 + "\n");
    EXPECT_FALSE(file.PlainlyInOtherCodePage());
    file.GoTo(1);
    file.Delete();
    EXPECT_TRUE(file.PlainlyInOtherCodePage());

    LoadBytes(file, "a;1\n");
    EXPECT_FALSE(file.PlainlyInOtherCodePage());
    AppendRow(file, {AnsiString(AnsiToUtf8("Жук"))});
    file.First();
    EXPECT_TRUE(file.PlainlyInOtherCodePage());

    // Wherever in a run of ASCII the one letter stands.
    for (size_t at = 0; at < 16; ++at) {
        LoadBytes(file, std::string(at, 'x') + AnsiToUtf8("Ж") + "\n");
        EXPECT_TRUE(file.PlainlyInOtherCodePage()) << at;
    }
    // Lines added to a store are no loaded bytes.
    TLineStore lines;
    lines.Add(utf8);
    EXPECT_EQ(lines.LoadedScan(), nullptr);
}

TEST(DataFileTest, Utf8ByteOrderMarkIsNoPartOfTheFirstRecordAndStays)
{
    TDelimFile file(";", CodePageUtf8, false);
    LoadBytes(file, "\xEF\xBB\xBF" + AnsiToUtf8("Жук;1") + "\r\n");
    EXPECT_ANSI_EQ(file.CurRecord()->Get(0), "Жук");
    file.CurRecord()->Set(1, "2");
    EXPECT_EQ(SavedBytes(file), "\xEF\xBB\xBF" + AnsiToUtf8("Жук;2") + "\r\n");

    // In a file of another code page the same bytes are data.
    TDelimFile cp1251(";", CodePageCp1251, false);
    LoadBytes(cp1251, "\xEF\xBB\xBF" "a\r\n");
    EXPECT_EQ(cp1251.CurRecord()->Get(0), "\xEF\xBB\xBF" "a");

    // A mark followed by an empty line: the empty line is the first record, the one after
    // it the second, and both keep their bytes.
    const std::string emptyFirst = "\xEF\xBB\xBF" "\r\n" + AnsiToUtf8("Жук;1") + "\r\n";
    LoadBytes(file, emptyFirst);
    ASSERT_EQ(file.RecordCount(), 2);
    EXPECT_EQ(file.CurRecord()->GetText(), "");
    file.Next();
    EXPECT_ANSI_EQ(file.CurRecord()->Get(0), "Жук");
    EXPECT_EQ(SavedBytes(file), emptyFirst);

    // A file of only the mark holds no record, as an empty file; it keeps the mark.
    LoadBytes(file, "\xEF\xBB\xBF");
    EXPECT_EQ(file.RecordCount(), 0);
    EXPECT_EQ(SavedBytes(file), "\xEF\xBB\xBF");
    file.Append();
    file.CurRecord()->Set(0, "a");
    EXPECT_EQ(SavedBytes(file), "\xEF\xBB\xBF" "a\r\n");
}

// A value that reads with "?" where the file holds another character: that character, in
// every code page that is converted (an XML document's lines are UTF-8); a "?" of the file
// itself is no loss.
TEST(DataFileTest, FirstCharacterLostNamesWhatCp1251Lacks)
{
    const std::string schwa = "\xD3\x98";   // "Ә" in UTF-8
    const auto lost = [](TDataFile& file, const std::string& bytes, int field) {
        LoadBytes(file, bytes);
        return file.FirstCharacterLost(field);
    };
    TDelimFile utf8(";", CodePageUtf8, false);
    EXPECT_EQ(lost(utf8, AnsiToUtf8("Что?;") + schwa + "\xD0\xBB?" + schwa + "\r\n", 1), U'\u04D8');
    EXPECT_EQ(utf8.FirstCharacterLost(0), 0u);
    EXPECT_EQ(lost(utf8, "a\xFF;b\r\n", 0), U'\uFFFD');
    TDelimFile cp866(";", CodePageCp866, false);
    EXPECT_EQ(lost(cp866, "a;\x80\xB3\r\n", 1), U'\u2502');
    TDelimFile koi8(";", CodePageKoi8R, false);
    EXPECT_EQ(lost(koi8, "\xC1\x80;b\r\n", 0), U'\u2500');
    TDelimFile cp1251(";", CodePageCp1251, false);
    EXPECT_EQ(lost(cp1251, "?;\x98\r\n", 0), 0u);
    TXmlFile xml("/r/p", "<a>;<b>", ";");
    EXPECT_EQ(lost(xml, "<r><p><a>?</a><b>x" + schwa + "</b></p></r>", 1), U'\u04D8');
    EXPECT_EQ(xml.FirstCharacterLost(0), 0u);
    EXPECT_EQ(CurrentRow(xml), (std::vector<AnsiString>{"?", "x?"}));
}

// ---- Files ----

class DataFileSaveTest : public ::testing::Test {
protected:
    TTempDir Temp;
    AnsiString Target = Temp.File("список.txt");
};

TEST_F(DataFileSaveTest, SavesThroughATemporaryFileAndKeepsThePermissions)
{
    WriteBytes(Target, "a;1\r\nb;2\r\n");
    ASSERT_EQ(chmod(ToSystemPath(Target).c_str(), 0600), 0);
    WriteBytes(Target + ".$00", "left by a save that was killed");
    TDelimFile file(";", CodePageCp1251, false);
    file.LoadFromFile(Target);
    file.CurRecord()->Set(1, "5");
    file.SaveToFile("");
    EXPECT_EQ(ReadBytes(Target), "a;5\r\nb;2\r\n");
    EXPECT_FALSE(FileExists(Target + ".$00"));
    EXPECT_FALSE(file.IsModified());
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(Target).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const AnsiString other = Temp.File("other.txt");
    file.SaveToFile(other);
    EXPECT_EQ(file.FileName(), other);
    EXPECT_EQ(ReadBytes(other), "a;5\r\nb;2\r\n");

    // A table that was never opened writes an empty file.
    TDelimFile never(";", CodePageCp1251, false);
    never.SaveToFile(Target);
    EXPECT_EQ(ReadBytes(Target), "");
    EXPECT_THROW(never.LoadFromFile(Temp.File("missing.txt")), EFOpenError);
    EXPECT_FALSE(never.Open());
}

// A user's file keeps its line breaks, its byte-order mark and a last line without a
// break: an edit changes only the edited field's bytes.
TEST_F(DataFileSaveTest, AnEditChangesOnlyTheEditedBytes)
{
    const std::string before = "\xEF\xBB\xBF" + AnsiToUtf8("Жук;100.00\nЁж;250.50\nУж;7.00");
    WriteBytes(Target, before);
    TDelimFile utf8(";", CodePageUtf8, false);
    utf8.LoadFromFile(Target);
    utf8.GoTo(1);
    utf8.CurRecord()->Set(1, "250.75");
    utf8.SaveToFile("");
    std::string after = before;
    after.replace(after.find("250.50"), 6, "250.75");
    EXPECT_EQ(Hex(ReadBytes(Target)), Hex(after));

    // A lone CR in an LF file ends a line on loading and is written back as it was.
    WriteBytes(Target, "first\rsecond;1\nb;2\n");
    TDelimFile lf(";", CodePageCp1251, false);
    lf.LoadFromFile(Target);
    lf.GoTo(2);
    lf.CurRecord()->Set(1, "3");
    lf.SaveToFile("");
    EXPECT_EQ(ReadBytes(Target), "first\rsecond;1\nb;3\n");
}

TEST_F(DataFileSaveTest, AFailedSaveLeavesTheTargetNoTemporaryFileAndTheModifiedFlag)
{
    WriteBytes(Target, "<a/>");
    TXmlFile xml("/a", "x", ";");
    xml.LoadFromFile(Target);
    xml.Append();
    EXPECT_RAISES(xml.SaveToFile(Target), Exception, "Сохранение файла формата XML не поддерживается");
    EXPECT_EQ(ReadBytes(Target), "<a/>");
    EXPECT_TRUE(xml.IsModified());

    // A folder that is not empty cannot be replaced by a file.
    const AnsiString folder = Temp.File("folder");
    ForceDirectories(folder + "/inner/");
    TDelimFile file(";", CodePageCp1251, false);
    LoadBytes(file, "a\r\n");
    file.CurRecord()->Set(0, "b");
    EXPECT_THROW(file.SaveToFile(folder), EOSError);
    EXPECT_TRUE(file.IsModified());
    EXPECT_TRUE(DirectoryExists(folder + "/inner/"));
    EXPECT_EQ(SystemNames(Temp.Path()), (std::vector<std::string>{"folder", "\xD1\x81\xD0\xBF\xD0\xB8\xD1\x81\xD0\xBE\xD0\xBA.txt"}));
}

// ---- Delimited records ----

TEST(DelimRecordTest, FieldsOfALine)
{
    TDelimFile file(";", CodePageCp1251, false);
    LoadBytes(file, "a;;b\r\n");
    TFileRecord* record = file.CurRecord();
    EXPECT_EQ(record->Count(), 3);
    EXPECT_EQ(record->Get(7), "");
    EXPECT_RAISES(record->Get(-1), Exception, "Выход индекса поля за пределы диапазона");
    record->Set(9, "");
    EXPECT_EQ(record->GetText(), "a;;b");
    record->Set(5, "x");
    EXPECT_EQ(record->GetText(), "a;;b;;;x");
}

TEST(DelimRecordTest, FieldsAndViewsAtEveryLineLengthAndDelimiterPlace)
{
    // The line is scanned 16 bytes at a time and its rest as the last 16: delimiters
    // before, on and after those borders, in lines of 0 to 40 bytes.
    TDelimFile file(";", CodePageCp1251, true);
    AnsiString buffer;
    for (size_t length = 0; length <= 40; ++length) {
        AnsiString line(length, 'x');
        for (size_t i = 0; i < length; ++i)
            line[i] = (i * 7 + length) % 5 == 0 || i + 1 == length ? ';' : static_cast<char>('a' + i % 26);
        if (length > 3)
            line.replace(1, 3, "#41");   // an escaped "A"
        LoadBytes(file, line + "\r\n");
        TStringList expected;
        SplitString(expected, line, ";");
        const TFileRecord* record = file.CurRecord();
        ASSERT_EQ(record->Count(), expected.Count()) << line;
        for (int i = 0; i < expected.Count(); ++i) {
            const AnsiString plain = UnescapeChars(expected[i]);
            EXPECT_EQ(record->Get(i), plain) << line;
            EXPECT_EQ(record->GetView(i, buffer), plain) << line;
        }
    }
}

TEST(DelimRecordTest, EscapingKeepsTheLineWhole)
{
    const AnsiString value = "a;b#\r\n";
    TDelimFile escaped(";", CodePageCp1251, true);
    escaped.Append();
    escaped.CurRecord()->Set(0, value);
    EXPECT_EQ(escaped.CurRecord()->GetText(), "a#3Bb#23#0D#0A");
    EXPECT_EQ(escaped.CurRecord()->Get(0), value);

    TDelimFile plain(";", CodePageCp1251, false);
    LoadBytes(plain, "keep\r\n");
    for (const AnsiString& bad : {AnsiString("a;b"), AnsiString("a\rb"), AnsiString("a\nb")})
        EXPECT_RAISES(plain.CurRecord()->Set(0, bad), Exception, "Недопустимые символы в поле");
    EXPECT_EQ(plain.CurRecord()->GetText(), "keep");
    EXPECT_FALSE(plain.CurRecord()->Modified());

    // A delimiter of two characters.
    TDelimFile pipes("||", CodePageCp1251, false);
    LoadBytes(pipes, "a||b|c\r\n");
    EXPECT_EQ(pipes.CurRecord()->Get(1), "b|c");

    // "a|" before the delimiter would read back as "a" and "|b|c".
    EXPECT_RAISES(pipes.CurRecord()->Set(0, "a|"), Exception, "Недопустимые символы в поле");
    EXPECT_EQ(pipes.CurRecord()->GetText(), "a||b|c");
    pipes.CurRecord()->Set(1, "b|");   // at the end of the line nothing follows it
    pipes.CurRecord()->Set(0, "|a");
    EXPECT_EQ(pipes.CurRecord()->GetText(), "|a||b|");
    // Now "b|" has fields after it.
    EXPECT_RAISES(pipes.CurRecord()->Set(3, "x"), Exception, "Недопустимые символы в поле");
    EXPECT_EQ(pipes.CurRecord()->GetText(), "|a||b|");

    TDelimFile escapedPipes("||", CodePageCp1251, true);
    escapedPipes.Append();
    escapedPipes.CurRecord()->Set(1, "b");
    escapedPipes.CurRecord()->Set(0, "a|");
    EXPECT_EQ(escapedPipes.CurRecord()->Get(0), "a|");
    EXPECT_EQ(escapedPipes.CurRecord()->Get(1), "b");
}

TEST(TextFileTest, SortKeepsLinesOfDifferentCaseTogether)
{
    TDelimFile file(";", CodePageCp1251, false);
    LoadBytes(file, "b\r\nБ\r\nA\r\nб\r\na\r\nB\r\n");
    file.GoTo(2);
    file.CurRecord()->Set(0, "c");
    file.Sort();
    EXPECT_EQ(file.Lines().Items(), (std::vector<AnsiString>{"a", "b", "B", "c", "Б", "б"}));
    EXPECT_EQ(file.CurRecord()->Get(0), "B");
}

// ---- Fixed-width records ----

TEST(FixedRecordTest, LineBuiltFieldByField)
{
    TFixedFile file(Widths({3, 4, 2}).get(), CodePageCp1251);
    file.Append();
    TFileRecord* record = file.CurRecord();
    EXPECT_EQ(record->Count(), 3);
    record->Set(1, "ab");
    EXPECT_EQ(record->GetText(), "   ab");
    record->Set(0, "x");
    record->Set(2, "z");
    EXPECT_EQ(record->GetText(), "x  ab  z");
    record->Set(2, "");   // the padding before the field stays
    EXPECT_EQ(SavedBytes(file), "x  ab  \r\n");

    // Short lines read as empty fields; leading blanks are kept.
    TFixedFile oem(Widths({3, 4, 2}).get(), CodePageCp866);
    LoadBytes(oem, AnsiToOem(" Ив  ab\t") + "\r\n" + "x\r\n");
    EXPECT_EQ(CurrentRow(oem), (std::vector<AnsiString>{" Ив", "  ab", ""}));
    oem.Next();
    EXPECT_EQ(oem.CurRecord()->Get(1), "");
}

TEST(FixedRecordTest, RefusesWhatDoesNotFit)
{
    TFixedFile file(Widths({3, 4}).get(), CodePageCp1251);
    LoadBytes(file, "abc1234\r\n");
    TFileRecord* record = file.CurRecord();
    EXPECT_RAISES(record->Set(0, "abcd"), Exception, "Значение поля слишком велико");
    EXPECT_RAISES(record->Set(1, "1\r\n2"), Exception, "Недопустимые символы в поле");
    EXPECT_RAISES(record->Set(1, "1\n"), Exception, "Недопустимые символы в поле");
    EXPECT_RAISES(record->Set(2, "x"), Exception, "Выход индекса поля за пределы диапазона");
    EXPECT_EQ(record->GetText(), "abc1234");
    EXPECT_FALSE(record->Modified());

    TFixedFile huge(Widths({INT32_MAX, INT32_MAX, 2}).get(), CodePageCp1251);
    EXPECT_RAISES(LoadBytes(huge, "abc\r\n"), Exception, "Суммарная длина полей превышает размер записи");
    EXPECT_FALSE(huge.Open());
}
