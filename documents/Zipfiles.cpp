#include "documents/Zipfiles.h"

#include "documents/Compress.h"
#include "platform/Exception.h"

#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t LocalHeaderSignature = 0x04034B50;
constexpr uint32_t CentralHeaderSignature = 0x02014B50;
constexpr uint32_t EndRecordSignature = 0x06054B50;

// Record sizes after their 4-byte signature.
constexpr int LocalHeaderSize = 26;
constexpr int CentralHeaderSize = 42;
constexpr int EndRecordSize = 18;

constexpr uint16_t VersionNeeded = 20;
constexpr uint16_t MethodStored = 0;
constexpr uint16_t MethodDeflated = 8;
// Bits 1 and 2 only choose the deflate compression level; every other flag (encryption,
// data descriptor, ...) names a feature this reader does not have.
constexpr uint16_t UnsupportedFlags = 0xFFF9;
constexpr uint32_t ArchiveAttribute = 0x20;
// The most plain bytes that the members of one archive may hold together. The largest
// real file the program handles (a reference list) is far smaller, and a few KB of
// deflate data may claim gigabytes: the claim is checked before a member is inflated,
// and no member inflates past its claim.
constexpr int64_t LongestPlainArchive = int64_t(512) << 20;
constexpr uint32_t Max16 = 0xFFFF;
constexpr uint32_t Max32 = 0xFFFFFFFF;

// The fields that a member's local header and its central directory entry share.
struct TMemberHeader {
    uint16_t Flags = 0;
    uint16_t Method = MethodDeflated;
    uint32_t DosDateTime = 0;   // date in the high 16 bits, time in the low 16 bits
    uint32_t CRC = 0;
    uint32_t CompressedSize = 0;
    uint32_t Size = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint32_t Offset = 0;        // of the local header, for the central directory
};

[[noreturn]] void RaiseUnsupportedFormat() { throw Exception("Неподдерживаемый формат ZIP-файла"); }

// A value for a field of the given width; one that does not fit cannot be written.
uint32_t FieldValue(int64_t value, uint32_t max)
{
    if (value < 0 || value > int64_t(max))
        RaiseUnsupportedFormat();
    return uint32_t(value);
}

// The local date and time packed as DOS stores them; 0 outside the years 1980 to 2107.
uint32_t DosDateTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0;
    const uint32_t time = uint32_t(local.tm_sec / 2 | local.tm_min << 5 | local.tm_hour << 11);
    const uint32_t date = uint32_t(local.tm_mday | (local.tm_mon + 1) << 5 | (year - 1980) << 9);
    return date << 16 | time;
}

// The 26 bytes from "version needed" to "extra field length": the body of a local header
// and bytes 6 to 31 of a central directory entry.
void PutSharedFields(unsigned char* p, const TMemberHeader& h)
{
    PutLE16(p, VersionNeeded);
    PutLE16(p + 2, h.Flags);
    PutLE16(p + 4, h.Method);
    PutLE32(p + 6, h.DosDateTime);
    PutLE32(p + 10, h.CRC);
    PutLE32(p + 14, h.CompressedSize);
    PutLE32(p + 18, h.Size);
    PutLE16(p + 22, h.NameLength);
    PutLE16(p + 24, h.ExtraLength);
}

TMemberHeader GetSharedFields(const unsigned char* p)
{
    TMemberHeader h;
    h.Flags = GetLE16(p + 2);
    h.Method = GetLE16(p + 4);
    h.DosDateTime = GetLE32(p + 6);
    h.CRC = GetLE32(p + 10);
    h.CompressedSize = GetLE32(p + 14);
    h.Size = GetLE32(p + 18);
    h.NameLength = GetLE16(p + 22);
    h.ExtraLength = GetLE16(p + 24);
    return h;
}

void WriteLocalHeader(TStream* dst, const TMemberHeader& h, const AnsiString& name)
{
    unsigned char record[4 + LocalHeaderSize];
    PutLE32(record, LocalHeaderSignature);
    PutSharedFields(record + 4, h);
    dst->WriteBuffer(record, sizeof record);
    dst->WriteString(name);
}

