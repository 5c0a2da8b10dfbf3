#pragma once
// A receive run that stands in for the message store in the receiver tests: it records
// every message it is given and judges it by its subject for the prefix ABC as the
// processing does; a message titled "сбой" raises. Saving can be made to fail, and the
// test can act in the middle of the run (as another mail client would).

#include "exchange/Incoming.h"
#include "exchange/ReceivedMail.h"
#include "exchange/Transport.h"

#include <functional>
#include <memory>
#include <vector>

struct TRunLog {
    std::vector<TReceivedMail> Processed;   // every message given to the run, in order
    int Saves = 0;                          // saves that succeeded
    bool FailSave = false;                  // Save raises "Не удалось сохранить"
    std::function<void(const TReceivedMail&)> OnProcess;   // called before the judgement
    std::function<void()> OnSave;                          // called before saving

    // The bodies of the processed messages, in order.
    std::vector<std::string> Bodies() const
    {
        std::vector<std::string> bodies;
        for (const TReceivedMail& mail : Processed)
            bodies.push_back(mail.Body);
        return bodies;
    }
};

class TRecordingRun : public TReceiveRun {
public:
    explicit TRecordingRun(TRunLog& log) : FLog(log) {}

    bool Process(TReceivedMail& mail) override
    {
        FLog.Processed.push_back(mail);
        if (FLog.OnProcess)
            FLog.OnProcess(mail);
        const TMessageSubject subject = JudgeSubject(mail.Subject, mail.CharSet, "ABC");
        if (subject.Title == "сбой")
            throw Exception("Сбой обработки");
        return subject.ForClient;
    }
    void Save() override
    {
        if (FLog.OnSave)
            FLog.OnSave();
        if (FLog.FailSave)
            throw Exception("Не удалось сохранить");
        ++FLog.Saves;
    }

private:
    TRunLog& FLog;
};

// A receiver of the given kind whose runs are recording runs over its Log.
template <typename TBase>
class TRecordingReceiver : public TBase {
public:
    TRunLog Log;

protected:
    std::unique_ptr<TReceiveRun> BeginRun() override { return std::make_unique<TRecordingRun>(Log); }
};

// A message of the bank: From the address, the subject line the senders write for the
// prefix and the text, and the body as one text part.
inline std::string BankMail(const AnsiString& prefix, const AnsiString& text, const std::string& body,
                            const std::string& from = "Bank <bank@example.test>")
{
    return "From: " + from + "\r\nTo: client@example.test\r\n" + SubjectLine(prefix, text) +
           "\r\nDate: Tue, 05 Mar 2024 09:07:02 +0300\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=KOI8-R\r\n\r\n" + body + "\r\n";
}
