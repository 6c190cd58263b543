// Reads the EXIF orientation of a JPEG straight from its APP1 segment, so photos come out upright whichever
// library decoded them (OpenCV and FreeImage turn them; DevIL does not).

#include "imageio/LibraryAdapters.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace lumora::imageio {
namespace {

std::uint16_t read16(const unsigned char* p, bool bigEndian) {
    return bigEndian ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
}

std::uint32_t read32(const unsigned char* p, bool bigEndian) {
    return bigEndian
               ? std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3]
               : std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

// Orientation tag of the TIFF structure inside an Exif APP1 payload (after "Exif\0\0"), 0 when absent.
int orientationInTiff(const std::vector<unsigned char>& tiff) {
    if (tiff.size() < 8)
        return 0;
    bool bigEndian;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        bigEndian = false;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else
        return 0;
    if (read16(&tiff[2], bigEndian) != 42)
        return 0;
    const std::uint32_t ifd = read32(&tiff[4], bigEndian);
    if (ifd > tiff.size() - 2)
        return 0;
    const std::uint16_t entries = read16(&tiff[ifd], bigEndian);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + std::size_t(i) * 12;
        if (entry + 12 > tiff.size())
            return 0;
        if (read16(&tiff[entry], bigEndian) == 0x0112) {
            const int value = read16(&tiff[entry + 8], bigEndian);
            return value >= 1 && value <= 8 ? value : 0;
        }
    }
    return 0;
}

} // namespace

int tiffOrientation(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[8];
    if (!in.read(reinterpret_cast<char*>(header), 8))
        return -1;
    const bool bigEndian = header[0] == 'M' && header[1] == 'M';
    if ((!bigEndian && !(header[0] == 'I' && header[1] == 'I')) || read16(&header[2], bigEndian) != 42)
        return -1; // not a classic TIFF (BigTIFF included)
    unsigned char count[2];
    if (!in.seekg(read32(&header[4], bigEndian)) || !in.read(reinterpret_cast<char*>(count), 2))
        return -1;
    std::vector<unsigned char> entries(std::size_t(read16(count, bigEndian)) * 12);
    if (!in.read(reinterpret_cast<char*>(entries.data()), static_cast<std::streamsize>(entries.size())))
        return -1;
    for (std::size_t at = 0; at + 12 <= entries.size(); at += 12)
        if (read16(&entries[at], bigEndian) == 0x0112)
            return read16(&entries[at + 8], bigEndian);
    return 0;
}

int jpegOrientation(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char marker[4];
    if (!in.read(reinterpret_cast<char*>(marker), 2) || marker[0] != 0xFF || marker[1] != 0xD8)
        return 0;
    // Walk the segments before the image data; EXIF sits in an APP1 segment near the start.
    while (in.read(reinterpret_cast<char*>(marker), 4)) {
        if (marker[0] != 0xFF)
            return 0;
        const int type = marker[1];
        const int length = marker[2] << 8 | marker[3];
        if (type == 0xDA || type == 0xD9 || length < 2)
            return 0;
        if (type == 0xE1 && length >= 8) {
            std::vector<unsigned char> payload(static_cast<std::size_t>(length - 2));
            if (!in.read(reinterpret_cast<char*>(payload.data()),
                         static_cast<std::streamsize>(payload.size())))
                return 0;
            if (std::equal(payload.begin(), payload.begin() + 6, "Exif\0\0"))
                return orientationInTiff(std::vector<unsigned char>(payload.begin() + 6, payload.end()));
            continue;
        }
        in.seekg(length - 2, std::ios::cur);
    }
    return 0;
}

cv::Mat applyOrientation(const cv::Mat& image, int orientation) {
    cv::Mat out;
    switch (orientation) {
    case 2: // mirrored
        cv::flip(image, out, 1);
        return out;
    case 3: // upside down
        cv::flip(image, out, -1);
        return out;
    case 4: // mirrored upside down
        cv::flip(image, out, 0);
        return out;
    case 5: // mirrored about the main diagonal
        cv::transpose(image, out);
        return out;
    case 6: // camera held turned clockwise
        cv::rotate(image, out, cv::ROTATE_90_CLOCKWISE);
        return out;
    case 7:
        cv::transpose(image, out);
        cv::flip(out, out, -1);
        return out;
    case 8:
        cv::rotate(image, out, cv::ROTATE_90_COUNTERCLOCKWISE);
        return out;
    default:
        return image;
    }
}

} // namespace lumora::imageio
