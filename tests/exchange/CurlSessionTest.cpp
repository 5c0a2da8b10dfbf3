// The error messages of a failed exchange.

#include "exchange/CurlSession.h"

#include "support/TestSupport.h"

namespace {

TEST(CurlErrorMessageTest, SaysWhatWentWrongThenLibcurlsDetailAndTheServersRefusal)
{
    EXPECT_ANSI_EQ(CurlErrorMessage(CURLE_COULDNT_CONNECT, "", ""),
                   "Не удалось соединиться с сервером: Couldn't connect to server");
    EXPECT_ANSI_EQ(CurlErrorMessage(CURLE_LOGIN_DENIED, "Login denied\n", "535 5.7.8 invalid\r\n"),
                   "Сервер отказал во входе: неверное имя пользователя или пароль: Login denied "
                   "(ответ сервера: 535 5.7.8 invalid)");
    EXPECT_ANSI_EQ(CurlErrorMessage(CURLE_SEND_ERROR, "RCPT failed: 550", ""),
                   "Ошибка обмена с сервером: RCPT failed: 550");
    EXPECT_ANSI_EQ(CurlErrorMessage(CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate has expired",
                                    "", 10),
                   "Срок действия сертификата сервера истек: SSL certificate problem: certificate has expired");

    // The server's text becomes one short line.
    const AnsiString message = CurlErrorMessage(CURLE_SEND_ERROR, "x", "550 a\r\nb\tc" + std::string(500, 'z'));
    EXPECT_EQ(message.find_first_of("\r\n\t"), AnsiString::npos);
    EXPECT_NE(message.find("550 a  b c"), AnsiString::npos);
    EXPECT_LT(message.size(), 300u);
}

} // namespace
