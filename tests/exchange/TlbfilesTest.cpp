// The transfer container: its member header reader, and the archive saved and loaded
// through the current cipher (a fake gpg that passes the bytes through).

#include "CipherSupport.h"
#include "exchange/ExchangeProfile.h"

#include "exchange/Tlbfiles.h"
#include "platform/Classes.h"
#include "support/TestSupport.h"

namespace {

struct THeader {
    std::vector<AnsiString> Entries;
    std::string Rest;   // what the stream holds from where the reader left it
};

// Reads the header of the bytes from `start` on.
THeader ReadHeader(const std::string& bytes, int64_t start = 0)
{
    TMemoryStream stream;
    stream.WriteString(bytes);
    stream.SetPosition(start);
    TStringList list;
    list.Add("left over");
    ReadTlbHeader(&list, &stream);
    const int64_t position = stream.Position();
    return {list.Items(), bytes.substr(static_cast<size_t>(position))};
}

using TEntries = std::vector<AnsiString>;

TEST(TlbHeaderTest, EveryLineEndEndsALineAlsoWhenSplitAcrossTheReadingChunks)
{
    for (const std::string end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(Hex(end));
        const THeader header = ReadHeader("FILE_TYPE=ETALON" + end + "<DATA>" + end + "\r\npayload");
        EXPECT_EQ(header.Entries, TEntries{"FILE_TYPE=ETALON"});
        EXPECT_EQ(header.Rest, "\r\npayload");
    }
    // An LF after a CR LF is an empty line of its own.
    EXPECT_EQ(ReadHeader("A=1\r\n\n<DATA>\n\nx").Rest, "\nx");

    // A CR LF split across the reading chunks: the mark's CR is byte 255, its LF byte 256: the payload starts at 257.
    const std::string filler = "A=" + std::string(255 - 2 - 8, 'x') + "\r\n";   // 255 - 8 bytes
    const std::string bytes = filler + "<DATA>\r\npayload";
    ASSERT_EQ(bytes.find("\r\npayload"), 255u);
    const THeader header = ReadHeader(bytes);
    EXPECT_EQ(header.Entries, TEntries{Trim(filler)});
    EXPECT_EQ(header.Rest, "payload");

    // A CR LF between two entry lines split the same way is one line end.
    const std::string first = "A=" + std::string(253, 'y');   // 255 characters
    EXPECT_EQ(ReadHeader(first + "\r\nB=2\r\n<DATA>\r\n").Entries, TEntries({first, "B=2"}));
}

TEST(TlbHeaderTest, EntriesFromThePositionOnTrimmedUpToAWholeMarkLine)
{
    // Empty lines are dropped, and a mark with more on its line is an entry.
    THeader header = ReadHeader("junk\r\n  PREFIX=ABC  \r\n\r\n\t\r\n<DATA>x\r\n  <data>  \r\nrest", 6);
    EXPECT_EQ(header.Entries, TEntries({"PREFIX=ABC", "<DATA>x"}));
    EXPECT_EQ(header.Rest, "rest");
    // Without a mark the whole stream is header; a mark as the last bytes leaves no payload.
    header = ReadHeader("FILE_TYPE=ETALONS\r\nCOUNT=1");
    EXPECT_EQ(header.Entries, TEntries({"FILE_TYPE=ETALONS", "COUNT=1"}));
    EXPECT_EQ(header.Rest, "");
    EXPECT_EQ(ReadHeader("A=1\r\n<DATA>\r\n").Rest, "");
}

TEST(TlbHeaderTest, LinesUpTo255CharactersWithoutNul)
{
    const std::string longest = "K=" + std::string(253, 'v');
    EXPECT_EQ(ReadHeader(longest + "\r\n<DATA>\r\n").Entries, TEntries{longest});
    EXPECT_RAISES(ReadHeader("A=1\r\n" + longest + "w\r\n<DATA>\r\n"), Exception,
                  "Слишком длинный параметр в заголовке TLB-файла");
    EXPECT_RAISES(ReadHeader(std::string("A=1\r\nB=\0\r\n<DATA>\r\npayload", 25)), Exception,
                  "Неверный формат заголовка TLB-файла");
    // A payload that starts with a NUL is no part of the header.
    EXPECT_EQ(ReadHeader(std::string("A=1\r<DATA>\r\0x", 13)).Rest, std::string("\0x", 2));
}

// ---- The container through the current cipher ----

constexpr char BankKey[] = "0123456789ABCDEF";

class TlbFileTest : public ::testing::Test {
protected:
    // The saved bytes of a container with these members.
    static std::string Save(const std::vector<std::pair<AnsiString, std::string>>& members)
    {
        TTlbFile container;
        for (const auto& [name, bytes] : members) {
            auto* member = new TZippedFile(nullptr, name);
            member->WriteString(bytes);
            container.Add(member);
        }
        TMemoryStream target;
        target.WriteString("kept");
        container.SaveToStream(&target);
        EXPECT_EQ(target.Bytes().substr(0, 4), "kept");
        return target.Bytes().substr(4);
    }

    TTempDir FDir;
    TFakeGpg FGpg{FDir.File("bin/")};
    TExchangeProfile FProfile{FDir, {"PgpKeyPath=" + FDir.File("keys/"), AnsiString("BankPgpKey=") + BankKey}};
};

TEST_F(TlbFileTest, SavedAndLoadedAgainOnlyWhenTheBankSignedIt)
{
    // The fake passes the bytes through: what it encrypts is the zip archive itself.
    FGpg.ScriptWithStatus(GoodSignatureStatus(BankKey));
    const std::string payload = RandomBytes(200000, 31);
    const std::string saved = Save({{"DATAFILE.000", "FILE_TYPE=ETALON\r\n<DATA>\r\n" + payload},
                                    {"DATAFILE.000", "FILE_TYPE=UPDATES\r\n"}});
    EXPECT_EQ(saved.substr(0, 4), "PK\x03\x04");

    TMemoryStream source;
    source.WriteString("skip" + saved);
    source.SetPosition(4);
    TTlbFile container;
    container.LoadFromStream(&source);
    ASSERT_EQ(container.Count(), 2);
    TStringList header;
    ReadTlbHeader(&header, container.At(0));
    EXPECT_EQ(header.Values("FILE_TYPE"), "ETALON");
    std::string rest(static_cast<size_t>(container.At(0)->Size() - container.At(0)->Position()), '\0');
    container.At(0)->ReadBuffer(rest.data(), static_cast<int32_t>(rest.size()));
    EXPECT_TRUE(rest == payload);
    EXPECT_ANSI_EQ(container.At(1)->Name(), "DATAFILE.000");
    EXPECT_EQ(container.At(1)->Position(), 0);

    // Not signed by the bank: the failure reaches the caller and the archive stays empty.
    // The archive's own failures: IncomingFilesTest.
    FGpg.ScriptWithStatus("");
    TTlbFile refused;
    source.SetPosition(4);
    EXPECT_RAISES(refused.LoadFromStream(&source), Exception, "Подпись банка не найдена либо некорректна");
    EXPECT_EQ(refused.Count(), 0);
}

} // namespace
