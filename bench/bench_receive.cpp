// Receiving small bank messages from a local dovecot by POP3 and by IMAP, against curl's
// command-line client doing the protocol's part of the same work in the same rounds.
//
//   bench_receive
//
// prints our "key value..." lines and curl's. Every round fills the mailbox anew and
// starts without a message store and its identities (not timed): the receiver of the
// profile fetches every message, processes it into the message store (a text message of
// the bank: no container, so no gpg run), saves the store and the identities of its
// messages, and deletes the messages on the server. curl, the
// anchor and the limit, sends the same commands in one process over one connection, the
// way the receiver does: by POP3 UIDL, TOP n 0 and RETR n for each message, then DELE of
// each; by IMAP the fetch of each message, one STORE of the deleted flag and CLOSE.
//
//   bench_receive list
//
// prints the peak memory of the dispatch of a bank's container whose one reference list
// inflates to 256 MB: the process's peak resident size (VmHWM, reset through
// /proc/self/clear_refs before each) while the list goes into an empty store, and while
// the same container comes again and finds the list held. It runs in a process of its own.

#include "BenchSupport.h"

#include "exchange/BankContainers.h"
#include "exchange/GpgHome.h"

#include "documents/Charsets.h"
#include "exchange/ExchangeProfile.h"
#include "exchange/Incoming.h"
#include "exchange/Transport.h"
#include "platform/Paths.h"
#include "support/TestServers.h"

#include <cstdlib>
#include <cstring>
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

// Our receive of the whole mailbox; it must take every message and leave none.
double TimeReceive(TMailServer& mail, const TTempDir& dir, int count)
{
    Fill(mail, count);
    DeleteFile(dir.File("Cache/ABC.MESSAGES"));
    DeleteFile(dir.File("Cache/ABC.RECEIVED"));
    TReceiver& receiver = *Receiver.Get();
    const double seconds = Seconds([&] { receiver.Receive(); });
    if (receiver.Messages != count || !mail.Messages().empty())
        throw std::runtime_error("the receive missed messages");
    return seconds;
}

// One curl process that fetches messages 1 to count and then deletes them all, its
// transfers sharing one connection.
double TimeCurl(TMailServer& mail, int count, const std::string& command)
{
    Fill(mail, count);
    const double seconds = Seconds([&] {
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("curl failed");
    });
    if (!mail.Messages().empty())
        throw std::runtime_error("curl left messages on the server");
    return seconds;
}

// The curl command line: the fetch URL globbed over 1 to count, then (after --next) the
// deletion, both with the mailbox's user.
std::string CurlCommand(const TMailServer& mail, const std::string& fetchUrl, const std::string& deletion)
{
    const std::string user = "-u " + mail.User() + ":" + mail.Password();
    return "curl -sf " + user + " -o /dev/null '" + fetchUrl + "' --next " + user + " " + deletion + " >/dev/null";
}

// curl's POP3 session as the receiver holds it: UIDL, then TOP n 0 (the headers, on which
// the subject is judged) and RETR n for every message, then DELE n of each, all in one
// process over one connection; the commands go to curl as a config file.
std::string Pop3CurlCommand(const TMailServer& mail, const TTempDir& dir, const std::string& url, int count)
{
    const std::string user = "user = \"" + mail.User() + ":" + mail.Password() + "\"\n";
    auto session = [&](const std::string& target, const std::string& request, bool head) {
        return "url = \"" + target + "\"\n" + user + "output = \"/dev/null\"\n" +
               (request.empty() ? "" : "request = \"" + request + "\"\n") + (head ? "head\n" : "");
    };
    std::string config = "silent\nfail\n" + session(url, "UIDL", false);
    for (int n = 1; n <= count; ++n)
        config += "next\n" + session(url, "TOP " + std::to_string(n) + " 0", false) + "next\n" +
                  session(url + std::to_string(n), "", false);
    for (int n = 1; n <= count; ++n)
        config += "next\n" + session(url + std::to_string(n), "DELE", true);
    const AnsiString path = dir.File("curl-pop3.config");
    WriteBytes(path, config);
    return "curl -K '" + path + "' >/dev/null";
}

