// The mail message that carries a container to the bank, byte for byte and as the
// receiving side (GMime) reads it.

#include "exchange/MailMessage.h"
#include "exchange/ReceivedMail.h"

#include "documents/Charsets.h"
#include "exchange/Transport.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;

const TMailFrame Frame{"Tue, 05 Mar 2024 09:07:02 +0300", "BND"};

TMailContent Content(const AnsiString& text, const AnsiString& fileName, const std::string& attachment)
{
    return TMailContent{"client@example.test", "bank@example.test", "ABC", text, fileName, attachment};
}

TEST(ComposeMailTest, WritesTheHeadersTheTextAndTheAttachment)
{
    EXPECT_EQ(ComposeMail(Content("abc", "ABC000001.TLB", std::string("\0\1\2\xFF", 4)), Frame),
              "From: client@example.test\r\n"
              "To: bank@example.test\r\n"
              "Subject: ZEM_TLB_MESSAGE ABC =?KOI8-R?B?YWJj?=\r\n"
              "Date: Tue, 05 Mar 2024 09:07:02 +0300\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: multipart/mixed; boundary=\"BND\"\r\n"
              "\r\n"
              "--BND\r\n"
              "Content-Type: text/plain; charset=KOI8-R\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "\r\n"
              "YWJjDQo=\r\n"
              "--BND\r\n"
              "Content-Type: application/octet-stream; name=\"ABC000001.TLB\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"ABC000001.TLB\"\r\n"
              "\r\n"
              "AAEC/w==\r\n"
              "--BND--\r\n");
}

TEST(ComposeMailTest, TheTextBecomesKoi8LinesEndedByCrLfAndAnEmptyTextAnEmptyPart)
{
    TReceivedMail mail = ReadMail(ComposeMail(Content("Первая\nвторая\r\nтретья\rконец", "A.TLB", "x"), Frame));
    ASSERT_EQ(mail.Parts.size(), 2u);
    EXPECT_EQ(Hex(mail.Parts[0].Content), Hex(AnsiToKoi8("Первая\r\nвторая\r\nтретья\r\nконец\r\n")));

    EXPECT_EQ(ReadMail(ComposeMail(Content("", "A.TLB", "x"), Frame)).Parts.at(0).Content, "");
}

TEST(ComposeMailTest, OnlyTheSubjectLineIsLongerThanABase64Line)
{
    AnsiString text;
    while (text.size() < 500)
        text += "Список на зачисление за декабрь. ";
    std::string attachment;
    for (int i = 0; i < 100000; ++i)
        attachment.push_back(static_cast<char>(i * 7 % 251));
    const std::string message = ComposeMail(Content(text, "ABC000001.TLB", attachment), Frame);

    int subjects = 0;
    size_t start = 0;
    for (size_t end = message.find("\r\n"); end != std::string::npos; end = message.find("\r\n", start)) {
        const std::string line = message.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        if (line.rfind("Subject: ", 0) == 0)
            ++subjects;
        else
            EXPECT_LE(line.size(), 76u) << line;
        start = end + 2;
    }
    EXPECT_EQ(start, message.size());   // the message ends with its last line's CR LF
    EXPECT_EQ(subjects, 1);
    const TReceivedMail mail = ReadMail(message);
    ASSERT_EQ(mail.Parts.size(), 2u);
    EXPECT_EQ(mail.Parts[0].Content, AnsiToKoi8(text + "\r\n"));
    EXPECT_EQ(mail.Parts[1].Content, attachment);
}

TEST(ComposeMailTest, ANameOutsidePlainAsciiGoesAsAKoi8WordThatGMimeReadsBack)
{
    const std::string message = ComposeMail(Content("abc", "Выписка.TLB", "x"), Frame);
    const AnsiString word = "=?KOI8-R?B?" + EncodeBase64(AnsiToKoi8("Выписка.TLB")) + "?=";
    EXPECT_NE(message.find("name=\"" + word + "\"\r\n"), std::string::npos);
    EXPECT_NE(message.find("filename=\"" + word + "\"\r\n"), std::string::npos);
    EXPECT_ANSI_EQ(ReadMail(message).Parts.at(1).FileName, "Выписка.TLB");

    // A quote or a line break in a name never reaches a header as it is.
    const AnsiString oddName = "a\"b\r\nX-Injected: 1";
    const std::string odd = ComposeMail(Content("abc", oddName, "x"), Frame);
    EXPECT_EQ(odd.find("X-Injected"), std::string::npos);
    EXPECT_NE(odd.find("filename=\"" + EncodeSubjectWord(oddName) + "\"\r\n"), std::string::npos);
    EXPECT_EQ(DecodeHeaderWords(EncodeSubjectWord(oddName)), oddName);
}

TEST(MailFrameTest, DatesHaveEnglishNamesAndTheOffsetAndEveryMessageItsOwnBoundary)
{
    const std::tm moment{.tm_sec = 2, .tm_min = 7, .tm_hour = 9, .tm_mday = 5, .tm_mon = 2, .tm_year = 2024 - 1900,
                         .tm_wday = 2};
    EXPECT_EQ(FormatMailDate(moment, -(4 * 3600 + 30 * 60)), "Tue, 05 Mar 2024 09:07:02 -0430");

    const TMailFrame first = NewMailFrame();
    const TMailFrame second = NewMailFrame();
    EXPECT_NE(first.Boundary, second.Boundary);
    EXPECT_EQ(first.Boundary.size(), 41u);
    // "=_" cannot occur in Base64 text: no content line is taken for a boundary.
    EXPECT_EQ(first.Boundary.rfind("=_", 0), 0u);
}

// Named addresses and lists of them against the servers: SendersTest, ReceiversTest.
TEST(MailAddressesTest, AnAddressTextOfNoAddressGivesNone)
{
    EXPECT_THAT(MailAddresses(" , "), ElementsAre());
}

} // namespace
