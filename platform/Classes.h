#pragma once
// Streams and string lists of the class library.

#include "platform/AnsiString.h"

#include <cstdint>
#include <string>
#include <vector>

// The stream errors, also for checks that storage code makes itself (a length field that
// claims more bytes than remain, a size a field cannot hold).
[[noreturn]] void RaiseReadError();    // EReadError "Ошибка чтения потока"
[[noreturn]] void RaiseWriteError();   // EWriteError "Ошибка записи в поток"

// Streams are copied, read to their end and compared in pieces of this size, never whole.
constexpr int32_t StreamPiece = 64 * 1024;

class TStream;
// The bytes of the stream from its position to its end.
std::string ReadToEnd(TStream& stream);

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A stream of bytes with a position. Read and Write move as many bytes as they can and
// return the count; ReadBuffer and WriteBuffer raise when the count is short.
class TStream {
public:
    virtual ~TStream() = default;

    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t size) = 0;
    // Room for the stream to reach `size` bytes without growing step by step, where it
    // grows in memory; the size itself does not change.
    virtual void Reserve(int64_t /*size*/) {}

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // EReadError "Ошибка чтения потока" / EWriteError "Ошибка записи в поток" when short.
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
    void WriteString(const std::string& bytes);

    // Copies count bytes from the source's position; a count of 0 copies the whole source
    // from its start. Returns the count copied.
    int64_t CopyFrom(TStream& source, int64_t count);

    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
};

// File open modes (the class library's values). The share flags are accepted and not
// enforced: Linux has no mandatory sharing modes.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,   // create or truncate, open for reading and writing
};

// A stream over a file. Opening fails with EFOpenError:
// "Не удается открыть файл \"name\". " + the system's text.
class TFileStream : public TStream {
public:
    // permissions: the mode of a file that the open creates (before the umask).
    TFileStream(const AnsiString& fileName, unsigned mode, unsigned permissions = 0666);
    ~TFileStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;

    // Flushes the written bytes to the disk (fsync); raises the system's error.
    void FlushToDisk();
    const AnsiString& FileName() const { return FFileName; }

private:
    AnsiString FFileName;
    int FHandle = -1;
};

// A stream in one growable block of memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t size) override;
    void Reserve(int64_t size) override;

    void Clear();
    char* Memory() { return FData.data(); }
    const std::string& Bytes() const { return FData; }
    void LoadFromStream(TStream& source);   // whole source from its start; position 0
    void LoadFromFile(const AnsiString& fileName);
    void SaveToStream(TStream& target);     // whole memory to the target's position
    void SaveToFile(const AnsiString& fileName);

private:
    std::string FData;
    int64_t FPosition = 0;
};

// An ordered list of CP1251 lines. Loading splits at CR LF, CR or LF and keeps NUL bytes;
// saving ends every line with CR LF. Look-ups by name ignore case.
class TStringList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    // Range-checked access: "Выход индекса за пределы диапазона (" + index + ")".
    const AnsiString& Strings(int index) const;
    void SetString(int index, const AnsiString& value);
    const AnsiString& operator[](int index) const { return Strings(index); }

    int Add(AnsiString s);
    void Insert(int index, const AnsiString& s);
    void Delete(int index);
    void Clear() { FItems.clear(); }
    void Assign(const TStringList& other) { FItems = other.FItems; }
    // First index of a line equal to s ignoring case, or -1.
    int IndexOf(const AnsiString& s) const;

    // Lines of the form NAME=value: the part before the first "=", the rest, and the first
    // line whose name equals name ignoring case (-1 / "" when there is none).
    AnsiString Names(int index) const;
    AnsiString ValueFromIndex(int index) const;
    int IndexOfName(const AnsiString& name) const;
    AnsiString Values(const AnsiString& name) const;
    void SetValue(const AnsiString& name, const AnsiString& value);

    // All lines, each followed by CR LF; setting splits at CR LF, CR or LF.
    AnsiString Text() const;
    void SetText(const AnsiString& text);

    void LoadFromStream(TStream& stream);   // from the position to the end
    void LoadFromFile(const AnsiString& fileName);
    void SaveToStream(TStream& stream) const;
    void SaveToFile(const AnsiString& fileName) const;

    // Case-insensitive order of whole lines (stable).
    void Sort();

    const std::vector<AnsiString>& Items() const { return FItems; }

private:
    std::vector<AnsiString> FItems;
};
