// The sender and receiver holders, the subject line of the exchange, the decoder of
// RFC 2047 words and Base64.

#include "exchange/Transport.h"

#include "exchange/ExchangeProfile.h"
#include "exchange/HttpSender.h"
#include "exchange/SmtpSender.h"
#include "support/TestSupport.h"

namespace {

const char* const BadBase64 = "Неверные данные в кодировке Base64";

TEST(TransportHoldersTest, TheSenderFollowsTheProfileSelectedWhenItIsMade)
{
    TTempDir dir;
    {
        TExchangeProfile smtp(dir, {"SendType=SMTP"});
        TSender* sender = Sender.Get();
        EXPECT_NE(dynamic_cast<TSmtpSender*>(sender), nullptr);
        EXPECT_EQ(Sender.Get(), sender);   // made once, then kept
    }
    TExchangeProfile http(dir, {"SendType=HTTP"});
    EXPECT_NE(dynamic_cast<THttpSender*>(Sender.Get()), nullptr);
}

TEST(TransportHoldersTest, NoProfileNoSender)
{
    EXPECT_RAISES(Sender.Get(), Exception, "Профиль не выбран");
}

TEST(TransportHoldersTest, TheReceiversAreRefusedForNowAndTheHolderStaysEmpty)
{
    TTempDir dir;
    TExchangeProfile profile(dir, {"RecvType=IMAP4"});
    EXPECT_RAISES(Receiver.Get(), Exception, "Получение почты по протоколу IMAP4 в этой версии программы недоступно");
    EXPECT_RAISES(Receiver.Get(), Exception, "Получение почты по протоколу IMAP4 в этой версии программы недоступно");
}

TEST(TransportHoldersTest, ResetCountersZeroesEveryCounter)
{
    struct TCountingReceiver : TReceiver {
        void Receive() override { Messages = Etalons = ListsAdded[0] = Updates = BadMessages = BadFiles = 7; }
    } receiver;
    EXPECT_EQ(receiver.Messages + receiver.Etalons + receiver.ListsAdded[0] + receiver.Updates +
                  receiver.BadMessages + receiver.BadFiles, 0);
    receiver.Receive();
    receiver.ResetCounters();
    EXPECT_EQ(receiver.Messages + receiver.Etalons + receiver.ListsAdded[0] + receiver.Updates +
                  receiver.BadMessages + receiver.BadFiles, 0);
}

TEST(Base64Test, EncodesTheStandardVectors)
{
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("f"), "Zg==");
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
    EXPECT_EQ(EncodeBase64("foob"), "Zm9vYg==");
    EXPECT_EQ(EncodeBase64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(EncodeBase64(Bytes({0xFB, 0xFF, 0xBF})), "+/+/");
}

TEST(Base64Test, EveryByteValueComesBackAndTheTextIsOneLine)
{
    std::string bytes;
    for (int round = 0; round < 4; ++round)
        for (int value = 0; value < 256; ++value)
            bytes.push_back(static_cast<char>(value));
    const AnsiString text = EncodeBase64(bytes);
    EXPECT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);
    EXPECT_EQ(text.find_first_of("\r\n"), AnsiString::npos);
    EXPECT_EQ(Hex(DecodeBase64(text)), Hex(bytes));
}

TEST(Base64Test, DecodingSkipsLineBreaksAndBlanksAndAcceptsAMissingFill)
{
    EXPECT_EQ(DecodeBase64("Zm9v\r\nYmFy"), "foobar");
    EXPECT_EQ(DecodeBase64(" Zm 9v\tYg==\n"), "foob");
    EXPECT_EQ(DecodeBase64("Zm8"), "fo");
    EXPECT_EQ(DecodeBase64("Zg"), "f");
    EXPECT_EQ(DecodeBase64(""), "");
}

TEST(Base64Test, DecodingRefusesWhatIsNotBase64)
{
    EXPECT_RAISES(DecodeBase64("Zm9v!"), EConvertError, BadBase64);
    EXPECT_RAISES(DecodeBase64("Zg==Zg=="), EConvertError, BadBase64);
    EXPECT_RAISES(DecodeBase64("Zm9vY"), EConvertError, BadBase64);
    EXPECT_RAISES(DecodeBase64("Zm9v?"), EConvertError, BadBase64);
}

TEST(SubjectLineTest, HoldsTheTokenThePrefixAndTheTextAsOneKoi8Word)
{
    EXPECT_EQ(SubjectLine("ABC", "abc"), "Subject: ZEM_TLB_MESSAGE ABC =?KOI8-R?B?YWJj?=");
    EXPECT_EQ(EncodeSubjectWord("Список на зачисление"), "=?KOI8-R?B?89DJ08/LIM7BINrB3snTzMXOycU=?=");
}

