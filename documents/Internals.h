#pragma once
// The program's own tables: the journal of sent files, the received messages, the bank's
// reference lists and its reply lists. Each is a delimited text table (";" between the
// fields, "#hh" escapes) whose records also have a fixed number of memo fields: long
// free-form values kept outside the line, each as a child of a multi-stream.
//
// File layout (integers little-endian), where a packed block is raw deflate data followed
// by the CRC-32 of its plain bytes:
// - no memo fields: one packed block of the table text;
// - with memo fields: a multi-stream of two children, the packed table text and the packed
//   memo area (length word, packed table, length word, packed memo area).
// The table text is one CP1251 line per record, each ended by CR LF. The memo area is a
// multi-stream with exactly MemoCount children per record, in record order: memo i of
// record r is child r * MemoCount + i. There is no version, signature or record count.

#include "documents/Blockstreams.h"
#include "documents/Compress.h"
#include "documents/Datafiles.h"
#include "documents/Multistreams.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class TInternalData;

// The content of one row of a store: its memos and its line. A window finds the row it
// shows by this content in a store read afresh, where other writers may have moved it.
struct TStoreRow {
    std::vector<AnsiString> Memos;
    AnsiString Line;
    bool operator==(const TStoreRow&) const = default;
};

// Fields that a row must hold exactly, each by its number as RowField numbers them (the
// memos first, then the fields of the line); only fields of the line are given.
using TRowFields = std::vector<std::pair<int, AnsiString>>;

// The plain memo area: a block stream that remembers the first byte changed since the last
// load, so that a save can tell whether bytes were only added after the loaded ones.
class TMemoArea : public TBlockStream {
public:
    int32_t Write(const void* buffer, int32_t count) override;
    void SetSize(int64_t size) override;

    // The position of the first byte changed since ForgetChanges; INT64_MAX when none.
    int64_t FirstChange() const { return FFirstChange; }
    void ForgetChanges();

private:
    int64_t FirstDifference(const char* bytes, int32_t count);
    void NoteChange(int64_t at);

    int64_t FFirstChange = INT64_MAX;
};

// The memos of a table: writing one marks the table modified.
class TMemoStreams : public TMultiStream {
public:
    TMemoStreams(TStream* parent, TInternalData* owner) : TMultiStream(parent), FOwner(owner) {}

protected:
    void DataChanged() override;

private:
    TInternalData* FOwner;
};

// The current record of a table with memo fields: fields 0 .. MemoCount - 1 are the memos
// of the current record, field MemoCount + k is field k of its line. A memo reads as all
// its bytes; writing one replaces all its bytes.
class TInternalRecord : public TDelimRecord {
public:
    explicit TInternalRecord(TInternalData* owner);

    // The memo fields and the fields of the line, read through the general path, which
    // calls the overrides below.
    AnsiString Get(int index) const override { return TFileRecord::Get(index); }
    void GetInto(int index, AnsiString& into) const override { TFileRecord::GetInto(index, into); }
    std::string_view GetView(int index, AnsiString& buffer) const override { return TRecord::GetView(index, buffer); }
    int Count() const override;

protected:
    AnsiString GetAsString(int index) const override;
    void GetAsStringInto(int index, AnsiString& into) const override { into = GetAsString(index); }
    void SetAsString(int index, const AnsiString& value) override;

private:
    TInternalData* FOwner;
};

class TInternalData : public TTextFile {
public:
    explicit TInternalData(int memoCount);
    ~TInternalData() override;

    // A missing file gives an empty open table bound to the name, so that a later save
    // creates it. A damaged file fails as a whole and leaves the table closed: "Ошибка
    // распаковки", "Несовпадение CRC32", the stream read error for a cut length word or
    // CRC and for a memo area with more children than the records have, "Выход номера
    // дочернего потока за пределы диапазона" for one with fewer or a file without it.
    void LoadFromFile(const AnsiString& name) override;
    // An empty name means the loaded file, and then an unchanged table that is on the disk
    // is not written again. The folder is created when missing; the file is written under a
    // temporary name, flushed and renamed over the target. A table that was never opened is
    // saved as an empty one, never as an empty file.
    void SaveToFile(const AnsiString& name) override;

    // Selects memo i of the current record, at position 0; "Выход индекса MEMO-поля за
    // пределы диапазона" when the table has no memo i.
    void SelectMemo(int index);
    // The selected memo as a stream.
    TChildStream* MemoStream() { return FMemos.Child(); }

    // Field `index` of record `row` (numbered as the current record numbers them: the memos
    // first, then the fields of the line) without moving the cursor, so that a list can
    // draw any row while an operation keeps its place. The current record is read with its
    // pending edits; a row outside the table raises "Выход индекса за пределы диапазона".
    AnsiString RowField(int row, int index);
    // Whether memo `index` of record `row` holds exactly the bytes of `bytes` from its
    // position to its end. Both are read and compared a piece at a time: a list of
    // hundreds of megabytes is compared where it lies, never copied. `bytes` is left
    // where it was.
    bool RowMemoIs(int row, int index, TStream& bytes);
    // Whether a row holds the fields `fields` and, in memo `index`, the bytes of `bytes`
    // as RowMemoIs compares them.
    bool HoldsRow(const TRowFields& fields, int index, TStream& bytes);
    // Memo `index` of the current record becomes the bytes of `source` from its position
    // to its end, copied a piece at a time; `source` is left where it was. With
    // `giveUp` they are taken from the end of `source` backwards, and `source` is cut
    // behind each piece taken, so that the bytes are never held twice; it ends at its
    // position, which is its end then.
    void SetMemoFrom(int index, TStream& source, bool giveUp = false);

