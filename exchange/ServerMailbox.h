#pragma once
// The messages waiting on the bank's server as one receiver reaches them, and the walk
// that every receiver makes over them: fetch and process each, save the run, and only
// then delete on the server what was recorded.

#include "platform/AnsiString.h"

#include <optional>
#include <string>
#include <vector>

class TReceiveRun;
class TReceiver;

class TServerMailbox {
public:
    virtual ~TServerMailbox() = default;

    // Identifies the messages to look at, in the order to fetch them. A failure raises
    // and ends the receive.
    virtual std::vector<AnsiString> List() = 0;
    // The whole message; nothing when it is not from the bank and stays untouched.
    virtual std::optional<std::string> Fetch(const AnsiString& id) = 0;
    // Deletes the message on the server (or marks it for the deletion that Finish or
    // the end of the connection makes final).
    virtual void Delete(const AnsiString& id) = 0;
    // Ends the work on the mailbox once the deletions are made.
    virtual void Finish() {}
};

// Fetches each listed message and hands it to the run; a message that fails is shown by
// the receiver's MessageError and stays on the server. Then saves the run, and only then
// deletes the messages it recorded: a failed save raises with every message left on the
// server. A failed deletion is shown by MessageError; the message is fetched again next
// time. Only Exception is taken per message: any other error ends the walk.
void ReceiveMessages(TReceiver& receiver, TServerMailbox& mailbox, TReceiveRun& run);
