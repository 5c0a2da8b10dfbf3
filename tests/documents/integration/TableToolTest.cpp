// The program's table files against an independent reader and writer in Python (struct,
// re and zlib alone), both ways, also after rows were appended to a loaded file.

#include "documents/Internals.h"

#include "../DataFileHelpers.h"
#include "RunTool.h"
#include "platform/Encoding.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace {

class TableTool : public ::testing::Test {
protected:
    void SetUp() override { RequireTools({"python3"}); }

    TToolResult Run(const std::string& command, int memos, const AnsiString& input = AnsiString())
    {
        return RunTool({"python3", SourceDir() + "tests/documents/integration/table_tool.py", command,
                        ToSystemPath(Table), std::to_string(memos)},
                       "", AnsiToUtf8(input));
    }

    // The tool's listing of the table (one line per record, its fields in hexadecimal).
    std::string Listing(int memos)
    {
        const TToolResult result = Run("read", memos);
        EXPECT_EQ(result.ExitCode, 0) << result.Err;
        return result.Out;
    }

    // The rows of the store from first to last, as the tool lists them.
    static std::string Expected(TInternalData& store)
    {
        std::string listing;
        for (store.First(); !store.Eof(); store.Next()) {
            for (int i = 0; i < store.CurRecord()->Count(); ++i)
                listing += (i > 0 ? "|" : "") + Hex(store.CurRecord()->Get(i));
            listing += "\n";
        }
        return listing;
    }

    TTempDir Temp;
    AnsiString Table = Temp.File("ABC.MESSAGES");
};

const AnsiString Awkward = AnsiString("a;b#c\r\nd") + '\0' + "e \"Ё\"";

}  // namespace

TEST_F(TableTool, StoresFromTheProgramReadInPython)
{
    TMessages messages;
    AppendRow(messages, {"Уважаемый клиент!\r\nСписок принят.\r\n", "Эталонный список SAL\r\n", "",
                         "Выписка", "01/02/2024 10:00:00", Awkward});
    AppendRow(messages, {"", "", "ABC000001.TLB: Ошибка распаковки\r\n", "", "", ""});
    AppendRow(messages, {std::string(100000, 'x'), "", "", "длинный"});
    messages.SaveToFile(Table);
    EXPECT_EQ(Listing(3), Expected(messages));

    // Rows appended to the loaded file: the loaded deflate data goes on.
    TMessages loaded;
    loaded.LoadFromFile(Table);
    AppendRow(loaded, {"новое", "", "", "new", "02/02/2024 11:00:00", "now"});
    loaded.SaveToFile("");
    EXPECT_EQ(Listing(3), Expected(loaded));

    Table = Temp.File("ABC.JOURNAL");
    TJournal journal;
    AppendRow(journal, {"ABC000042", "Salary", "3", "1500.00", "", Awkward, "01/02/2024 10:00:00", "ABC000042.TLB"});
    journal.SaveToFile(Table);
    EXPECT_EQ(Listing(0), Expected(journal));
}

TEST_F(TableTool, StoresFromPythonLoadInTheProgram)
{
    ASSERT_EQ(Run("write", 3,
                  "[\"Текст\\r\\n\", \"\", \"bad.TLB: ошибка\\r\\n\", \"Заголовок\", \"a;b#c\\u0000\", \"now\"]\n"
                  "[\"\", \"\", \"\"]\n")
                  .ExitCode,
              0);
    TMessages messages;
    messages.LoadFromFile(Table);
    ASSERT_EQ(messages.RecordCount(), 2);
    EXPECT_EQ(CurrentRow(messages), (std::vector<AnsiString>{"Текст\r\n", "", "bad.TLB: ошибка\r\n", "Заголовок",
                                                             AnsiString("a;b#c") + '\0', "now"}));
    messages.Next();
    EXPECT_EQ(CurrentRow(messages), (std::vector<AnsiString>{"", "", ""}));

    // Appended to the file Python deflated, and read back there.
    AppendRow(messages, {"ещё", "отчёт", "", "третье"});
    messages.SaveToFile("");
    EXPECT_EQ(Listing(3), Expected(messages));
}

TEST_F(TableTool, DamageIsFoundByBothReaders)
{
    TEtalons etalons;
    AppendRow(etalons, {"list", "SAL", "01/02/2024"});
    etalons.SaveToFile(Table);
    std::string bytes = ReadBytes(Table);
    bytes[bytes.size() - 1] ^= 1;   // the CRC of the memo area
    WriteBytes(Table, bytes);

    const TToolResult result = Run("read", 1);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Err, "damaged: CRC mismatch\n");
    EXPECT_RAISES(etalons.LoadFromFile(Table), Exception, "Несовпадение CRC32");
}
