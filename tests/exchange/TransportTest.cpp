// The sender holder, the subject line of the exchange, the decoder of RFC 2047 words and
// Base64.

#include "exchange/Transport.h"

#include "exchange/ExchangeProfile.h"
#include "exchange/SmtpSender.h"
#include "support/TestSupport.h"

namespace {

const char* const BadBase64 = "Неверные данные в кодировке Base64";

// Which sender and receiver each profile gets: every integration test goes through them.
TEST(TransportHoldersTest, NoProfileNoSenderAndOneSenderPerProfile)
{
    EXPECT_RAISES(Sender.Get(), Exception, "Профиль не выбран");
    TTempDir dir;
    TExchangeProfile smtp(dir, {"SendType=SMTP"});
    TSender* sender = Sender.Get();
    EXPECT_NE(dynamic_cast<TSmtpSender*>(sender), nullptr);
    EXPECT_EQ(Sender.Get(), sender);   // made once, then kept
}

TEST(Base64Test, EncodesTheWholeAlphabetAndEveryByteValueComesBack)
{
    EXPECT_EQ(EncodeBase64(Bytes({0xFB, 0xFF, 0xBF})), "+/+/");

    std::string bytes;
    for (int value = 0; value < 1024; ++value)
        bytes.push_back(static_cast<char>(value));
    const AnsiString text = EncodeBase64(bytes);
    EXPECT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);   // one line, no breaks
    EXPECT_EQ(Hex(DecodeBase64(text)), Hex(bytes));
}

TEST(Base64Test, DecodingSkipsBlanksAcceptsAMissingFillAndRefusesTheRest)
{
    EXPECT_EQ(DecodeBase64(" Zm 9v\r\nYg==\n"), "foob");
    EXPECT_EQ(DecodeBase64("Zg"), "f");
    EXPECT_RAISES(DecodeBase64("Zm9v!"), EConvertError, BadBase64);
    EXPECT_RAISES(DecodeBase64("Zg==Zg=="), EConvertError, BadBase64);
    EXPECT_RAISES(DecodeBase64("Zm9vY"), EConvertError, BadBase64);
}

TEST(SubjectLineTest, HoldsTheTokenThePrefixAndTheTextAsOneKoi8Word)
{
    EXPECT_EQ(SubjectLine("ABC", ""), "Subject: ZEM_TLB_MESSAGE ABC =?KOI8-R?B?\?=");
    EXPECT_ANSI_EQ(DecodeHeaderWords("ZEM_TLB_MESSAGE ABC =?KOI8-R?B?\?="), "ZEM_TLB_MESSAGE ABC ");

    // A long text stays one word on one unfolded line.
    AnsiString text;
    while (text.size() < 600)
        text += "Список на зачисление за декабрь. ";
    const AnsiString line = SubjectLine("ABC", text);
    EXPECT_EQ(line.find_first_of("\r\n"), AnsiString::npos);
    EXPECT_EQ(line.rfind("=?"), line.find("=?"));
    EXPECT_ANSI_EQ(DecodeHeaderWords(line.substr(9)), "ZEM_TLB_MESSAGE ABC " + text);
}

TEST(DecodeHeaderWordsTest, DecodesKoi8BWordsInAnyLetterCaseAndKeepsEverythingElseAsItStands)
{
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?koi8-r?b?89DJ08/LIM7BINrB3snTzMXOycU=?="), "Список на зачисление");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YWJj?= =?KOI8-R?B?ZGVm?="), "abc def");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YWJj?==?KOI8-R?B?ZGVm?="), "abcdef");
    EXPECT_ANSI_EQ(DecodeHeaderWords("Re: =?KOI8-R?B?YWJj?= (2)"), "Re: abc (2)");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YW Jj?="), "abc");   // blanks inside removed
    // A decoded word is decoded once more.
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?" + EncodeBase64(EncodeSubjectWord("Выписка")) + "?="), "Выписка");
    // A word that is not Base64 stays as it stands, and the words after it are decoded.
    EXPECT_ANSI_EQ(DecodeHeaderWords("ZEM_TLB_MESSAGE ABC =?KOI8-R?B?Y W*j?= =?KOI8-R?B?YWJj?="),
                   "ZEM_TLB_MESSAGE ABC =?KOI8-R?B?Y W*j?= abc");
    // A Q word stays, without its blanks.
    EXPECT_ANSI_EQ(DecodeHeaderWords("x =?KOI8-R?Q?a b_=F3?= y"), "x =?KOI8-R?Q?ab_=F3?= y");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?Q?a?= =?KOI8-R?B?YWJj?="), "=?KOI8-R?Q?a?= abc");
    // A word left open stays with everything after it.
    EXPECT_ANSI_EQ(DecodeHeaderWords("x =?KOI8-R?B?YWJj"), "x =?KOI8-R?B?YWJj");
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?KOI8-R?B?YWJj?= and =?KOI8-R?B?ZGVm ?"), "abc and =?KOI8-R?B?ZGVm ?");
    // Only KOI8-R is converted: CP1251 and UTF-8 bytes stay as they are.
    EXPECT_ANSI_EQ(DecodeHeaderWords("=?windows-1251?B?zuo=?="), "Ок");
    EXPECT_EQ(Hex(DecodeHeaderWords("=?UTF-8?B?0J4=?=")), "D0 9E");
}

} // namespace
