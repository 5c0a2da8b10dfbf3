#include "documents/Internals.h"

#include "DataFileHelpers.h"
#include "ProfileFiles.h"
#include "StreamBytes.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <vector>

namespace {

std::string Packed(const std::string& plain) { return Transformed(plain, PackStream); }

std::string Child(const std::string& bytes) { return LE32(uint32_t(bytes.size())) + bytes; }

// A store file with memo fields, made of its two plain parts.
std::string StoreFile(const std::string& table, const std::string& memos)
{
    return Child(Packed(table)) + Child(Packed(memos));
}

// The plain parts of a store file with memo fields: the table text and the memo area.
struct TStoreParts {
    std::string Table;
    std::string Memos;
};

TStoreParts PlainParts(const std::string& file)
{
    TMemoryStream stream;
    stream.WriteString(file);
    TMultiStream children(&stream);
    EXPECT_EQ(children.Count(), 2);
    std::string plain[2];
    for (int i = 0; i < 2; ++i) {
        TBlockStream part;
        children.Select(i);
        UnpackStream(children.Child(), &part);
        plain[i] = StreamBytes(part);
    }
    return {plain[0], plain[1]};
}

std::vector<std::vector<AnsiString>> AllRows(TInternalData& store)
{
    std::vector<std::vector<AnsiString>> rows;
    for (store.First(); !store.Eof(); store.Next())
        rows.push_back(CurrentRow(store));
    return rows;
}

const std::string EmptyPacked = Bytes({0x03, 0x00, 0x00, 0x00, 0x00, 0x00});

}  // namespace

// The bytes of empty stores are checked where a save creates them.
TEST(InternalDataTest, EmptyStoresLoad)
{
    TJournal journal;
    TMessages messages;
    LoadBytes(journal, EmptyPacked);
    LoadBytes(messages, Child(EmptyPacked) + Child(EmptyPacked));
    EXPECT_TRUE(journal.Open() && messages.Open());
    EXPECT_EQ(journal.RecordCount() + messages.RecordCount(), 0);
    EXPECT_EQ(messages.CurrentMemo(), 0);
}

// The memo area's layout is read by an independent reader in TableToolTest; here a
// delete, which takes the record's memos and moves the later ones down.
TEST(InternalDataTest, DeletingARecordTakesItsMemos)
{
    TMessages messages;
    AppendRow(messages, {"a", "", "bc", "first"});
    AppendRow(messages, {"dd", "e", "", "second"});
    AppendRow(messages, {"", "", "fff", "third"});
    messages.GoTo(1);
    messages.Delete();
    EXPECT_ANSI_EQ(messages.CurRecord()->Get(2), "fff");
    messages.First();
    messages.Delete();
    EXPECT_EQ(Hex(PlainParts(SavedBytes(messages)).Memos),
              Hex(Bytes({0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'f', 'f', 'f'})));
    messages.Delete();
    EXPECT_EQ(PlainParts(SavedBytes(messages)).Memos, "");
}

TEST(InternalDataTest, MemoWritesReplaceTheWholeValueAndMarkTheTable)
{
    TEtalons etalons;
    AppendRow(etalons, {"a long first value", "SAL"});
    etalons.CurRecord()->Set(0, "ab");
    EXPECT_ANSI_EQ(etalons.CurRecord()->Get(0), "ab");

    LoadBytes(etalons, SavedBytes(etalons));
    EXPECT_FALSE(etalons.IsModified());
    etalons.SelectMemo(0);
    TMemoryStream list;
    list.WriteString("40817810000000000001;Иванов\r\n");
    etalons.MemoStream()->CopyFrom(list, 0);
    EXPECT_TRUE(etalons.IsModified());
    EXPECT_ANSI_EQ(etalons.CurRecord()->Get(0), "40817810000000000001;Иванов\r\n");
}

