#pragma once
// The program's in-memory stream. Its bytes live in equal blocks instead of one buffer,
// so growing the stream never moves or copies the bytes already written.

#include "documents/Containers.h"
#include "platform/Classes.h"

#include <cstdint>

// Little-endian words of the storage formats, in a byte buffer and on a stream (the
// stream read or write error when a stream is short).
inline uint16_t GetLE16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetLE32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void PutLE16(unsigned char* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLE32(unsigned char* p, uint32_t v)
{
    PutLE16(p, uint16_t(v));
    PutLE16(p + 2, uint16_t(v >> 16));
}
uint32_t ReadLE32(TStream* s);
void WriteLE32(TStream* s, uint32_t value);

// The position a seek leads to from the current position and size: it may lie beyond
// the end, is never below 0, and stops at the largest value instead of overflowing.
int64_t SeekTarget(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin);

// One block of a stream: a heap buffer of the stream's block size, zero when created
// except for the bytes [writeFrom, writeTo) that its creator writes at once.
class TDataBlock {
public:
    explicit TDataBlock(int size, int writeFrom = 0, int writeTo = 0);
    ~TDataBlock();
    TDataBlock(const TDataBlock&) = delete;
    TDataBlock& operator=(const TDataBlock&) = delete;

    char* Data() { return FData; }

private:
    char* FData;
};

// The block slots of one stream: slot i holds bytes i * BlockSize up to the next block.
// A slot stays null until a byte of its block is first written, so a stream that was only
// sized holds no memory. When the stream grows the list takes spare null slots too; when
// it shrinks the list is cut to the slots still needed, deleting the blocks past the end.
// Every byte of an allocated block that lies at or past Size is zero, which makes grown
// and regrown bytes read as zero.
class TDataBlocks : public TPtrArray<TDataBlock*, 16> {
public:
    explicit TDataBlocks(int blockSize) : FBlockSize(blockSize) {}

    int BlockSize() const { return FBlockSize; }
    int64_t Size() const { return FSize; }
    // The largest size whose slots an array can count.
    int64_t MaxSize() const;
    void SetSize(int64_t n);

    // The block of slot i, allocated on first touch; the array's range check first. A new
    // block is not zeroed in [writeFrom, writeTo), which the caller must write at once.
    TDataBlock* GetBlock(int i, int writeFrom = 0, int writeTo = 0);
    // The bytes of slot i, or null when its block was never touched.
    const char* PeekBlock(int i);
    int AllocatedBlocks();

private:
    int SlotsFor(int64_t size) const;
    void ClearTailOfLastBlock();

    int FBlockSize;
    int64_t FSize = 0;
};

class TBlockStream : public TStream {
public:
    // A block size below 1 means 4096 bytes.
    explicit TBlockStream(int blockSize = 0);
    ~TBlockStream() override;

    // Size 0 (every block freed) and position 0.
    void Clear();

    // A read never allocates: bytes of untouched blocks are copied as zero.
    int32_t Read(void* buffer, int32_t count) override;
    // Grows the stream to the end of the written bytes; a count below 1 writes nothing.
    // A size beyond what the slots can count raises the stream write error.
    int32_t Write(const void* buffer, int32_t count) override;
    // Seeking beyond the end is allowed; a position below 0 becomes 0.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return FBlocks->Size(); }
    // Keeps the position; a negative or unrepresentable size raises the write error.
    void SetSize(int64_t size) override;

    int BlockSize() const { return FBlocks->BlockSize(); }
    int AllocatedBlocks() { return FBlocks->AllocatedBlocks(); }

private:
    TDataBlocks* FBlocks;
    int64_t FPosition = 0;
};
