#pragma once
// Several independent, growable byte sequences (child streams) inside one parent stream.
// The parent holds one record per child: its length as an unsigned 32-bit little-endian
// word, then its bytes; there is no header and no count. One child at a time is selected
// and used through Child(), an ordinary stream.

#include "documents/Containers.h"
#include "platform/Classes.h"

#include <cstdint>

class TMultiStream;

// The selected child of a multi-stream as a stream of its own.
class TChildStream : public TStream {
public:
    explicit TChildStream(TMultiStream* owner) : FOwner(owner) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t size) override;

private:
    TMultiStream* FOwner;
};

// For every child, the parent position of its length word (and spare entries).
class TStreamOffsets : public TArray<int64_t, 16> {
};

class TMultiStream {
public:
    // The parent is not owned and must outlive the multi-stream; it is changed only
    // through it from now on.
    explicit TMultiStream(TStream* parent);
    virtual ~TMultiStream();
    TMultiStream(const TMultiStream&) = delete;
    TMultiStream& operator=(const TMultiStream&) = delete;

    // Lists the children of the parent and selects child 0 (none when it is empty). A
    // parent cut inside a length word raises the stream read error; a last child whose
    // length word claims more bytes than remain is kept with the bytes that do.
    void Rescan();
    int Count() const { return FCount; }
    // The selected child, -1 when there is none.
    int Current() const { return FCurrent; }
    // The parent position of child i's length word.
    int64_t Offset(int i) const;

    // Selects child i at position 0; "Выход номера дочернего потока за пределы диапазона"
    // when there is no child i.
    void Select(int i);
    // Adds an empty child at the end and selects it.
    void Append();
    // Removes the selected child and selects the one that followed it, else the new last.
    void DeleteCurrent();

    // On the selected child; each raises "Дочерний поток не существует" when there is
    // none. A read past the child's end returns 0; a write past it grows the child, and
    // the gap before the written bytes is zero. A size below 0 or above what the length
    // word holds raises the stream write error.
    int32_t Read(void* buffer, int32_t count);
    int32_t Write(const void* buffer, int32_t count);
    int64_t Seek(int64_t offset, TSeekOrigin origin);
    int64_t Size();
    void SetSize(int64_t n);

    TChildStream* Child() { return &FChild; }

protected:
    // Called after the bytes of a child changed, and after the children moved.
    virtual void DataChanged() {}
    virtual void LayoutChanged() {}

private:
    void AddOffset(int64_t at);
    void CheckCurrent() const;
    void Resize(int64_t n);
    void OpenGap(int64_t at, int64_t length);
    void RemoveBytes(int64_t at, int64_t length);
    void ZeroFill(int64_t at, int64_t length);

    TStream* FParent;
    TChildStream FChild;
    TStreamOffsets FOffsets;
    int FCount = 0;           // children; FOffsets may hold spare entries past them
    int FCurrent = -1;
    int64_t FDataStart = 0;   // parent position of the selected child's first byte
    int64_t FSize = 0;        // the selected child's length
    int64_t FPos = 0;         // the position inside the selected child
};
