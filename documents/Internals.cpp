#include "documents/Internals.h"

#include "documents/Common.h"
#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/FileLocks.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// ---- TMemoArea ----

int32_t TMemoArea::Write(const void* buffer, int32_t count)
{
    // Bytes written over equal ones change nothing: the multi-stream writes the last
    // length word again whenever a child is appended.
    if (count > 0 && Position() < FFirstChange)
        NoteChange(FirstDifference(static_cast<const char*>(buffer), count));
    return TBlockStream::Write(buffer, count);
}

// The first position from the current one at which writing the bytes would change the
// stream; INT64_MAX when they are the bytes already there.
int64_t TMemoArea::FirstDifference(const char* bytes, int32_t count)
{
    const int64_t at = Position();
    const int64_t size = Size();
    if (at >= size)
        return size;
    std::string current(static_cast<size_t>(std::min<int64_t>(count, size - at)), '\0');
    ReadBuffer(current.data(), static_cast<int32_t>(current.size()));
    Seek(at, TSeekOrigin::soBeginning);
    const auto differing = std::mismatch(current.begin(), current.end(), bytes).first;
    if (differing != current.end())
        return at + (differing - current.begin());
    return at + count > size ? size : INT64_MAX;
}

void TMemoArea::SetSize(int64_t size)
{
    NoteChange(std::min(size, Size()));
    TBlockStream::SetSize(size);
}

void TMemoArea::ForgetChanges()
{
    FFirstChange = INT64_MAX;
}

void TMemoArea::NoteChange(int64_t at)
{
    FFirstChange = std::min(FFirstChange, at);
}

// ---- TMemoStreams ----

void TMemoStreams::DataChanged()
{
    FOwner->SetModified(true);
}

// ---- TInternalRecord ----

namespace {

// A NUL is escaped too: the line then holds no byte that a reader of C strings stops at.
const AnsiString EscapedNul(1, '\0');

AnsiString ReadWhole(TStream* stream)
{
    AnsiString bytes(static_cast<size_t>(stream->Size()), '\0');
    for (size_t done = 0; done < bytes.size();) {
        const int32_t piece = static_cast<int32_t>(std::min<size_t>(bytes.size() - done, INT32_MAX));
        stream->ReadBuffer(bytes.data() + done, piece);
        done += static_cast<size_t>(piece);
    }
    return bytes;
}

// A memo that a store of `memoCount` memos per row lacks raises "Выход индекса MEMO-поля за
// пределы диапазона".
void CheckMemoIndex(int index, int memoCount)
{
    if (index < 0 || index >= memoCount)
        throw Exception("Выход индекса MEMO-поля за пределы диапазона");
}

// Whether the next `count` bytes of the stream are those of `data`, read a piece at a time
// into `piece`.
bool NextBytesAre(TStream& stream, const char* data, int64_t count, std::vector<char>& piece)
{
    const auto largest = static_cast<size_t>(std::min<int64_t>(count, StreamPiece));
    if (piece.size() < largest)
        piece.resize(largest);
    for (int64_t done = 0; done < count;) {
        const auto size = static_cast<int32_t>(std::min<int64_t>(count - done, StreamPiece));
        stream.ReadBuffer(piece.data(), size);
        if (std::memcmp(piece.data(), data + done, static_cast<size_t>(size)) != 0)
            return false;
        done += size;
    }
    return true;
}

// Whether the two streams hold the same bytes from their positions to their ends, read
// and compared a piece at a time.
bool SameBytes(TStream& a, TStream& b)
{
    int64_t left = a.Size() - a.Position();
    if (b.Size() - b.Position() != left)
        return false;
    std::vector<char> pieceOfA(static_cast<size_t>(std::min<int64_t>(left, StreamPiece)));
    std::vector<char> pieceOfB;
    while (left > 0) {
        const auto count = static_cast<int32_t>(std::min<int64_t>(left, StreamPiece));
        a.ReadBuffer(pieceOfA.data(), count);
        if (!NextBytesAre(b, pieceOfA.data(), count, pieceOfB))
            return false;
        left -= count;
    }
    return true;
}

}  // namespace

TInternalRecord::TInternalRecord(TInternalData* owner) : TDelimRecord(";", true, EscapedNul), FOwner(owner) {}

