#pragma once
// What the parts of the Verba stand-in share: the error that becomes a result code at the
// library's border, little-endian fields, and a reader that never runs past its bytes.

#include "wbotho.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace wbotho {

// A failure inside the library; the entry points return its code.
struct TWbError {
    WB_RESULT Code;
};
[[noreturn]] inline void Fail(WB_RESULT code) { throw TWbError{code}; }

inline const unsigned char* Raw(const std::string& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.data());
}
inline unsigned char* Raw(std::string& bytes) { return reinterpret_cast<unsigned char*>(bytes.data()); }

void PutU16(std::string& bytes, uint16_t value);
uint16_t GetU16(const std::string& bytes, size_t offset);

// Takes fields one after another; asking for more than remains fails with `shortCode`.
class TByteReader {
public:
    TByteReader(const std::string& bytes, WB_RESULT shortCode) : FBytes(bytes), FShortCode(shortCode) {}
    std::string Take(size_t count);
    uint16_t TakeU16();
    size_t Position() const { return FPosition; }
    size_t Remaining() const { return FBytes.size() - FPosition; }

private:
    const std::string& FBytes;
    WB_RESULT FShortCode;
    size_t FPosition = 0;
};

} // namespace wbotho
