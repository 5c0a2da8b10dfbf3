#pragma once
// Data files: a cursor over the records of one table file, with one current record, the
// field descriptors, a modified flag and the file's code page. The kinds keep the rows of
// delimited and fixed-width text files, dBase III tables and XML documents.

#include "documents/Blockstreams.h"
#include "documents/Charsets.h"
#include "documents/Containers.h"
#include "documents/Fingerprints.h"
#include "documents/LineStore.h"
#include "documents/Profiles.h"
#include "documents/Records.h"
#include "platform/AnsiString.h"
#include "platform/Classes.h"
#include "platform/Paths.h"

#include <cstdint>
#include <memory>
#include <vector>

class TDataFile;

// One column: a dBase type letter ('?' for fixed-width text), the width in characters and
// the number of decimals.
struct TFieldDesc {
    TFieldDesc(char type, int32_t length, int32_t decimals) : Type(type), Length(length), Decimals(decimals) {}

    char Type;
    int32_t Length;
    int32_t Decimals;
};

class TFieldDescs : public TPtrArray<TFieldDesc*, 8> {};

// A part of a line of text: its characters from Start up to End.
struct TTextSpan {
    size_t Start;
    size_t End;
};

// The current record of a data file. Field access fails with "Выход индекса поля за
// пределы диапазона" while the owning table has no records; each kind adds its own index
// bounds. Set marks the record modified until the table posts it.
class TFileRecord : public TRecord {
public:
    AnsiString Get(int index) const override;
    void GetInto(int index, AnsiString& into) const override;
    void Set(int index, const AnsiString& value) override;

    // Called after every load of the owner; prepares what depends on its field descriptors.
    virtual void InitFields() {}
    // The record as one line of CP1251 text, and the parse of such a line.
    virtual AnsiString GetText() const = 0;
    virtual void SetText(const AnsiString& text) = 0;
    // SetText that may take the text's memory and leave other text in its place.
    virtual void TakeText(AnsiString& text) { SetText(text); }
    // SetText of text that stays as it is until the owning table moves, loads, appends,
    // deletes or sorts (its store's line of the current record): a kind may read it in
    // place and copy it only when a field is set.
    virtual void ViewText(std::string_view text) { SetText(AnsiString(text)); }
    // A new empty record of the same line format, for reading other records beside the
    // current one (TDataFile::ReadRecord). A kind whose fields come from more than its
    // line must override it.
    virtual std::unique_ptr<TFileRecord> NewRecord() const = 0;
    // Where the fields of a line of this format stand in it, in field order. By default
    // the whole line is one field.
    virtual void FieldSpans(std::string_view text, std::vector<TTextSpan>& spans) const;

    bool Modified() const { return FModified; }
    void SetModified(bool modified) { FModified = modified; }
    TDataFile* Owner() const { return FOwner; }
    void SetOwner(TDataFile* owner) { FOwner = owner; }

protected:
    virtual AnsiString GetAsString(int index) const = 0;
    // GetAsString into a string whose memory is reused. A kind that overrides it and has
    // a subclass overriding GetAsString must let that subclass override this too.
    virtual void GetAsStringInto(int index, AnsiString& into) const { into = GetAsString(index); }
    virtual void SetAsString(int index, const AnsiString& value) = 0;
    virtual void CheckFieldIndex(int index) const = 0;

    void CheckField(int index) const;
    // The owning table is open but holds no records: no field can be read or written.
    bool OwnerHasNoRecords() const;
    [[noreturn]] static void RaiseFieldIndexError();

private:
    bool FModified = false;
    TDataFile* FOwner = nullptr;
};

// The table: a cursor over the records of one file. Each record is stored as text in the
// file's code page and converted per record line, so splitting, widths and escapes apply
// to the CP1251 text. Moving off a modified current record writes it back first.
class TDataFile {
public:
    // Takes ownership of the record object, whose class decides the line format.
    TDataFile(TFileRecord* record, uint8_t codePage);
    virtual ~TDataFile();

    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;

    // Reads the whole table; the file is opened for reading only. FileName becomes name.
    virtual void LoadFromFile(const AnsiString& name);
    // Writes the whole table through WriteFileAtomically (a temporary name.$NN beside the
    // target renamed over it), so a failure leaves the old file whole. An empty name means
    // FileName. A link at the name is treated as LinkAtTarget says.
    virtual void SaveToFile(const AnsiString& name);

