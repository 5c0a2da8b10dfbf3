#pragma once
// What makes a received message the same as one recorded before: all its bytes. Each
// message recorded in a message store keeps its identity, the SHA-256 digest of the whole
// message as it came from the server, in a file beside the store, so that the store's own
// layout, which other programs read, stays as it is. A message whose identity is held is
// recorded already (it stayed on the server after the receive that recorded it, or the
// server holds it twice); any other is new, however much it looks like a recorded one.

#include "platform/AnsiString.h"

#include <string>
#include <string_view>
#include <unordered_map>

class TMessages;

// The SHA-256 digest of the bytes: 32 bytes.
std::string Sha256(std::string_view bytes);

// The file of the identities of the messages that the store of that file records: the
// store's name with the extension ".RECEIVED".
AnsiString HeldMessagesFileName(const AnsiString& storeFileName);

// The identities of the messages that a message store records. The file holds a line per
// message, ended by CR LF: the message's identity and the digest of its row's fixed fields
// (the text, the title, the date and the moment of processing; a retry of the attachments
// changes only the other two), both in hexadecimal, with a blank between them. An identity
// counts only while a row with those fields stands in the store, and no more identities
// name rows of those fields than stand: once its row is deleted, or the store replaced, the message is stored again when it comes again, so that no
// identity ever skips a message that the store does not show. A row without a line (stored
// before identities were kept, or when the program stopped between the save of the store
// and that of this file) matches nothing: at worst its message is stored twice.
class THeldMessages {
public:
    // The identities in the file whose rows stand in the store; none when there is no
    // file. Lines of another form are left out. A file that cannot be read raises.
    void Load(const AnsiString& fileName, TMessages& store);
    // Whether the message of that identity is recorded; never for an empty identity.
    bool Holds(const std::string& identity) const;
    // The message of that identity is recorded in row `row` of the store, as its fields
    // read now. An empty identity (a message not read from its bytes) is not kept.
    void Add(const std::string& identity, TMessages& store, int row);
    // Writes the file, when it differs from what Load read, under a temporary name renamed
    // over it.
    void Save() const;

private:
    AnsiString FFileName;
    std::unordered_map<std::string, std::string> FRowOf;   // the identity's row's digest
    bool FChanged = false;
};
