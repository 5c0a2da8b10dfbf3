// Archives written by the program against Info-ZIP and Python's zipfile, and archives
// written by them against the program.

#include "documents/Zipfiles.h"

#include "../StreamBytes.h"
#include "RunTool.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <map>

namespace {

// Lists every member as "name in hexadecimal pairs/method/size/crc", after zipfile's own test.
const char* PythonLister = R"(
import sys, zipfile, zlib
with zipfile.ZipFile(sys.argv[1]) as archive:
    assert archive.testzip() is None
    for info in archive.infolist():
        data = archive.read(info)
        name = ' '.join('%02X' % b for b in info.filename.encode('cp437'))
        print('%s/%d/%d/%d' % (name, info.compress_type, len(data), zlib.crc32(data)))
)";

// Writes an archive with one deflated and one stored member, as Python does by default.
const char* PythonWriter = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as archive:
    archive.writestr('deflated.txt', sys.argv[2] * 500, compress_type=zipfile.ZIP_DEFLATED)
    archive.writestr('stored.txt', sys.argv[2], compress_type=zipfile.ZIP_STORED)
)";

class ZipTools : public ::testing::Test {
protected:
    void SetUp() override { RequireTools({"zip", "unzip", "python3"}); }

    void Save(TZipFile& zip, const AnsiString& path)
    {
        TFileStream file(path, fmCreate);
        zip.SaveToStream(&file);
    }

    std::map<AnsiString, std::string> Members(TZipFile& zip)
    {
        std::map<AnsiString, std::string> members;
        for (int i = 0; i < zip.Count(); ++i)
            members[zip.At(i)->Name()] = StreamBytes(*zip.At(i));
        return members;
    }

    TTempDir Dir;
};

TEST_F(ZipTools, ProgramArchivesPassUnzipAndPython)
{
    TZipFile zip;
    AddMember(zip, "DATAFILE.000", DelimitedText(200000));
    AddMember(zip, "EMPTY.000", "");
    AddMember(zip, "BINARY.BIN", RandomBytes(70000, 1));
    AddMember(zip, "Отчёт.txt", "CP1251 name");
    const AnsiString path = Dir.File("out.zip");
    Save(zip, path);

    const TToolResult test = RunTool({"unzip", "-t", path});
    EXPECT_EQ(test.ExitCode, 0) << test.Out << test.Err;
    EXPECT_NE(test.Out.find("No errors detected"), std::string::npos) << test.Out;

    const TToolResult listed = RunTool({"python3", "-c", PythonLister, path});
    ASSERT_EQ(listed.ExitCode, 0) << listed.Err;
    std::string expected;
    for (int i = 0; i < zip.Count(); ++i) {
        const std::string bytes = StreamBytes(*zip.At(i));
        expected += Hex(zip.At(i)->Name()) + "/8/" + std::to_string(bytes.size()) + "/" +
                    std::to_string(ZlibCRC(bytes)) + "\n";
    }
    EXPECT_EQ(listed.Out, expected);
}

TEST_F(ZipTools, ArchivesMadeByZipAreRead)
{
    const std::string text = DelimitedText(100000);
    const std::string binary = RandomBytes(30000, 2);
    WriteBytes(Dir.File("a.txt"), text);
    WriteBytes(Dir.File("b.bin"), binary);
    std::filesystem::create_directory(Dir.File("sub"));
    WriteBytes(Dir.File("sub/c.txt"), "inside a folder");
    WriteBytes(Dir.File("empty.txt"), "");

    for (const char* level : {"-6", "-0", "-9"}) {
        SCOPED_TRACE(level);
        const std::string name = std::string("made") + level + ".zip";
        const TToolResult made = RunTool(
            {"zip", "-q", "-r", level, name, "a.txt", "b.bin", "sub", "empty.txt"}, Dir.Path());
        ASSERT_EQ(made.ExitCode, 0) << made.Err;

        TZipFile zip;
        LoadZip(zip, ReadBytes(Dir.File(name)));
        // The folder entry "sub/" is left out.
        const std::map<AnsiString, std::string> expected = {
            {"a.txt", text}, {"b.bin", binary}, {"sub/c.txt", "inside a folder"}, {"empty.txt", ""}};
        EXPECT_EQ(zip.Count(), 4);
        EXPECT_TRUE(Members(zip) == expected);
    }
}

TEST_F(ZipTools, StreamedZipIsRefused)
{
    // Written to a pipe, zip cannot go back to its headers and sends data descriptors.
    const TToolResult streamed = RunTool({"zip", "-q", "-", "-"}, Dir.Path(), DelimitedText(5000));
    ASSERT_EQ(streamed.ExitCode, 0) << streamed.Err;
    TZipFile zip;
    EXPECT_RAISES(LoadZip(zip, streamed.Out), Exception, "Неподдерживаемый формат ZIP-файла");
    EXPECT_EQ(zip.Count(), 0);
}

TEST_F(ZipTools, ArchivesMadeByPythonAreRead)
{
    const AnsiString path = Dir.File("python.zip");
    const TToolResult made = RunTool({"python3", "-c", PythonWriter, path, "line;of;text\r\n"});
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
    TZipFile zip;
    LoadZip(zip, ReadBytes(path));
    std::string repeated;
    for (int i = 0; i < 500; ++i)
        repeated += "line;of;text\r\n";
    const std::map<AnsiString, std::string> expected = {{"deflated.txt", repeated},
                                                        {"stored.txt", "line;of;text\r\n"}};
    EXPECT_TRUE(Members(zip) == expected);
}

} // namespace
