#pragma once
// What every outgoing file of the program shares: the container (one member
// "DATAFILE.000", zipped, then signed and encrypted by the current cipher), the name it
// takes from a kind's output counter, and the send that is recorded only once the
// container is at the bank (the counter, an archive copy in "Sent/" and a row of the send
// journal). Needs no window.

#include "platform/AnsiString.h"
#include "platform/Paths.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TBlockStream;
class TFileProfile;
class TRecord;
class TStream;
class TWizardView;
class TZippedFile;

// The counter of a kind's containers may not pass this.
constexpr int32_t MaxFileCounter = 999999;

// Raises "Переполнение счетчика выходного файла" when the counter is past the last number.
void CheckFileCounter(int32_t counter);

// The name of a container without ".TLB": the prefix, the counter as at least six digits
// and the kind's letter (AB1, 42, "N" give AB1000042N).
AnsiString CounterBaseName(const AnsiString& prefix, int32_t counter, const AnsiString& letter);

// The name of a new container, held in "Sent/" from before the container is built until
// its archive copy takes its place. Another profile of the same prefix, or another
// instance on the same data folder, may have used a number that this kind's counter has
// not passed yet: the first number from the counter on whose name nothing stands in
// "Sent/" (no archive copy, no name held by a send under way, not even a link) is taken,
// and held by an empty file created there, so that no two sends ever take one name.
class TSentName {
public:
    // Raises "Переполнение счетчика выходного файла" when the free number is past the last
    // one, and the system's error when "Sent/" cannot be made or written.
    TSentName(const AnsiString& prefix, int32_t counter, const AnsiString& letter);
    // A name that was not kept (the container never reached the bank) is given back, and
    // "Sent/" goes again when it was made for it and holds nothing else.
    ~TSentName();
    TSentName(const TSentName&) = delete;
    TSentName& operator=(const TSentName&) = delete;

    int32_t Counter() const { return FCounter; }
    const AnsiString& BaseName() const { return FBaseName; }
    AnsiString FileName() const { return FBaseName + ".TLB"; }

    // The container reached the bank: its name stays taken, whatever is recorded later.
    void Keep() { FKept = true; }
    // The archive copy takes the place of the held name. When something else stands there
    // now, it is left as it is and the copy is refused with a message that says so.
    void StoreCopy(TStream& container);

private:
    bool StillHeld() const;

    int32_t FCounter;
    AnsiString FBaseName;
    AnsiString FFolder;
    bool FFolderMade = false;
    AnsiString FPath;
    TFileStamp FHeld;
    bool FKept = false;
};

// A new, empty member "DATAFILE.000".
std::unique_ptr<TZippedFile> NewDataMember();

// The container of the one member, zipped, signed and encrypted, written into `container`
// from its start. The member is given up as soon as the archive is built, so that its
// bytes are not held while the cipher works.
void SaveContainer(std::unique_ptr<TZippedFile> member, TBlockStream& container);

// The fields of a journal row that the kind gives; the send time and the container's file
// name are added by the send.
struct TJournalEntry {
    AnsiString Name;        // field 0: what was sent
    AnsiString Kind;        // field 1
    AnsiString Count;       // field 2
    AnsiString CreditSum;   // field 3
    AnsiString DebitSum;    // field 4
    AnsiString Comment;     // field 5
};

// Adds a copy of the row to the send journal of the current profile, as its file holds it
// now, under the journal's lock (UpdateStore): every row another send added stays.
void AppendJournalRow(const TRecord& row);

// A send that reached the bank, and what could not be recorded afterwards.
struct TSentFile {
    AnsiString BaseName;   // the container's name without ".TLB"
    // One line per record that failed: what it was and the error's message.
    std::vector<AnsiString> Unsaved;
    // The counter could not be written to the profiles file (it is advanced in memory).
    bool CounterUnsaved = false;
    int32_t NextCounter = 0;
};

// Sends the container under the held name with the text as subject. A failure of the
// send raises and changes nothing, so that the same number can be sent again. Once the
// container is at the bank nothing raises: the name is kept, and each record of the send
// (the kind's counter advanced past the name's number, the archive copy, the journal
// row) is tried and what failed is returned; the open journal window is reloaded, a
// failure of that shown in the error box.
TSentFile SendAndRecord(TFileProfile& kind, TSentName& name, const AnsiString& text, TBlockStream& container,
                        const TJournalEntry& entry);

// The warning about what the send could not record; empty when everything was recorded.
AnsiString UnsavedWarning(const TSentFile& sent);

// The send step of a wizard: shows "Идет отправка файла..." and runs the send in the
// view's busy state. A failure is shown in the error box and gives nothing; a send that
// reached the bank is returned after the warning about what it could not record.
std::optional<TSentFile> RunSendStep(TWizardView& view, const std::function<TSentFile()>& send);