void WriteCentralHeader(TStream* dst, const TMemberHeader& h, const AnsiString& name)
{
    unsigned char record[4 + CentralHeaderSize] = {};
    PutLE32(record, CentralHeaderSignature);
    PutLE16(record + 4, VersionNeeded);   // version made by: 2.0, host byte 0
    PutSharedFields(record + 6, h);
    // Comment length, disk number and internal attributes stay 0.
    PutLE32(record + 38, ArchiveAttribute);
    PutLE32(record + 42, h.Offset);
    dst->WriteBuffer(record, sizeof record);
    dst->WriteString(name);
}

void WriteEndRecord(TStream* dst, int count, int64_t centralStart, int64_t centralSize)
{
    unsigned char record[4 + EndRecordSize] = {};
    PutLE32(record, EndRecordSignature);
    PutLE16(record + 8, uint16_t(count));
    PutLE16(record + 10, uint16_t(count));
    PutLE32(record + 12, FieldValue(centralSize, Max32));
    PutLE32(record + 16, FieldValue(centralStart, Max32));
    dst->WriteBuffer(record, sizeof record);
}

// Deflates one member behind room left for its local header, then fills the header in.
TMemberHeader WriteMember(TZippedFile* member, TStream* dst)
{
    const AnsiString& name = member->Name();
    TMemberHeader h;
    h.NameLength = uint16_t(FieldValue(int64_t(name.size()), Max16));
    if (name.empty())
        RaiseUnsupportedFormat();   // such a header could not be read back
    h.DosDateTime = DosDateTimeNow();
    const int64_t headerStart = dst->Position();
    h.Offset = FieldValue(headerStart, Max32);
    dst->Seek(4 + LocalHeaderSize + int64_t(name.size()), TSeekOrigin::soCurrent);

    member->Seek(0, TSeekOrigin::soBeginning);
    const int64_t dataStart = dst->Position();
    const TPlainBytes plain = DeflateStream(member, dst);
    const int64_t dataEnd = dst->Position();
    h.CRC = plain.CRC;
    h.Size = FieldValue(plain.Count, Max32);
    h.CompressedSize = FieldValue(dataEnd - dataStart, Max32);

    dst->Seek(headerStart, TSeekOrigin::soBeginning);
    WriteLocalHeader(dst, h, name);
    dst->Seek(dataEnd, TSeekOrigin::soBeginning);
    return h;
}

// Reading an archive: every length from a header is checked against what remains.
class TZipReader {
public:
    explicit TZipReader(TStream* src) : FSrc(src), FEnd(src->Size()) {}

    bool AtEnd() { return FSrc->Position() >= FEnd; }
    uint32_t Signature() { return ReadLE32(FSrc); }

    TMemberHeader LocalHeader()
    {
        unsigned char body[LocalHeaderSize];
        FSrc->ReadBuffer(body, sizeof body);
        TMemberHeader h = GetSharedFields(body);
        if (h.Method != MethodStored && h.Method != MethodDeflated)
            throw Exception("Неподдерживаемый метод сжатия ZIP-файла");
        if ((h.Flags & UnsupportedFlags) != 0 || h.NameLength == 0)
            RaiseUnsupportedFormat();
        return h;
    }

    AnsiString Name(const TMemberHeader& h)
    {
        Require(h.NameLength);
        AnsiString name(h.NameLength, '\0');
        FSrc->ReadBuffer(name.data(), int32_t(name.size()));
        return name;
    }

    void Skip(int64_t count)
    {
        Require(count);
        FSrc->Seek(count, TSeekOrigin::soCurrent);
    }

