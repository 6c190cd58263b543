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
#include <set>
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
// Text headers (Radiance, PNM family) are searched this far.
constexpr size_t kTextHeaderBytes = 64 * 1024;

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
    bool u64(uint64_t offset, bool bigEndian, uint64_t* value) {
        unsigned char b[8];
        if (!read(offset, b, 8))
            return false;
        *value = 0;
        for (int i = 0; i < 8; ++i)
            *value = *value << 8 | b[bigEndian ? i : 7 - i];
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

// JPEG: walk the marker segments up to the first frame header (SOFn). Bytes between segments are skipped the
// way decoders skip them.
std::optional<ImageDimensions> probeJpeg(ByteSource& src) {
    uint64_t pos = 2;
    for (int steps = 0; steps < (1 << 20); ++steps) {
        uint32_t byte = 0;
        if (!src.u8(pos, &byte))
            return std::nullopt;
        ++pos;
        if (byte != 0xFF)
            continue;
        uint32_t marker = 0;
        do {
            if (!src.u8(pos, &marker))
                return std::nullopt;
            ++pos;
        } while (marker == 0xFF && ++steps < (1 << 20));
        if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // no length field
        if (marker == 0xD9 || marker == 0xDA)
            return std::nullopt; // image data or the end before any frame header
        uint32_t length = 0;
        if (!src.u16(pos, true, &length) || length < 2)
            return std::nullopt;
        const bool frameHeader =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frameHeader) {
            uint32_t height = 0, width = 0;
            if (length < 7 || !src.u16(pos + 3, true, &height) || !src.u16(pos + 5, true, &width))
                return std::nullopt;
            return dimensions(width, height, "jpeg");
        }
        pos += length;
    }
    return std::nullopt;
}

