#pragma once
// What a file held when the program read or wrote it, to tell later whether another
// program has written it since: a save over a file that changed on the disk asks first.

#include "platform/AnsiString.h"
#include "platform/Classes.h"

#include <cstdint>
#include <string_view>

// A file's presence, size and the CRC-32 of its bytes. Equal fingerprints mean the same
// bytes (but for a change that keeps both the size and the CRC-32).
struct TFileFingerprint {
    bool Exists = false;
    int64_t Size = 0;
    uint32_t CRC = 0;

    // Counts bytes that follow those counted so far.
    void Add(std::string_view bytes);
    bool operator==(const TFileFingerprint&) const = default;
};

// The fingerprint of bytes written as a whole file.
TFileFingerprint FingerprintOfBytes(std::string_view bytes);
// The fingerprint of the file as it is now; a missing file has Exists false. A file that
// cannot be read raises the stream's error.
TFileFingerprint FingerprintOfFile(const AnsiString& name);

// Reads through another stream (a file being loaded) and takes the fingerprint of its
// bytes from the start, however the reader of this stream seeks.
class TFingerprintReader : public TStream {
public:
    explicit TFingerprintReader(TStream& source) : FSource(source) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FSource.Seek(offset, origin); }
    int64_t Size() override { return FSource.Size(); }
    void SetSize(int64_t size) override;

    // The fingerprint of all the source's bytes; what was not read yet is read now.
    TFileFingerprint Finish();

private:
    TStream& FSource;
    TFileFingerprint FPrint{true, 0, 0};   // of the bytes from the start read so far
};
