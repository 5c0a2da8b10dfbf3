// The program's table files against an independent reader and writer in Python (struct,
// re and zlib alone), both ways, also after rows were appended to a loaded file.

#include "documents/Internals.h"

#include "../DataFileHelpers.h"
#include "RunTool.h"
#include "platform/Encoding.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace {

class TableTool : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(HaveTool("python3")) << "python3 is missing: run scripts/setup.sh --tests"; }

    // Runs the tool on the table with standard input given as UTF-8; its output in CP1251.
    AnsiString Tool(const std::string& command, int memos, const AnsiString& input = AnsiString())
    {
        const TToolResult result =
            RunTool({"python3", SourceDir() + "tests/documents/integration/table_tool.py", command,
                     ToSystemPath(Table), std::to_string(memos)},
                    "", AnsiToUtf8(input));
        EXPECT_EQ(result.ExitCode, 0) << result.Err;
        return Utf8ToAnsi(result.Out);
    }

    // The rows of the store from first to last, as the tool prints them.
    static AnsiString AsJson(TInternalData& store)
    {
        AnsiString json;
        for (store.First(); !store.Eof(); store.Next()) {
            json += "[";
            for (int i = 0; i < store.CurRecord()->Count(); ++i)
                json += (i > 0 ? ", \"" : "\"") + JsonText(store.CurRecord()->Get(i)) + "\"";
            json += "]\n";
        }
        return json;
    }

    static AnsiString JsonText(const AnsiString& text)
    {
        AnsiString escaped;
        for (char c : text) {
            if (c == '"' || c == '\\')
                escaped += AnsiString("\\") + c;
            else if (c == '\r')
                escaped += "\\r";
            else if (c == '\n')
                escaped += "\\n";
            else if (static_cast<unsigned char>(c) < 0x20)
                escaped += "\\u00" + IntToHex(static_cast<unsigned char>(c), 2);
            else
                escaped += c;
        }
        return escaped;
    }

    static void AppendRow(TInternalData& store, std::initializer_list<AnsiString> fields)
    {
        store.Append();
        int index = 0;
        for (const AnsiString& field : fields)
            store.CurRecord()->Set(index++, field);
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
    EXPECT_ANSI_EQ(Tool("read", 3), AsJson(messages));

    // Rows appended to the loaded file: the loaded deflate data goes on.
    TMessages loaded;
    loaded.LoadFromFile(Table);
    AppendRow(loaded, {"новое", "", "", "new", "02/02/2024 11:00:00", "now"});
    loaded.SaveToFile("");
    EXPECT_ANSI_EQ(Tool("read", 3), AsJson(loaded));

    Table = Temp.File("ABC.JOURNAL");
    TJournal journal;
    AppendRow(journal, {"ABC000042", "Salary", "3", "1500.00", "", Awkward, "01/02/2024 10:00:00", "ABC000042.TLB"});
    journal.SaveToFile(Table);
    EXPECT_ANSI_EQ(Tool("read", 0), AsJson(journal));
}

TEST_F(TableTool, StoresFromPythonLoadInTheProgram)
{
    Tool("write", 3,
         "[\"Текст\\r\\n\", \"\", \"bad.TLB: ошибка\\r\\n\", \"Заголовок\", \"a;b#c\\u0000\", \"now\"]\n"
         "[\"\", \"\", \"\"]\n");
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
    EXPECT_ANSI_EQ(Tool("read", 3), AsJson(messages));
}

TEST_F(TableTool, DamageIsFoundByBothReaders)
{
    TEtalons etalons;
    AppendRow(etalons, {"list", "SAL", "01/02/2024"});
    etalons.SaveToFile(Table);
    std::string bytes = ReadBytes(Table);
    bytes[bytes.size() - 1] ^= 1;   // the CRC of the memo area
    WriteBytes(Table, bytes);

    const TToolResult result = RunTool(
        {"python3", SourceDir() + "tests/documents/integration/table_tool.py", "read", ToSystemPath(Table), "1"});
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Err, "damaged: CRC mismatch\n");
    EXPECT_RAISES(etalons.LoadFromFile(Table), Exception, "Несовпадение CRC32");
}
