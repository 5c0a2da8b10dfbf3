#pragma once
// What the end-to-end exchange tests share: the client's and the bank's gpg keys, the
// local mail and HTTP servers, the client's profile over them, and the bank's side of a
// send: a container opened as the bank opens it (decrypted with the bank's key, the
// client's signature verified, the archive read by Python's zipfile), the attachment of
// a mailed or posted message, and the rows of the send journal the program keeps.

#include "exchange/ExchangeProfile.h"
#include "exchange/GpgHome.h"

#include "documents/Internals.h"
#include "documents/ProfileFiles.h"
#include "exchange/BankContainers.h"
#include "exchange/MailMessage.h"
#include "exchange/ReceivedMail.h"
#include "support/ScriptedDialogs.h"
#include "support/TestServers.h"
#include "support/TestSupport.h"

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>

inline constexpr unsigned ErrorBox = MessageBoxFlags::Ok | MessageBoxFlags::IconError;
inline constexpr unsigned WarningBox = MessageBoxFlags::Ok | MessageBoxFlags::IconWarning;

// A date and time as the journal writes it.
inline const std::regex JournalMoment("\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d");

// The bytes of the container's one member "DATAFILE.000".
inline std::string OpenAtBank(const TGpgParties& keys, const std::string& container)
{
    const TProgramRun opened = keys.Bank.Gpg({"--status-fd", "2", "--decrypt"}, container);
    EXPECT_THAT(opened.Errors, ::testing::HasSubstr("[GNUPG:] GOODSIG "));
    EXPECT_THAT(opened.Errors, ::testing::HasSubstr(" " + keys.Client.Fingerprint + "\n"));
    TTempDir dir;
    WriteBytes(dir.File("c.zip"), opened.Output);
    const TProgramRun unzipped = RunProgram(
        {"/usr/bin/python3", "-c",
         "import sys, zipfile\n"
         "archive = zipfile.ZipFile(sys.argv[1])\n"
         "assert archive.namelist() == ['DATAFILE.000'], archive.namelist()\n"
         "assert archive.testzip() is None\n"
         "sys.stdout.buffer.write(archive.read('DATAFILE.000'))\n",
         dir.File("c.zip")});
    EXPECT_EQ(unzipped.ExitCode, 0) << unzipped.Errors;
    return unzipped.Output;
}

// The one attachment of a mailed or posted message, checked to carry the name.
inline std::string Attachment(const std::string& message, const AnsiString& fileName)
{
    const TReceivedMail mail = ReadMail(message);
    EXPECT_EQ(mail.Parts.size(), 2u);
    if (mail.Parts.size() != 2)
        return {};
    EXPECT_ANSI_EQ(mail.Parts[1].FileName, fileName);
    return mail.Parts[1].Content;
}

// The rows of the journal of prefix ABC in the folder's "Sent/", each as its eight fields.
inline std::vector<std::vector<std::string>> JournalRows(const TTempDir& dir)
{
    TJournal journal;
    journal.LoadFromFile(dir.File("Sent/ABC.JOURNAL"));
    std::vector<std::vector<std::string>> rows;
    for (journal.First(); !journal.Eof(); journal.Next()) {
        rows.emplace_back();
        for (int field = 0; field < 8; ++field)
            rows.back().push_back(journal.CurRecord()->Get(field));
    }
    return rows;
}

// The client ABC with its gpg keys (no prompt about a key medium), the local servers and
// the bank's side of both.
class TBankExchangeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Keys = std::make_unique<TGpgParties>(); }
    static void TearDownTestSuite() { Keys.reset(); }

    // The profile ABC with the gpg keys and the keys given.
    void SelectProfile(std::vector<AnsiString> keys)
    {
        keys.insert(keys.end(), {"PgpKeyPath=" + Keys->Client.Path, "BankPgpKey=" + Keys->Bank.KeyId()});
        Profile = std::make_unique<TExchangeProfile>(Dir, keys);
    }
    // Sending by SMTP to the local mail server.
    void SelectMailProfile(std::vector<AnsiString> keys)
    {
        keys.insert(keys.end(), {"SendHost=127.0.0.1", "SendPort=" + std::to_string(Mail.StartSmtp())});
        SelectProfile(keys);
    }
    // Sending to the HTTP bank, with the client's user.
    void SelectHttpProfile(std::vector<AnsiString> keys)
    {
        Bank.AddUser("client", "secret");
        Bank.Start();
        keys.insert(keys.end(), {"SendType=HTTP", "SendHost=" + Bank.Host()});
        SelectProfile(keys);
    }
    // Receiving by POP3 and sending by SMTP through the local mail server (both started).
    void SelectMailboxProfile(std::vector<AnsiString> keys = {})
    {
        Mail.Start();
        keys.insert(keys.end(), {"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(Mail.Ports().Pop3),
                                 "SendType=SMTP", "SendHost=127.0.0.1", "SendPort=" + std::to_string(Mail.Ports().Smtp),
                                 "EMail=client@example.test", "BankEMail=bank@example.test"});
        SelectProfile(keys);
    }

    // A message of the bank in the client's mailbox: the container sealed from the members.
    void MailFromBank(const AnsiString& text, const AnsiString& fileName, const std::vector<std::string>& members)
    {
        Mail.PutMessage(BankMail(text, fileName, Sealed(members)));
    }
    static std::string BankMail(const AnsiString& text, const AnsiString& fileName, const std::string& container)
    {
        const TMailContent content{"bank@example.test", "client@example.test", "ABC", text, fileName, container};
        return ComposeMail(content, NewMailFrame());
    }
    static std::string Sealed(const std::vector<std::string>& members)
    {
        return Keys->SealedByBank(BankArchive(members));
    }

    static std::string OpenAtBank(const std::string& container) { return ::OpenAtBank(*Keys, container); }
    std::vector<std::vector<std::string>> JournalRows() const { return ::JournalRows(Dir); }
    std::string Ini() const { return ReadBytes(Dir.File("velton.ini")); }

    // The messages the HTTP bank received, as mail.
    std::vector<std::string> Posted() const
    {
        std::vector<std::string> messages;
        for (const TUpload& upload : Bank.Uploads())
            messages.push_back(upload.Field("file"));
        return messages;
    }

    static inline std::unique_ptr<TGpgParties> Keys;

    TTempDir Dir;
    TMailServer Mail;
    TBankHttpServer Bank;
    std::unique_ptr<TExchangeProfile> Profile;
};