TEST(SubjectLineTest, AnEmptyTextGivesAnEmptyWord)
{
    EXPECT_EQ(SubjectLine("ABC", ""), "Subject: ZEM_TLB_MESSAGE ABC =?KOI8-R?B?\?=");
    EXPECT_ANSI_EQ(DecodeHeaderWords("ZEM_TLB_MESSAGE ABC =?KOI8-R?B?\?="), "ZEM_TLB_MESSAGE ABC ");
}

TEST(SubjectLineTest, ALongTextStaysOneUnfoldedLine)
{
    AnsiString text;
    while (text.size() < 600)
        text += "Список на зачисление за декабрь. ";
    const AnsiString line = SubjectLine("ABC", text);
    EXPECT_EQ(line.find_first_of("\r\n"), AnsiString::npos);
    EXPECT_EQ(line.rfind("=?"), line.find("=?"));   // one word, not several
    EXPECT_ANSI_EQ(DecodeHeaderWords(line.substr(9)), "ZEM_TLB_MESSAGE ABC " + text);
}

TEST(DecodeHeaderWordsTest, DecodesTheSubjectOfAnOutgoingMessage)
{
    EXPECT_ANSI_EQ(DecodeHeaderWords("ZEM_TLB_MESSAGE ABC =?KOI8-R?B?YWJj?="), "ZEM_TLB_MESSAGE ABC abc");
    EXPECT_ANSI_EQ(DecodeHeaderWords(SubjectLine("ABC", "Выписка").substr(9)), "ZEM_TLB_MESSAGE ABC Выписка");
    EXPECT_ANSI_EQ(DecodeHeaderWords("no words here"), "no words here");
    EXPECT_ANSI_EQ(DecodeHeaderWords(""), "");
}

TEST(DecodeHeaderWordsTest, ComparesCharsetAndEncodingIgnoringCase)
{
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?koi8-r?b?89DJ08/LIM7BINrB3snTzMXOycU=?="), "Список на зачисление");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?Koi8-R?B?89DJ08/LIM7BINrB3snTzMXOycU=?="), "Список на зачисление");
}

TEST(DecodeHeaderWordsTest, KeepsTheTextBetweenAndAroundWords)
{
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YWJj?= =?KOI8-R?B?ZGVm?="), "abc def");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YWJj?==?KOI8-R?B?ZGVm?="), "abcdef");
    EXPECT_ANSI_EQ(DecodeHeaderWords("Re: =?KOI8-R?B?YWJj?= (2)"), "Re: abc (2)");
}

TEST(DecodeHeaderWordsTest, RemovesBlanksInsideTheEncodedText)
{
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YW Jj?="), "abc");
}

TEST(DecodeHeaderWordsTest, KeepsAWordOfAnotherEncodingWithoutItsBlanks)
{
    EXPECT_ANSI_EQ(DecodeHeaderWords("x =?KOI8-R?Q?a b_=F3?= y"), "x =?KOI8-R?Q?ab_=F3?= y");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?Q?a?= =?KOI8-R?B?YWJj?="), "=?KOI8-R?Q?a?= abc");
}

TEST(DecodeHeaderWordsTest, AWordLeftOpenStaysWithEverythingAfterIt)
{
    EXPECT_ANSI_EQ(DecodeHeaderWords("x =?KOI8-R?B?YWJj"), "x =?KOI8-R?B?YWJj");
    EXPECT_ANSI_EQ(DecodeHeaderWords("x =?KOI8-R?B"), "x =?KOI8-R?B");
    EXPECT_ANSI_EQ(DecodeHeaderWords("x =?KOI8-R"), "x =?KOI8-R");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YWJj?= and =?KOI8-R?B?ZGVm ?"),
                   "abc and =?KOI8-R?B?ZGVm ?");
}

TEST(DecodeHeaderWordsTest, ConvertsOnlyKoi8Words)
{
    // The CP1251 bytes of "Ок" stay as they are in a windows-1251 word, and so do the
    // UTF-8 bytes of a UTF-8 word.
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?windows-1251?B?zuo=?="), "Ок");
    EXPECT_EQ(Hex(DecodeHeaderWords("=?UTF-8?B?0J4=?=")), "D0 9E");
}

TEST(DecodeHeaderWordsTest, DecodesADecodedWordOnceMore)
{
    const AnsiString inner = EncodeSubjectWord("Выписка");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?" + EncodeBase64(inner) + "?="), "Выписка");
}

TEST(DecodeHeaderWordsTest, ABadBase64WordRaises)
{
    EXPECT_RAISES(DecodeHeaderWords("ZEM_TLB_MESSAGE ABC =?KOI8-R?B?YW*j?="), EConvertError, BadBase64);
}

} // namespace
