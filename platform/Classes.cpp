#include "platform/Classes.h"

#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The largest piece handed to Read or Write at once when a whole block moves.
constexpr size_t BlockPiece = 1 << 30;

int32_t PieceOf(int64_t remaining, int64_t limit)
{
    return static_cast<int32_t>(std::min(remaining, limit));
}

int SeekWhence(TSeekOrigin origin)
{
    switch (origin) {
    case TSeekOrigin::soBeginning: return SEEK_SET;
    case TSeekOrigin::soCurrent: return SEEK_CUR;
    case TSeekOrigin::soEnd: return SEEK_END;
    }
    return SEEK_SET;
}

// The open(2) flags of a class library file mode; the share flags are not enforced.
int OpenFlags(unsigned mode)
{
    if (mode == fmCreate)
        return O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;
    switch (mode & 3) {
    case fmOpenRead: return O_RDONLY | O_CLOEXEC;
    case fmOpenWrite: return O_WRONLY | O_CLOEXEC;
    case fmOpenReadWrite: return O_RDWR | O_CLOEXEC;
    }
    return -1;
}

[[noreturn]] void RaiseOpenError(const AnsiString& fileName, int error)
{
    throw EFOpenError("Не удается открыть файл \"" + fileName + "\". " + SysErrorMessage(error));
}

[[noreturn]] void RaiseRangeError(int index)
{
    throw Exception("Выход индекса за пределы диапазона (" + IntToStr(index) + ")");
}

// Splits text into lines at CR LF, CR or LF; a final line end adds no empty line.
std::vector<AnsiString> SplitLines(const AnsiString& text)
{
    std::vector<AnsiString> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

// ---- TStream ----

int64_t TStream::Size()
{
    const int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void RaiseReadError() { throw EReadError("Ошибка чтения потока"); }

void RaiseWriteError() { throw EWriteError("Ошибка записи в поток"); }

void TStream::ReadBuffer(void* buffer, int32_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        RaiseReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        RaiseWriteError();
}

void TStream::WriteString(const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const int32_t count = PieceOf(static_cast<int64_t>(bytes.size() - done), BlockPiece);
        WriteBuffer(bytes.data() + done, count);
        done += static_cast<size_t>(count);
    }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count < 0)
        return 0;
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<char> piece(static_cast<size_t>(std::min<int64_t>(count, StreamPiece)));
    for (int64_t remaining = count; remaining > 0;) {
        const int32_t size = PieceOf(remaining, StreamPiece);
        source.ReadBuffer(piece.data(), size);
        WriteBuffer(piece.data(), size);
        remaining -= size;
    }
    return count;
}

// ---- TFileStream ----

TFileStream::TFileStream(const AnsiString& fileName, unsigned mode, unsigned permissions) : FFileName(fileName)
{
    const int flags = OpenFlags(mode);
    if (flags < 0)
        RaiseOpenError(fileName, EINVAL);
    FHandle = ::open(ToSystemPath(fileName).c_str(), flags, static_cast<mode_t>(permissions));
    if (FHandle < 0)
        RaiseOpenError(fileName, errno);
    // A folder opens for reading on Linux; as a file stream it is an error.
    struct stat info {};
    if (::fstat(FHandle, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(FHandle);
        RaiseOpenError(fileName, EISDIR);
    }
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

int32_t TFileStream::Read(void* buffer, int32_t count)
{
    int32_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(FHandle, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            RaiseOSError(errno, FFileName);
        }
        if (got == 0)
            break;
        done += static_cast<int32_t>(got);
    }
    return done;
}

int32_t TFileStream::Write(const void* buffer, int32_t count)
{
    int32_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(FHandle, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            RaiseOSError(errno, FFileName);
        }
        done += static_cast<int32_t>(put);
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    // A position before the start fails with -1 and leaves the position where it was.
    return ::lseek(FHandle, offset, SeekWhence(origin));
}

void TFileStream::SetSize(int64_t size)
{
    if (::ftruncate(FHandle, size) != 0)
        RaiseOSError(errno, FFileName);
    if (Position() > size)
        SetPosition(size);
}

void TFileStream::FlushToDisk()
{
    if (::fsync(FHandle) != 0)
        RaiseOSError(errno, FFileName);
}

// ---- TMemoryStream ----

int32_t TMemoryStream::Read(void* buffer, int32_t count)
{
    const int64_t size = Size();
    if (count <= 0 || FPosition >= size)
        return 0;
    const int32_t got = PieceOf(size - FPosition, count);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(got));
    FPosition += got;
    return got;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0 || FPosition > static_cast<int64_t>(FData.max_size()) - count)
        return 0;
    const int64_t end = FPosition + count;
    if (end > Size())
        FData.resize(static_cast<size_t>(end));   // a gap after the old end is zero-filled
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                         : origin == TSeekOrigin::soCurrent ? FPosition
                                                            : Size();
    // A position before the start fails with -1, as for a file; one past the end is allowed.
    if (offset < -base || offset > std::numeric_limits<int64_t>::max() - base)
        return -1;
    FPosition = base + offset;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t size)
{
    if (size < 0)
        RaiseOSError(EINVAL);
    FData.resize(static_cast<size_t>(size));
    FPosition = std::min(FPosition, size);
}

