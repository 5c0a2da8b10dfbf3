// The reference-list query and the arbitrary file from the wizard to the bank with the
// real gpg and the local servers: what the bank receives, opened on its side, and what the
// program records, also when the file, the send or the recording fails.

#include "../RecordingView.h"
#include "BankSide.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "exchange/Transport.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/ArbitraryWizard.h"
#include "ui/QueryWizard.h"

#include <cerrno>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class OutgoingWizardsTest : public TBankExchangeTest {
protected:
    // Runs the wizard through the file and comment pages; it stays on the page the send led to.
    void SendFile(TArbitraryWizard& wizard, const AnsiString& fileName, const AnsiString& comment)
    {
        wizard.SetView(&View);
        wizard.Start();
        View.Name = fileName;
        wizard.Next();
        View.Comment = comment;
        wizard.Next();
    }

    // The member as the bank reads it: the header up to "<FILE>", and the file's bytes
    // decoded by Python from lines that must each hold 76 characters but the last.
    static std::pair<std::string, std::string> ArbitraryAtBank(const std::string& member)
    {
        const size_t body = member.find("<FILE>\r\n");
        EXPECT_NE(body, std::string::npos);
        const TProgramRun decoded = RunProgram(
            {"/usr/bin/python3", "-c",
             "import sys, base64\n"
             "lines = sys.stdin.buffer.read().split(b'\\r\\n')\n"
             "assert lines[-1] == b'', 'the last line has no line end'\n"
             "lines = lines[:-1]\n"
             "assert all(len(line) == 76 for line in lines[:-1]), 'a short line before the last'\n"
             "assert not lines or 0 < len(lines[-1]) <= 76\n"
             "sys.stdout.buffer.write(base64.b64decode(b''.join(lines), validate=True))\n"},
            member.substr(body + 8));
        EXPECT_EQ(decoded.ExitCode, 0) << decoded.Errors;
        return {member.substr(0, body + 8), decoded.Output};
    }

    static std::string ArbitraryHeader(const std::string& fileName, const std::string& comment)
    {
        return IniText({"FILE_TYPE=ARBITRARY", "ARM_VERSION=" + GetShortFileVersion(), "PREFIX=ABC",
                        "FILE_NAME=" + fileName, "FILE_COMMENT=" + comment, "<FILE>"});
    }

    TRecordingView View;
};

TEST_F(OutgoingWizardsTest, TheQueryNamesTheReferenceListsInItsHeaderAlone)
{
    SelectMailProfile({"Salary.EtalonTypes=NNS,SAL", "Salary.EtalonExpire=30", "Salary.FileCount=5"});
    for (int run = 0; run < 2; ++run) {
        TQueryWizard wizard;
        wizard.SetView(&View);
        wizard.Start();
        EXPECT_ANSI_EQ(View.Page,
                       "message:Сейчас в банк будет отправлен запрос на формирование новых эталонных списков.\n\n");
        wizard.Next();
        EXPECT_ANSI_EQ(View.Page, "message:Запрос успешно отправлен в банк.");
        ExpectButtons(View.Buttons, "< Назад", "Выход", false, true);
    }

    const std::vector<TMailFile> mailed = Mail.Messages();
    ASSERT_EQ(mailed.size(), 2u) << Mail.Logs();
    for (const TMailFile& message : mailed) {
        EXPECT_EQ(Hex(ReadMail(message.Bytes).Parts[0].Content), Hex(AnsiToKoi8("Запрос на эталонные списки\r\n")));
        EXPECT_EQ(Hex(OpenAtBank(Attachment(message.Bytes, "ABCQUERY.TLB"))),
                  Hex(IniText({"FILE_TYPE=QUERY_ETALON", "ARM_VERSION=" + GetShortFileVersion(), "PREFIX=ABC",
                                   "ETALON_TYPES=NNS,SAL"})));
    }
    // A query is neither counted, nor archived, nor journalled.
    EXPECT_THAT(Ini(), HasSubstr("Salary.FileCount=5\r\n"));
    EXPECT_FALSE(DirectoryExists(Dir.File("Sent/")));
}

