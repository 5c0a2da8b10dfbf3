#pragma once
// The receiver of the receive type "IMAP4": lets the server find the bank's messages in
// the client's INBOX, fetches each by its unique identifier, processes it, and removes
// the recorded ones.

#include "exchange/Transport.h"

#include <vector>

class TImap4Receiver : public TReceiver {
public:
    // Logs in to RecvHost:RecvPort as RecvUser with RecvPass, selects "INBOX" and searches
    // it for the messages FROM the profile's BankEMail; fetches and processes each. After
    // the message store is saved, the recorded ones are marked \Deleted and removed (the
    // mailbox is closed, which expunges it).
    void Receive() override;
};

// The identifiers of the untagged "* SEARCH" lines of a reply, in the order given; a word
// that is not a UID (1 to 4294967295) is left out.
std::vector<AnsiString> SearchResult(const std::string& reply);

// A text as an IMAP quoted string: in double quotes, with "\" and """ escaped.
AnsiString ImapQuoted(const AnsiString& text);
