// Receiving small bank messages from a local dovecot by POP3 and by IMAP, against curl's
// command-line client fetching the same messages one by one in the same run.
//
//   bench_receive ANCHORS_FILE
//
// prints our "key value" lines and writes the anchor's lines to ANCHORS_FILE. Each
// measurement fills the mailbox anew (not timed): the receiver fetches every message,
// hands it to the processing, saves, and deletes the messages on the server; curl
// fetches each message in a process and a connection of its own.

#include "BenchSupport.h"

#include "exchange/ExchangeProfile.h"
#include "exchange/Imap4Receiver.h"
#include "exchange/Incoming.h"
#include "exchange/MailMessage.h"
#include "exchange/Pop3Receiver.h"
#include "exchange/ReceivedMail.h"
#include "support/TestServers.h"

#include <cstdlib>
#include <fstream>

namespace {

// The processing of a message without attachments: the subject judged for the client.
class TJudgingRun : public TReceiveRun {
public:
    explicit TJudgingRun(int& accepted) : FAccepted(accepted) {}
    bool Process(TReceivedMail& mail) override
    {
        const bool ours = JudgeSubject(mail.Subject, mail.CharSet, "ABC").ForClient;
        FAccepted += ours;
        return ours;
    }
    void Save() override {}

private:
    int& FAccepted;
};

template <typename TBase>
class TJudgingReceiver : public TBase {
public:
    int Accepted = 0;

protected:
    std::unique_ptr<TReceiveRun> BeginRun() override { return std::make_unique<TJudgingRun>(Accepted); }
};

// A bank's message of about 1.5 KB: the subject, a short text and a 1 KB container.
std::string SmallBankMessage(int number)
{
    std::string container(1024, '\0');
    for (size_t i = 0; i < container.size(); ++i)
        container[i] = static_cast<char>((i * 7 + number) & 0xFF);
    const TMailContent content{"bank@example.test", "client@example.test", "ABC", "Выписка " + std::to_string(number),
                               "ABC" + std::to_string(100000 + number) + ".TLB", container};
    return ComposeMail(content, TMailFrame{"Tue, 05 Mar 2024 09:07:02 +0300", "=_b" + std::to_string(number)});
}

void Fill(TMailServer& mail, int count)
{
    for (int i = 1; i <= count; ++i)
        mail.PutMessage(SmallBankMessage(i));
    if (mail.Messages().size() != static_cast<size_t>(count))
        throw std::runtime_error("the mailbox was not empty");
}

template <typename TReceiverKind>
double TimeReceive(TMailServer& mail, int count)
{
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        Fill(mail, count);
        TJudgingReceiver<TReceiverKind> receiver;
        best = std::min(best, BestSeconds(1, [&] { receiver.Receive(); }));
        if (receiver.Accepted != count || !mail.Messages().empty())
            throw std::runtime_error("the receive missed messages");
    }
    return best;
}

// curl fetching messages 1 to count, one process each; the messages stay.
double TimeCurl(TMailServer& mail, int count, const std::string& urlOfN)
{
    Fill(mail, count);
    const std::string command = "for n in $(seq 1 " + std::to_string(count) + "); do curl -sf -u " + mail.User() +
                                ":" + mail.Password() + " \"" + urlOfN + "\" >/dev/null || exit 1; done";
    double seconds = BestSeconds(1, [&] {
        if (std::system(("bash -c '" + command + "'").c_str()) != 0)
            throw std::runtime_error("curl failed");
    });
    for (const TMailFile& message : mail.Messages())
        mail.RemoveMessage(message.Name);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_receive ANCHORS_FILE\n");
        return 2;
    }
    std::ofstream anchors(argv[1]);
    TMailServer mail("client", "secret");
    const TMailPorts ports = mail.Start();
    TTempDir dir;
    const std::string host = "127.0.0.1:";
    {
        TExchangeProfile profile(dir, {"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(ports.Pop3),
                                       "BankEMail=bank@example.test"});
        const double half = TimeReceive<TPop3Receiver>(mail, 500);
        const double whole = TimeReceive<TPop3Receiver>(mail, 1000);
        Report("receive_pop3_seconds", whole);
        Report("receive_pop3_1000_per_500", whole / half);
        anchors << "receive_pop3_seconds "
                << TimeCurl(mail, 1000, "pop3://" + host + std::to_string(ports.Pop3) + "/$n") << "\n";
    }
    TExchangeProfile profile(dir, {"RecvType=IMAP4", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(ports.Imap),
                                   "BankEMail=bank@example.test"});
    const double half = TimeReceive<TImap4Receiver>(mail, 500);
    const double whole = TimeReceive<TImap4Receiver>(mail, 1000);
    Report("receive_imap_seconds", whole);
    Report("receive_imap_1000_per_500", whole / half);
    anchors << "receive_imap_seconds "
            << TimeCurl(mail, 1000, "imap://" + host + std::to_string(ports.Imap) + "/INBOX;MAILINDEX=$n") << "\n";
    return 0;
}