TEST_F(OutgoingWizardsTest, FilesOfEveryLengthReachTheBankAsTheyWereAndEachSendIsRecorded)
{
    SelectMailProfile({"Arbitrary.FileCount=41"});
    const std::vector<std::pair<std::string, std::string>> files = {
        {"пусто.txt", ""},
        {"57.bin", RandomBytes(57, 1)},   // one Base64 line of 76 characters
        {"58.bin", RandomBytes(58, 1)},   // and a second line
        {"большой.bin", RandomBytes(3 * 1024 * 1024 + 5, 1)},
    };
    for (const auto& [name, bytes] : files) {
        ForceDirectories(Dir.File("in/"));
        WriteBytes(Dir.File("in/" + name), bytes);
        TArbitraryWizard wizard;
        SendFile(wizard, Dir.File("in/" + name), "Файл " + name);
        EXPECT_ANSI_EQ(View.Page, "message:Файл успешно отправлен в банк.");
        ExpectButtons(View.Buttons, "< Назад", "Выход", false, true);
    }

    const std::vector<TMailFile> mailed = Mail.Messages();
    ASSERT_EQ(mailed.size(), files.size()) << Mail.Logs();
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& [name, bytes] = files[i];
        const AnsiString containerName = "ABC0000" + std::to_string(41 + i) + "A.TLB";
        EXPECT_EQ(Hex(ReadMail(mailed[i].Bytes).Parts[0].Content),
                  Hex(AnsiToKoi8("Произвольный файл (" + containerName + ")\r\n")));
        const std::string container = Attachment(mailed[i].Bytes, containerName);
        const auto [header, decoded] = ArbitraryAtBank(OpenAtBank(container));
        EXPECT_EQ(Hex(header), Hex(ArbitraryHeader(name, "Файл " + name)));
        EXPECT_TRUE(decoded == bytes) << name;
        EXPECT_TRUE(ReadBytes(Dir.File("Sent/" + containerName)) == container) << name;
    }
    // The Base64 lines exactly: 57 bytes fill one line, 58 start a second one.
    const std::string member57 = OpenAtBank(Attachment(mailed[1].Bytes, "ABC000042A.TLB"));
    EXPECT_EQ(member57.size(), ArbitraryHeader("57.bin", "Файл 57.bin").size() + 78);
    const std::string member58 = OpenAtBank(Attachment(mailed[2].Bytes, "ABC000043A.TLB"));
    EXPECT_EQ(member58.substr(ArbitraryHeader("58.bin", "Файл 58.bin").size() + 76), "\r\n" + EncodeBase64(files[2].second.substr(57)) + "\r\n");

    EXPECT_THAT(Ini(), HasSubstr("\r\nArbitrary.FileCount=45\r\n"));
    auto rows = JournalRows();
    ASSERT_EQ(rows.size(), files.size());
    EXPECT_TRUE(std::regex_match(rows[3][6], JournalMoment)) << rows[3][6];
    rows[3][6] = "moment";
    EXPECT_THAT(rows[3], ElementsAre("большой.bin", "ARBITRARY", "", "", "", "Файл большой.bin", "moment",
                                     "ABC000044A.TLB"));
}

// Control characters would add header lines of their own; a file changed or gone since
// it was chosen would send something the user did not choose. Nothing is sent.
TEST_F(OutgoingWizardsTest, ControlCharactersAndAGoneFileSendNothingAndTheRetrySendsTheFileAsItIsThen)
{
    SelectMailProfile({"Arbitrary.FileCount=7"});
    // A backslash is an ordinary character of a file name.
    const AnsiString fileName = Dir.File("письмо\\1.txt");
    WriteBytes(fileName, "первая строка\r\n");
    TArbitraryWizard wizard;
    wizard.SetView(&View);
    wizard.Start();
    View.Name = Dir.File("a\nFILE_TYPE=X");
    EXPECT_RAISES(wizard.Next(), Exception,
                  "Имя файла содержит управляющие символы (перевод строки, табуляцию и т. п.). "
                  "Переименуйте файл или выберите другой");
    EXPECT_EQ(wizard.State, TArbitraryWizard::StateFile);
    View.Name = Dir.File("нет.txt");
    EXPECT_RAISES(wizard.Next(), Exception, "Файл не существует: " + Dir.File("нет.txt"));
    EXPECT_THAT(Ini(), HasSubstr("\r\nArbitrary.FileName=" + Dir.File("нет.txt") + "\r\n"));
    View.Name = fileName;
    wizard.Next();
    View.Comment = "текст\r\nFILE_NAME=чужой";
    EXPECT_RAISES(wizard.Next(), Exception,
                  "Комментарий к файлу содержит управляющие символы (перевод строки, табуляцию и т. п.). "
                  "Удалите их из комментария");
    EXPECT_EQ(wizard.State, TArbitraryWizard::StateComment);
    View.Comment = "письмо\t";
    EXPECT_THROW(wizard.Next(), Exception);

    View.Comment = "письмо";
    DeleteFile(fileName);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Файл не существует: " + fileName + ".", MessageBoxAnswer::Ok, ErrorBox);
        wizard.Next();
    }
    EXPECT_ANSI_EQ(View.Page, "message:Произошла ошибка при отправке файла.");
    ExpectButtons(View.Buttons, "< Назад", "Повтор", true, true);
    EXPECT_TRUE(Mail.Messages().empty());
    EXPECT_THAT(Ini(), HasSubstr("\r\nArbitrary.FileCount=7\r\n"));
    EXPECT_FALSE(DirectoryExists(Dir.File("Sent/")));

    // "Повтор" reads the file again: a new file under the chosen name is what is sent.
    WriteBytes(fileName, "другая строка\r\n");
    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "message:Файл успешно отправлен в банк.");
    ASSERT_EQ(Mail.Messages().size(), 1u);
    const auto [header, decoded] =
        ArbitraryAtBank(OpenAtBank(Attachment(Mail.Messages()[0].Bytes, "ABC000007A.TLB")));
    EXPECT_EQ(Hex(header), Hex(ArbitraryHeader("письмо\\1.txt", "письмо")));
    EXPECT_EQ(decoded, "другая строка\r\n");
}

