#include "documents/Datafiles.h"

#include "documents/ByteScan.h"
#include "documents/Charsets.h"
#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "documents/Validate.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <vector>

// ---- TFileRecord ----

AnsiString TFileRecord::Get(int index) const
{
    CheckField(index);
    return GetAsString(index);
}

void TFileRecord::GetInto(int index, AnsiString& into) const
{
    CheckField(index);
    GetAsStringInto(index, into);
}

void TFileRecord::Set(int index, const AnsiString& value)
{
    CheckField(index);
    SetAsString(index, value);
    FModified = true;
}

void TFileRecord::FieldSpans(std::string_view text, std::vector<TTextSpan>& spans) const
{
    spans.assign(1, TTextSpan{0, text.size()});
}

void TFileRecord::CheckField(int index) const
{
    if (OwnerHasNoRecords())
        RaiseFieldIndexError();
    CheckFieldIndex(index);
}

bool TFileRecord::OwnerHasNoRecords() const
{
    return FOwner && FOwner->RecordCount() == 0;
}

void TFileRecord::RaiseFieldIndexError()
{
    throw Exception("Выход индекса поля за пределы диапазона");
}

// ---- TDataFile ----

TDataFile::TDataFile(TFileRecord* record, uint8_t codePage)
    : FCurRecord(record), FFields(new TFieldDescs), FCodePage(codePage)
{
    FCurRecord->SetOwner(this);
}

TDataFile::~TDataFile() = default;

template <class TChange> void TDataFile::Counted(TChange change)
{
    try {
        change();
    } catch (...) {
        FCount = GetCount();
        throw;
    }
    FCount = GetCount();
}

void TDataFile::LoadFromFile(const AnsiString& name)
{
    TFileStream file(name, fmOpenRead | fmShareDenyWrite);
    TFingerprintReader reader(file);
    LoadFromStream(&reader);
    FOnDisk = reader.Finish();
    FFileName = name;
}

bool TDataFile::ChangedOnDisk() const
{
    return FingerprintOfFile(FFileName) != FOnDisk;
}

void TDataFile::SaveToFile(const AnsiString& name)
{
    const AnsiString target = name.empty() ? FFileName : name;
    // A save that does not reach the target leaves the table as modified as it was, so
    // closing the window still asks before the changes are dropped.
    const bool wasModified = IsModified();
    TMemoryStream bytes;
    try {
        SaveToStream(&bytes);
        // Through a temporary file renamed over the target: the old file stays whole
        // until the new one is complete on the disk.
        WriteFileAtomically(target, bytes.Bytes(), LinkAtTarget());
    } catch (...) {
        FModified = wasModified;
        throw;
    }
    FOnDisk = FingerprintOfBytes(bytes.Bytes());
    FFileName = target;
}

void TDataFile::LoadFromStream(TStream* stream)
{
    FFileName.clear();
    FOnDisk = TFileFingerprint();
    FOpen = false;
    FBof = FEof = true;
    FRecNo = -1;
    FFields->SetCount(0);
    // Pending edits and the text read in place belong to the table being replaced.
    FCurRecord->SetModified(false);
    FCurRecord->ViewText(std::string_view());
    try {
        Counted([&] { LoadFormat(stream); });
    } catch (...) {
        FFields->SetCount(0);   // a damaged file may have given some of its fields
        throw;
    }
    FCurRecord->InitFields();
    FModified = false;
    FOpen = true;
    First();
}

void TDataFile::SaveToStream(TStream* stream)
{
    if (!FOpen)
        return;
    PostCurrentRecord();
    SaveFormat(stream);
    FModified = false;
}

void TDataFile::Append(const TRecord* source)
{
    if (!FOpen)
        LoadFromStream(nullptr);
    PostCurrentRecord();
    Counted([&] { AppendRecord(); });
    FModified = true;
    GoTo(RecordCount());
    if (source)
        CopyRecord(FCurRecord.get(), source);
}

void TDataFile::Delete()
{
    if (RecordCount() == 0)
        return;
    Counted([&] { DeleteRecord(FRecNo); });
    FCurRecord->SetModified(false);
    FModified = true;
    GoTo(FRecNo);
}

void TDataFile::ReadRecord(int index, TFileRecord& into)
{
    if (index < 0 || index >= RecordCount())
        RaiseIndexError(index);
    into.SetOwner(this);
    into.InitFields();
    if (index == FRecNo && FCurRecord->Modified()) {
        into.SetText(FCurRecord->GetText());
    } else {
        ReadRecordText(index, FRecordText);
        if (FCodePage != CodePageCp1251)
            FRecordText = ToAnsi(FRecordText, FCodePage);
        into.TakeText(FRecordText);
    }
    into.SetModified(false);
}

bool TDataFile::IsModified() const
{
    return FModified || FCurRecord->Modified();
}

