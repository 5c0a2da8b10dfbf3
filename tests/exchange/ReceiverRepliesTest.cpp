// What the receivers read from the servers' replies and how they write their requests,
// and where the HTTP transports find the bank's script.

#include "exchange/HttpReceiver.h"
#include "exchange/HttpSender.h"
#include "exchange/Imap4Receiver.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ListedIdentifiersTest, TheTextsBeforeEachBreakAfterTheBody)
{
    EXPECT_THAT(ListedIdentifiers("<BODY>12<BR>34<BR>"), ElementsAre("12", "34"));
    EXPECT_THAT(ListedIdentifiers("<BODY>12<BR>34"), ElementsAre("12"));
    EXPECT_THAT(ListedIdentifiers("<body>12<BR>34<BR>"), IsEmpty());
    EXPECT_THAT(ListedIdentifiers("12<BR>34<BR>"), IsEmpty());
    EXPECT_THAT(ListedIdentifiers("<HTML><BODY><BR> 5 <BR></BODY></HTML>"), ElementsAre("", " 5 "));
    EXPECT_THAT(ListedIdentifiers("<BODY>12<br>34<BR><BODY>56<BR>"), ElementsAre("12<br>34", "<BODY>56"));
    EXPECT_THAT(ListedIdentifiers("<BODY>12<BR>\r\n34<BR>"), ElementsAre("12", "\r\n34"));
}

TEST(FormValueTest, EverythingButUnreservedCharactersIsPercentEncoded)
{
    EXPECT_EQ(FormValue("Az09-._~"), "Az09-._~");
    EXPECT_EQ(FormValue("p&ss=1 %+"), "p%26ss%3D1%20%25%2B");
    EXPECT_EQ(FormValue(std::string("\r\n\0\xFF", 4)), "%0D%0A%00%FF");
    EXPECT_EQ(FormValue("Пароль"), "%CF%E0%F0%EE%EB%FC");   // the CP1251 bytes
}

TEST(BankScriptAddressTest, AHostWithOrWithoutItsSchemeAndPortAndNothingElse)
{
    auto url = [](const AnsiString& host) { return BankScriptAddress("RecvHost", host).Url; };
    EXPECT_EQ(url("bank.example"), "http://bank.example/cgi-bin/zem-export.pl");
    EXPECT_EQ(url("http://127.0.0.1:8480/"), "http://127.0.0.1:8480/cgi-bin/zem-export.pl");
    EXPECT_EQ(url("HTTPS://bank.example//"), "https://bank.example/cgi-bin/zem-export.pl");
    EXPECT_EQ(url("Https://[::1]:8443"), "https://[::1]:8443/cgi-bin/zem-export.pl");
    EXPECT_STREQ(BankScriptAddress("RecvHost", "HTTPS://bank.example").Protocol, "https");
    EXPECT_STREQ(BankScriptAddress("RecvHost", "Http://bank.example").Protocol, "http");
    EXPECT_STREQ(BankScriptAddress("RecvHost", "bank.example:443").Protocol, "http");

    for (const char* odd : {"ftp://bank.example", "https://", "/", "https:/bank.example", "bank.example/cgi-bin",
                            "https://bank.example/bank", "user:pass@bank.example", "https://bank.example?a=1",
                            "bank.example#top", "bank.example:port", "https://bank.example:65536", "bank example",
                            "\\\\bank\\share"})
        EXPECT_RAISES(BankScriptAddress("SendHost", odd), Exception,
                      "Неверное значение параметра SendHost: " + AnsiString(odd) +
                          ". Адрес сервера задается в виде сервер[:порт], http://сервер[:порт] или "
                          "https://сервер[:порт]");
}

TEST(ImapRepliesTest, SearchResultAndQuotedStrings)
{
    EXPECT_THAT(SearchResult("* SEARCH 3 17 4\r\n"), ElementsAre("3", "17", "4"));
    EXPECT_THAT(SearchResult("* SEARCH\r\n"), IsEmpty());
    EXPECT_THAT(SearchResult("* 2 EXISTS\r\n* SEARCH 1  2\r\n* SEARCH 9\r\n"), ElementsAre("1", "2", "9"));
    // Every identifier goes into a command: a sequence set or another word would name
    // other messages than the one processed ("UID STORE 1:* ..." marks all of them).
    EXPECT_THAT(SearchResult("* SEARCH 5 1:* 7,8 x 4294967295 4294967296 0 6\r\n"), ElementsAre("5", "4294967295", "6"));
    EXPECT_EQ(ImapQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
}

} // namespace
