#include "imageio/ImageHeader.h"

#include "imageio/ImageFile.h"
#include "imageio/ImageLimits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lumora {
namespace {

// Header values are kept far below the range of long long, so sums and products of two of them cannot wrap.
constexpr long long kHugeValue = 1LL << 40;

// How much of a file is read up front; most headers sit in the first few hundred bytes.
constexpr size_t kFileHeadBytes = 256 * 1024;
// What a probe may read beyond that, in blocks, before it gives up on the file.
constexpr size_t kFileBlockBytes = 4096;
constexpr size_t kMaxExtraBlocks = 1024; // 4 MiB

// Random access to the bytes a header is read from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies `n` bytes at `offset` into `out`; false when they are not all available.
    virtual bool read(uint64_t offset, unsigned char* out, size_t n) = 0;
    virtual uint64_t size() const = 0;

    bool u8(uint64_t offset, uint32_t* value) {
        unsigned char b = 0;
        if (!read(offset, &b, 1))
            return false;
        *value = b;
        return true;
    }
    bool u16(uint64_t offset, bool bigEndian, uint32_t* value) {
        unsigned char b[2];
        if (!read(offset, b, 2))
            return false;
        *value = bigEndian ? uint32_t(b[0]) << 8 | b[1] : uint32_t(b[1]) << 8 | b[0];
        return true;
    }
    bool u32(uint64_t offset, bool bigEndian, uint32_t* value) {
        unsigned char b[4];
        if (!read(offset, b, 4))
            return false;
        *value = 0;
        for (int i = 0; i < 4; ++i)
            *value = *value << 8 | b[bigEndian ? i : 3 - i];
        return true;
    }
};

class MemorySource : public ByteSource {
public:
    MemorySource(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    bool read(uint64_t offset, unsigned char* out, size_t n) override {
        if (offset > size_ || n > size_ - offset)
            return false;
        if (n > 0)
            std::memcpy(out, data_ + offset, n);
        return true;
    }
    uint64_t size() const override { return size_; }

private:
    const unsigned char* data_;
    size_t size_;
};

// A file read through its first kFileHeadBytes, then block by block within a budget, so a crafted file
// cannot make the probe read gigabytes.
class FileSource : public ByteSource {
public:
    FileSource(int fd, uint64_t fileSize) : fd_(fd), size_(fileSize) {
        head_.resize(size_t(std::min<uint64_t>(fileSize, kFileHeadBytes)));
        head_.resize(readAt(0, head_.data(), head_.size()));
    }
    bool read(uint64_t offset, unsigned char* out, size_t n) override {
        if (offset > size_ || n > size_ - offset)
            return false;
        while (n > 0) {
            const unsigned char* from = locate(offset);
            if (!from)
                return false;
            const uint64_t available = blockEndFor(offset) - offset;
            const size_t chunk = size_t(std::min<uint64_t>(n, available));
            std::memcpy(out, from, chunk);
            out += chunk;
            offset += chunk;
            n -= chunk;
        }
        return true;
    }
    uint64_t size() const override { return size_; }

private:
    size_t readAt(uint64_t offset, unsigned char* out, size_t n) const {
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, out + done, n - done, off_t(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += size_t(got);
        }
        return done;
    }
    uint64_t blockEndFor(uint64_t offset) const {
        if (offset < head_.size())
            return head_.size();
        return blockStart_ + block_.size();
    }
    const unsigned char* locate(uint64_t offset) {
        if (offset < head_.size())
            return head_.data() + offset;
        if (!(offset >= blockStart_ && offset < blockStart_ + block_.size())) {
            if (++blocksRead_ > kMaxExtraBlocks)
                return nullptr;
            blockStart_ = offset - offset % kFileBlockBytes;
            block_.resize(kFileBlockBytes);
            block_.resize(readAt(blockStart_, block_.data(), block_.size()));
            if (!(offset >= blockStart_ && offset < blockStart_ + block_.size()))
                return nullptr;
        }
        return block_.data() + (offset - blockStart_);
    }

