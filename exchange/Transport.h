#pragma once
// Exchange with the bank: the sender and the receiver that the current profile chooses
// and their holders, the subject line that every message between the client and the
// bank carries, the decoder of RFC 2047 words in a received subject, and Base64. The
// receiver's processing of what the bank sends lives in exchange/Incoming.cpp.

#include "documents/Containers.h"
#include "documents/Exportfiles.h"
#include "platform/AnsiString.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TStream;
class TStringList;

// ---- Sender and receiver ----

// Hands one finished container to the bank. Kinds: TSmtpSender, THttpSender. A sender
// keeps nothing between calls: every Send opens and closes its own connection.
class TSender {
public:
    virtual ~TSender() = default;

    // Sends the container `data` (from its first byte, whatever its position) as the one
    // attachment of one message: `text` (CP1251) is the subject's text and the body,
    // `fileName` the attachment's name. A normal return is success; any failure raises,
    // and nothing is retried.
    virtual void Send(const AnsiString& text, const AnsiString& fileName, TStream* data) = 0;
};

class THeldMessages;
class TMessages;
struct TReceivedMail;

// The local side of one receive: what becomes of the messages fetched from the server.
// It is begun before the first message is fetched and saved after the last; nothing is
// deleted on the server before Save has returned.
class TReceiveRun {
public:
    virtual ~TReceiveRun() = default;
    // Processes one fetched message; true when it was recorded, so that the server's copy
    // is to be deleted once the run is saved. Raises Exception when it could not be.
    virtual bool Process(TReceivedMail& mail) = 0;
    // Writes the record of the run to the disk.
    virtual void Save() = 0;
};

// Fetches every pending message of the bank and processes it into the local stores.
// Kinds: TPop3Receiver, TImap4Receiver, THttpReceiver. The counters describe the last
// run; every run starts them from 0.
class TReceiver {
public:
    virtual ~TReceiver() = default;

    // Fetches the bank's messages, processes each, saves the message store, and then
    // deletes on the server the messages that were recorded. A failed message is shown
    // by MessageError and the run goes on; a failure of the exchange as a whole
    // (connection, login, mailbox, list, saving the store) raises, with the counters as
    // far as they got and every message still on the server.
    virtual void Receive() = 0;

    // Sets every counter to 0.
    void ResetCounters();

    // The warning of a message skipped after an error: the text without its trailing
    // blanks and line ends, then ".\nСообщение пропущено."; BadMessages + 1.
    void MessageError(const AnsiString& text);
    // The warning of an attachment skipped after an error: "Ошибка обработки файла " +
    // fileName + ":\n" + the text without its trailing blanks and line ends +
    // ".\nФайл пропущен."; BadFiles + 1.
    void FileError(const AnsiString& text, const AnsiString& fileName);

    // Opens a container from the bank (decrypts it and checks the bank's signature through
    // the current cipher, then reads the archive) and hands each member, in archive
    // order, to the handler of its FILE_TYPE: "ETALON", "UPDATES" (ignoring case) or a
    // code of ReplyDocTypes. An empty FILE_TYPE raises "Не задан тип файла", another one
    // "Неизвестный тип файла: " + the value. The first error ends the walk; the members
    // stored before it stay stored.
    void ProcessFile(TStream& container, TStringList& report);

    // Each handler reads what it needs from the member's header, stores the member's
    // bytes from its position to its end, adds one line to the report and counts it.

    // A reference list: stored in the list store of every prefix that PREFIX names (one
    // row per type: the row of that type is replaced). Reports the type's title and,
    // when PREFIX is not the profile's own prefix, " (" + PREFIX + ")"; Etalons + 1.
    void ProcessEtalon(TStream& member, const TStringList& header, TStringList& report);
    // A reply file of the reply kind: appended to its reply store. Reports the kind's
    // title + " (" + FILE_NAME + ")"; ListsAdded[replyKind] + 1.
    void ProcessReplyFile(TStream& member, const TStringList& header, TStringList& report, int replyKind);
    // Stores a program update: the member's bytes from its position to its end become
    // the file UpdateFileName(VERSION) in the Updates folder (made when missing), written
    // under a temporary name and renamed into place as an executable, so that a half
    // written update is never there to be run. Reports "Обновления ПО до версии " +
    // VERSION; Updates + 1.
    void ProcessUpdate(TStream& member, const TStringList& header, TStringList& report);

    // The header's value of the key, trimmed; a missing or blank one raises
    // "Отсутствует параметр " + key.
    static AnsiString GetParam(const TStringList& header, const AnsiString& key);

