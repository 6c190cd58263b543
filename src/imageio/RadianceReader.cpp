// Lumora's own Radiance (.hdr) reader. Light images are what Lumora reads most and they are large: the
// general libraries decode them on one thread and through an RGB float copy, so this reader walks the file
// once to find where each scanline starts (a pass over run headers only), then expands the scanlines on every
// core straight into BGR floats. The bytes are untrusted: every count is checked against the file and the row
// before it is used, and anything but the common layout is refused rather than guessed at.

#include "app/Parallel.h"
#include "imageio/ImageLimits.h"
#include "imageio/LibraryAdapters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora::imageio::radiance {
namespace {

// Header lines are short; a "header" that runs on for this long is not one.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

// Scanlines narrower than 8 or wider than 32767 pixels cannot be run-length encoded and are stored flat.
bool runLengthPossible(int width) {
    return width >= 8 && width <= 0x7fff;
}

// One line of the header without its end; false when the line does not end within the header's limit.
bool nextLine(const unsigned char* data, std::size_t size, std::size_t* pos, std::string* line) {
    const std::size_t limit = std::min(size, kMaxHeaderBytes);
    const void* end = *pos < limit ? std::memchr(data + *pos, '\n', limit - *pos) : nullptr;
    if (!end)
        return false;
    const std::size_t stop = std::size_t(static_cast<const unsigned char*>(end) - data);
    line->assign(reinterpret_cast<const char*>(data) + *pos, stop - *pos);
    *pos = stop + 1;
    return true;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// "-Y <rows> +X <cols>": the top row first, pixels left to right. Other orders and signs are refused, and so
// are numbers with signs or more digits than any size Lumora reads.
bool parseResolution(const std::string& line, int* width, int* height) {
    std::size_t i = 0;
    const auto blanks = [&] {
        const std::size_t from = i;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        return i > from;
    };
    const auto word = [&](const char* w) {
        if (line.compare(i, 2, w) != 0)
            return false;
        i += 2;
        return true;
    };
    const auto number = [&](long long* v) {
        const std::size_t from = i;
        *v = 0;
        while (i < line.size() && i - from < 9 && line[i] >= '0' && line[i] <= '9')
            *v = *v * 10 + (line[i++] - '0');
        return i > from && (i == line.size() || line[i] < '0' || line[i] > '9');
    };
    long long rows = 0, cols = 0;
    blanks();
    if (!word("-Y") || !blanks() || !number(&rows) || !blanks() || !word("+X") || !blanks() || !number(&cols))
        return false;
    blanks();
    if (i < line.size() && line[i] == '\r')
        ++i;
    if (i != line.size() || !withinImageLimits(cols, rows))
        return false;
    *width = int(cols);
    *height = int(rows);
    return true;
}

// Where the scanline starting at `pos` ends, without expanding it; 0 when it does not fit the file or the
// row.
std::size_t scanlineEnd(const unsigned char* data, std::size_t size, std::size_t pos, int width) {
    const std::size_t flatBytes = std::size_t(width) * 4;
    if (!runLengthPossible(width) || size - pos < 4 || data[pos] != 2 || data[pos + 1] != 2 ||
        (data[pos + 2] & 0x80)) {
        return size - pos >= flatBytes ? pos + flatBytes : 0;
    }
    if (((data[pos + 2] << 8) | data[pos + 3]) != width)
        return 0;
    pos += 4;
    for (int component = 0; component < 4; ++component) {
        for (int filled = 0; filled < width;) {
            if (pos >= size)
                return 0;
            const int count = data[pos++];
            const bool run = count > 128;
            const int length = run ? count - 128 : count;
            const std::size_t stored = run ? 1 : std::size_t(length);
            if (length == 0 || length > width - filled || size - pos < stored)
                return 0;
            pos += stored;
            filled += length;
        }
    }
    return pos;
}

// Mantissa m with exponent e stands for (m + 0.5) * 2^(e - 136): writers round down, so the middle of the
// step is the closest guess (the format's own convention). DevIL, which read these files before, divided by
// 255 instead (0.4 % too bright) and dropped the smallest values. e = 0 is black. Every product is exact in
// float.
struct Scale {
    std::array<float, 256> factor;
    Scale() {
        factor[0] = 0.0f;
        for (int e = 1; e < 256; ++e)
            factor[std::size_t(e)] = std::ldexp(1.0f, e - 136);
    }
};

void toFloat(const unsigned char* r, const unsigned char* g, const unsigned char* b, const unsigned char* e,
             std::size_t step, int width, float* bgr) {
    static const Scale scale;
    for (int x = 0; x < width; ++x, r += step, g += step, b += step, e += step, bgr += 3) {
        const float f = scale.factor[*e];
        bgr[0] = (float(*b) + 0.5f) * f;
        bgr[1] = (float(*g) + 0.5f) * f;
        bgr[2] = (float(*r) + 0.5f) * f;
    }
}

// Expands one scanline already measured by scanlineEnd; `planes` holds 4 * width bytes.
void expandScanline(const unsigned char* data, std::size_t pos, int width, unsigned char* planes,
                    float* bgr) {
    const bool flat =
        !runLengthPossible(width) || data[pos] != 2 || data[pos + 1] != 2 || (data[pos + 2] & 0x80);
    if (flat) {
        const unsigned char* p = data + pos;
        toFloat(p, p + 1, p + 2, p + 3, 4, width, bgr);
        return;
    }
    pos += 4;
    for (int component = 0; component < 4; ++component) {
        unsigned char* out = planes + std::size_t(component) * std::size_t(width);
        for (int filled = 0; filled < width;) {
            const int count = data[pos++];
            if (count > 128) {
                std::memset(out + filled, data[pos++], std::size_t(count - 128));
                filled += count - 128;
            } else {
                std::memcpy(out + filled, data + pos, std::size_t(count));
                pos += std::size_t(count);
                filled += count;
            }
        }
    }
    const std::size_t w = std::size_t(width);
    toFloat(planes, planes + w, planes + 2 * w, planes + 3 * w, 1, width, bgr);
}

} // namespace

bool looksLikeRadiance(const unsigned char* data, std::size_t size) {
    return size >= 2 && data[0] == '#' && data[1] == '?';
}

Outcome decode(const unsigned char* data, std::size_t size, cv::Mat* image, std::string* error) {
    if (!looksLikeRadiance(data, size))
        return Outcome::NotMine;
    const auto refuse = [error](const std::string& why) {
        *error = why;
        return Outcome::Refused;
    };
    std::size_t pos = 0;
    std::string line;
    nextLine(data, size, &pos, &line); // the "#?" line names the writing program
    for (;;) {
        if (!nextLine(data, size, &pos, &line))
            return refuse("the Radiance header does not end");
        if (line.empty())
            break;
        // EXPOSURE records a factor the pixels already carry; like the other readers, Lumora keeps the pixels
        // as stored. Only the pixel format matters here.
        if (startsWith(line, "FORMAT=") && line != "FORMAT=32-bit_rle_rgbe")
            return refuse("Radiance pixel format " + line.substr(7) + " is not read");
    }
    int width = 0, height = 0;
    if (!nextLine(data, size, &pos, &line) || !parseResolution(line, &width, &height))
        return refuse("the Radiance resolution line is missing, out of bounds or not in -Y +X order");

    std::vector<std::size_t> starts(std::size_t(height) + 1);
    for (int y = 0; y < height; ++y) {
        starts[std::size_t(y)] = pos;
        pos = scanlineEnd(data, size, pos, width);
        if (pos == 0)
            return refuse("scanline " + std::to_string(y) + " is damaged or cut short");
    }
    image->create(height, width, CV_32FC3);
    const int workers = workerCount(WorkerUse::Waiting);
    const int band = std::max(1, height / (workers * 8));
    const bool done = parallelInterleaved(workers, "readRadiance", [&](int first, int step) {
        std::vector<unsigned char> planes(std::size_t(width) * 4);
        for (int y0 = first * band; y0 < height; y0 += step * band)
            for (int y = y0; y < std::min(height, y0 + band); ++y)
                expandScanline(data, starts[std::size_t(y)], width, planes.data(), image->ptr<float>(y));
    });
    if (!done) {
        image->release();
        return refuse("the scanlines could not be expanded");
    }
    return Outcome::Read;
}

Outcome read(const std::string& path, cv::Mat* image, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Outcome::NotMine;
    struct stat info {};
    const bool sized = ::fstat(fd, &info) == 0 && info.st_size >= 2;
    // Mapped rather than copied: the scanlines are read where the page cache holds them. A file cut short
    // while it is mapped ends the decoding helper with SIGBUS, which the pool reports as an unreadable file.
    void* mapped =
        sized ? ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (mapped == MAP_FAILED)
        return Outcome::NotMine;
    const Outcome outcome =
        decode(static_cast<const unsigned char*>(mapped), std::size_t(info.st_size), image, error);
    ::munmap(mapped, std::size_t(info.st_size));
    return outcome;
}

} // namespace lumora::imageio::radiance
