#pragma once
// Streams as byte strings, for tests of the storage formats.

#include "documents/Blockstreams.h"
#include "documents/Zipfiles.h"
#include "platform/Classes.h"
#include "support/TestSupport.h"

#include <zlib.h>

#include <string>

// All bytes of the stream; its position is kept.
inline std::string StreamBytes(TStream& s)
{
    const int64_t position = s.Position();
    std::string bytes(size_t(s.Size()), '\0');
    s.SetPosition(0);
    s.ReadBuffer(bytes.data(), int32_t(bytes.size()));
    s.SetPosition(position);
    return bytes;
}

// Writes the bytes at the stream's position.
inline void PutBytes(TStream& s, const std::string& bytes) { s.WriteString(bytes); }

// CP1251 delimited lines of the kind the program stores: compress well, but not trivially.
inline std::string DelimitedText(size_t count)
{
    std::string text;
    for (int row = 0; text.size() < count; ++row)
        text += std::to_string(40817810000000000 + row * 7919) + ";Иванов;Пётр;Сергеевич;" +
                std::to_string(1000 + row % 977) + "." + std::to_string(row % 100) + "\r\n";
    text.resize(count);
    return text;
}

// The CRC-32 of the bytes, computed by zlib directly.
inline uint32_t ZlibCRC(const std::string& bytes)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

// The bytes that op(src, dst) writes into an empty block stream when src holds `input`
// from position 0 (CompressStream, UnpackStream, ...).
template <class TOperation> std::string Transformed(const std::string& input, TOperation op)
{
    TBlockStream src, dst;
    PutBytes(src, input);
    src.SetPosition(0);
    op(&src, &dst);
    return StreamBytes(dst);
}

// Adds a member holding the bytes to the archive.
inline TZippedFile* AddMember(TZipFile& zip, const AnsiString& name, const std::string& bytes)
{
    auto* member = new TZippedFile(&zip, name);
    PutBytes(*member, bytes);
    zip.Add(member);
    return member;
}

// Loads the archive's bytes through a block stream, as the container code hands them over.
inline void LoadZip(TZipFile& zip, const std::string& archive)
{
    TBlockStream src;
    PutBytes(src, archive);
    src.SetPosition(0);
    zip.LoadFromStream(&src);
}

// Little-endian words as bytes, for fixtures.
inline std::string LE16(unsigned v) { return Bytes({int(v & 0xFF), int(v >> 8 & 0xFF)}); }
inline std::string LE32(uint32_t v) { return LE16(v & 0xFFFF) + LE16(v >> 16); }