    // Another program wrote the file since this table loaded or saved it (or it stands
    // where there was none): checked by reading it again.
    bool ChangedOnDisk() const;

    // A null stream loads an empty table. A failed load leaves the table closed.
    void LoadFromStream(TStream* stream);
    // Writes nothing when the table was never opened.
    void SaveToStream(TStream* stream);

    void First() { GoTo(-1); }
    void Prior() { GoTo(FRecNo - 1); }
    void Next() { GoTo(FRecNo + 1); }
    // Posts the current record, then lands on record i, clamped to the table: Bof when i
    // was below 0, Eof when it was at or past the end. An empty table leaves RecNo -1.
    void GoTo(int index)
    {
        PostCurrentRecord();
        const int count = RecordCount();
        FBof = index < 0;
        FRecNo = FBof ? 0 : index;
        FEof = count <= FRecNo;
        if (FEof)
            FRecNo = count - 1;
        LoadCurrentRecord(count);
    }

    // Adds a record at the end and makes it current, filled from source when one is given
    // (the copy stays pending until posted). Opens an empty table when none is open.
    void Append(const TRecord* source = nullptr);
    // Removes the current record, dropping its pending edits; the record after it (or the
    // new last one) becomes current.
    void Delete();

    // Reads record i into the given record object (one made by the current record's
    // NewRecord) without moving the cursor or posting anything: the current record reads
    // with its pending edits. An index outside the table raises the range error.
    void ReadRecord(int index, TFileRecord& into);

    // Field i of the current record, as the file holds it, reads into CP1251 without loss:
    // its bytes convert into CP1251 and back unchanged (always so without a conversion).
    bool FieldConvertsExactly(int index) { return FirstCharacterLost(index) == 0; }
    // The first character of field i of the current record, as the file holds it, that does
    // not convert into CP1251 and back unchanged: it reads as "?" (a character CP1251
    // lacks, or bytes that are no text of the code page: U+FFFD). As a Unicode code point;
    // 0 when the field has none.
    char32_t FirstCharacterLost(int index);
    // Where the CP1251 text holds the first character that the file's code page lacks (it
    // would be written as another one: "?" for "«" in CP866); npos when there is none.
    size_t FirstCharacterNotHeld(const AnsiString& text) const;
    // Whether the stored records are plainly not text of the file's code page (see
    // PlainlyNotInCodePage): a file in another code page than the profile sets.
    bool PlainlyInOtherCodePage();

    int RecordCount() const { return FOpen ? FCount : 0; }
    bool IsModified() const;
    void SetModified(bool modified) { FModified = modified; }
    void SetFileName(const AnsiString& name) { FFileName = name; }
    // Appends a field descriptor (used while a kind loads its format).
    void AddField(char type, int32_t length, int32_t decimals);

    TFileRecord* CurRecord() const { return FCurRecord.get(); }
    const TFieldDescs& Fields() const { return *FFields; }
    const AnsiString& FileName() const { return FFileName; }
    bool Open() const { return FOpen; }
    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    int RecNo() const { return FRecNo; }
    uint8_t CodePage() const { return FCodePage; }

protected:
    // The kinds' storage of the table.
    virtual void LoadFormat(TStream* stream) = 0;
    virtual void SaveFormat(TStream* stream) = 0;
    // Record i as stored, in the file's code page.
    virtual AnsiString GetRecordText(int index) = 0;
    // The same into a string whose memory is reused from record to record.
    virtual void ReadRecordText(int index, AnsiString& into) { into = GetRecordText(index); }
    // The same in place, for a kind that keeps each record as one piece of text which stays
    // until the table loads, appends, deletes, sorts or posts; false for the others.
    virtual bool ViewRecordText(int /*index*/, std::string_view& /*view*/) { return false; }
    // What the stored records hold read as UTF-8.
    virtual TUtf8Scan ScanRecords();
    virtual void PutRecordText(int index, const AnsiString& text) = 0;
    virtual void AppendRecord() = 0;
    virtual void DeleteRecord(int index) = 0;
    virtual int GetCount() const = 0;
    // What a save does with a link at the file's name: a data file is one the user chose,
    // so a link there leads to the file that the user meant.
    virtual TLinkAtTarget LinkAtTarget() const { return TLinkAtTarget::Follow; }