TEST(InternalDataTest, CurrentMemoAndRowFieldsFollowOrKeepTheCursor)
{
    TMessages messages;
    EXPECT_EQ(messages.CurrentMemo(), -1);
    AppendRow(messages, {"", "", "first"});
    AppendRow(messages, {"", "", "second"});
    messages.First();
    messages.SelectMemo(2);
    messages.Next();
    EXPECT_EQ(messages.CurrentMemo(), 2);
    char text[6];
    messages.MemoStream()->ReadBuffer(text, 6);
    EXPECT_EQ(std::string(text, 6), "second");

    EXPECT_RAISES(messages.SelectMemo(3), Exception, "Выход индекса MEMO-поля за пределы диапазона");
    TJournal journal;
    AppendRow(journal, {"x"});
    EXPECT_RAISES(journal.SelectMemo(0), Exception, "Выход индекса MEMO-поля за пределы диапазона");

    // Lists read any row while an operation keeps the cursor and its selected memo.
    TMessages rows;
    AppendRow(rows, {"old text", "", "", "a;b"});
    AppendRow(rows, {"new text", "", "", "title"});
    rows.CurRecord()->Set(3, "edited");   // pending on the current record
    rows.SelectMemo(0);
    EXPECT_ANSI_EQ(rows.RowField(0, 0), "old text");
    EXPECT_ANSI_EQ(rows.RowField(0, 3), "a;b");
    EXPECT_ANSI_EQ(rows.RowField(0, 9), "");
    EXPECT_ANSI_EQ(rows.RowField(1, 3), "edited");
    EXPECT_ANSI_EQ(rows.RowField(1, 5), "");   // past the current line's last field
    EXPECT_EQ(rows.RecNo(), 1);
    char shown[8];
    rows.MemoStream()->ReadBuffer(shown, 8);
    EXPECT_EQ(std::string(shown, 8), "new text");
    EXPECT_RAISES(rows.RowField(2, 0), Exception, "Выход индекса за пределы диапазона (2)");
}

// A memo is filled from a stream and compared with one where both lie. Filled by its last
// user, the memo takes the bytes, cutting the source behind each piece.
TEST(InternalDataTest, AMemoIsFilledFromAStreamAndComparedWithOne)
{
    const std::string list = RandomBytes(200000, 3);
    TBlockStream source;
    source.WriteString("header" + list);
    source.SetPosition(6);
    TEtalons store;
    store.Append();
    store.SetMemoFrom(0, source);
    EXPECT_EQ(source.Position(), 6);
    EXPECT_EQ(source.Size(), 6 + int64_t(list.size()));
    store.Append();
    store.SetMemoFrom(0, source, true);
    EXPECT_EQ(source.Size(), 6);
    EXPECT_EQ(source.AllocatedBlocks(), 1);
    EXPECT_EQ(store.RowField(0, 0), list);
    EXPECT_EQ(store.RowField(1, 0), list);

    source.WriteString(list);
    source.SetPosition(6);
    EXPECT_TRUE(store.RowMemoIs(0, 0, source));
    EXPECT_EQ(source.Position(), 6);
    store.CurRecord()->Set(0, list.substr(0, list.size() - 1) + "!");
    EXPECT_FALSE(store.RowMemoIs(1, 0, source));
    source.SetPosition(7);
    EXPECT_FALSE(store.RowMemoIs(0, 0, source));   // one byte short
}

// Rows appended to a loaded store are packed onto the loaded deflate data; any other
// change packs the memo area anew. Either way the file holds exactly the table's data.
TEST(InternalDataTest, RoundTripsAfterAppendingAndAfterEditing)
{
    TTempDir dir;
    const AnsiString name = dir.File("ABC.MESSAGES");
    TMessages built;
    for (int i = 0; i < 40; ++i)
        AppendRow(built, {DelimitedText(size_t(100 + i * 37)), RandomBytes(size_t(i * 11), unsigned(i)),
                          AnsiString(size_t(i % 3), '\0'), "title " + std::to_string(i), "date", "now"});
    built.SaveToFile(name);

    TMessages store;
    store.LoadFromFile(name);
    AppendRow(store, {"new text", "", "failed.TLB: error", "new title", "d", "n"});
    store.SaveToFile("");
    AppendRow(built, {"new text", "", "failed.TLB: error", "new title", "d", "n"});
    const std::string expected = SavedBytes(built);
    EXPECT_EQ(Hex(PlainParts(ReadBytes(name)).Memos), Hex(PlainParts(expected).Memos));

    // Changes to loaded bytes: an edit of the same length, a delete at the end.
    const auto change = [](TMessages& messages) {
        messages.GoTo(3);
        AnsiString memo = messages.CurRecord()->Get(0);
        memo[10] = '!';
        messages.CurRecord()->Set(0, memo);
        messages.GoTo(40);
        messages.Delete();
        AppendRow(messages, {"after a save", "x", "y"});
    };
    change(store);
    store.SaveToFile("");
    change(built);
    TMessages reloaded;
    reloaded.LoadFromFile(name);
    EXPECT_EQ(AllRows(reloaded), AllRows(built));
}