    // Judges a fetched message by its subject (JudgeSubject with the profile's Prefix) and
    // sets its Subject to the title. A message for another client gives false and
    // nothing is stored. A message whose identity `held` holds (the same bytes as one
    // recorded before: it stayed on the server after a receive that recorded it) gives
    // true, so that it is deleted there, and is neither processed nor counted again.
    // Otherwise processes its attachments and appends its row to the store, and its
    // identity to `held`: the text, the report lines, the failed lines (memos, each line
    // ended by CR LF), the title, the message's date and the moment of processing;
    // Messages + 1, true (also when attachments failed). A failure to record it raises.
    bool ProcessMessage(TReceivedMail& mail, TMessages& store, THeldMessages& held);
    // As above, with no message held.
    bool ProcessMessage(TReceivedMail& mail, TMessages& store);

    // Processes the attachments of a message: each through ProcessFile; one that fails
    // is shown by FileError, recorded by its FailedLine in `failed`, and its content
    // kept in "Reject/" (made when missing) under its RejectFileName, replacing a file of
    // that name. A failure to keep it raises.
    void ProcessAttachments(const TReceivedMail& mail, TStringList& report, TStringList& failed);

    // Retries the failed attachments of one stored message, as its failed lines name
    // them in "Reject/": a file processed now loses its line and its file; one that fails
    // again is shown by FileError and keeps both. Lines without a ":", or whose name
    // before it is not a name this program gives a kept attachment, are left as they
    // are. Starts the counters from 0. `recordLines` saves the changed lists in the
    // message's row: the files of the lines that went are deleted only once it has
    // returned, so that a row whose save failed still finds every file it names.
    void ProcessStoredFiles(TStringList& report, TStringList& failed,
                            const std::function<void()>& recordLines = nullptr);

    // One line per counter that is not 0, in the order of the counters: its label, the
    // count and "\n"; "" when every counter is 0.
    AnsiString SummaryText() const;
    // Reloads the open windows whose data the last receive changed: the messages window
    // when Messages, the reference-list window when Etalons, the reply-list window when
    // ListsAdded is not 0 (StoreWindows, exchange/Incoming.h).
    void RefreshForms() const;

    int32_t Messages = 0;      // messages accepted and recorded in the message store
    int32_t Etalons = 0;       // reference lists stored
    // Per row of ReplyDocTypes: reply files of that kind stored.
    std::array<int32_t, ReplyDocTypeCount> ListsAdded{};
    int32_t Updates = 0;       // program updates stored
    int32_t BadMessages = 0;   // messages skipped after an error
    int32_t BadFiles = 0;      // attachments skipped after an error

protected:
    // The reply files stored, of every kind.
    int32_t RepliesAdded() const;
    // The run of one Receive over the current profile's message store, loaded here
    // ("Cache/" + Prefix + ".MESSAGES"; a missing file gives an empty store) with the
    // identities of the messages it records (HeldMessages.h), each message given to
    // ProcessMessage, saved (when it changed) under its own name, then its identities.
    virtual std::unique_ptr<TReceiveRun> BeginRun();
};

// The holders create their object on first use from the current profile's SendType and
// RecvType; every profile selection resets them.
class TSenderPtr : public TSmartPtr<TSender> {
protected:
    TSender* Create() override;
};

class TReceiverPtr : public TSmartPtr<TReceiver> {
protected:
    TReceiver* Create() override;
};

extern TSenderPtr Sender;
extern TReceiverPtr Receiver;

// ---- Subject line and header words ----

// The message-type token that opens the subject of every message of the exchange.
extern const char* const MessageToken;   // "ZEM_TLB_MESSAGE"

// Base64 of the bytes with the standard alphabet and "=" fill, as one line: no line
// breaks, whatever its length.
AnsiString EncodeBase64(const AnsiString& bytes);

// Appends the Base64 of the bytes to `out` in lines of 76 characters, each ended by CR LF
// (nothing for no bytes). The bytes are coded a few lines at a time, so that no Base64
// text of the whole is held besides `out`.
void AppendBase64Lines(std::string& out, std::string_view bytes);
// The number of characters AppendBase64Lines appends for that many bytes.
size_t Base64LinesSize(size_t byteCount);

// The bytes of a Base64 text. Line breaks, tabs and blanks are skipped and a missing
// fill is accepted; any other character outside the alphabet, data after the fill, or
// a lone last character raise EConvertError.
AnsiString DecodeBase64(const AnsiString& text);

// The text (CP1251) as one RFC 2047 word: "=?KOI8-R?B?" + Base64 of its KOI8-R bytes + "?=".
AnsiString EncodeSubjectWord(const AnsiString& text);

// The subject header line of an outgoing message, without its line end:
// "Subject: ZEM_TLB_MESSAGE " + prefix + " " + EncodeSubjectWord(text). It is written as
// it stands, never folded.
AnsiString SubjectLine(const AnsiString& prefix, const AnsiString& text);

// The text with its "B" words decoded: KOI8-R words converted to CP1251, words in other
// charsets kept as bytes, and each decoded text decoded again. Words in other encodings
// stay, without the blanks inside their encoded text; a word left open ends the decoding
// and stays with everything after it.
AnsiString DecodeHeaderWords(const AnsiString& s);