    // Reads record RecNo into the current record, converted into CP1251.
    void LoadCurrentRecord() { LoadCurrentRecord(RecordCount()); }
    // Writes a modified current record back, converted into the file's code page.
    void PostCurrentRecord()
    {
        if (FCurRecord->Modified())
            PostModifiedRecord();
    }

private:
    // The same for a table of `count` records.
    void LoadCurrentRecord(int count);
    void PostModifiedRecord();
    // The records are converted from and into another code page than CP1251.
    bool Converts() const;
    // The current record's line in the file's code page: each field and each text between
    // fields that reads as it did when the record was loaded keeps the bytes the file
    // holds; only what changed is converted from CP1251. So text that CP1251 cannot hold
    // survives an edit of another field.
    AnsiString StoredTextOfChanges();
    // The current record as the file holds it (the store keeps it as loaded until it is
    // posted), as it reads in CP1251, where each character of the reading starts in the
    // stored text, and where the reading's fields stand.
    struct TStoredRecord {
        AnsiString Stored;
        AnsiString Loaded;
        std::vector<size_t> Starts;
        std::vector<TTextSpan> Fields;

        // The stored bytes of a piece of the reading.
        std::string_view StoredBytes(TTextSpan piece) const
        {
            return std::string_view(Stored).substr(Starts[piece.Start], Starts[piece.End] - Starts[piece.Start]);
        }
    };
    void ReadStoredRecord(TStoredRecord& record);
    // Runs a change of the kind's records and takes their new count, also when the change
    // fails halfway.
    template <class TChange> void Counted(TChange change);

    std::unique_ptr<TFileRecord> FCurRecord;
    // The stored text of the record being loaded, kept to reuse its memory.
    AnsiString FRecordText;
    std::unique_ptr<TFieldDescs> FFields;
    // GetCount as of the last load, append or delete, the only changes of the count: every
    // field read checks it, and without a virtual call.
    int FCount = 0;
    AnsiString FFileName;
    // What the file held when the table loaded or saved it; none for a table loaded from a
    // stream (a new file, which does not exist yet).
    TFileFingerprint FOnDisk;
    bool FOpen = false;
    bool FBof = true;
    bool FEof = true;
    int FRecNo = -1;
    uint8_t FCodePage;
    bool FModified = false;
};

// ---- Text tables: one record per line ----

// A table kept as the lines of a text file (in the file's code page). Lines end at CR LF,
// CR or LF on loading; a save writes each line with the break it was read with (see
// TLineStore::SaveToStream), unless the kind writes CR LF after every line. A UTF-8 file's
// byte-order mark is not part of its first line, and a save writes it back.
class TTextFile : public TDataFile {
public:
    TTextFile(TFileRecord* record, uint8_t codePage);

    // Sorts the lines in case-insensitive order (the current record is posted first and
    // then shows the line now at its place).
    void Sort();
    // A copy of the lines (for small tables); LineStore reads them without copying.
    TStringList Lines() const { return FLines.ToList(); }
    const TLineStore& LineStore() const { return FLines; }

protected:
    void LoadFormat(TStream* stream) override;
    void SaveFormat(TStream* stream) override;
    AnsiString GetRecordText(int index) override;
    void ReadRecordText(int index, AnsiString& into) override;
    bool ViewRecordText(int index, std::string_view& view) override;
    void PutRecordText(int index, const AnsiString& text) override;
    void AppendRecord() override;
    void DeleteRecord(int index) override;
    int GetCount() const override;
    // The scan that the load took, while the lines are as loaded.
    TUtf8Scan ScanRecords() override;
    // Whether a save keeps each line's own break: a user's file keeps the bytes it had;
    // the program's own stores write CR LF.
    virtual bool KeepsLineBreaks() const { return true; }

    TLineStore FLines;

private:
    bool FByteOrderMark = false;   // the loaded UTF-8 text began with one
};

// A line of fields separated by a delimiter (one or more characters); there is no quoting.
// With escaping, the delimiter's characters, CR, LF, "#" and the characters of
// escapedAlso are stored as "#" and two hexadecimal digits. Lines may differ in their
// field counts: reading past the last field gives "", writing past it extends the line.
class TDelimRecord : public TFileRecord {
public:
    TDelimRecord(const AnsiString& delim, bool escape, const AnsiString& escapedAlso = AnsiString());