    // Fills the member with its plain bytes and checks their size and CRC.
    void Data(const TMemberHeader& h, TZippedFile* member)
    {
        TPlainBytes plain;
        if (h.Method == MethodDeflated) {
            plain = InflateStream(FSrc, member, h.Size);
            if (plain.Count != h.Size)
                throw Exception("Ошибка распаковки");
        } else if (h.Size != 0) {
            Require(h.Size);
            member->CopyFrom(*FSrc, h.Size);
            member->Seek(0, TSeekOrigin::soBeginning);
            plain.CRC = StreamCRC32(member);
        }
        CheckCRC32(plain.CRC, h.CRC);
        member->Seek(0, TSeekOrigin::soBeginning);
    }

private:
    void Require(int64_t count)
    {
        if (count > FEnd - FSrc->Position())
            RaiseReadError();
    }

    TStream* FSrc;
    int64_t FEnd;
};

bool IsFolderName(const AnsiString& name) { return !name.empty() && name.back() == '/'; }

} // namespace

// ---- TZippedFile ----

TZippedFile::TZippedFile(TZipFile* /*owner*/, const AnsiString& name) : FName(name)
{
}

TZippedFile::~TZippedFile()
{
    if (FOwner)
        FOwner->Delete(FOwner->IndexOf(this));
}

// ---- TZipFile ----

TZipFile::~TZipFile() { Clear(); }

void TZipFile::Clear()
{
    // Each member's destructor takes it off the list.
    while (Count() > 0)
        delete At(Count() - 1);
}

void TZipFile::Add(TZippedFile* m) { Insert(Count(), m); }

void TZipFile::Insert(int i, TZippedFile* m)
{
    if (i != Count())
        CheckIndex(i);
    // A member is listed once: it leaves its former list first (this one included, in
    // which case the entries behind it have moved down by one).
    if (TZipFile* former = m->FOwner) {
        const int at = former->IndexOf(m);
        former->Delete(at);
        if (former == this && at < i)
            --i;
    }
    TArray::Insert(i, m);
    m->FOwner = this;
}

int TZipFile::IndexOf(TZippedFile* m)
{
    for (int i = Count() - 1; i >= 0; --i)
        if (At(i) == m)
            return i;
    return Count();
}

void TZipFile::Delete(int i)
{
    TZippedFile* removed = At(i);
    TArray::Delete(i);   // a plain array drops the entry and leaves the member alone
    removed->FOwner = nullptr;
}

void TZipFile::SaveToStream(TStream* dst)
{
    const int count = int(FieldValue(Count(), Max16));
    std::vector<TMemberHeader> headers;
    headers.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        headers.push_back(WriteMember(At(i), dst));

    const int64_t centralStart = dst->Position();
    for (int i = 0; i < count; ++i)
        WriteCentralHeader(dst, headers[size_t(i)], At(i)->Name());
    WriteEndRecord(dst, count, centralStart, dst->Position() - centralStart);
}

void TZipFile::LoadFromStream(TStream* src)
{
    Clear();
    TZipReader reader(src);
    if (reader.AtEnd())
        return;   // an empty stream is an empty archive
    int64_t plainBytes = 0;
    while (!reader.AtEnd()) {
        const uint32_t signature = reader.Signature();
        // The central directory follows the last member; an archive without members is
        // the end record alone.
        if (signature == CentralHeaderSignature || signature == EndRecordSignature)
            return;
        if (signature != LocalHeaderSignature)
            throw Exception("Неверная сигнатура блока ZIP-файла");
        const TMemberHeader h = reader.LocalHeader();
        const AnsiString name = reader.Name(h);
        reader.Skip(h.ExtraLength);
        if (IsFolderName(name)) {
            reader.Skip(h.CompressedSize);
            continue;
        }
        plainBytes += h.Size;
        if (plainBytes > LongestPlainArchive)
            throw Exception("Слишком большой архив: больше 512 МБ после распаковки");
        auto member = std::make_unique<TZippedFile>(this, name);
        reader.Data(h, member.get());
        Add(member.release());
    }
    // Members without the central directory behind them: the archive was cut short.
    RaiseReadError();
}