void TMemoryStream::Reserve(int64_t size)
{
    if (size > 0 && static_cast<uint64_t>(size) <= FData.max_size())
        FData.reserve(static_cast<size_t>(size));
}

void TMemoryStream::Clear()
{
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    const int64_t size = source.Size();
    std::string data(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
    for (size_t done = 0; done < data.size();) {
        const int32_t count = PieceOf(static_cast<int64_t>(data.size() - done), BlockPiece);
        source.ReadBuffer(data.data() + done, count);
        done += static_cast<size_t>(count);
    }
    FData = std::move(data);
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& target)
{
    target.WriteString(FData);
}

void TMemoryStream::SaveToFile(const AnsiString& fileName)
{
    WriteFileAtomically(fileName, FData);
}

// ---- TStringList ----

const AnsiString& TStringList::Strings(int index) const
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    return FItems[static_cast<size_t>(index)];
}

void TStringList::SetString(int index, const AnsiString& value)
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    FItems[static_cast<size_t>(index)] = value;
}

int TStringList::Add(AnsiString s)
{
    FItems.push_back(std::move(s));
    return Count() - 1;
}

void TStringList::Insert(int index, const AnsiString& s)
{
    if (index < 0 || index > Count())
        RaiseRangeError(index);
    FItems.insert(FItems.begin() + index, s);
}

void TStringList::Delete(int index)
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    FItems.erase(FItems.begin() + index);
}

int TStringList::IndexOf(const AnsiString& s) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameText(FItems[static_cast<size_t>(i)], s))
            return i;
    return -1;
}

AnsiString TStringList::Names(int index) const
{
    const AnsiString& line = Strings(index);
    const size_t equals = line.find('=');
    return equals == AnsiString::npos ? AnsiString() : line.substr(0, equals);
}

AnsiString TStringList::ValueFromIndex(int index) const
{
    const AnsiString& line = Strings(index);
    const size_t equals = line.find('=');
    return equals == AnsiString::npos ? AnsiString() : line.substr(equals + 1);
}

int TStringList::IndexOfName(const AnsiString& name) const
{
    for (int i = 0; i < Count(); ++i) {
        const AnsiString& line = FItems[static_cast<size_t>(i)];
        const size_t equals = line.find('=');
        if (equals != AnsiString::npos && SameText(line.substr(0, equals), name))
            return i;
    }
    return -1;
}

AnsiString TStringList::Values(const AnsiString& name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? AnsiString() : ValueFromIndex(index);
}

void TStringList::SetValue(const AnsiString& name, const AnsiString& value)
{
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
    } else if (index >= 0) {
        FItems[static_cast<size_t>(index)] = name + "=" + value;
    } else {
        Add(name + "=" + value);
    }
}

AnsiString TStringList::Text() const
{
    size_t size = 0;
    for (const AnsiString& line : FItems)
        size += line.size() + 2;
    AnsiString text;
    text.reserve(size);
    for (const AnsiString& line : FItems) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(const AnsiString& text)
{
    FItems = SplitLines(text);
}

std::string ReadToEnd(TStream& stream)
{
    std::string bytes;
    // Sized once: growing by doubling would hold up to twice the bytes.
    const int64_t left = stream.Size() - stream.Position();
    if (left > 0)
        bytes.reserve(static_cast<size_t>(left));
    std::vector<char> piece(StreamPiece);
    while (const int32_t count = stream.Read(piece.data(), StreamPiece))
        bytes.append(piece.data(), static_cast<size_t>(count));
    return bytes;
}

void TStringList::LoadFromStream(TStream& stream)
{
    SetText(ReadToEnd(stream));
}

void TStringList::LoadFromFile(const AnsiString& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TStringList::SaveToStream(TStream& stream) const
{
    stream.WriteString(Text());
}

void TStringList::SaveToFile(const AnsiString& fileName) const
{
    WriteFileAtomically(fileName, Text());
}

void TStringList::Sort()
{
    std::stable_sort(FItems.begin(), FItems.end(),
                     [](const AnsiString& a, const AnsiString& b) { return CompareText(a, b) < 0; });
}