int TInternalRecord::Count() const
{
    return FOwner->MemoCount() + TDelimRecord::Count();
}

AnsiString TInternalRecord::GetAsString(int index) const
{
    if (index >= FOwner->MemoCount())
        return TDelimRecord::GetAsString(index - FOwner->MemoCount());
    FOwner->SelectMemo(index);
    return ReadWhole(FOwner->MemoStream());
}

void TInternalRecord::SetAsString(int index, const AnsiString& value)
{
    if (index >= FOwner->MemoCount()) {
        TDelimRecord::SetAsString(index - FOwner->MemoCount(), value);
        return;
    }
    FOwner->SelectMemo(index);
    TStream* memo = FOwner->MemoStream();
    // Sized first, so that the memos behind it move once, not once per piece written.
    memo->SetSize(static_cast<int64_t>(value.size()));
    memo->WriteString(value);
}

// ---- TInternalData ----

TInternalData::TInternalData(int memoCount)
    : TTextFile(new TInternalRecord(this), CodePageCp1251), FMemoCount(memoCount), FMemos(&FMemoData, this)
{
}

TInternalData::~TInternalData() = default;

void TInternalData::LoadFromFile(const AnsiString& name)
{
    if (FileExists(name)) {
        TTextFile::LoadFromFile(name);
        return;
    }
    // Open and empty rather than closed: appending to a closed table would open it anew
    // and lose the name.
    LoadFromStream(nullptr);
    SetFileName(name);
}

void TInternalData::SaveToFile(const AnsiString& name)
{
    const AnsiString target = name.empty() ? FileName() : name;
    if (name.empty() && !IsModified() && (target.empty() || FileExists(target)))
        return;
    if (!Open())
        LoadFromStream(nullptr);
    const AnsiString folder = ExtractFilePath(target);
    if (!folder.empty())
        EnsureDir(folder);
    TTextFile::SaveToFile(target);
}

void TInternalData::SelectMemo(int index)
{
    CheckMemoIndex(index, FMemoCount);
    FCurrentMemo = index;
    FMemos.Select(RecNo() * FMemoCount + index);
}

AnsiString TInternalData::RowField(int row, int index)
{
    if (row == RecNo())
        return CurRecord()->Get(index);
    CheckRow(row);
    if (index < 0)
        throw Exception("Выход индекса поля за пределы диапазона");
    if (index >= FMemoCount) {
        TDelimRecord line(";", true, EscapedNul);
        line.SetText(AnsiString(FLines.Line(row)));
        return line.Get(index - FMemoCount);
    }
    const AnsiString memo = ReadWhole(SelectRowMemo(row, index));
    ReselectCurrentMemo();
    return memo;
}

namespace {

// Whether row `row` of `table` holds the fields `fields`, the table numbering the fields of
// its lines `shift` lower than the fields are numbered.
bool RowHasFields(TInternalData& table, int row, const TRowFields& fields, int shift)
{
    return std::all_of(fields.begin(), fields.end(),
                       [&](const auto& field) { return table.RowField(row, field.first - shift) == field.second; });
}

}  // namespace

bool TInternalData::HoldsRow(const TRowFields& fields, int index, TStream& bytes)
{
    for (int row = 0; row < RecordCount(); ++row)
        if (RowHasFields(*this, row, fields, 0) && RowMemoIs(row, index, bytes))
            return true;
    return false;
}

bool TInternalData::RowMemoIs(int row, int index, TStream& bytes)
{
    CheckRow(row);
    CheckMemoIndex(index, FMemoCount);
    const int64_t start = bytes.Position();
    const bool same = SameBytes(*SelectRowMemo(row, index), bytes);
    bytes.SetPosition(start);
    ReselectCurrentMemo();
    return same;
}

void TInternalData::SetMemoFrom(int index, TStream& source, bool giveUp)
{
    SelectMemo(index);
    TStream& memo = *MemoStream();
    const int64_t start = source.Position();
    const int64_t count = source.Size() - start;
    // Sized first, so that the memos behind it move once, not once per piece written.
    memo.SetSize(count);
    if (!giveUp) {
        if (count > 0)
            memo.CopyFrom(source, count);
        source.SetPosition(start);
        return;
    }
    std::vector<char> piece(static_cast<size_t>(std::min<int64_t>(count, StreamPiece)));
    for (int64_t left = count; left > 0;) {
        const auto size = static_cast<int32_t>(std::min<int64_t>(left, StreamPiece));
        left -= size;
        source.SetPosition(start + left);
        source.ReadBuffer(piece.data(), size);
        source.SetSize(start + left);
        memo.SetPosition(left);
        memo.WriteBuffer(piece.data(), size);
    }
    source.SetPosition(start);
}

