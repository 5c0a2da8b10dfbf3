#pragma once
// The receiver of the receive type "HTTP": asks the bank's exchange script for the list
// of the client's waiting messages, fetches each, processes it, and has the recorded
// ones deleted.

#include "exchange/Transport.h"

#include <cstddef>
#include <vector>

// The longest "list" reply, and the longest message a "get" may bring.
constexpr size_t LongestListReply = 2048;
constexpr size_t LongestHttpMessage = 64 * 1024 * 1024;

class THttpReceiver : public TReceiver {
public:
    // Posts the requests "list", "get" and "del" to the script on RecvHost
    // (BankScriptAddress: the host's own port, 80 or 443 unless the host names one;
    // RecvPort takes no part), through the profile's proxy when ProxyHost is set. The
    // form values are percent-encoded. A list reply over 2048 characters raises
    // "Слишком длинный ответ" before any message is fetched, as does a message over 64 MB
    // for that message. The "del" requests follow the saving of the message store.
    void Receive() override;
};

// The identifiers of a list reply: after the first "<BODY>", the text before each "<BR>"
// that follows, as it stands (empty ones too); text after the last "<BR>" is ignored.
std::vector<AnsiString> ListedIdentifiers(const std::string& reply);

// The text as a form value: every byte but letters, digits and "-._~" as "%" and two
// upper-case hexadecimal digits.
AnsiString FormValue(const AnsiString& text);