void TDataFile::AddField(char type, int32_t length, int32_t decimals)
{
    FFields->Add(new TFieldDesc(type, length, decimals));
}

void TDataFile::LoadCurrentRecord(int count)
{
    if (FRecNo < 0 || FRecNo >= count) {
        // No record: the text of one that the table no longer holds is dropped.
        FCurRecord->ViewText(std::string_view());
        return;
    }
    std::string_view stored;
    if (FCodePage == CodePageCp1251 && ViewRecordText(FRecNo, stored)) {
        FCurRecord->ViewText(stored);
    } else {
        ReadRecordText(FRecNo, FRecordText);
        if (FCodePage != CodePageCp1251)
            FRecordText = ToAnsi(FRecordText, FCodePage);
        FCurRecord->TakeText(FRecordText);
    }
    FCurRecord->SetModified(false);
}

void TDataFile::PostModifiedRecord()
{
    PutRecordText(FRecNo, Converts() ? StoredTextOfChanges() : FCurRecord->GetText());
    FCurRecord->SetModified(false);
    FModified = true;
}

bool TDataFile::Converts() const
{
    return FCodePage == CodePageCp866 || FCodePage == CodePageKoi8R || FCodePage == CodePageUtf8;
}

void TDataFile::ReadStoredRecord(TStoredRecord& record)
{
    ReadRecordText(FRecNo, record.Stored);
    record.Loaded = ToAnsi(record.Stored, FCodePage);
    record.Starts = CharacterStarts(record.Stored, FCodePage);
    FCurRecord->FieldSpans(record.Loaded, record.Fields);
}

AnsiString TDataFile::StoredTextOfChanges()
{
    TStoredRecord stored;
    ReadStoredRecord(stored);
    const AnsiString& loaded = stored.Loaded;
    const std::vector<TTextSpan>& loadedFields = stored.Fields;
    const AnsiString edited = FCurRecord->GetText();
    std::vector<TTextSpan> editedFields;
    FCurRecord->FieldSpans(edited, editedFields);

    AnsiString result;
    // A piece of the edited line, and where the same piece stood in the loaded line.
    const auto put = [&](TTextSpan piece, std::optional<TTextSpan> was) {
        std::string_view text = std::string_view(edited).substr(piece.Start, piece.End - piece.Start);
        if (was) {
            const std::string_view before = std::string_view(loaded).substr(was->Start, was->End - was->Start);
            // A piece that the loaded line cut short (a fixed-width field at its end) may
            // come back filled out with spaces: what it held keeps its bytes all the same.
            const bool filledOut = was->End == loaded.size() && text.starts_with(before);
            if (text == before || filledOut) {
                result.append(stored.StoredBytes(*was));
                text.remove_prefix(before.size());
            }
        }
        result += FromAnsi(AnsiString(text), FCodePage);
    };
    size_t at = 0;
    size_t wasAt = 0;
    for (size_t k = 0; k < editedFields.size(); ++k) {
        const bool known = k < loadedFields.size();
        put({at, editedFields[k].Start}, known ? std::optional<TTextSpan>({wasAt, loadedFields[k].Start}) : std::nullopt);
        put(editedFields[k], known ? std::optional<TTextSpan>(loadedFields[k]) : std::nullopt);
        at = editedFields[k].End;
        if (known)
            wasAt = loadedFields[k].End;
    }
    const bool sameFields = editedFields.size() == loadedFields.size();
    put({at, edited.size()}, sameFields ? std::optional<TTextSpan>({wasAt, loaded.size()}) : std::nullopt);
    return result;
}

char32_t TDataFile::FirstCharacterLost(int index)
{
    if (!Converts() || FRecNo < 0 || FRecNo >= RecordCount())
        return 0;
    TStoredRecord record;
    ReadStoredRecord(record);
    if (index < 0 || static_cast<size_t>(index) >= record.Fields.size())
        return 0;
    const TTextSpan field = record.Fields[static_cast<size_t>(index)];
    for (size_t at = field.Start; at < field.End; ++at) {
        const std::string_view character = record.StoredBytes({at, at + 1});
        if (FromAnsi(AnsiString(1, record.Loaded[at]), FCodePage) != character)
            return CodePointOf(character, FCodePage);
    }
    return 0;
}

size_t TDataFile::FirstCharacterNotHeld(const AnsiString& text) const
{
    if (!Converts())
        return AnsiString::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const AnsiString character(1, text[i]);
        if (ToAnsi(FromAnsi(character, FCodePage), FCodePage) != character)
            return i;
    }
    return AnsiString::npos;
}

bool TDataFile::PlainlyInOtherCodePage()
{
    return FCodePage <= CodePageUtf8 && PlainlyNotInCodePage(ScanRecords(), FCodePage);
}

