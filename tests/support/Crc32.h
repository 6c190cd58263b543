#pragma once
// The CRC-32 of PNG chunks (and zip): tests build and repair image files byte by byte with it.

#include <cstddef>
#include <cstdint>

namespace lumora::test {

inline std::uint32_t crc32(const unsigned char* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

} // namespace lumora::test