    // Read without the general path's virtual steps, as every walk over a delimited file
    // reads each field. A subclass that overrides GetAsString or GetAsStringInto must
    // override these three as well (TFileRecord's and TRecord's are the general path).
    AnsiString Get(int index) const override;
    void GetInto(int index, AnsiString& into) const override;
    // A field without escapes is read where it stands in the line.
    std::string_view GetView(int index, AnsiString& buffer) const override;
    int Count() const override;
    AnsiString GetText() const override;
    void SetText(const AnsiString& text) override;
    void TakeText(AnsiString& text) override;
    void ViewText(std::string_view text) override;
    std::unique_ptr<TFileRecord> NewRecord() const override;
    void FieldSpans(std::string_view text, std::vector<TTextSpan>& spans) const override;

    const AnsiString& Delim() const { return FDelim; }
    bool Escape() const { return FEscape; }

protected:
    AnsiString GetAsString(int index) const override;
    void GetAsStringInto(int index, AnsiString& into) const override;
    // A value that would break the line (the delimiter, CR or LF left after escaping)
    // raises "Недопустимые символы в поле".
    void SetAsString(int index, const AnsiString& value) override;
    void CheckFieldIndex(int index) const override;

private:
    // The stored text of field i (escaped, when the line is).
    std::string_view StoredField(size_t index) const
    {
        if (index >= FStarts.size())
            return std::string_view();
        return std::string_view(FLine.data() + FStarts[index], FieldEnd(index) - FStarts[index]);
    }
    // The field's place in the line: from its start up to the next delimiter or the end.
    size_t FieldEnd(size_t index) const
    {
        return index + 1 < FStarts.size() ? FStarts[index + 1] - FDelim.size() : FLine.size();
    }
    void FindFields();
    // GetAsStringInto without the virtual call.
    void ReadField(int index, AnsiString& into) const;
    // The stored value holds the delimiter, CR or LF.
    bool BreaksLine(const AnsiString& stored) const;
    // Makes the line the record's own text before it is changed.
    void OwnLine();
    // Puts the stored value into field i, adding empty fields up to it.
    void PutField(size_t index, const AnsiString& stored);
    // The line splits back into the fields that FStarts records.
    bool SplitsBack() const;

    // The line: FText, or text of the owning table's store while the record is read in
    // place (ViewText). Where each of its fields starts is kept apart from the text, since
    // a line of one empty field and a line of none are both "".
    std::string_view FLine;
    AnsiString FText;
    std::vector<uint32_t> FStarts;
    AnsiString FDelim;
    bool FEscape;
    AnsiString FEscaped;   // the characters escaped besides "#"
};

// The delimited text file: the DELIM input format, the export payload and the reference
// lists.
class TDelimFile : public TTextFile {
public:
    TDelimFile(const AnsiString& delim, uint8_t codePage, bool escape);
};

// A line of fields of fixed widths: the owner's field descriptors. A field reads without
// its trailing blanks; a line never carries blanks for empty trailing fields.
class TFixedRecord : public TFileRecord {
public:
    void InitFields() override;
    int Count() const override;
    AnsiString GetText() const override { return FText; }
    void SetText(const AnsiString& text) override { FText = text; }
    std::unique_ptr<TFileRecord> NewRecord() const override;
    void FieldSpans(std::string_view text, std::vector<TTextSpan>& spans) const override;

protected:
    AnsiString GetAsString(int index) const override;
    // "Значение поля слишком велико" for a value wider than the field; "Недопустимые
    // символы в поле" for CR or LF, which would split the line.
    void SetAsString(int index, const AnsiString& value) override;
    void CheckFieldIndex(int index) const override;

    // Puts the value into the field's place in the line, padding only as far as needed.
    void PutField(int index, const AnsiString& value);
    const TFieldDesc& Field(int index) const;

private:
    TIntArray FOffsets;
    AnsiString FText;
};

// The fixed-width text file: the FIXED input format.
class TFixedFile : public TTextFile {
public:
    // The widths are copied; one field per width.
    TFixedFile(const TFieldLengths* lengths, uint8_t codePage);

    const TFieldLengths& Lengths() const { return FLengths; }

protected:
    void LoadFormat(TStream* stream) override;

private:
    TFieldLengths FLengths;
};

// ---- dBase III tables ----

