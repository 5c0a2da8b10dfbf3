#pragma once
// The receiver of the receive type "POP3": fetches the bank's messages from the client's
// mailbox, processes them, and deletes the recorded ones.

#include "exchange/Transport.h"

class TPop3Receiver : public TReceiver {
public:
    // Logs in to RecvHost:RecvPort as RecvUser with RecvPass. Looks at the header of
    // every message, fetches those whose sender is the profile's BankEMail (ignoring
    // case) and processes them; after the message store is saved, deletes the recorded
    // ones. Messages are addressed by their unique identifiers (UIDL), never by numbers
    // kept across connections: a reconnect between two commands can never make one
    // command act on another message.
    void Receive() override;
};