    int fd_;
    uint64_t size_;
    std::vector<unsigned char> head_;
    std::vector<unsigned char> block_;
    uint64_t blockStart_ = 0;
    size_t blocksRead_ = 0;
};

bool startsWith(ByteSource& src, const char* signature, size_t n) {
    unsigned char b[16];
    return n <= sizeof b && src.read(0, b, n) && std::memcmp(b, signature, n) == 0;
}

ImageDimensions dimensions(long long width, long long height, const char* format) {
    return ImageDimensions{std::min(width, kHugeValue), std::min(height, kHugeValue), format};
}

// GIF: the logical screen, widened by the first image if it reaches outside it (decoders allocate both).
std::optional<ImageDimensions> probeGif(ByteSource& src) {
    uint32_t screenWidth = 0, screenHeight = 0, packed = 0;
    if (!src.u16(6, false, &screenWidth) || !src.u16(8, false, &screenHeight) || !src.u8(10, &packed))
        return std::nullopt;
    const auto screen = dimensions(screenWidth, screenHeight, "gif");
    uint64_t pos = 13;
    if (packed & 0x80)
        pos += 3u << ((packed & 7) + 1);
    for (int steps = 0; steps < (1 << 20); ++steps) {
        uint32_t introducer = 0;
        if (!src.u8(pos, &introducer))
            return screen;
        if (introducer == 0x2C) {
            uint32_t left = 0, top = 0, width = 0, height = 0;
            if (!src.u16(pos + 1, false, &left) || !src.u16(pos + 3, false, &top) ||
                !src.u16(pos + 5, false, &width) || !src.u16(pos + 7, false, &height))
                return screen;
            return dimensions(std::max<long long>(screenWidth, (long long)left + width),
                              std::max<long long>(screenHeight, (long long)top + height), "gif");
        }
        if (introducer != 0x21)
            return screen; // trailer or damage: no image follows
        pos += 2;
        for (; steps < (1 << 20); ++steps) {
            uint32_t blockSize = 0;
            if (!src.u8(pos, &blockSize))
                return screen;
            pos += 1 + blockSize;
            if (blockSize == 0)
                break;
        }
    }
    return screen;
}

std::optional<ImageDimensions> probePsd(ByteSource& src) {
    uint32_t version = 0, height = 0, width = 0;
    if (!src.u16(4, true, &version) || (version != 1 && version != 2) || !src.u32(14, true, &height) ||
        !src.u32(18, true, &width))
        return std::nullopt;
    return dimensions(width, height, version == 1 ? "psd" : "psb");
}

// OpenEXR: the first header's attributes, looking for dataWindow (box2i: xMin, yMin, xMax, yMax).
std::optional<ImageDimensions> probeExr(ByteSource& src) {
    uint32_t version = 0;
    if (!src.u32(4, false, &version))
        return std::nullopt;
    const size_t maxName = (version & 0x400) ? 255 : 31;
    uint64_t pos = 8;
    auto readName = [&](std::string* out) {
        out->clear();
        for (size_t i = 0; i <= maxName; ++i) {
            uint32_t c = 0;
            if (!src.u8(pos++, &c))
                return false;
            if (c == 0)
                return true;
            out->push_back(char(c));
        }
        return false;
    };
    for (int attribute = 0; attribute < 1024; ++attribute) {
        std::string name, type;
        if (!readName(&name) || name.empty() || !readName(&type))
            return std::nullopt;
        uint32_t size = 0;
        if (!src.u32(pos, false, &size) || size > (1u << 30))
            return std::nullopt;
        pos += 4;
        if (name == "dataWindow" && type == "box2i" && size == 16) {
            uint32_t box[4];
            for (int k = 0; k < 4; ++k)
                if (!src.u32(pos + 4 * k, false, &box[k]))
                    return std::nullopt;
            const long long width = (long long)int32_t(box[2]) - int32_t(box[0]) + 1;
            const long long height = (long long)int32_t(box[3]) - int32_t(box[1]) + 1;
            return dimensions(width, height, "exr");
        }
        pos += size;
    }
    return std::nullopt;
}

std::optional<ImageDimensions> probe(ByteSource& src) {
    if (startsWith(src, "GIF87a", 6) || startsWith(src, "GIF89a", 6))
        return probeGif(src);
    if (startsWith(src, "8BPS", 4))
        return probePsd(src);
    if (startsWith(src, "\x76\x2f\x31\x01", 4))
        return probeExr(src);
    return std::nullopt;
}

// Closes the descriptor on every path.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The probe of an open file; `regular` tells whether the path led to a regular file at all.
std::optional<ImageDimensions> probePath(const std::string& path, bool* regular) {
    *regular = false;
    // O_NONBLOCK: should the path have become a FIFO since it was checked, opening it must not wait for a
    // writer.
    FileDescriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file.fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    *regular = true;
    FileSource source(file.fd, uint64_t(info.st_size));
    return probe(source);
}

} // namespace

std::optional<ImageDimensions> probeImageHeader(const unsigned char* data, size_t size) {
    if (!data && size > 0)
        return std::nullopt;
    MemorySource source(data, size);
    return probe(source);
}

std::optional<ImageDimensions> probeImageFile(const std::string& path) {
    bool regular = false;
    return probePath(path, &regular);
}

namespace {

bool refusal(std::string* reason, const std::string& why) {
    if (reason)
        *reason = why;
    return false;
}

} // namespace

bool checkRegularFile(const std::string& path, std::string* reason) {
    const auto refuse = [&](const std::string& why) { return refusal(reason, why); };
    // stat follows symbolic links: a link to a device is judged as the device.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return refuse(path + " cannot be opened: " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return refuse(path + " is a folder, not an image file");
    if (!S_ISREG(info.st_mode))
        return refuse(path + " is not a regular file (a pipe, socket or device)");
    return true;
}

bool checkImageFileBeforeDecoding(const std::string& path, std::string* reason) {
    const auto refuse = [&](const std::string& why) { return refusal(reason, why); };
    if (!checkRegularFile(path, reason))
        return false;
    // Raw files go to LibRaw alone, which parses them itself; its declared sizes are checked before the
    // sensor data is unpacked (decodeRaw).
    if (isRawFile(path))
        return true;
    bool regular = false;
    const auto size = probePath(path, &regular);
    if (!regular)
        return refuse(path + " cannot be opened as a regular file");
    if (size && !withinImageLimits(size->width, size->height)) {
        const std::string pixels = std::to_string(size->width) + " x " + std::to_string(size->height);
        if (size->width <= 0 || size->height <= 0)
            return refuse(path + " declares an image of " + pixels + " pixels");
        return refuse(path + " is " + pixels + " pixels, larger than Lumora reads");
    }
    return true;
}

} // namespace lumora