// 500 and 1,000 messages of ours and 1,000 of curl's in the profile of the keys, in rounds
// rotated together: whatever the server's mailbox keeps from round to round (its index
// and log) weighs on both of our sizes alike.
void Measure(TMailServer& mail, const char* name, std::vector<AnsiString> keys, const std::string& curl)
{
    TTempDir dir;
    keys.push_back("BankEMail=bank@example.test");
    TExchangeProfile profile(dir, keys);
    std::vector<double> half, whole, anchor;
    RotatedRounds(5, {[&] { half.push_back(TimeReceive(mail, dir, 500)); },
                      [&] { whole.push_back(TimeReceive(mail, dir, 1000)); },
                      [&] { anchor.push_back(TimeCurl(mail, 1000, curl)); }});
    const std::string key = std::string("receive_") + name;
    Report((key + "_seconds").c_str(), whole);
    Report((key + "_500_seconds").c_str(), half);
    Report((key + "_curl_seconds").c_str(), anchor);
    Report((key + "_1000_per_500").c_str(), PerRound(whole, half));
}

// Judging a subject of many repeated words (1.3 MB, then twice that), as a hostile or
// broken message may bring: the time must grow with the length alone.
void MeasureSubject()
{
    auto judge = [](size_t bytes) {
        AnsiString subject;
        while (subject.size() < bytes)
            subject += "ABC ZEM_TLB_MESSAGE Выписка ";
        return Rounds(5, [&] { JudgeSubject(subject, "", "ABC"); });
    };
    const std::vector<double> half = judge(1300000);
    const std::vector<double> whole = judge(2600000);
    Report("subject_2600k_seconds", whole);
    Report("subject_2600k_per_1300k", PerRound(whole, half));
}

// A reference list of at least `bytes` bytes: rows of an account and a name, each its own.
std::string LargeList(size_t bytes)
{
    std::string list;
    list.reserve(bytes + 64);
    char row[64];
    for (unsigned number = 0; list.size() < bytes; ++number)
        list.append(row, static_cast<size_t>(std::snprintf(row, sizeof row, "408178100%011u;ИВАНОВ ИВАН %u\r\n",
                                                              number, number % 9973)));
    return list;
}

// The process's peak resident size in MB while the bank's container is dispatched, counted
// from the moment before it: the container's bytes and the program are in it.
double DispatchPeakMb(const std::string& sealed)
{
    TMemoryStream container;
    container.WriteString(sealed);
    container.SetPosition(0);
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";   // the peak starts again from now
    TStringList report;
    Receiver.Get()->ProcessFile(container, report);
    if (report.Count() != 1)
        throw std::runtime_error("the list was not dispatched");
    return static_cast<double>(StatusKb("VmHWM:")) / 1024;
}

// A container of the bank whose one reference list inflates to 256 MB, sealed with key
// pairs made for the run, dispatched into an empty store and then once more.
void MeasureListDispatch()
{
    const TGpgParties keys;
    const TTempDir dir;
    const TExchangeProfile profile(dir, {"PgpKeyPath=" + keys.Client.Path, "BankPgpKey=" + keys.Bank.KeyId()});
    const std::string sealed = keys.SealedByBank(BankArchive({EtalonMember("ABC", "SAL", LargeList(256 << 20))}));
    Report("receive_list_256mb_peak_mb", DispatchPeakMb(sealed));
    Report("receive_list_256mb_again_peak_mb", DispatchPeakMb(sealed));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
        MeasureListDispatch();
        return 0;
    }
    MeasureSubject();
    TMailServer mail("client", "secret");
    const TMailPorts ports = mail.Start();
    const std::string pop3 = std::to_string(ports.Pop3);
    const std::string imap = std::to_string(ports.Imap);
    const std::string pop3Url = "pop3://127.0.0.1:" + pop3 + "/";
    const std::string imapUrl = "imap://127.0.0.1:" + imap + "/INBOX";
    const TTempDir curlDir;
    Measure(mail, "pop3", {"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + pop3},
            Pop3CurlCommand(mail, curlDir, pop3Url, 1000));
    // IMAP: FETCH of each message, then one STORE of the deleted flag and CLOSE, which
    // removes them (as the receiver ends).
    Measure(mail, "imap", {"RecvType=IMAP4", "RecvHost=127.0.0.1", "RecvPort=" + imap},
            CurlCommand(mail, imapUrl + ";MAILINDEX=[1-1000]",
                        "-X 'STORE 1:1000 +FLAGS (\\Deleted)' '" + imapUrl + "' --next -u " + mail.User() + ":" +
                            mail.Password() + " -X CLOSE '" + imapUrl + "'"));
    return 0;
}