TUtf8Scan TDataFile::ScanRecords()
{
    TUtf8Scan scan;
    AnsiString stored;
    for (int i = 0; i < RecordCount() && scan.Valid; ++i) {
        ReadRecordText(i, stored);
        scan.Add(stored);
    }
    return scan;
}

// ---- TTextFile ----

namespace {

constexpr char Utf8ByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

TTextFile::TTextFile(TFileRecord* record, uint8_t codePage) : TDataFile(record, codePage) {}

void TTextFile::Sort()
{
    PostCurrentRecord();
    FLines.Sort();
    LoadCurrentRecord();
}

void TTextFile::LoadFormat(TStream* stream)
{
    FLines.Clear();
    FByteOrderMark = false;
    if (!stream)
        return;
    FLines.LoadFromStream(*stream);
    FByteOrderMark =
        CodePage() == CodePageUtf8 && FLines.Count() > 0 && FLines.Line(0).starts_with(Utf8ByteOrderMark);
    if (FByteOrderMark)
        FLines.DropFirstLinePrefix(sizeof Utf8ByteOrderMark - 1);
}

void TTextFile::SaveFormat(TStream* stream)
{
    if (FByteOrderMark)
        stream->WriteBuffer(Utf8ByteOrderMark, sizeof Utf8ByteOrderMark - 1);
    FLines.SaveToStream(*stream, KeepsLineBreaks());
}

AnsiString TTextFile::GetRecordText(int index)
{
    return AnsiString(FLines.Line(index));
}

void TTextFile::ReadRecordText(int index, AnsiString& into)
{
    const std::string_view line = FLines.Line(index);
    into.clear();
    into.append(line.data(), line.size());
}

bool TTextFile::ViewRecordText(int index, std::string_view& view)
{
    view = FLines.Line(index);
    return true;
}

void TTextFile::PutRecordText(int index, const AnsiString& text)
{
    FLines.SetLine(index, text);
}

void TTextFile::AppendRecord()
{
    FLines.Add(std::string_view());
}

void TTextFile::DeleteRecord(int index)
{
    FLines.Delete(index);
}

int TTextFile::GetCount() const
{
    return FLines.Count();
}

TUtf8Scan TTextFile::ScanRecords()
{
    if (const TUtf8Scan* loaded = FLines.LoadedScan())
        return *loaded;
    return TDataFile::ScanRecords();
}

// ---- TDelimRecord and TDelimFile ----

namespace {

[[noreturn]] void RaiseBadCharacters()
{
    throw Exception("Недопустимые символы в поле");
}

}  // namespace

TDelimRecord::TDelimRecord(const AnsiString& delim, bool escape, const AnsiString& escapedAlso)
    : FDelim(delim), FEscape(escape), FEscaped("\r\n" + delim + escapedAlso)
{
}

AnsiString TDelimRecord::Get(int index) const
{
    if (OwnerHasNoRecords() || index < 0)
        RaiseFieldIndexError();
    return TDelimRecord::GetAsString(index);
}

void TDelimRecord::GetInto(int index, AnsiString& into) const
{
    if (OwnerHasNoRecords() || index < 0)
        RaiseFieldIndexError();
    ReadField(index, into);
}

namespace {

// An escaped field's text, unescaped into the buffer unless it has no escapes.
[[gnu::noinline]] std::string_view UnescapedView(std::string_view stored, AnsiString& buffer)
{
    if (stored.find('#') == std::string_view::npos)
        return stored;
    buffer = UnescapeChars(stored);
    return buffer;
}

}  // namespace

std::string_view TDelimRecord::GetView(int index, AnsiString& buffer) const
{
    if (index < 0 || OwnerHasNoRecords()) [[unlikely]]
        RaiseFieldIndexError();
    const std::string_view stored = StoredField(static_cast<size_t>(index));
    return FEscape ? UnescapedView(stored, buffer) : stored;
}

int TDelimRecord::Count() const
{
    return static_cast<int>(FStarts.size());
}

AnsiString TDelimRecord::GetText() const
{
    return AnsiString(FLine);
}

void TDelimRecord::SetText(const AnsiString& text)
{
    FText = text;
    FLine = FText;
    FindFields();
}

void TDelimRecord::TakeText(AnsiString& text)
{
    FText.swap(text);
    FLine = FText;
    FindFields();
}

void TDelimRecord::ViewText(std::string_view text)
{
    FLine = text;
    FindFields();
}

// As SplitString: an empty line has no fields, an empty delimiter gives one field.
void TDelimRecord::FindFields()
{
    FStarts.clear();
    if (FLine.empty())
        return;
    FStarts.push_back(0);
    const char* const begin = FLine.data();
    // Walks go through the lines in order: the bytes some lines ahead are asked for now.
    __builtin_prefetch(begin + 1024);
    if (FDelim.size() == 1) {
        ForEachByteOf(begin, begin + FLine.size(), FDelim[0], FDelim[0],
                      [&](const char* delim) { FStarts.push_back(static_cast<uint32_t>(delim + 1 - begin)); });
        return;
    }
    if (FDelim.empty())
        return;
    for (size_t found = 0; (found = FLine.find(FDelim, found)) != std::string_view::npos;) {
        found += FDelim.size();
        FStarts.push_back(static_cast<uint32_t>(found));
    }
}

void TDelimRecord::FieldSpans(std::string_view text, std::vector<TTextSpan>& spans) const
{
    TDelimRecord parsed(FDelim, false);
    parsed.ViewText(text);
    spans.clear();
    for (size_t i = 0; i < parsed.FStarts.size(); ++i)
        spans.push_back({parsed.FStarts[i], parsed.FieldEnd(i)});
}

std::unique_ptr<TFileRecord> TDelimRecord::NewRecord() const
{
    // FEscaped starts with CR LF and the delimiter, which the constructor adds itself.
    return std::make_unique<TDelimRecord>(FDelim, FEscape, FEscaped.substr(2 + FDelim.size()));
}

AnsiString TDelimRecord::GetAsString(int index) const
{
    const std::string_view stored = StoredField(static_cast<size_t>(index));
    return FEscape ? UnescapeChars(stored) : AnsiString(stored);
}

void TDelimRecord::GetAsStringInto(int index, AnsiString& into) const
{
    ReadField(index, into);
}

inline void TDelimRecord::ReadField(int index, AnsiString& into) const
{
    if (FEscape) {
        into = GetAsString(index);
        return;
    }
    // clear and append: assign goes through the general replace, which checks for overlap.
    const std::string_view stored = StoredField(static_cast<size_t>(index));
    into.clear();
    into.append(stored.data(), stored.size());
}

void TDelimRecord::SetAsString(int index, const AnsiString& value)
{
    AnsiString escaped;
    if (FEscape)
        escaped = EscapeChars(value, FEscaped);
    const AnsiString& stored = FEscape ? escaped : value;
    if (BreaksLine(stored))
        RaiseBadCharacters();
    if (static_cast<size_t>(index) >= FStarts.size() && stored.empty())
        return;
    if (FDelim.size() == 1) {
        PutField(static_cast<size_t>(index), stored);
        return;
    }
    // A delimiter of several characters can form across a field border ("a|" before "||"
    // reads back as "a" and "|..."): such a value would move text into the next field.
    OwnLine();
    const AnsiString oldText = FText;
    const std::vector<uint32_t> oldStarts = FStarts;
    PutField(static_cast<size_t>(index), stored);
    if (!SplitsBack()) {
        FText = oldText;
        FLine = FText;
        FStarts = oldStarts;
        RaiseBadCharacters();
    }
}

bool TDelimRecord::BreaksLine(const AnsiString& stored) const
{
    if (FDelim.size() != 1)
        return HasLineBreak(stored) || stored.find(FDelim) != AnsiString::npos;
    return ContainsByteOf(stored.data(), stored.data() + stored.size(), '\r', '\n', FDelim[0]);
}

void TDelimRecord::OwnLine()
{
    if (FLine.data() != FText.data())
        FText.assign(FLine);
    FLine = FText;
}

void TDelimRecord::PutField(size_t index, const AnsiString& stored)
{
    OwnLine();
    while (FStarts.size() <= index) {
        if (!FStarts.empty())
            FText += FDelim;
        FStarts.push_back(static_cast<uint32_t>(FText.size()));
    }
    FLine = FText;
    const size_t start = FStarts[index];
    const size_t length = FieldEnd(index) - start;
    FText.replace(start, length, stored);
    FLine = FText;
    for (size_t later = index + 1; later < FStarts.size(); ++later)
        FStarts[later] = static_cast<uint32_t>(FStarts[later] + stored.size() - length);
}

bool TDelimRecord::SplitsBack() const
{
    if (FLine.empty())
        return true;   // a line of one empty field reads as no fields: nothing moves
    TDelimRecord parsed(FDelim, false);
    parsed.SetText(FText);
    return parsed.FStarts == FStarts;
}

void TDelimRecord::CheckFieldIndex(int index) const
{
    if (index < 0)
        RaiseFieldIndexError();
}

TDelimFile::TDelimFile(const AnsiString& delim, uint8_t codePage, bool escape)
    : TTextFile(new TDelimRecord(delim, escape), codePage)
{
}

// ---- TFixedRecord and TFixedFile ----

void TFixedRecord::InitFields()
{
    if (!Owner())
        return;
    const TFieldDescs& fields = Owner()->Fields();
    FOffsets.SetCount(fields.Count());
    int32_t offset = 0;
    for (int i = 0; i < fields.Count(); ++i) {
        FOffsets.Set(i, offset);
        offset += fields.At(i)->Length;
    }
}

int TFixedRecord::Count() const
{
    return Owner() ? Owner()->Fields().Count() : 0;
}

std::unique_ptr<TFileRecord> TFixedRecord::NewRecord() const
{
    return std::make_unique<TFixedRecord>();
}

void TFixedRecord::FieldSpans(std::string_view text, std::vector<TTextSpan>& spans) const
{
    spans.clear();
    for (int i = 0; i < FOffsets.Count(); ++i) {
        const size_t start = std::min(static_cast<size_t>(FOffsets.At(i)), text.size());
        spans.push_back({start, std::min(start + static_cast<size_t>(Field(i).Length), text.size())});
    }
}

const TFieldDesc& TFixedRecord::Field(int index) const
{
    return *Owner()->Fields().At(index);
}

AnsiString TFixedRecord::GetAsString(int index) const
{
    const size_t offset = static_cast<size_t>(FOffsets.At(index));
    if (offset >= FText.size())
        return AnsiString();
    return TrimRight(FText.substr(offset, static_cast<size_t>(Field(index).Length)));
}

void TFixedRecord::SetAsString(int index, const AnsiString& value)
{
    if (HasLineBreak(value))
        RaiseBadCharacters();
    PutField(index, value);
}

void TFixedRecord::PutField(int index, const AnsiString& value)
{
    const size_t width = static_cast<size_t>(Field(index).Length);
    const size_t offset = static_cast<size_t>(FOffsets.At(index));
    if (value.size() > width)
        throw Exception("Значение поля слишком велико");

    AnsiString prefix = FText.substr(0, offset);
    const AnsiString suffix = offset + width < FText.size() ? FText.substr(offset + width) : AnsiString();
    AnsiString field = value;
    if (!value.empty() || !suffix.empty())
        prefix.resize(offset, ' ');
    if (!suffix.empty())
        field.resize(width, ' ');
    FText = prefix + field + suffix;
}

void TFixedRecord::CheckFieldIndex(int index) const
{
    if (index < 0 || index >= Count())
        RaiseFieldIndexError();
}

namespace {

void CopyLengths(TFieldLengths& copy, const TFieldLengths* lengths)
{
    if (!lengths)
        return;
    copy.SetCount(lengths->Count());
    for (int i = 0; i < lengths->Count(); ++i)
        copy.Set(i, lengths->At(i));
}

}  // namespace

TFixedFile::TFixedFile(const TFieldLengths* lengths, uint8_t codePage) : TTextFile(new TFixedRecord, codePage)
{
    CopyLengths(FLengths, lengths);
}

void TFixedFile::LoadFormat(TStream* stream)
{
    // The record keeps each field's offset as an int: widths that add up past it would
    // overflow the offsets of the later fields.
    int64_t width = 0;
    for (int i = 0; i < FLengths.Count(); ++i)
        width += FLengths.At(i);
    if (width > INT32_MAX)
        throw Exception("Суммарная длина полей превышает размер записи");
    TTextFile::LoadFormat(stream);
    for (int i = 0; i < FLengths.Count(); ++i)
        AddField('?', FLengths.At(i), 0);
}

// ---- TDBaseRecord ----

namespace {

// The part of text from pos of at most count characters; "" past the end.
AnsiString Mid(const AnsiString& text, size_t pos, size_t count)
{
    return pos < text.size() ? text.substr(pos, count) : AnsiString();
}

constexpr char DateSeparator = '/';

}  // namespace

std::unique_ptr<TFileRecord> TDBaseRecord::NewRecord() const
{
    return std::make_unique<TDBaseRecord>();
}

AnsiString TDBaseRecord::GetAsString(int index) const
{
    const AnsiString text = TFixedRecord::GetAsString(index);
    switch (Field(index).Type) {
    case 'D':
        if (text.empty())
            return text;
        return Mid(text, 6, 2) + DateSeparator + Mid(text, 4, 2) + DateSeparator + Mid(text, 0, 4);
    case 'L': {
        const AnsiString flag = UpperCase(text);
        if (flag == "T" || flag == "Y")
            return "True";
        if (flag == "F" || flag == "N")
            return "False";
        return AnsiString();
    }
    case 'M':
        return text.empty() ? text : "(memo)";
    case 'N':
        return TrimLeft(text);
    default:
        return text;
    }
}

void TDBaseRecord::SetAsString(int index, const AnsiString& value)
{
    if (Field(index).Type == 'M')
        return;
    PutField(index, StoredValue(index, value));
}

AnsiString TDBaseRecord::StoredValue(int index, const AnsiString& value) const
{
    const TFieldDesc& field = Field(index);
    const AnsiString trimmed = Trim(value);
    switch (field.Type) {
    case 'C':
        return TrimRight(value);
    case 'N': {
        if (trimmed.empty())
            return trimmed;
        const AnsiString number = ValidateNumber(trimmed, field.Decimals);
        const size_t width = static_cast<size_t>(field.Length);
        return number.size() < width ? AnsiString(width - number.size(), ' ') + number : number;
    }
    case 'D': {
        if (trimmed.empty())
            return trimmed;
        const AnsiString date = ValidateDate(trimmed);   // dd/mm/yyyy
        return date.substr(6, 4) + date.substr(3, 2) + date.substr(0, 2);
    }
    case 'L':
        if (SameText(trimmed, "True"))
            return "T";
        if (SameText(trimmed, "False"))
            return "F";
        if (trimmed.empty())
            return "?";
        throw Exception("Неверный формат логического поля");
    default:
        return value;
    }
}

// ---- TDBaseFile ----

namespace {

constexpr int DBaseHeaderSize = 32;
constexpr int DBaseDescriptorSize = 32;
constexpr unsigned char DBaseVersion = 0x03;
constexpr unsigned char DBaseVersionWithMemo = 0x83;
constexpr char LiveMark = ' ';
constexpr char DeletedMark = '*';
constexpr char EndOfFile = 0x1A;

TFileRecord* NewDBaseRecord(const TFieldLengths* lengths)
{
    if (lengths && lengths->Count() > 0)
        return new TFixedRecord;
    return new TDBaseRecord;
}

}  // namespace

TDBaseFile::TDBaseFile(const TFieldLengths* lengths, uint8_t codePage)
    : TDataFile(NewDBaseRecord(lengths), codePage)
{
    CopyLengths(FLengths, lengths);
}

uint32_t TDBaseFile::HeaderRecordCount() const
{
    return GetLE32(FHeader + 4);
}

int TDBaseFile::CountedRecords() const
{
    const int32_t* const shown = FRecordRefs.ItemsPtr();
    const int64_t counted = HeaderRecordCount();
    return static_cast<int>(std::lower_bound(shown, shown + FRecordRefs.Count(), counted) - shown);
}

int TDBaseFile::HeaderLength() const
{
    return GetLE16(FHeader + 8);
}

int TDBaseFile::RecordLength() const
{
    return GetLE16(FHeader + 10);
}

int64_t TDBaseFile::RecordOffset(int physical) const
{
    return static_cast<int64_t>(physical) * RecordLength();
}

void TDBaseFile::LoadFormat(TStream* stream)
{
    FRecordRefs.SetCount(0);
    FData.Clear();
    FHeldRecords = 0;
    FFieldDescs.clear();
    if (!stream)
        throw Exception("Создание нового DBase-файла невозможно");
    stream->ReadBuffer(FHeader, DBaseHeaderSize);
    CheckHeader(stream);
    AddFields(stream);
    LoadRecords(stream);
}

// Every length of the header is checked against the file before it is used.
void TDBaseFile::CheckHeader(TStream* stream)
{
    if (FHeader[0] != DBaseVersion && FHeader[0] != DBaseVersionWithMemo)
        throw Exception("Неверная сигнатура в заголовке DBF-файла");
    // At least the 0x0D that ends the field descriptors follows the first 32 bytes.
    if (HeaderLength() <= DBaseHeaderSize)
        throw Exception("Неверная сигнатура в заголовке DBF-файла");
    const int64_t fileSize = stream->Size() - (stream->Position() - DBaseHeaderSize);
    const int64_t recordsSize = static_cast<int64_t>(HeaderRecordCount()) * RecordLength();
    if (HeaderRecordCount() > INT_MAX || HeaderLength() + recordsSize > fileSize)
        RaiseReadError();
}

void TDBaseFile::AddFields(TStream* stream)
{
    int64_t width = 0;
    if (FLengths.Count() > 0) {
        for (int i = 0; i < FLengths.Count(); ++i) {
            AddField('?', FLengths.At(i), 0);
            width += FLengths.At(i);
        }
        stream->Seek(HeaderLength() - DBaseHeaderSize, TSeekOrigin::soCurrent);
    } else {
        FFieldDescs.resize(static_cast<size_t>(HeaderLength() - DBaseHeaderSize));
        stream->ReadBuffer(FFieldDescs.data(), static_cast<int32_t>(FFieldDescs.size()));
        for (size_t at = 0; at + DBaseDescriptorSize <= FFieldDescs.size(); at += DBaseDescriptorSize) {
            const auto* descriptor = reinterpret_cast<const unsigned char*>(FFieldDescs.data() + at);
            AddField(static_cast<char>(descriptor[11]), descriptor[16], descriptor[17]);
            width += descriptor[16];
        }
    }
    // The first byte of a record is its deletion mark.
    if (width > RecordLength() - 1)
        throw Exception("Суммарная длина полей превышает размер записи");
}

void TDBaseFile::LoadRecords(TStream* stream)
{
    // Whole records past those the header counts are records of the file all the same (its
    // writer forgot to count them); they end at the first byte that is no deletion mark,
    // as a rule the end-of-file byte.
    const int counted = static_cast<int>(HeaderRecordCount());
    const int64_t whole = std::min<int64_t>((stream->Size() - stream->Position()) / RecordLength(), INT_MAX);
    if (whole > 0)
        FData.CopyFrom(*stream, RecordOffset(static_cast<int>(whole)));
    for (; FHeldRecords < whole; ++FHeldRecords) {
        char mark = 0;
        FData.SetPosition(RecordOffset(FHeldRecords));
        FData.ReadBuffer(&mark, 1);
        if (mark == LiveMark)
            FRecordRefs.Add(FHeldRecords);
        else if (mark == DeletedMark)
            continue;
        else if (FHeldRecords < counted)
            throw Exception("Неверная метка удаленной записи в DBF-файле");
        else
            break;
    }
    FData.SetSize(RecordOffset(FHeldRecords));
}

void TDBaseFile::SaveFormat(TStream* stream)
{
    if (FLengths.Count() > 0)
        throw Exception("Сохранение DBase-файла с переопределенными полями невозможно");
    stream->WriteBuffer(FHeader, DBaseHeaderSize);
    stream->WriteString(FFieldDescs);
    if (FData.Size() > 0) {
        FData.SetPosition(0);
        stream->CopyFrom(FData, FData.Size());
    }
    stream->WriteBuffer(&EndOfFile, 1);
}

AnsiString TDBaseFile::GetRecordText(int index)
{
    AnsiString text(static_cast<size_t>(RecordLength() - 1), ' ');
    FData.SetPosition(RecordOffset(FRecordRefs.At(index)) + 1);
    FData.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
    return text;
}

void TDBaseFile::PutRecordText(int index, const AnsiString& text)
{
    const size_t length = static_cast<size_t>(RecordLength() - 1);
    // Only a code page of several bytes per character makes a line longer than its
    // record; cutting it would lose the end of the record.
    if (text.size() > length)
        throw Exception("Значение поля слишком велико");
    AnsiString bytes = text;
    bytes.resize(length, ' ');
    FData.SetPosition(RecordOffset(FRecordRefs.At(index)) + 1);
    FData.WriteBuffer(bytes.data(), static_cast<int32_t>(length));
}

void TDBaseFile::AppendRecord()
{
    const AnsiString blank(static_cast<size_t>(RecordLength()), LiveMark);
    FData.SetPosition(RecordOffset(FHeldRecords));
    FData.WriteBuffer(blank.data(), static_cast<int32_t>(blank.size()));
    FRecordRefs.Add(FHeldRecords++);
    // The count covers the new record, and so every record before it, also a deleted one
    // that the header had left out.
    PutLE32(FHeader + 4, static_cast<uint32_t>(FHeldRecords));
}

void TDBaseFile::DeleteRecord(int index)
{
    FData.SetPosition(RecordOffset(FRecordRefs.At(index)));
    FData.WriteBuffer(&DeletedMark, 1);
    FRecordRefs.Delete(index);
}

int TDBaseFile::GetCount() const
{
    return FRecordRefs.Count();
}

// ---- TXmlFile ----

namespace {

// An element path: names separated by "/", absolute when it begins with "/". The names
// are UTF-8, as the parser gives them.
struct TElementPath {
    bool Absolute = false;
    std::vector<std::string> Names;
};

TElementPath ParseElementPath(const AnsiString& path)
{
    TElementPath parsed;
    parsed.Absolute = path.starts_with('/');
    TStringList names;
    SplitString(names, parsed.Absolute ? path.substr(1) : path, "/");
    for (const AnsiString& name : names.Items())
        parsed.Names.push_back(AnsiToUtf8(name));
    return parsed;
}

// The element's name as written, with its namespace prefix.
std::string ElementName(const xmlNode* node)
{
    std::string name = reinterpret_cast<const char*>(node->name);
    if (node->ns && node->ns->prefix)
        name = reinterpret_cast<const char*>(node->ns->prefix) + (":" + name);
    return name;
}

xmlNode* FirstChildElement(xmlNode* parent, const std::string& name)
{
    for (xmlNode* child = parent->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE && ElementName(child) == name)
            return child;
    return nullptr;
}

// The element the path leads to from start, or null.
xmlNode* FindElement(xmlNode* start, const TElementPath& path)
{
    if (!start || path.Names.empty())
        return nullptr;
    size_t step = 0;
    if (path.Absolute && ElementName(start) != path.Names[step++])
        return nullptr;
    xmlNode* node = start;
    for (; node && step < path.Names.size(); ++step)
        node = FirstChildElement(node, path.Names[step]);
    return node;
}

// The element's text content in UTF-8, trimmed.
std::string ElementText(xmlNode* node)
{
    xmlChar* content = xmlNodeGetContent(node);
    const std::string text = content ? Trim(reinterpret_cast<const char*>(content)) : std::string();
    xmlFree(content);
    return text;
}

// A line pattern: literal texts and placeholders in order. A "<" without its ">" ends the
// pattern; the text after it is literal. The lines it fills are UTF-8.
class TLinePattern {
public:
    explicit TLinePattern(const AnsiString& pattern)
    {
        size_t position = 0;
        while (position < pattern.size()) {
            const size_t open = pattern.find('<', position);
            const size_t close = open == AnsiString::npos ? open : pattern.find('>', open + 1);
            if (close == AnsiString::npos) {
                const size_t literal = open == AnsiString::npos ? position : open + 1;
                if (open != AnsiString::npos)
                    FParts.push_back({AnsiToUtf8(pattern.substr(position, open - position)), {}, false});
                FParts.push_back({AnsiToUtf8(pattern.substr(literal)), {}, false});
                break;
            }
            FParts.push_back({AnsiToUtf8(pattern.substr(position, open - position)), {}, false});
            FParts.push_back({{}, ParseElementPath(pattern.substr(open + 1, close - open - 1)), true});
            position = close + 1;
        }
    }