    // The content of row `row` as stored (the current record's unposted edits aside).
    TStoreRow RowContent(int row);
    // The row whose content that is, the one nearest to `near` among equal ones; -1 when
    // no row holds it.
    int FindRow(const TStoreRow& content, int near);

    int MemoCount() const { return FMemoCount; }
    // The memo that moving to another record selects again; -1 before the first load.
    int CurrentMemo() const { return FCurrentMemo; }

    // The lines carry no memos: sorting them would give each record another's memos.
    void Sort() = delete;

protected:
    void LoadFormat(TStream* stream) override;
    void SaveFormat(TStream* stream) override;
    // The stores' names are the program's own, in its working folders, and partly the
    // bank's: a link planted at one is replaced, never written through.
    TLinkAtTarget LinkAtTarget() const override { return TLinkAtTarget::Replace; }
    // Every line of a store ends with CR LF, whatever its text was read with.
    bool KeepsLineBreaks() const override { return false; }
    // Selects the current memo of the current record again, then gives line index.
    AnsiString GetRecordText(int index) override;
    void ReadRecordText(int index, AnsiString& into) override;
    bool ViewRecordText(int index, std::string_view& view) override;
    // The line and the record's empty memos.
    void AppendRecord() override;
    // The line and the record's memos; the later records' memos move down.
    void DeleteRecord(int index) override;

private:
    void SelectCurrentMemo();
    // A row outside the table raises "Выход индекса за пределы диапазона".
    void CheckRow(int row) const;
    // Memo `index` of row `row` selected at position 0, its index checked by the caller.
    TChildStream* SelectRowMemo(int row, int index);
    // The memo of the current record selected again.
    void ReselectCurrentMemo();
    void LoadTable(TStream* packed);
    void SaveTable(TStream* target);
    void SaveMemoArea(TStream* target);
    void CheckMemoArea() const;
    void ClearMemoArea();

    const int FMemoCount;
    int FCurrentMemo = -1;
    TMemoArea FMemoData;
    TMemoStreams FMemos;
    // The memo area's packed block as loaded: a save after rows were only appended
    // deflates just the added bytes.
    TPackedBlock FLoadedMemoArea;
};

// The journal of sent files (no memo fields).
class TJournal : public TInternalData {
public:
    TJournal() : TInternalData(0) {}
};

// The received messages, one row per message: the text, the report and the failed
// attachments as memos; the title, the date the message was written and the moment it was
// processed in the line. Other programs read these files: the fields stay where they are.
class TMessages : public TInternalData {
public:
    // The fields of a row, numbered as RowField and the current record number them.
    static constexpr int TextField = 0;       // memo: the lines of the message's text
    static constexpr int ReportField = 1;     // memo: a line per container member stored
    static constexpr int FailedField = 2;     // memo: a line per attachment that failed
    static constexpr int TitleField = 3;      // the subject without the token and prefix
    static constexpr int CreatedField = 4;    // the message's own date
    static constexpr int ReceivedField = 5;   // the moment it was processed

    TMessages() : TInternalData(3) {}
};

// The bank's reference lists of one client prefix: the list as memo.
class TEtalons : public TInternalData {
public:
    TEtalons() : TInternalData(1) {}
};

// The bank's reply lists of one kind: the list as memo.
class TReplyFiles : public TInternalData {
public:
    TReplyFiles() : TInternalData(1) {}
};

// Changes a store as its file holds it now, so that no change of another writer is lost:
// under the store's lock (TStoreLock), reads the file into `store` afresh, lets `change`
// apply the change to it and saves it when the change modified it. Every writer of a store
// changes it through here. The folder is created when missing.
void UpdateStore(TInternalData& store, const AnsiString& fileName, const std::function<void()>& change);
// UpdateStore of a change that stores the bytes of `bytes` from its position to its end as
// memo `index` of a row with the fields `fields`: unless the store holds such a row
// already, `change` makes it. Whether it does is asked first of the file itself, under the
// lock: its memo area is inflated and compared as it comes, a piece at a time, so that a
// list of hundreds of megabytes that comes again is checked without a second copy of it in
// memory; then the store is neither loaded nor written. Only an answer found in a whole,
// sound file counts; any other leaves the question to the loaded store. `bytes` is left
// where it was. The store must have memo `index`: "Выход индекса MEMO-поля за пределы
// диапазона" otherwise.
void UpdateStoreUnlessHeld(TInternalData& store, const AnsiString& fileName, const TRowFields& fields, int index,
                           TStream& bytes, const std::function<void()>& change);

// The stores' files in the current profile's working folders (not created here).
// The journal: "Sent/" + prefix + ".JOURNAL".
AnsiString JournalFileName(const AnsiString& prefix);
// The messages: "Cache/" + prefix + ".MESSAGES".
AnsiString MessagesFileName(const AnsiString& prefix);
// Loads the message store from its file. A store that cannot be read as one raises an
// error that names the file, says it is damaged and how to receive again; a file that
// cannot be opened keeps the system's own reason.
void LoadMessageStore(TMessages& store, const AnsiString& fileName);
// UpdateStore of the message store, read as LoadMessageStore reads it. `saved` is called
// once the store is saved (or needed no save), still under its lock: what must never be
// on the disk before the rows it speaks of is written there.
void UpdateMessageStore(TMessages& store, const AnsiString& fileName, const std::function<void()>& change,
                        const std::function<void()>& saved = nullptr);
// The reference lists for a client prefix: "Cache/" + the prefix in upper case + ".ETALONS".
AnsiString EtalonsFileName(const AnsiString& prefix);
// The reply lists: "Cache/" + the first three characters of name (a reply's file name, or
// the client prefix) in upper case + "." + the reply kind's code in upper case. The three
// characters come from the bank: a "/" or "\" among them cannot lead out of the folder.
AnsiString ReplyFilesName(const AnsiString& name, const AnsiString& kindCode);