// A store's lines end with CR LF, whatever its text was read with.
TEST(InternalDataTest, LinesAreSavedWithCrLf)
{
    TJournal journal;
    LoadBytes(journal, Packed("a;1\nb;2\rc;3"));
    EXPECT_EQ(Transformed(SavedBytes(journal), UnpackStream), "a;1\r\nb;2\r\nc;3\r\n");
}

TEST(InternalDataTest, MissingFileGivesAnEmptyStoreThatASaveCreates)
{
    TTempDir dir;
    const AnsiString name = dir.File("Cache/ABC.ETALONS");
    TEtalons etalons;
    etalons.LoadFromFile(name);
    EXPECT_TRUE(etalons.Open());
    EXPECT_EQ(etalons.RecordCount(), 0);
    EXPECT_ANSI_EQ(etalons.FileName(), name);
    etalons.SaveToFile("");
    EXPECT_EQ(Hex(ReadBytes(name)), Hex(Child(EmptyPacked) + Child(EmptyPacked)));
    AppendRow(etalons, {"list", "NNS", "01/02/2024"});
    etalons.SaveToFile("");
    etalons.LoadFromFile(name);
    EXPECT_EQ(CurrentRow(etalons), (std::vector<AnsiString>{"list", "NNS", "01/02/2024"}));

    // An unchanged store on the disk is not written again, unless a name is given.
    WriteBytes(name, "left alone");
    etalons.SaveToFile("");
    EXPECT_EQ(ReadBytes(name), "left alone");
    etalons.SaveToFile(name);
    EXPECT_EQ(PlainParts(ReadBytes(name)).Table, "NNS;01/02/2024\r\n");

    // A store that was never opened is saved empty, never as an empty file.
    TJournal never;
    never.SaveToFile(dir.File("Sent/ABC.JOURNAL"));
    EXPECT_EQ(Hex(ReadBytes(dir.File("Sent/ABC.JOURNAL"))), Hex(EmptyPacked));
}

TEST(InternalDataTest, DamagedFilesAreRefused)
{
    TEtalons etalons;
    const std::string table = "SAL;01/02/2024\r\n";
    const std::string oneMemo = Child("list");
    std::string tableCRC = StoreFile(table, oneMemo);
    tableCRC[4 + Packed(table).size() - 1] ^= 1;
    EXPECT_RAISES(LoadBytes(etalons, tableCRC), Exception, "Несовпадение CRC32");
    EXPECT_RAISES(LoadBytes(etalons, Child(Packed(table))), Exception,
                  "Выход номера дочернего потока за пределы диапазона");
    EXPECT_RAISES(LoadBytes(etalons, StoreFile(table, "")), Exception,
                  "Выход номера дочернего потока за пределы диапазона");
    EXPECT_RAISES(LoadBytes(etalons, StoreFile(table, oneMemo + oneMemo)), EReadError, "Ошибка чтения потока");
    EXPECT_RAISES(LoadBytes(etalons, StoreFile(table, oneMemo + "\x01")), EReadError, "Ошибка чтения потока");

    // Nothing of a damaged file stays behind.
    EXPECT_FALSE(etalons.Open());
    EXPECT_EQ(etalons.RecordCount(), 0);
    etalons.Append();
    EXPECT_EQ(Hex(PlainParts(SavedBytes(etalons)).Memos), "00 00 00 00");
}