std::optional<ImageDimensions> probePng(ByteSource& src) {
    uint32_t width = 0, height = 0;
    unsigned char type[4];
    if (!src.read(12, type, 4) || std::memcmp(type, "IHDR", 4) != 0 || !src.u32(16, true, &width) ||
        !src.u32(20, true, &height))
        return std::nullopt;
    return dimensions(width, height, "png");
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

std::optional<ImageDimensions> probeBmp(ByteSource& src) {
    uint32_t infoSize = 0;
    if (!src.u32(14, false, &infoSize))
        return std::nullopt;
    if (infoSize == 12) { // OS/2 1.x core header: unsigned 16-bit sides
        uint32_t width = 0, height = 0;
        if (!src.u16(18, false, &width) || !src.u16(20, false, &height))
            return std::nullopt;
        return dimensions(width, height, "bmp");
    }
    if (infoSize < 16)
        return std::nullopt;
    uint32_t width = 0, height = 0;
    if (!src.u32(18, false, &width) || !src.u32(22, false, &height))
        return std::nullopt;
    // A negative height marks rows stored top-down; the size is its magnitude. A negative width is damage
    // and stays negative, so it is refused.
    const long long w = int32_t(width);
    const long long h = int32_t(height);
    return dimensions(w, h < 0 ? -h : h, "bmp");
}

// TIFF and BigTIFF: every directory of the chain and their sub-directories, up to a bounded number; the
// result is the page a decoder would find hardest: one beyond the limits if any, else the largest.
std::optional<ImageDimensions> probeTiff(ByteSource& src) {
    unsigned char order[2];
    if (!src.read(0, order, 2))
        return std::nullopt;
    const bool big = order[0] == 'M';
    uint32_t version = 0;
    if (!src.u16(2, big, &version))
        return std::nullopt;
    const bool bigTiff = version == 43;
    uint64_t first = 0;
    if (bigTiff) {
        uint32_t offsetSize = 0;
        if (!src.u16(4, big, &offsetSize) || offsetSize != 8 || !src.u64(8, big, &first))
            return std::nullopt;
    } else {
        uint32_t offset = 0;
        if (!src.u32(4, big, &offset))
            return std::nullopt;
        first = offset;
    }

    constexpr int kMaxDirectories = 64;
    constexpr uint64_t kMaxEntries = 4096;
    const uint64_t entrySize = bigTiff ? 20 : 12;
    const uint64_t countSize = bigTiff ? 8 : 2;
    const uint64_t valueOffset = bigTiff ? 12 : 8;
    const uint64_t valueSize = bigTiff ? 8 : 4;

    auto readValue = [&](uint64_t at, uint32_t type, uint64_t* value) {
        uint32_t v32 = 0;
        switch (type) {
        case 3: // SHORT
            if (!src.u16(at, big, &v32))
                return false;
            *value = v32;
            return true;
        case 4:  // LONG
        case 13: // IFD
            if (!src.u32(at, big, &v32))
                return false;
            *value = v32;
            return true;
        case 16: // LONG8
        case 18: // IFD8
            return src.u64(at, big, value);
        default:
            return false;
        }
    };
    auto typeSize = [](uint32_t type) -> uint64_t {
        return type == 3 ? 2 : (type == 16 || type == 18) ? 8 : 4;
    };

    std::vector<uint64_t> pending{first};
    std::set<uint64_t> seen;
    std::optional<ImageDimensions> worst;
    int visited = 0;
    while (!pending.empty() && visited < kMaxDirectories) {
        const uint64_t ifd = pending.back();
        pending.pop_back();
        if (ifd == 0 || !seen.insert(ifd).second)
            continue;
        ++visited;
        uint64_t count = 0;
        uint32_t count16 = 0;
        if (bigTiff ? !src.u64(ifd, big, &count) : !src.u16(ifd, big, &count16))
            continue;
        if (!bigTiff)
            count = count16;
        if (count > kMaxEntries)
            continue;
        uint64_t width = 0, height = 0;
        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t entry = ifd + countSize + i * entrySize;
            uint32_t tag = 0, type = 0;
            uint64_t n = 0;
            uint32_t n32 = 0;
            if (!src.u16(entry, big, &tag) || !src.u16(entry + 2, big, &type))
                break;
            if (bigTiff ? !src.u64(entry + 4, big, &n) : !src.u32(entry + 4, big, &n32))
                break;
            if (!bigTiff)
                n = n32;
            if (n == 0)
                continue;
            if (tag == 256 || tag == 257) {
                uint64_t value = 0;
                if (type != 3 && type != 4 && type != 16)
                    continue;
                if (readValue(entry + valueOffset, type, &value))
                    (tag == 256 ? width : height) = value;
            } else if (tag == 330 && (type == 4 || type == 13 || type == 16 || type == 18)) {
                // SubIFDs: their offsets sit in the entry when they fit, else where it points.
                uint64_t at = entry + valueOffset;
                const uint64_t size = typeSize(type);
                if (n > valueSize / size && !readValue(entry + valueOffset, bigTiff ? 16 : 4, &at))
                    continue;
                for (uint64_t k = 0; k < n && k < uint64_t(kMaxDirectories); ++k) {
                    uint64_t sub = 0;
                    if (readValue(at + k * size, type, &sub))
                        pending.push_back(sub);
                }
            }
        }
        if (width > 0 && height > 0) {
            const auto page = dimensions((long long)std::min<uint64_t>(width, kHugeValue),
                                         (long long)std::min<uint64_t>(height, kHugeValue), "tiff");
            const bool pageWithin = withinImageLimits(page.width, page.height);
            const bool worstWithin = worst && withinImageLimits(worst->width, worst->height);
            if (!worst || (!pageWithin && worstWithin) ||
                (pageWithin == worstWithin &&
                 double(page.width) * double(page.height) > double(worst->width) * double(worst->height)))
                worst = page;
        }
        uint64_t next = 0;
        uint32_t next32 = 0;
        const uint64_t nextAt = ifd + countSize + count * entrySize;
        if (bigTiff ? src.u64(nextAt, big, &next) : src.u32(nextAt, big, &next32))
            pending.push_back(bigTiff ? next : next32);
    }
    return worst;
}

std::optional<ImageDimensions> probePsd(ByteSource& src) {
    uint32_t version = 0, height = 0, width = 0;
    if (!src.u16(4, true, &version) || (version != 1 && version != 2) || !src.u32(14, true, &height) ||
        !src.u32(18, true, &width))
        return std::nullopt;
    return dimensions(width, height, version == 1 ? "psd" : "psb");
}

