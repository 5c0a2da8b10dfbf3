#include "exchange/ServerMailbox.h"

#include "exchange/ReceivedMail.h"
#include "exchange/Transport.h"
#include "platform/Exception.h"

void ReceiveMessages(TReceiver& receiver, TServerMailbox& mailbox, TReceiveRun& run)
{
    std::vector<AnsiString> recorded;
    for (const AnsiString& id : mailbox.List()) {
        try {
            const std::optional<std::string> bytes = mailbox.Fetch(id);
            if (!bytes)
                continue;
            TReceivedMail mail = ReadMail(*bytes);
            if (run.Process(mail))
                recorded.push_back(id);
        } catch (const Exception& error) {
            receiver.MessageError(error.Message());
        }
    }
    run.Save();
    for (const AnsiString& id : recorded) {
        try {
            mailbox.Delete(id);
        } catch (const Exception& error) {
            receiver.MessageError(error.Message());
        }
    }
    mailbox.Finish();
}
