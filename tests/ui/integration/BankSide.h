#pragma once
// The bank's side of the end-to-end send tests: a container opened as the bank opens it
// (decrypted with the bank's key, the client's signature verified, the archive read by
// Python's zipfile), the attachment of a mailed or posted message, and the rows of the
// send journal the program keeps.

#include "exchange/GpgHome.h"

#include "documents/Internals.h"
#include "exchange/ReceivedMail.h"
#include "support/TestSupport.h"

#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>

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

// The lines, each ended by CR LF.
inline std::string HeaderLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}
