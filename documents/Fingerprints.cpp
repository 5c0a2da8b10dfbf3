#include "documents/Fingerprints.h"

#include "documents/Compress.h"
#include "platform/Paths.h"

void TFileFingerprint::Add(std::string_view bytes)
{
    CRC = UpdateCRC32(CRC, bytes.data(), bytes.size());
    Size += static_cast<int64_t>(bytes.size());
}

TFileFingerprint FingerprintOfBytes(std::string_view bytes)
{
    TFileFingerprint print{true, 0, 0};
    print.Add(bytes);
    return print;
}

TFileFingerprint FingerprintOfFile(const AnsiString& name)
{
    if (!FileExists(name))
        return {};
    TFileStream file(name, fmOpenRead | fmShareDenyWrite);
    TFingerprintReader reader(file);
    return reader.Finish();
}

int32_t TFingerprintReader::Read(void* buffer, int32_t count)
{
    const int64_t at = FSource.Position();
    const int32_t read = FSource.Read(buffer, count);
    // Only bytes that continue the run counted from the start are counted.
    if (read > 0 && at <= FPrint.Size && at + read > FPrint.Size) {
        const auto* bytes = static_cast<const char*>(buffer);
        FPrint.Add(std::string_view(bytes + (FPrint.Size - at), static_cast<size_t>(at + read - FPrint.Size)));
    }
    return read;
}

int32_t TFingerprintReader::Write(const void*, int32_t)
{
    RaiseWriteError();
}

void TFingerprintReader::SetSize(int64_t)
{
    RaiseWriteError();
}

TFileFingerprint TFingerprintReader::Finish()
{
    // On the stack: after a load that read everything there is nothing left to read,
    // and a heap buffer would be memory that the load itself did not need.
    char buffer[StreamPiece];
    FSource.SetPosition(FPrint.Size);
    while (Read(buffer, sizeof buffer) > 0) {
    }
    return FPrint;
}
