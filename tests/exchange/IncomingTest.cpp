// The judgement and the lines of a received message, the names of the bank's files, the
// warnings of the receive and its summary.

#include "exchange/Incoming.h"

#include "documents/Charsets.h"
#include "exchange/ReceivedMail.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

namespace {

struct TIdleReceiver : TReceiver {
    void Receive() override {}
};

void ExpectSubject(const AnsiString& subject, bool forClient, const AnsiString& title,
                   const AnsiString& charset = "")
{
    const TMessageSubject judged = JudgeSubject(subject, charset, "ABC");
    EXPECT_EQ(judged.ForClient, forClient) << U8(subject);
    EXPECT_ANSI_EQ(judged.Title, title);
}

TEST(JudgeSubjectTest, ThePrefixWordDecodedOrNotMakesTheMessageTheClientsAndTheTokenIsDropped)
{
    ExpectSubject("ZEM_TLB_MESSAGE abc Выписка", true, "Выписка");
    ExpectSubject("Выписка ABC", true, "Выписка");
    ExpectSubject("ZEM_TLB_MESSAGE XYZ Выписка", false, "XYZ Выписка");
    ExpectSubject("zem_tlb_message Выписка", false, "Выписка");
    ExpectSubject("ABCD Выписка", false, "ABCD Выписка");
    // Every prefix word goes; empty words stay.
    ExpectSubject("ABC  Выписка ABC за май ", true, " Выписка за май ");
    // Encoded words are decoded before the words are taken.
    ExpectSubject(SubjectLine("ABC", "Выписка за май").substr(9), true, "Выписка за май");
    // The prefix inside the encoded word counts too.
    ExpectSubject("ZEM_TLB_MESSAGE " + EncodeSubjectWord("ABC Выписка"), true, "Выписка");
    // A raw KOI8-R subject of a KOI8-R message.
    ExpectSubject(AnsiToKoi8("ABC Выписка"), true, "Выписка", "koi8-r");
    ExpectSubject(AnsiToKoi8("ABC Выписка"), true, AnsiToKoi8("Выписка"), "windows-1251");
}

TEST(MessageTextTest, TheFirstTextPartElseTheBodyWithItsLinesEndedByCrLf)
{
    TReceivedMail mail;
    mail.Body = AnsiToKoi8("Тело\nвторая");
    mail.CharSet = "KOI8-R";
    EXPECT_ANSI_EQ(MessageText(mail), "Тело\r\nвторая\r\n");

    mail.Parts.push_back({TMailPart::mpAttachment, "KOI8-R", "A.TLB", "not text"});
    mail.Parts.push_back({TMailPart::mpText, "koi8-r", "", AnsiToKoi8("Первая\r")});
    mail.Parts.push_back({TMailPart::mpText, "", "", "second"});
    EXPECT_ANSI_EQ(MessageText(mail), "Первая\r\n");

    mail.Parts[1].CharSet = "";
    EXPECT_EQ(MessageText(mail), AnsiToKoi8("Первая") + "\r\n");
    EXPECT_EQ(MessageText(TReceivedMail()), "");
}

TEST(FailedLineTest, TheErrorTextOnOneLine)
{
    EXPECT_EQ(FailedLine("A.TLB", "one\r\ntwo\rthree \t\n"), "A.TLB: one<EOL>two<EOL>three");
}

// A plain name and one with "../" through the processing: IncomingFilesTest.
TEST(SafeFileNameTest, OnlyABaseNameWithoutColonsOrControlCharacters)
{
    EXPECT_EQ(RejectFileName("C:\\Temp\\A.TLB"), "A.TLB");
    EXPECT_EQ(RejectFileName("c:A.TLB"), "c_A.TLB");
    EXPECT_EQ(RejectFileName(std::string("a\tb\x01\x7F" "c\n", 7)), "a_b__c_");
    EXPECT_ANSI_EQ(RejectFileName("Ответ 1.TLB"), "Ответ 1.TLB");
    EXPECT_EQ(RejectFileName("folder/"), "attachment.tlb");
    EXPECT_EQ(RejectFileName("x/.."), "attachment.tlb");
    EXPECT_EQ(RejectFileName("..."), "...");
}

// The file's warning through the processing: IncomingFilesTest and ReceiveEndToEndTest.
TEST(ReceiverWarningsTest, AWarningBoxForASkippedMessage)
{
    TIdleReceiver receiver;
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Нет связи.\nСообщение пропущено.", MessageBoxAnswer::Ok, 0x30);
    receiver.MessageError("Нет связи \r\n");
    EXPECT_EQ(receiver.BadMessages, 1);
    EXPECT_EQ(dialogs.Asked().at(0).Caption, "Экспорт в Вельтон-Банк");
}

TEST(ReceiverSummaryTest, OneLinePerCounterThatIsNotZero)
{
    TIdleReceiver receiver;
    EXPECT_EQ(receiver.SummaryText(), "");
    receiver.BadFiles = 1;
    receiver.Messages = 2;
    receiver.Etalons = 12;
    receiver.ListsAdded[0] = 3;
    receiver.Updates = 1;
    receiver.BadMessages = 4;
    EXPECT_ANSI_EQ(receiver.SummaryText(), "Принято сообщений: 2\nЭталонных списков: 12\nСписков добавленных: 3\n"
                                           "Обновлений ПО: 1\nОшибочных сообщений: 4\nОшибочных файлов: 1\n");
}

TEST(ReceiverSummaryTest, OnlyTheOpenWindowsWhoseDataChangedReload)
{
    std::string reloaded;
    TIdleReceiver receiver;
    receiver.Messages = 1;
    receiver.ListsAdded[0] = 1;
    receiver.RefreshForms();   // no window open
    StoreWindows.ReloadMessages = [&] { reloaded += "messages "; };
    StoreWindows.ReloadEtalons = [&] { reloaded += "etalons "; };
    receiver.RefreshForms();
    EXPECT_EQ(reloaded, "messages ");
    StoreWindows.ReloadReplies = [&] { reloaded += "replies "; };
    receiver.Etalons = 1;
    receiver.RefreshForms();
    EXPECT_EQ(reloaded, "messages messages etalons replies ");
    StoreWindows = TStoreWindows();
}

// The members' headers through the processing: IncomingFilesTest. Here the names and
// values that it does not try.
TEST(MemberHeaderTest, DatesPrefixesAndNamesThatWouldLeadElsewhere)
{
    EXPECT_EQ(EtalonTypeIndex("Com"), 2);
    CheckEtalonDate("1/2/24");
    EXPECT_RAISES(CheckEtalonDate("2024-12-31"), Exception, "Неверная дата эталонного списка: 2024-12-31");
    EXPECT_EQ(EtalonPrefix(" a1z "), "A1Z");
    EXPECT_RAISES(EtalonPrefix("abcd"), Exception, "Неверный префикс: ABCD");
    EXPECT_RAISES(EtalonPrefix("абв"), Exception, "Неверный префикс: АБВ");

    CheckReplyFileName("..x");
    for (const char* name : {"A\\B", "c:x"})
        EXPECT_RAISES(CheckReplyFileName(name), Exception, AnsiString("Неверное имя файла ответа: ") + name);
    // The refusal shows a control character as "?": the text reaches the message's row.
    EXPECT_RAISES(CheckReplyFileName("A\tB"), Exception, "Неверное имя файла ответа: A?B");
    EXPECT_EQ(UpdateFileName("10.0.2.113"), "Updates-10.0.2.113.exe");
    EXPECT_RAISES(UpdateFileName("5,4"), Exception, "Неверная версия обновления: 5,4");
}

} // namespace
