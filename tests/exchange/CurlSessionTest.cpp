// The error messages of a failed exchange, from the texts and over real connections on
// loopback.

#include "exchange/CurlSession.h"

#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "support/TestServers.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(CurlErrorMessageTest, SaysWhatWentWrongThenLibcurlsDetailAndTheServersRefusal)
{
    EXPECT_ANSI_EQ(CurlErrorMessage({CURLE_WEIRD_SERVER_REPLY}), "Ошибка обмена с сервером: Weird server reply");
    EXPECT_ANSI_EQ(CurlErrorMessage({CURLE_LOGIN_DENIED, "Login denied\n", "535 5.7.8 invalid\r\n"}),
                   "Сервер отказал во входе: неверное имя пользователя или пароль: Login denied "
                   "(ответ сервера: 535 5.7.8 invalid)");
    // A refused command ends the transfer as a send error too: no broken connection.
    EXPECT_ANSI_EQ(CurlErrorMessage({CURLE_SEND_ERROR, "RCPT failed: 550", "550 no such user\r\n", 0, 0, "127.0.0.1", 25}),
                   "Ошибка обмена с сервером: RCPT failed: 550 (ответ сервера: 550 no such user)");
    EXPECT_ANSI_EQ(CurlErrorMessage({CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem: certificate has expired",
                                     "", 10, 0, "mail.example.test", 993}),
                   "Срок действия сертификата сервера истек: сервер mail.example.test, порт 993");
    EXPECT_ANSI_EQ(CurlErrorMessage({CURLE_OPERATION_TIMEDOUT, "Operation timed out after 120000 milliseconds", "", 0,
                                     0, "10.0.0.1", 3128, true}),
                   "Сервер не ответил за отведенное время: время ожидания истекло (прокси-сервер 10.0.0.1, порт 3128)");

    // The server's text becomes one short line.
    const AnsiString message = CurlErrorMessage({CURLE_SEND_ERROR, "x", "550 a\r\nb\tc" + std::string(500, 'z')});
    EXPECT_EQ(message.find_first_of("\r\n\t"), AnsiString::npos);
    EXPECT_NE(message.find("550 a  b c"), AnsiString::npos);
    EXPECT_LT(message.size(), 300u);
}

// A loopback server for one connection: it greets in clear text and waits until the
// client leaves, or resets the connection as soon as the client's request arrives (not
// before: a reset that came while the client still checked its connect would read as a
// failed connect).
class TOneConnectionServer {
public:
    enum TBehaviour { GreetInClear, Reset };

    explicit TOneConnectionServer(TBehaviour behaviour)
    {
        FListener = ListenOnLoopback(1, FPort);
        FThread = std::thread([this, behaviour] { Serve(behaviour); });
    }
    ~TOneConnectionServer()
    {
        // Wakes an accept that no client came to.
        shutdown(FListener, SHUT_RDWR);
        FThread.join();
        close(FListener);
    }
    int Port() const { return FPort; }

private:
    int FListener = -1;
    int FPort = 0;
    std::thread FThread;

    void Serve(TBehaviour behaviour)
    {
        const int client = accept(FListener, nullptr, nullptr);
        if (client < 0)
            return;
        if (behaviour == Reset) {
            char request[4096];
            [[maybe_unused]] const ssize_t received = recv(client, request, sizeof request, 0);
            const linger abort{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        } else {
            const char greeting[] = "+OK plain text\r\n";
            [[maybe_unused]] const ssize_t sent = send(client, greeting, sizeof greeting - 1, MSG_NOSIGNAL);
            char buffer[4096];
            while (recv(client, buffer, sizeof buffer, 0) > 0) {
            }
        }
        close(client);
    }
};

// The message of a transfer of the session to the address.
AnsiString FailureOf(TCurlSession& session, const AnsiString& url)
{
    session.SetText(CURLOPT_URL, url);
    try {
        session.Perform();
    } catch (const Exception& error) {
        return error.Message();
    }
    return "no error";
}

TEST(CurlSessionTest, TheCommonConnectionFailuresAreToldInOurOwnWordsWithTheServerAndPort)
{
    {
        TCurlSession session("pop3");
        EXPECT_ANSI_EQ(FailureOf(session, "pop3://nonexistent.invalid/"),
                       "Не найден сервер: такое имя не найдено (сервер nonexistent.invalid, порт 110)");
    }
    {
        TCurlSession session("http");
        session.UseProxy("nonexistent.invalid", 3128, "", "");
        EXPECT_ANSI_EQ(FailureOf(session, "http://127.0.0.1/cgi-bin/zem-export.pl"),
                       "Не найден прокси-сервер: такое имя не найдено (прокси-сервер nonexistent.invalid, порт 3128)");
    }
    {
        // Implicit TLS to a server that answers in clear text.
        TOneConnectionServer server(TOneConnectionServer::GreetInClear);
        TCurlSession session("pop3");
        const AnsiString port = IntToStr(server.Port());
        EXPECT_ANSI_EQ(FailureOf(session, "pop3s://127.0.0.1:" + port + "/"),
                       "Не удалось установить защищенное соединение с сервером: согласование TLS не удалось "
                       "(сервер 127.0.0.1, порт " + port + ")");
    }
    {
        TOneConnectionServer server(TOneConnectionServer::Reset);
        TCurlSession session("http");
        const AnsiString port = IntToStr(server.Port());
        EXPECT_ANSI_EQ(FailureOf(session, "http://127.0.0.1:" + port + "/"),
                       "Ошибка обмена с сервером: соединение разорвано (сервер 127.0.0.1, порт " + port + ")");
    }
}

} // namespace
