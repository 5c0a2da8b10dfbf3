#include "documents/Fingerprints.h"

#include "platform/Paths.h"

#include <zlib.h>

#include <vector>

void TFileFingerprint::Add(std::string_view bytes)
{
    CRC = static_cast<uint32_t>(crc32_z(CRC, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
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
    constexpr int32_t Piece = 256 * 1024;
    std::vector<char> buffer(Piece);
    FSource.SetPosition(FPrint.Size);
    while (Read(buffer.data(), Piece) > 0) {
    }
    return FPrint;
}