TEST_F(OutgoingWizardsTest, AFailedSendKeepsTheNameTheCommentAndTheNumberForTheRetry)
{
    SelectHttpProfile({"Arbitrary.FileCount=999999"});
    const AnsiString fileName = Dir.File("отчет.pdf");
    WriteBytes(fileName, RandomBytes(1000, 1));
    Bank.FailWith("500", "put");
    TArbitraryWizard wizard;
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Сервер ответил ошибкой HTTP 500 Internal Server Error.", MessageBoxAnswer::Ok, ErrorBox);
        SendFile(wizard, fileName, "Отчет");
    }
    EXPECT_ANSI_EQ(View.Page, "message:Произошла ошибка при отправке файла.");
    EXPECT_THAT(Ini(), HasSubstr("\r\nArbitrary.FileName=" + fileName + "\r\n"));
    EXPECT_THAT(Ini(), HasSubstr("\r\nArbitrary.Comment=Отчет\r\n"));
    EXPECT_THAT(Ini(), HasSubstr("\r\nArbitrary.FileCount=999999\r\n"));
    EXPECT_FALSE(DirectoryExists(Dir.File("Sent/")));

    // An archive folder that cannot be made holds no name for the container: nothing is
    // sent, and the retry after the folder is mended sends the last number.
    Bank.ClearFailures();
    WriteBytes(Dir.File("Sent"), "not a folder");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(Dir.File("Sent") + ": " + SysErrorMessage(ENOTDIR) + ".", MessageBoxAnswer::Ok, ErrorBox);
        wizard.Next();
    }
    EXPECT_ANSI_EQ(View.Page, "message:Произошла ошибка при отправке файла.");
    EXPECT_TRUE(Posted().empty());
    DeleteFile(Dir.File("Sent"));
    wizard.Next();
    EXPECT_ANSI_EQ(View.Page, "message:Файл успешно отправлен в банк.");
    ExpectButtons(View.Buttons, "< Назад", "Выход", false, true);
    ASSERT_EQ(Posted().size(), 1u);
    Attachment(Posted()[0], "ABC999999A.TLB");
    EXPECT_THAT(Ini(), HasSubstr("\r\nArbitrary.FileCount=1000000\r\n"));

    // The next one overflows the counter and is not sent; the stored name and comment
    // stand in the next run's pages.
    TArbitraryWizard next;
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Переполнение счетчика выходного файла.", MessageBoxAnswer::Ok, ErrorBox);
        next.SetView(&View);
        View.Name.clear();
        View.Comment.clear();
        next.Start();
        EXPECT_ANSI_EQ(View.Name, fileName);
        EXPECT_ANSI_EQ(View.Comment, "Отчет");
        next.Next();
        next.Next();
    }
    EXPECT_EQ(next.State, TArbitraryWizard::StateFailed);
    EXPECT_EQ(Posted().size(), 1u);
}

}  // namespace
