#pragma once
// The processing of what the bank sends: the judgement of a received message, its text,
// the lines it leaves in the message store, the names under which the bank's files are
// kept, and the hook by which the windows that show the stores reload after a receive.
// The processing operations themselves belong to TReceiver (exchange/Transport.h).

#include "platform/AnsiString.h"

#include <functional>

struct TReceivedMail;

// The windows that show what the exchange stores. The user interface sets a reload while
// its window is open and clears it when the window closes; TReceiver::RefreshForms
// calls those of a receive, the export those of the journal.
struct TStoreWindows {
    std::function<void()> ReloadMessages;   // the messages window
    std::function<void()> ReloadEtalons;    // the reference-list window
    std::function<void()> ReloadReplies;    // the reply-list window of the one reply kind
    std::function<void()> ReloadJournal;    // the journal of sent files
};
extern TStoreWindows StoreWindows;

// The subject of a received message as judged for the client.
struct TMessageSubject {
    bool ForClient = false;   // a word of the subject is the client's prefix
    AnsiString Title;         // the subject without the message token and the prefix words
};

// Converts the raw subject from KOI8-R when the message's charset is KOI8-R, decodes its
// encoded words, splits it at every blank (empty words between adjacent blanks stay) and
// drops every word equal to the message token or to the prefix (ignoring case); the
// words left, joined by blanks, are the title.
TMessageSubject JudgeSubject(const AnsiString& subject, const AnsiString& charset, const AnsiString& prefix);

// The text of the message: the first text part, else the message's own body, converted
// from KOI8-R when its charset says so; its lines each ended by CR LF.
AnsiString MessageText(const TReceivedMail& mail);

// The line that records a failed attachment: its name, ": ", and the error text without
// its trailing blanks and line ends, its remaining line breaks written as "<EOL>".
AnsiString FailedLine(const AnsiString& fileName, const AnsiString& errorText);

// A name from the bank as a safe base name inside a folder: the part after the last "/"
// or "\", with ":" and control characters made "_", and a name longer than 80
// characters cut to 80, keeping a short extension; an empty name, "." or ".." gives
// the fallback.
AnsiString SafeFileName(const AnsiString& name, const AnsiString& fallback);

// The name under which a failed attachment is kept in "Reject/".
AnsiString RejectFileName(const AnsiString& attachmentName);

// ---- The members of a bank's container ----

// The row of EtalonTypeInfos whose code is the type (ignoring case); else raises
// "Неверный тип эталонного списка: " + type.
int EtalonTypeIndex(const AnsiString& type);
// Raises "Неверная дата эталонного списка: " + date unless the text is a date.
void CheckEtalonDate(const AnsiString& date);
// One item of a reference list's PREFIX, trimmed and upper-cased: three of the letters
// A-Z and digits, else raises "Неверный префикс: " + the upper-cased item.
AnsiString EtalonPrefix(const AnsiString& item);
// The first three characters of a reply's FILE_NAME name its store (ReplyFilesName): they
// may not hold "/", "\" or ":"; and no character of the name may be a control character
// (below 32, or 127). Else raises "Неверное имя файла ответа: " + fileName with each
// control character shown as "?".
void CheckReplyFileName(const AnsiString& fileName);
// The row of ReplyDocTypes whose code is the type (ignoring case), -1 when none is.
int ReplyKindIndex(const AnsiString& type);
// The name of an update's file (in "Updates/"): "Updates-" + version + ".exe". The
// version must be digits and dots, else raises "Неверная версия обновления: " + version.
AnsiString UpdateFileName(const AnsiString& version);