// The raw field-descriptor area of a dBase header (32 bytes per field, then 0x0D), kept
// to be written back unchanged.
using TDBaseFieldDescs = std::string;
// For each visible record, in file order, its physical record number.
using TDBaseRecordRefs = TArray<int32_t, 16>;

// The current record of a dBase table: its field bytes as one fixed-width line, with
// dates (YYYYMMDD), logical and memo fields shown in readable form and the user's text
// parsed back by the field's type letter.
class TDBaseRecord : public TFixedRecord {
public:
    std::unique_ptr<TFileRecord> NewRecord() const override;

protected:
    // D: DD/MM/YYYY; L: "True", "False" or ""; M: "(memo)" when it holds a reference;
    // N: without leading blanks; C and any other type: as stored.
    AnsiString GetAsString(int index) const override;
    // C: trailing blanks dropped; N: a number with the field's decimals, right-aligned;
    // D: a date, stored as YYYYMMDD; L: "True", "False" or "" (stored T, F or ?); M: the
    // value is ignored and the field keeps its bytes.
    void SetAsString(int index, const AnsiString& value) override;

private:
    AnsiString StoredValue(int index, const AnsiString& value) const;
};

// A dBase III table (version 0x03, or 0x83 with a memo file, which is never read):
// records marked deleted stay in the file and are hidden. A table is always an existing
// file. With explicit field widths the records are read as plain fixed-width lines of
// those widths and the table cannot be saved.
class TDBaseFile : public TDataFile {
public:
    // No widths, or an empty list: the file's own field descriptors apply.
    TDBaseFile(const TFieldLengths* lengths, uint8_t codePage);

    const TFieldLengths& Lengths() const { return FLengths; }
    // The records, live and deleted, that the header counts and that the file holds: more
    // when the program that wrote the file forgot to count some. Every record held is read.
    uint32_t HeaderRecordCount() const;
    int HeldRecords() const { return FHeldRecords; }
    // The shown records among those the header counts (deleted records are not shown).
    int CountedRecords() const;

protected:
    // A damaged header (bad version, header or record length, fields wider than the
    // record, more records than the file holds) is refused before anything is allocated.
    void LoadFormat(TStream* stream) override;
    void SaveFormat(TStream* stream) override;
    AnsiString GetRecordText(int index) override;
    void PutRecordText(int index, const AnsiString& text) override;
    void AppendRecord() override;
    void DeleteRecord(int index) override;
    int GetCount() const override;

private:
    int HeaderLength() const;
    int RecordLength() const;
    void CheckHeader(TStream* stream);
    void AddFields(TStream* stream);
    void LoadRecords(TStream* stream);
    // The byte position of a physical record's deletion mark in Data.
    int64_t RecordOffset(int physical) const;

    TFieldLengths FLengths;
    unsigned char FHeader[32] = {};
    TDBaseFieldDescs FFieldDescs;
    TDBaseRecordRefs FRecordRefs;
    TBlockStream FData;
    int FHeldRecords = 0;   // the physical records in Data
};

// ---- XML documents ----

// A read-only table over an XML document: every person element gives one delimited line
// built from a pattern whose placeholders "<path>" name child elements. The person path
// and the placeholders are element names separated by "/"; a leading "/" makes a path
// absolute (its first name must be that of the element it starts from), and each step
// takes the first child element of that name. The fields are read with escaping on. The
// lines are kept in UTF-8, as the parser gives the text, and read as a UTF-8 file's: a
// character that CP1251 lacks is known where it stands (FirstCharacterLost).
class TXmlFile : public TTextFile {
public:
    TXmlFile(const AnsiString& personPath, const AnsiString& personPattern, const AnsiString& delim);

    const AnsiString& PersonPath() const { return FPersonPath; }
    const AnsiString& PersonPattern() const { return FPersonPattern; }

protected:
    // The document is parsed without network access, DTD loading or entity substitution;
    // its own declaration gives the encoding. Malformed XML raises the parser's message.
    void LoadFormat(TStream* stream) override;
    // Raises "Сохранение файла формата XML не поддерживается".
    void SaveFormat(TStream* stream) override;

private:
    AnsiString FPersonPath;
    AnsiString FPersonPattern;
};

// ---- Data files by format ----

// A new, not yet loaded data file of the kind's format, code page, delimiter, field widths
// and XML paths.
std::unique_ptr<TDataFile> NewDataFile(const TFormatProfile& kind);