    std::string Fill(xmlNode* person) const
    {
        std::string line;
        for (const TPart& part : FParts) {
            if (!part.Placeholder)
                line += part.Literal;
            else if (xmlNode* found = FindElement(person, part.Path))
                line += ElementText(found);
        }
        return line;
    }

private:
    struct TPart {
        std::string Literal;
        TElementPath Path;
        bool Placeholder;
    };
    std::vector<TPart> FParts;
};

struct TXmlParserDeleter {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct TXmlDocDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using TXmlParser = std::unique_ptr<xmlParserCtxt, TXmlParserDeleter>;
using TXmlDocument = std::unique_ptr<xmlDoc, TXmlDocDeleter>;

// Network access, DTD loading and entity substitution stay off; the parser's messages
// are taken from its context instead of being printed.
constexpr int XmlParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

[[noreturn]] void RaiseXmlError(xmlParserCtxt* context)
{
    const xmlError* error = context ? xmlCtxtGetLastError(context) : nullptr;
    if (!error || !error->message)
        throw Exception("Ошибка разбора XML-документа");
    throw Exception(Trim(Utf8ToAnsi(error->message)) + " (строка " + IntToStr(error->line) + ")");
}

TXmlDocument ParseXml(const std::string& bytes)
{
    xmlInitParser();
    const TXmlParser context(xmlNewParserCtxt());
    if (!context)
        RaiseXmlError(nullptr);
    TXmlDocument document(xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()),
                                            nullptr, nullptr, XmlParseOptions));
    if (!document || !context->wellFormed)
        RaiseXmlError(context.get());
    return document;
}

}  // namespace