TChildStream* TInternalData::SelectRowMemo(int row, int index)
{
    FMemos.Select(row * FMemoCount + index);
    return FMemos.Child();
}

void TInternalData::CheckRow(int row) const
{
    if (row < 0 || row >= GetCount())
        RaiseIndexError(row);
}

// The memo of the current record stays the selected one.
void TInternalData::ReselectCurrentMemo()
{
    if (RecNo() >= 0 && FCurrentMemo >= 0)
        FMemos.Select(RecNo() * FMemoCount + FCurrentMemo);
}

TStoreRow TInternalData::RowContent(int row)
{
    CheckRow(row);
    TStoreRow content;
    for (int memo = 0; memo < FMemoCount; ++memo)
        content.Memos.push_back(RowField(row, memo));
    content.Line = AnsiString(FLines.Line(row));
    return content;
}

int TInternalData::FindRow(const TStoreRow& content, int near)
{
    int found = -1;
    for (int row = 0; row < GetCount(); ++row)
        if ((found < 0 || std::abs(row - near) < std::abs(found - near)) && FLines.Line(row) == content.Line &&
            RowContent(row) == content)
            found = row;
    return found;
}

void TInternalData::LoadFormat(TStream* stream)
{
    FCurrentMemo = -1;
    ClearMemoArea();
    try {
        if (!stream) {
            TTextFile::LoadFormat(nullptr);
        } else if (FMemoCount == 0) {
            LoadTable(stream);
        } else {
            TMultiStream file(stream);
            file.Select(0);
            LoadTable(file.Child());
            file.Select(1);
            UnpackAndKeep(file.Child(), &FMemoData, FLoadedMemoArea);
        }
        FMemos.Rescan();
        CheckMemoArea();
    } catch (...) {
        ClearMemoArea();
        throw;
    }
    FMemoData.ForgetChanges();
    if (FMemoCount > 0)
        FCurrentMemo = 0;
}

void TInternalData::LoadTable(TStream* packed)
{
    TBlockStream text;
    UnpackStream(packed, &text);
    TTextFile::LoadFormat(&text);
}

// Every record must find each of its memos, and every memo its record: a memo area that
// does not hold exactly MemoCount children per record is damaged.
void TInternalData::CheckMemoArea() const
{
    const int64_t needed = static_cast<int64_t>(GetCount()) * FMemoCount;
    if (FMemos.Count() < needed)
        throw Exception("Выход номера дочернего потока за пределы диапазона");
    if (FMemos.Count() > needed)
        RaiseReadError();
}

void TInternalData::ClearMemoArea()
{
    FMemoData.Clear();
    FMemos.Rescan();
    FLoadedMemoArea = TPackedBlock();
}

void TInternalData::SaveFormat(TStream* stream)
{
    if (FMemoCount == 0) {
        SaveTable(stream);
        return;
    }
    TMultiStream file(stream);
    if (file.Count() == 0)
        file.Append();
    SaveTable(file.Child());
    if (file.Count() < 2)
        file.Append();
    SaveMemoArea(file.Child());
}

void TInternalData::SaveTable(TStream* target)
{
    TBlockStream text;
    TTextFile::SaveFormat(&text);
    PackStream(&text, target);
}

// Stores grow by rows appended at the end (every received message, every sent file): when
// no loaded memo byte changed, the loaded deflate data is kept and only the rest deflated.
void TInternalData::SaveMemoArea(TStream* target)
{
    if (!FLoadedMemoArea.Empty() && FMemoData.FirstChange() >= FLoadedMemoArea.Plain.Count)
        PackAppended(FLoadedMemoArea, &FMemoData, target);
    else
        PackStream(&FMemoData, target);
}

AnsiString TInternalData::GetRecordText(int index)
{
    SelectCurrentMemo();
    return TTextFile::GetRecordText(index);
}

