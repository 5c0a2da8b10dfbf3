#pragma once
// Every table row of the program (a line of a data file, a row of a reference list, of
// the journal or of the message store) is seen as an indexed list of text fields.

#include "documents/Containers.h"
#include "platform/AnsiString.h"

#include <memory>
#include <string_view>

// A record: fields addressed by 0-based index, each CP1251 text. The base has no fields:
// it reads "" for every index, counts 0 and ignores writes.
class TRecord {
public:
    virtual AnsiString Get(int index) const;
    // Get into a string whose memory is reused: the hot loops read fields without an
    // allocation per field.
    virtual void GetInto(int index, AnsiString& into) const;
    // The field's text without a copy where the record keeps it as it reads (a delimited
    // line without escapes), else GetInto into the buffer. The view lives until the record,
    // its table or the buffer changes.
    virtual std::string_view GetView(int index, AnsiString& buffer) const;
    virtual void Set(int index, const AnsiString& value);
    virtual int Count() const;
    virtual ~TRecord() = default;

    TRecord() = default;
    TRecord(const TRecord&) = delete;
    TRecord& operator=(const TRecord&) = delete;
};

// A view that renumbers the fields of another record: entry i of the map is the source
// index of the view's field i, or -1 for a field the source does not have. The view owns
// the map (none given means an empty one); the source is not owned and may change at any
// time. Until a source is set the view reads "" and ignores writes, like a bare TRecord.
class TConvertRecord : public TRecord {
public:
    TConvertRecord(TIntArray* map, TRecord* source);

    // An index outside the map raises the range error; an unmapped field reads "".
    AnsiString Get(int index) const override;
    void GetInto(int index, AnsiString& into) const override;
    std::string_view GetView(int index, AnsiString& buffer) const override;
    // Writes through the map whatever the entry is: an unmapped field hands -1 to the
    // source, whose own index check decides.
    void Set(int index, const AnsiString& value) override;
    // The number of map entries, not the source's count.
    int Count() const override;

    const TIntArray& Map() const { return *FMap; }
    TRecord* Source() const { return FSource; }
    void SetSource(TRecord* source) { FSource = source; }

private:
    std::unique_ptr<TIntArray> FMap;
    TRecord* FSource;
};

// Copies field i of the source into field i of the destination for every field of the
// source, then blanks the destination's remaining fields (its count is read again on
// every step). A destination that cannot take an index raises there; the fields copied
// before stay written.
void CopyRecord(TRecord* destination, const TRecord* source);
