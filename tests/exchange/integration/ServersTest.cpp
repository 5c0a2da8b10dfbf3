// The test servers themselves: what the senders' and receivers' tests cannot see, that
// stopping a server ends every process it started (and so frees its ports; the ports
// themselves are not probed, since tests running beside this one may take them at once).

#include "exchange/ExchangeProfile.h"

#include "support/TestServers.h"

namespace {

TEST(ServerProcessesTest, StopLeavesNoProcess)
{
    TTempDir dir;
    TMailServer mail;
    const TMailPorts ports = mail.Start();
    TBankHttpServer bank;
    bank.AddUser("client", "secret");
    bank.Start();
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
}

} // namespace
