// dBase tables written by an independent reader and writer in Python (struct alone)
// against the program's dBase file, both ways: loaded and saved unchanged (reserved
// bytes included), and deleted, edited and appended records read back there.

#include "documents/Datafiles.h"

#include "../DataFileHelpers.h"
#include "RunTool.h"
#include "platform/Encoding.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <vector>

namespace {

class DBaseTool : public ::testing::Test {
protected:
    void SetUp() override { RequireTools({"python3"}); }

    // Runs the tool; its output (UTF-8) in CP1251.
    AnsiString Tool(const std::string& command, const AnsiString& file)
    {
        const TToolResult result =
            RunTool({"python3", SourceDir() + "tests/documents/integration/dbf_tool.py", command,
                     ToSystemPath(file)});
        EXPECT_EQ(result.ExitCode, 0) << result.Err;
        return Utf8ToAnsi(result.Out);
    }

    TTempDir Temp;
    AnsiString Table = Temp.File("зарплата.dbf");
};

}  // namespace

TEST_F(DBaseTool, TableFromPythonIsSavedUnchanged)
{
    Tool("write", Table);
    const std::string written = ReadBytes(Table);
    TDBaseFile file(nullptr, CodePageCp866);
    file.LoadFromFile(Table);
    ASSERT_EQ(file.RecordCount(), 2);
    EXPECT_EQ(CurrentRow(file), (std::vector<AnsiString>{"Иванов", "1500.50", "31/01/2015", "True", "(memo)", "3"}));
    file.CurRecord()->Set(4, "ignored");   // a memo field keeps its bytes
    file.Next();
    EXPECT_EQ(CurrentRow(file), (std::vector<AnsiString>{"Петрова", "", "", "", "", "12"}));
    file.SaveToFile(Table);
    EXPECT_EQ(Hex(ReadBytes(Table)), Hex(written));
}

TEST_F(DBaseTool, EditedTableReadsBackInPython)
{
    Tool("write", Table);
    TDBaseFile file(nullptr, CodePageCp866);
    file.LoadFromFile(Table);
    file.Delete();
    file.CurRecord()->Set(0, "Ёлкина-Петр");
    file.CurRecord()->Set(1, "200");
    file.CurRecord()->Set(2, "5/3/2016");
    file.CurRecord()->Set(3, "true");
    file.Append();
    file.CurRecord()->Set(0, "Сидоров");
    file.CurRecord()->Set(1, "-0.5");
    file.CurRecord()->Set(3, "");
    file.CurRecord()->Set(5, "7");
    file.SaveToFile("");
    EXPECT_FALSE(FileExists(Table + ".$00"));

    EXPECT_ANSI_EQ(Tool("read", Table), "deleted|Иванов|1500.50|2015-01-31|True|17|3\n"
                                        "deleted|Уволенный|1.00|2014-01-01|False||\n"
                                        "live|Ёлкина-Петр|200.00|2016-03-05|True||12\n"
                                        "live|Сидоров|-0.50||?||7\n");
}
