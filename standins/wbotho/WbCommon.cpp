#include "WbCommon.h"

namespace wbotho {

void PutU16(std::string& bytes, uint16_t value)
{
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>(value >> 8));
}

uint16_t GetU16(const std::string& bytes, size_t offset)
{
    const auto low = static_cast<unsigned char>(bytes[offset]);
    const auto high = static_cast<unsigned char>(bytes[offset + 1]);
    return static_cast<uint16_t>(low | high << 8);
}

std::string TByteReader::Take(size_t count)
{
    if (count > Remaining())
        Fail(FShortCode);
    std::string field = FBytes.substr(FPosition, count);
    FPosition += count;
    return field;
}

uint16_t TByteReader::TakeU16()
{
    const std::string field = Take(2);
    return GetU16(field, 0);
}

} // namespace wbotho