void TInternalData::ReadRecordText(int index, AnsiString& into)
{
    SelectCurrentMemo();
    TTextFile::ReadRecordText(index, into);
}

bool TInternalData::ViewRecordText(int index, std::string_view& view)
{
    SelectCurrentMemo();
    return TTextFile::ViewRecordText(index, view);
}

void TInternalData::SelectCurrentMemo()
{
    if (FMemoCount > 0)
        SelectMemo(std::max(FCurrentMemo, 0));
}

void TInternalData::AppendRecord()
{
    TTextFile::AppendRecord();
    while (FMemos.Count() < static_cast<int64_t>(GetCount()) * FMemoCount)
        FMemos.Append();
}

void TInternalData::DeleteRecord(int index)
{
    TTextFile::DeleteRecord(index);
    if (FMemoCount == 0)
        return;
    FMemos.Select(index * FMemoCount);
    for (int i = 0; i < FMemoCount; ++i)
        FMemos.DeleteCurrent();
}

// ---- Changes under the store's lock ----

namespace {

// Takes the plain bytes of a memo area as they are inflated, a piece at a time, and follows
// its children (a length word, then the child's bytes): those numbered in `wanted` (at
// least one, in ascending order) are compared with the bytes of `bytes` from its position
// to its end, the others passed over. Nothing is kept; a position is only reported.
class TMemoAreaCheck : public TStream {
public:
    // Thrown once every wanted child has passed without holding the bytes: the rest of the
    // area need not be inflated.
    struct TNoneHolds {};

    TMemoAreaCheck(std::vector<int64_t> wanted, TStream& bytes)
        : FWanted(std::move(wanted)), FBytes(bytes), FStart(bytes.Position()), FLength(bytes.Size() - FStart)
    {
    }
    ~TMemoAreaCheck() override { FBytes.SetPosition(FStart); }

    int32_t Read(void* /*buffer*/, int32_t /*count*/) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        return origin == TSeekOrigin::soCurrent ? FWritten + offset : offset;
    }
    void SetSize(int64_t /*size*/) override {}

    // Whether a wanted child held the bytes and the area ended after exactly `children`
    // whole children (a cut last one is not counted).
    bool Holds(int64_t children) const { return FHeld && FWordBytes == 0 && FChild == children; }

private:
    void BeginChild();
    void EndChild();

    const std::vector<int64_t> FWanted;
    TStream& FBytes;
    const int64_t FStart;
    const int64_t FLength;
    int64_t FWritten = 0;
    int64_t FChild = 0;        // the number of the child being read
    bool FInChild = false;     // its bytes are read, else its length word
    uint8_t FWord[4] = {};
    int FWordBytes = 0;        // of the length word read
    int64_t FLeft = 0;         // of the child's bytes still to come
    bool FComparing = false;   // a wanted child, equal so far
    bool FHeld = false;
    std::vector<char> FPiece;
};

int32_t TMemoAreaCheck::Write(const void* buffer, int32_t count)
{
    const char* data = static_cast<const char*>(buffer);
    FWritten += count;
    for (int32_t left = count; left > 0;) {
        if (!FInChild) {
            FWord[FWordBytes++] = static_cast<uint8_t>(*data++);
            --left;
            if (FWordBytes == 4)
                BeginChild();
            continue;
        }
        const auto taken = static_cast<int32_t>(std::min<int64_t>(left, FLeft));
        FComparing = FComparing && NextBytesAre(FBytes, data, taken, FPiece);
        data += taken;
        left -= taken;
        FLeft -= taken;
        if (FLeft == 0)
            EndChild();
    }
    return count;
}

void TMemoAreaCheck::BeginChild()
{
    FWordBytes = 0;
    FInChild = true;
    FLeft = int64_t(FWord[0]) | int64_t(FWord[1]) << 8 | int64_t(FWord[2]) << 16 | int64_t(FWord[3]) << 24;
    FComparing = FLeft == FLength && std::binary_search(FWanted.begin(), FWanted.end(), FChild);
    FBytes.SetPosition(FStart);
    if (FLeft == 0)
        EndChild();
}

void TMemoAreaCheck::EndChild()
{
    FInChild = false;
    FHeld = FHeld || FComparing;
    FComparing = false;
    ++FChild;
    if (!FHeld && FWanted.back() < FChild)
        throw TNoneHolds();
}

