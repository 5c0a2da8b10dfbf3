// The test servers themselves: what the senders' and receivers' tests cannot see, that
// stopping a server ends every process it started and frees its ports.

#include "exchange/ExchangeProfile.h"

#include "support/TestServers.h"

namespace {

TEST(ServerProcessesTest, StopLeavesNoProcessAndFreesThePorts)
{
    TTempDir dir;
    TMailServer mail;
    const TMailPorts ports = mail.Start();
    TBankHttpServer bank;
    bank.AddUser("client", "secret");
    const int bankPort = bank.Start();
    // Receives make dovecot start its login, auth and mail processes, lighttpd a CGI.
    {
        TExchangeProfile pop3(dir, {"RecvHost=127.0.0.1", "RecvPort=" + std::to_string(ports.Pop3)});
        Receiver.Get()->Receive();
    }
    {
        TExchangeProfile http(dir, {"RecvType=HTTP", "RecvHost=" + bank.Host()});
        Receiver.Get()->Receive();
    }
    EXPECT_GT(LeftoverServerProcesses(), 3);
    mail.Stop();
    bank.Stop();
    EXPECT_EQ(LeftoverServerProcesses(), 0);
    for (int port : {ports.Smtp, ports.Pop3, ports.Imap, bankPort})
        EXPECT_FALSE(AcceptsConnections(port)) << port;
}

} // namespace
