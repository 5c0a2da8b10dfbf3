// Receiving small bank messages from a local dovecot by POP3 and by IMAP, against curl's
// command-line client fetching the same messages one by one in the same run.
//
//   bench_receive ANCHORS_FILE
//
// prints our "key value" lines and writes the anchor's lines to ANCHORS_FILE. Each of our
// measurements (best of five) fills the mailbox anew and starts without a message store
// (not timed): the receiver of the profile fetches every message, processes it into the
// message store (a text message of the bank: no container, so no gpg run), saves the
// store, and deletes the messages on the server. curl fetches each message in a process
// and a connection of its own.

#include "BenchSupport.h"

#include "documents/Charsets.h"
#include "exchange/ExchangeProfile.h"
#include "exchange/Incoming.h"
#include "exchange/Transport.h"
#include "platform/Paths.h"
#include "support/TestServers.h"

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <vector>

namespace {

// A text message of the bank, about 1.5 KB: the subject and a KOI8-R text.
std::string SmallBankMessage(int number)
{
    std::string text;
    for (int line = 0; text.size() < 1024; ++line)
        text += "Строка " + std::to_string(line) + " сообщения банка номер " + std::to_string(number) + "\r\n";
    return "From: bank@example.test\r\nTo: client@example.test\r\n" + SubjectLine("ABC", "Сообщение банка") +
           "\r\nDate: Tue, 05 Mar 2024 09:07:02 +0300\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=KOI8-R\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           EncodeBase64(AnsiToKoi8(text)) + "\r\n";
}

void Fill(TMailServer& mail, int count)
{
    for (int i = 1; i <= count; ++i)
        mail.PutMessage(SmallBankMessage(i));
    if (mail.Messages().size() != static_cast<size_t>(count))
        throw std::runtime_error("the mailbox was not empty");
}

double TimeReceive(TMailServer& mail, const TTempDir& dir, int count)
{
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        Fill(mail, count);
        DeleteFile(dir.File("Cache/ABC.MESSAGES"));
        TReceiver& receiver = *Receiver.Get();
        best = std::min(best, BestSeconds(1, [&] { receiver.Receive(); }));
        if (receiver.Messages != count || !mail.Messages().empty())
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

// Our receive of 500 and of 1,000 messages in the profile of the keys, then curl's.
void Measure(TMailServer& mail, const char* name, std::vector<AnsiString> keys, const std::string& urlOfN,
             std::ostream& anchors)
{
    TTempDir dir;
    keys.push_back("BankEMail=bank@example.test");
    TExchangeProfile profile(dir, keys);
    const double half = TimeReceive(mail, dir, 500);
    const double whole = TimeReceive(mail, dir, 1000);
    const std::string key = std::string("receive_") + name;
    Report((key + "_seconds").c_str(), whole);
    Report((key + "_1000_per_500").c_str(), whole / half);
    anchors << key << "_seconds " << TimeCurl(mail, 1000, urlOfN) << "\n";
}

// Judging a subject of many repeated words (1.3 MB, then twice that), as a hostile or
// broken message may bring: the time must grow with the length alone.
void MeasureSubject()
{
    auto judge = [](size_t bytes) {
        AnsiString subject;
        while (subject.size() < bytes)
            subject += "ABC ZEM_TLB_MESSAGE Выписка ";
        return BestSeconds(3, [&] { JudgeSubject(subject, "", "ABC"); });
    };
    const double half = judge(1300000);
    const double whole = judge(2600000);
    Report("subject_2600k_seconds", whole);
    Report("subject_2600k_per_1300k", whole / half);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_receive ANCHORS_FILE\n");
        return 2;
    }
    std::ofstream anchors(argv[1]);
    MeasureSubject();
    TMailServer mail("client", "secret");
    const TMailPorts ports = mail.Start();
    const std::string pop3 = std::to_string(ports.Pop3);
    const std::string imap = std::to_string(ports.Imap);
    Measure(mail, "pop3", {"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + pop3},
            "pop3://127.0.0.1:" + pop3 + "/$n", anchors);
    Measure(mail, "imap", {"RecvType=IMAP4", "RecvHost=127.0.0.1", "RecvPort=" + imap},
            "imap://127.0.0.1:" + imap + "/INBOX;MAILINDEX=$n", anchors);
    return 0;
}
