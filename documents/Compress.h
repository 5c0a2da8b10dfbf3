#pragma once
// Raw deflate (no zlib or gzip wrapper) and the CRC-32 of the zip standard, stream to
// stream, plus the packed block of the program's table files: the deflate data of some
// plain bytes followed by their CRC-32 as a little-endian 32-bit word.
//
// Failures are Exception with "Ошибка инициализации сжатия", "Ошибка сжатия",
// "Ошибка инициализации распаковки", "Ошибка распаковки" or "Несовпадение CRC32"; the
// stream errors of the class library pass through. After a failure the positions of
// both streams are undefined and dst may hold partial output.

#include "platform/Classes.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The count and the CRC-32 of the plain bytes that one compression or decompression moved.
struct TPlainBytes {
    int64_t Count = 0;
    uint32_t CRC = 0;
};

// Deflates src from its position to its end into dst at dst's position. src ends where it
// started, dst just after the deflate data.
void CompressStream(TStream* src, TStream* dst);
// As CompressStream, and tells what it read.
TPlainBytes DeflateStream(TStream* src, TStream* dst);

// Inflates one raw deflate stream from src's position into dst at dst's position. src ends
// on the first byte after the deflate data (input read ahead is given back), dst on the
// first plain byte written.
void DecompressStream(TStream* src, TStream* dst);
// As DecompressStream, but dst ends after the plain bytes, more than limit plain bytes
// raise "Ошибка распаковки" (a small damaged input cannot exhaust memory), and the result
// tells what was written.
TPlainBytes InflateStream(TStream* src, TStream* dst, int64_t limit);

// The CRC-32 of the bytes that follow those whose CRC-32 is crc (0 to start), as zlib's
// crc32 gives it, carry-less multiplication folding 64 bytes a step where the processor
// has it: a file's fingerprint takes it of every byte loaded.
uint32_t UpdateCRC32(uint32_t crc, const void* bytes, size_t count);
// CRC-32 of s from its position to its end; s ends where it started.
uint32_t StreamCRC32(TStream* s);
// Raises "Несовпадение CRC32" when the CRC-32 of s from its position differs from crc.
void CheckStreamCRC32(TStream* s, uint32_t crc);
void CheckCRC32(uint32_t actual, uint32_t expected);

// Appends a packed block of the whole of src at dst's position; src ends at 0.
void PackStream(TStream* src, TStream* dst);
// Unpacks one packed block from src's position into dst and checks the CRC of exactly the
// bytes unpacked. src ends just after the block, dst on the first plain byte written.
void UnpackStream(TStream* src, TStream* dst);

// A packed block as it was unpacked, kept so that plain bytes added after its end can be
// packed without deflating the bytes before them again. Its deflate data is kept with the
// final block turned into an ordinary one, so that further blocks may follow it: the whole
// bytes, then the bits in use of a last partial byte.
struct TPackedBlock {
    std::string Deflated;
    uint8_t TailBits = 0;
    int TailBitCount = 0;   // 0 to 7
    TPlainBytes Plain;      // what the block unpacks to

    // Nothing kept: a deflate stream takes at least one byte.
    bool Empty() const { return Deflated.empty() && TailBitCount == 0; }
};

// As UnpackStream, and keeps the block for PackAppended.
void UnpackAndKeep(TStream* src, TStream* dst, TPackedBlock& block);
// Appends at dst's position a packed block of the whole of src, whose first
// block.Plain.Count bytes must be the plain bytes of the kept block: its deflate data is
// copied and only the bytes after them are deflated (with the 32 KB before them as the
// dictionary, so that they compress as well as inside one stream). src ends at 0.
void PackAppended(const TPackedBlock& block, TStream* src, TStream* dst);