// Whether the file of a store of `memoCount` memos per row holds, in a row with the fields
// `fields`, memo `index` with the bytes of `bytes`: only the table is loaded, and the memo
// area is inflated to its end and its CRC checked when it holds them. A missing file holds
// nothing. Damage found on the way raises what loading the file raises; the damage a
// load finds beyond it answers no, and the load then tells.
bool FileHoldsRow(const AnsiString& fileName, int memoCount, const TRowFields& fields, int index, TStream& bytes)
{
    CheckMemoIndex(index, memoCount);
    if (!FileExists(fileName))
        return false;
    try {
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        TMultiStream parts(&file);
        if (parts.Count() < 2)
            return false;
        parts.Select(0);
        TInternalData table(0);
        table.LoadFromStream(parts.Child());
        std::vector<int64_t> wanted;
        for (int row = 0; row < table.RecordCount(); ++row)
            if (RowHasFields(table, row, fields, memoCount))
                wanted.push_back(int64_t(row) * memoCount + index);
        if (wanted.empty())
            return false;
        parts.Select(1);
        TMemoAreaCheck area(std::move(wanted), bytes);
        UnpackStream(parts.Child(), &area);
        return area.Holds(int64_t(table.RecordCount()) * memoCount);
    } catch (const TMemoAreaCheck::TNoneHolds&) {
        return false;
    }
}

void UpdateLoadedStore(TInternalData& store, const AnsiString& fileName, const std::function<void()>& load,
                       const std::function<void()>& change, const std::function<bool()>& held = nullptr,
                       const std::function<void()>& saved = nullptr)
{
    const AnsiString folder = ExtractFilePath(fileName);
    if (!folder.empty())
        EnsureDir(folder);
    const TStoreLock lock(fileName);
    if (held && held())
        return;
    load();
    change();
    if (store.IsModified())
        store.SaveToFile(AnsiString());
    if (saved)
        saved();
}

}  // namespace

void UpdateStore(TInternalData& store, const AnsiString& fileName, const std::function<void()>& change)
{
    UpdateLoadedStore(store, fileName, [&] { store.LoadFromFile(fileName); }, change);
}

void UpdateStoreUnlessHeld(TInternalData& store, const AnsiString& fileName, const TRowFields& fields, int index,
                           TStream& bytes, const std::function<void()>& change)
{
    UpdateLoadedStore(
        store, fileName, [&] { store.LoadFromFile(fileName); },
        [&] {
            if (!store.HoldsRow(fields, index, bytes))
                change();
        },
        [&] { return FileHoldsRow(fileName, store.MemoCount(), fields, index, bytes); });
}

void UpdateMessageStore(TMessages& store, const AnsiString& fileName, const std::function<void()>& change,
                        const std::function<void()>& saved)
{
    UpdateLoadedStore(store, fileName, [&] { LoadMessageStore(store, fileName); }, change, nullptr, saved);
}

// ---- File names ----

AnsiString JournalFileName(const AnsiString& prefix)
{
    return GetFolder(FolderSent) + prefix + ".JOURNAL";
}

AnsiString MessagesFileName(const AnsiString& prefix)
{
    return GetFolder(FolderCache) + prefix + ".MESSAGES";
}

// The program's own saves never leave a damaged store, so damage comes from the disk or a
// hand edit; the file is left as it is for whoever repairs it.
void LoadMessageStore(TMessages& store, const AnsiString& fileName)
{
    try {
        store.LoadFromFile(fileName);
    } catch (const EFOpenError&) {
        throw;   // not damage: the system's own reason says what is wrong
    } catch (const Exception& error) {
        throw Exception("Файл сообщений " + fileName + " поврежден: " + TrimRight(error.Message()) +
                        ". Переместите его в другую папку, чтобы снова принимать сообщения; сообщения остаются на сервере.");
    }
}

AnsiString EtalonsFileName(const AnsiString& prefix)
{
    return GetFolder(FolderCache) + UpperCase(prefix) + ".ETALONS";
}

AnsiString ReplyFilesName(const AnsiString& name, const AnsiString& kindCode)
{
    const AnsiString stem = ExtractFileName(NormalizeSeparators(UpperCase(name.substr(0, 3))));
    return GetFolder(FolderCache) + stem + "." + UpperCase(kindCode);
}