// The text formats are parsed from the first kTextHeaderBytes.
class TextCursor {
public:
    explicit TextCursor(ByteSource& src) {
        text_.resize(size_t(std::min<uint64_t>(src.size(), kTextHeaderBytes)));
        if (!src.read(0, text_.data(), text_.size()))
            text_.clear();
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    unsigned char peek() const { return atEnd() ? 0 : text_[pos_]; }
    void advance(size_t n = 1) { pos_ = std::min(text_.size(), pos_ + n); }
    size_t position() const { return pos_; }
    void seek(size_t pos) { pos_ = std::min(pos, text_.size()); }
    const std::vector<unsigned char>& text() const { return text_; }

    // Skips blanks, and '#' comments to the end of their line when `comments` is set.
    void skipSpace(bool comments) {
        while (!atEnd()) {
            const unsigned char c = peek();
            if (c == '#' && comments) {
                while (!atEnd() && peek() != '\n')
                    advance();
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
                advance();
            } else {
                return;
            }
        }
    }
    // A decimal number; values beyond kHugeValue are held at kHugeValue.
    bool number(long long* value) {
        if (atEnd() || peek() < '0' || peek() > '9')
            return false;
        long long v = 0;
        while (!atEnd() && peek() >= '0' && peek() <= '9') {
            v = std::min(kHugeValue, v * 10 + (peek() - '0'));
            advance();
        }
        *value = v;
        return true;
    }
    // A run of non-blank characters.
    std::string word() {
        std::string w;
        while (!atEnd() && peek() > ' ' && w.size() < 64) {
            w.push_back(char(peek()));
            advance();
        }
        return w;
    }

private:
    std::vector<unsigned char> text_;
    size_t pos_ = 0;
};

// Radiance: header lines up to an empty line, then the resolution line, e.g. "-Y 480 +X 640" (rows first)
// or "+X 640 -Y 480" (columns first), any signs.
std::optional<ImageDimensions> probeRadiance(ByteSource& src) {
    TextCursor cur(src);
    const auto& text = cur.text();
    size_t lineStart = 0;
    bool found = false;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\n' && text[i + 1] == '\n') {
            lineStart = i + 2;
            found = true;
            break;
        }
    }
    if (!found)
        return std::nullopt;
    cur.seek(lineStart);
    long long sides[2] = {0, 0};
    char axes[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        while (!cur.atEnd() && (cur.peek() == ' ' || cur.peek() == '\t'))
            cur.advance();
        const unsigned char sign = cur.peek();
        if (sign != '+' && sign != '-')
            return std::nullopt;
        cur.advance();
        const unsigned char axis = cur.peek();
        if (axis != 'X' && axis != 'Y')
            return std::nullopt;
        cur.advance();
        while (!cur.atEnd() && (cur.peek() == ' ' || cur.peek() == '\t'))
            cur.advance();
        if (!cur.number(&sides[k]))
            return std::nullopt;
        axes[k] = char(axis);
    }
    if (axes[0] == axes[1])
        return std::nullopt;
    const long long width = axes[0] == 'X' ? sides[0] : sides[1];
    const long long height = axes[0] == 'Y' ? sides[0] : sides[1];
    return dimensions(width, height, "hdr");
}

// PBM/PGM/PPM ("P1".."P6") and PFM ("PF", "Pf"): width and height are the first two numbers.
std::optional<ImageDimensions> probeNetpbm(ByteSource& src, bool floatMap) {
    TextCursor cur(src);
    cur.advance(2);
    long long width = 0, height = 0;
    cur.skipSpace(!floatMap);
    if (!cur.number(&width))
        return std::nullopt;
    cur.skipSpace(!floatMap);
    if (!cur.number(&height))
        return std::nullopt;
    return dimensions(width, height, floatMap ? "pfm" : "pnm");
}

// PAM ("P7"): "WIDTH n" and "HEIGHT n" lines before "ENDHDR".
std::optional<ImageDimensions> probePam(ByteSource& src) {
    TextCursor cur(src);
    cur.advance(2);
    long long width = -1, height = -1;
    while (true) {
        cur.skipSpace(true);
        if (cur.atEnd())
            return std::nullopt;
        const std::string key = cur.word();
        if (key == "ENDHDR")
            break;
        if (key == "WIDTH" || key == "HEIGHT") {
            cur.skipSpace(false);
            long long value = 0;
            if (!cur.number(&value))
                return std::nullopt;
            (key == "WIDTH" ? width : height) = value;
        } else {
            while (!cur.atEnd() && cur.peek() != '\n')
                cur.advance();
        }
    }
    if (width < 0 || height < 0)
        return std::nullopt;
    return dimensions(width, height, "pam");
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
    unsigned char magic[4] = {0, 0, 0, 0};
    if (!src.read(0, magic, std::min<uint64_t>(4, src.size())))
        return std::nullopt;
    if (magic[0] == 0xFF && magic[1] == 0xD8)
        return probeJpeg(src);
    if (startsWith(src, "\x89PNG\r\n\x1a\n", 8))
        return probePng(src);
    if (startsWith(src, "GIF87a", 6) || startsWith(src, "GIF89a", 6))
        return probeGif(src);
    if (startsWith(src, "BM", 2))
        return probeBmp(src);
    if (startsWith(src, "II", 2) || startsWith(src, "MM", 2))
        return probeTiff(src);
    if (startsWith(src, "8BPS", 4))
        return probePsd(src);
    if (startsWith(src, "#?", 2))
        return probeRadiance(src);
    if (startsWith(src, "\x76\x2f\x31\x01", 4))
        return probeExr(src);
    if (magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6')
        return probeNetpbm(src, false);
    if (magic[0] == 'P' && (magic[1] == 'F' || magic[1] == 'f'))
        return probeNetpbm(src, true);
    if (magic[0] == 'P' && magic[1] == '7')
        return probePam(src);
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
