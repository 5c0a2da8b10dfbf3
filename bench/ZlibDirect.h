#pragma once
// zlib called directly, the whole input in one buffer and one call: the anchor and limit
// of the compression benchmarks. Raw deflate with the program's parameters (window bits
// -15, level -1, memory level 8, default strategy).

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

inline std::string ZlibDeflate(const std::string& plain)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string deflated(deflateBound(&z, uLong(plain.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = uInt(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(deflated.data());
    z.avail_out = uInt(deflated.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("zlib deflate failed");
    deflated.resize(z.total_out);
    deflateEnd(&z);
    return deflated;
}

// The plain bytes into a buffer of the known size, allocated for the call; returns their
// CRC-32.
inline uint32_t ZlibInflate(const std::string& deflated, size_t plainSize)
{
    const std::unique_ptr<Bytef[]> plain(new Bytef[plainSize]);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    z.avail_in = uInt(deflated.size());
    z.next_out = plain.get();
    z.avail_out = uInt(plainSize);
    if (inflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("zlib inflate failed");
    inflateEnd(&z);
    return uint32_t(crc32(0, plain.get(), uInt(plainSize)));
}
