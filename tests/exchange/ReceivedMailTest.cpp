// A fetched mail message as the processing sees it: the raw subject unfolded, the
// sender, the date, the text and the attachments.

#include "exchange/ReceivedMail.h"

#include "documents/Charsets.h"
#include "exchange/Transport.h"
#include "support/TestSupport.h"

namespace {

std::string Multipart(const std::string& headers, const std::vector<std::string>& parts)
{
    std::string message = headers + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";
    for (const std::string& part : parts)
        message += "--b\r\n" + part + "\r\n";
    return message + "--b--\r\n";
}

TEST(ReadMailTest, TheHeadersSubjectUnfoldedWithItsBytesAndWordsDateAndSender)
{
    const TReceivedMail mail = ReadMail(
        "Subject:  ZEM_TLB_MESSAGE ABC\r\n =?KOI8-R?B?YWJj?=\r\n\t\xF7\xD9\xD0\xC9\xD3\xCB\xC1 \r\n"
        "Content-Type: text/plain; charset=koi8-r\r\n\r\ntext\r\n");
    EXPECT_EQ(mail.Subject, "ZEM_TLB_MESSAGE ABC =?KOI8-R?B?YWJj?=\t\xF7\xD9\xD0\xC9\xD3\xCB\xC1");
    EXPECT_EQ(mail.CharSet, "koi8-r");
    EXPECT_EQ(mail.Body, "text\r\n");
    EXPECT_TRUE(mail.Parts.empty());
    EXPECT_EQ(mail.Date, 0);   // no Date header
    EXPECT_EQ(mail.FromAddress, "");

    // The date in local time, and the first sender of From and of a group.
    setenv("TZ", "Europe/Moscow", 1);
    tzset();
    const TReceivedMail dated = ReadMail("Date: Tue, 05 Mar 2024 06:07:02 +0000\r\n\r\n");
    EXPECT_EQ(DateTimeToStr(dated.Date), "05/03/2024 09:07:02");
    unsetenv("TZ");
    tzset();
    EXPECT_EQ(ReadMail("From: Bank <Bank@Example.test>, other@example.test\r\n\r\n").FromAddress, "Bank@Example.test");
    EXPECT_EQ(ReadMail("From: Team: bank@example.test;\r\n\r\n").FromAddress, "bank@example.test");
}

TEST(ReadMailTest, AttachmentsByDispositionOrNameTextByTypeAndEveryOtherLeafOrAWholeMessageAnAttachment)
{
    const TReceivedMail mail = ReadMail(Multipart(
        "Subject: parts\r\n",
        {"Content-Type: application/octet-stream\r\nContent-Disposition: attachment\r\n\r\nno name",
         "Content-Type: application/octet-stream; name=\"B.TLB\"\r\nContent-Transfer-Encoding: base64\r\n\r\nYmJi",
         "Content-Type: text/plain; charset=KOI8-R\r\nContent-Disposition: inline\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n=F7=D9line",
         "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=\"notes.txt\"\r\n\r\nnotes",
         "Content-Type: application/octet-stream\r\n\r\nnot shown",
         "Content-Type: multipart/alternative; boundary=\"c\"\r\n\r\n--c\r\nContent-Type: text/html\r\n\r\n"
         "<p>html</p>\r\n--c--"}));
    ASSERT_EQ(mail.Parts.size(), 6u);
    EXPECT_EQ(mail.Parts[0].Kind, TMailPart::mpAttachment);
    EXPECT_EQ(mail.Parts[1].Kind, TMailPart::mpAttachment);
    EXPECT_EQ(mail.Parts[1].FileName, "B.TLB");
    EXPECT_EQ(mail.Parts[1].Content, "bbb");
    EXPECT_EQ(mail.Parts[2].Kind, TMailPart::mpText);
    EXPECT_EQ(mail.Parts[2].CharSet, "KOI8-R");
    EXPECT_EQ(mail.Parts[2].Content, "\xF7\xD9line");
    EXPECT_EQ(mail.Parts[3].Kind, TMailPart::mpAttachment);
    EXPECT_EQ(mail.Parts[3].FileName, "notes.txt");
    // A part that is not text and has no name is still a container that must not be lost.
    EXPECT_EQ(mail.Parts[4].Kind, TMailPart::mpAttachment);
    EXPECT_EQ(mail.Parts[4].Content, "not shown");
    EXPECT_EQ(mail.Parts[5].Kind, TMailPart::mpText);
    EXPECT_EQ(mail.Parts[5].Content, "<p>html</p>");

    // A message that is one attachment.
    const TReceivedMail single = ReadMail(
        "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"../x/A.TLB\"\r\n\r\ndata");
    EXPECT_EQ(single.Body, "");
    ASSERT_EQ(single.Parts.size(), 1u);
    EXPECT_EQ(single.Parts[0].FileName, "../x/A.TLB");   // made safe where it becomes a path
    EXPECT_EQ(single.Parts[0].Content, "data");
}

} // namespace
