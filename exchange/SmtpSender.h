#pragma once
// The sender of the send type "SMTP": mails the container to the bank's address as the
// one attachment of one message, over one SMTP connection of its own.

#include "exchange/Transport.h"

class TSmtpSender : public TSender {
public:
    // Connects to the profile's SendHost and SendPort, logs in as SendUser with SendPass
    // when the server offers a login, and mails the message from EMail to BankEMail.
    void Send(const AnsiString& text, const AnsiString& fileName, TStream* data) override;
};
