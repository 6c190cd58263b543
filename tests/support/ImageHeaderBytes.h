// Byte builders for image headers of any declared size, shared by the header probe's tests and the seeds of
// its fuzzer: PSD (and its large-document variant), GIF and OpenEXR.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace lumora::test {

using Bytes = std::vector<unsigned char>;

inline void put(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}
inline void le16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void le32(Bytes& b, uint32_t v) {
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}
inline void be16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
inline void be32(Bytes& b, uint32_t v) {
    be16(b, v >> 16);
    be16(b, v & 0xFFFF);
}

// A PSD header (8-bit RGB, no layers) declaring the given size; version 2 is the large-document variant.
inline Bytes psdDeclaring(uint32_t width, uint32_t height, uint16_t version = 1) {
    Bytes b{'8', 'B', 'P', 'S'};
    be16(b, version);
    b.insert(b.end(), 6, 0);
    be16(b, 3);
    be32(b, height);
    be32(b, width);
    be16(b, 8);
    be16(b, 3);
    be32(b, 0); // colour mode data
    be32(b, 0); // image resources
    be32(b, 0); // layers
    be16(b, 0); // raw image data follows (none here)
    return b;
}

// An OpenEXR header holding only its data window (inclusive corners).
inline Bytes exrWindow(int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax) {
    Bytes b{0x76, 0x2f, 0x31, 0x01, 2, 0, 0, 0};
    put(b, std::string("dataWindow\0box2i\0", 17));
    le32(b, 16);
    for (int32_t v : {xMin, yMin, xMax, yMax})
        le32(b, uint32_t(v));
    b.push_back(0);
    return b;
}

// Screen of the given size holding one image of w x h two-colour pixels at (left, top). The LZW stream sends
// a clear code before every pixel, so every code keeps 3 bits and no dictionary is needed to write it.
inline Bytes gifDeclaring(uint16_t screenW, uint16_t screenH, uint16_t left, uint16_t top, uint16_t w,
                          uint16_t h) {
    Bytes b{'G', 'I', 'F', '8', '9', 'a'};
    le16(b, screenW);
    le16(b, screenH);
    b.insert(b.end(), {0x80, 0, 0});                   // global table of 2 colours
    b.insert(b.end(), {0, 0, 0, 255, 255, 255});       // black, white
    b.insert(b.end(), {0x21, 0xF9, 4, 0, 0, 0, 0, 0}); // graphic control extension
    b.push_back(0x2C);
    le16(b, left);
    le16(b, top);
    le16(b, w);
    le16(b, h);
    b.push_back(0);
    b.push_back(2); // minimum code size: clear = 4, end = 5
    Bytes codes;
    uint32_t bits = 0, used = 0;
    auto code = [&](uint32_t value) {
        bits |= value << used;
        used += 3;
        while (used >= 8) {
            codes.push_back(uint8_t(bits));
            bits >>= 8;
            used -= 8;
        }
    };
    for (uint32_t i = 0; i < uint32_t(w) * h; ++i) {
        code(4);
        code((i / 3) % 2);
    }
    code(5);
    if (used > 0)
        codes.push_back(uint8_t(bits));
    for (size_t at = 0; at < codes.size(); at += 255) {
        const size_t n = std::min<size_t>(255, codes.size() - at);
        b.push_back(uint8_t(n));
        b.insert(b.end(), codes.begin() + long(at), codes.begin() + long(at + n));
    }
    b.push_back(0);
    b.push_back(0x3B);
    return b;
}

} // namespace lumora::test