TXmlFile::TXmlFile(const AnsiString& personPath, const AnsiString& personPattern, const AnsiString& delim)
    : TTextFile(new TDelimRecord(delim, true), CodePageUtf8),
      FPersonPath(personPath),
      FPersonPattern(personPattern)
{
}

void TXmlFile::LoadFormat(TStream* stream)
{
    FLines.Clear();
    if (!stream)
        return;
    TMemoryStream bytes;
    bytes.LoadFromStream(*stream);
    const TXmlDocument document = ParseXml(bytes.Bytes());

    const TElementPath path = ParseElementPath(FPersonPath);
    const TLinePattern pattern(FPersonPattern);
    xmlNode* person = FindElement(xmlDocGetRootElement(document.get()), path);
    for (; person; person = person->next)
        if (person->type == XML_ELEMENT_NODE && ElementName(person) == path.Names.back())
            FLines.Add(pattern.Fill(person));
}

void TXmlFile::SaveFormat(TStream* /*stream*/)
{
    throw Exception("Сохранение файла формата XML не поддерживается");
}

// ---- Data files by format ----

std::unique_ptr<TDataFile> NewDataFile(const TFormatProfile& kind)
{
    switch (kind.FileFormat) {
    case ffFixed:
        return std::make_unique<TFixedFile>(&kind.FieldLengths, kind.Charset);
    case ffDBase:
        return std::make_unique<TDBaseFile>(&kind.FieldLengths, kind.Charset);
    case ffXml:
        return std::make_unique<TXmlFile>(kind.XMLPersonPath, kind.XMLPersonPattern, kind.Delim);
    default:
        return std::make_unique<TDelimFile>(kind.Delim, kind.Charset, false);
    }
}