// A row that the store's file holds already is found in the file itself: the store is then
// not even loaded. A damaged file is never taken as holding it.
TEST(InternalDataTest, AnUpdateUnlessHeldAsksTheFileFirst)
{
    TTempDir dir;
    const AnsiString name = dir.File("ABC.ETALONS");
    const std::string table = "SAL;01/02/2024\r\nNNS;01/02/2024\r\n";
    const std::string memos = Child("sal list") + Child("list");
    TMemoryStream bytes;
    int changes = 0;
    // Whether the store was loaded to store `list`.
    const auto update = [&](const std::string& file, const TRowFields& fields, const std::string& list = "list") {
        WriteBytes(name, file);
        bytes.SetSize(0);
        bytes.WriteString(".." + list);
        bytes.SetPosition(2);
        TEtalons store;
        UpdateStoreUnlessHeld(store, name, fields, 0, bytes, [&] { ++changes; });
        return store.Open();
    };
    const TRowFields nns{{1, "NNS"}, {2, "01/02/2024"}};
    EXPECT_FALSE(update(StoreFile(table, memos), nns));
    EXPECT_EQ(bytes.Position(), 2);
    EXPECT_TRUE(update(StoreFile(table, memos), {{1, "SAL"}, {2, "01/02/2024"}}));
    EXPECT_EQ(changes, 1);
    // A long list is compared across the pieces it is inflated in, to its last byte.
    std::string longList(3 << 19, 'x');
    for (size_t i = 0; i < longList.size(); i += 7)
        longList[i] = char(i / 7);
    const std::string longFile = StoreFile(table, Child("sal list") + Child(longList));
    EXPECT_FALSE(update(longFile, nns, longList));
    longList.back() ^= 1;
    EXPECT_TRUE(update(longFile, nns, longList));
    EXPECT_EQ(changes, 2);

    std::string badCRC = StoreFile(table, memos);
    badCRC.back() ^= 1;
    EXPECT_RAISES(update(badCRC, nns), Exception, "Несовпадение CRC32");
    EXPECT_RAISES(update(StoreFile(table, memos + Child("x")), nns), EReadError, "Ошибка чтения потока");
    EXPECT_RAISES(update(StoreFile(table, memos + "\x01"), nns), EReadError, "Ошибка чтения потока");
    EXPECT_EQ(changes, 2);

    TJournal journal;
    EXPECT_RAISES(UpdateStoreUnlessHeld(journal, dir.File("X.JOURNAL"), {}, 0, bytes, [] {}), Exception,
                  "Выход индекса MEMO-поля за пределы диапазона");
}

TEST(StoreFileNamesTest, InTheProfilesWorkingFolders)
{
    TTempDir dir;
    TSelectedProfile selected(dir.File("velton.ini"), dir.Path() + "Банк");
    const AnsiString data = dir.Path() + "Банк/";
    EXPECT_ANSI_EQ(JournalFileName("ABC"), data + "Sent/ABC.JOURNAL");
    EXPECT_ANSI_EQ(MessagesFileName("ABC"), data + "Cache/ABC.MESSAGES");
    EXPECT_ANSI_EQ(EtalonsFileName("xyz"), data + "Cache/XYZ.ETALONS");
    EXPECT_ANSI_EQ(ReplyFilesName("abc000001.txt", "NewCliReply"), data + "Cache/ABC.NEWCLIREPLY");
    EXPECT_ANSI_EQ(ReplyFilesName("AB", "NewCliReply"), data + "Cache/AB.NEWCLIREPLY");
    // The characters come from the bank: none of them leads out of the folder.
    EXPECT_ANSI_EQ(ReplyFilesName("../etc", "NewCliReply"), data + "Cache/.NEWCLIREPLY");
    EXPECT_ANSI_EQ(ReplyFilesName("a\\bc", "NewCliReply"), data + "Cache/B.NEWCLIREPLY");
    EXPECT_FALSE(DirectoryExists(data + "Cache/"));
}
