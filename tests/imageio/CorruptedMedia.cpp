#include "CorruptedMedia.h"

#include "Crc32.h"
#include "imageio/ImageLimits.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sys/stat.h>

namespace lumora::test {
namespace {

uint32_t readField(const Bytes& b, const Field& f) {
    uint32_t v = 0;
    for (int i = 0; i < f.size; ++i) {
        const uint32_t byte = b[f.offset + size_t(i)];
        v |= f.bigEndian ? byte << (8 * (f.size - 1 - i)) : byte << (8 * i);
    }
    return v;
}

void writeField(Bytes& b, const Field& f, uint32_t v) {
    for (int i = 0; i < f.size; ++i) {
        const int shift = f.bigEndian ? 8 * (f.size - 1 - i) : 8 * i;
        b[f.offset + size_t(i)] = uint8_t(v >> shift);
    }
}

class Walker {
public:
    Walker(const Bytes& b, std::vector<Field>* out) : b_(b), out_(out) {}
    bool has(size_t offset, size_t n) const { return offset <= b_.size() && n <= b_.size() - offset; }
    uint32_t be(size_t offset, int n) const { return readField(b_, {offset, n, true, false}); }
    uint32_t le(size_t offset, int n) const { return readField(b_, {offset, n, false, false}); }
    void add(size_t offset, int size, bool bigEndian, bool length) {
        if (has(offset, size_t(size)))
            out_->push_back({offset, size, bigEndian, length});
    }
    const Bytes& bytes() const { return b_; }

private:
    const Bytes& b_;
    std::vector<Field>* out_;
};

void jpegFields(Walker& w) {
    size_t pos = 2;
    while (w.has(pos, 4)) {
        if (w.bytes()[pos] != 0xFF)
            return;
        const uint32_t marker = w.bytes()[pos + 1];
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01 || marker == 0xFF) {
            pos += marker == 0xFF ? 1 : 2;
            continue;
        }
        if (marker == 0xD9)
            return;
        w.add(pos + 2, 2, true, true);
        const uint32_t length = w.be(pos + 2, 2);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            w.add(pos + 4, 1, true, false); // precision
            w.add(pos + 5, 2, true, false); // height
            w.add(pos + 7, 2, true, false); // width
            w.add(pos + 9, 1, true, true);  // components
            for (size_t c = 0; c < 3; ++c)
                w.add(pos + 11 + 3 * c, 1, true, false); // sampling factors
        }
        if (marker == 0xDA) {
            w.add(pos + 4, 1, true, true); // components in the scan
            return;
        }
        if (marker == 0xC4 || marker == 0xDB)
            w.add(pos + 4, 1, true, false); // table class and id
        if (length < 2)
            return;
        pos += 2 + length;
    }
}

void pngFields(Walker& w) {
    size_t pos = 8;
    while (w.has(pos, 12)) {
        w.add(pos, 4, true, true);
        const uint32_t length = w.be(pos, 4);
        const bool header =
            std::equal(w.bytes().begin() + long(pos + 4), w.bytes().begin() + long(pos + 8), "IHDR");
        if (header) {
            w.add(pos + 8, 4, true, false);
            w.add(pos + 12, 4, true, false);
            for (size_t k = 16; k < 21; ++k)
                w.add(pos + k, 1, true, false); // depth, colour type, compression, filter, interlace
        }
        if (std::equal(w.bytes().begin() + long(pos + 4), w.bytes().begin() + long(pos + 8), "IEND"))
            return;
        pos += 12 + size_t(length);
    }
}

void tiffFields(Walker& w) {
    if (!w.has(0, 8))
        return;
    const bool big = w.bytes()[0] == 'M';
    auto get = [&](size_t at, int n) { return big ? w.be(at, n) : w.le(at, n); };
    w.add(4, 4, big, true);
    std::vector<uint32_t> pending{get(4, 4)};
    std::set<uint32_t> seen;
    while (!pending.empty() && seen.size() < 32) {
        const uint32_t ifd = pending.back();
        pending.pop_back();
        if (ifd == 0 || !seen.insert(ifd).second || !w.has(ifd, 2))
            continue;
        w.add(ifd, 2, big, true);
        const uint32_t count = get(ifd, 2);
        for (uint32_t i = 0; i < count && i < 512; ++i) {
            const size_t entry = ifd + 2 + size_t(i) * 12;
            if (!w.has(entry, 12))
                break;
            const uint32_t tag = get(entry, 2);
            w.add(entry + 2, 2, big, false); // type
            w.add(entry + 4, 4, big, true);  // count
            const bool offsets =
                tag == 273 || tag == 279 || tag == 324 || tag == 325 || tag == 513 || tag == 514;
            w.add(entry + 8, get(entry + 2, 2) == 3 ? 2 : 4, big, offsets);
            if ((tag == 34665 || tag == 330) && get(entry + 4, 4) == 1)
                pending.push_back(get(entry + 8, 4));
        }
        const size_t next = ifd + 2 + size_t(count) * 12;
        if (w.has(next, 4)) {
            w.add(next, 4, big, true);
            pending.push_back(get(next, 4));
        }
    }
}

void bmpFields(Walker& w) {
    for (size_t at : {2, 10, 14, 18, 22, 30, 34, 46, 50})
        w.add(at, 4, false, at == 2 || at == 10 || at == 14 || at == 34 || at == 46);
    w.add(26, 2, false, false); // planes
    w.add(28, 2, false, false); // bits per pixel
}

void psdFields(Walker& w) {
    w.add(4, 2, true, false);  // version
    w.add(12, 2, true, true);  // channels
    w.add(14, 4, true, false); // height
    w.add(18, 4, true, false); // width
    w.add(22, 2, true, false); // depth
    w.add(24, 2, true, false); // colour mode
    size_t pos = 26;
    for (int section = 0; section < 3 && w.has(pos, 4); ++section) {
        w.add(pos, 4, true, true);
        const uint32_t length = w.be(pos, 4);
        if (section == 1) { // image resource blocks
            size_t block = pos + 4;
            const size_t end = std::min(w.bytes().size(), pos + 4 + size_t(length));
            while (block + 12 <= end) {
                const size_t nameLength = w.bytes()[block + 6];
                const size_t sizeAt = block + 6 + ((nameLength + 2) & ~size_t(1));
                if (!w.has(sizeAt, 4))
                    break;
                w.add(sizeAt, 4, true, true);
                const size_t dataLength = w.be(sizeAt, 4);
                block = sizeAt + 4 + ((dataLength + 1) & ~size_t(1));
            }
        }
        pos += 4 + size_t(length);
    }
    w.add(pos, 2, true, false); // compression of the merged image
    if (w.has(pos, 2) && w.be(pos, 2) == 1)
        for (size_t k = 0; k < 64; ++k)
            w.add(pos + 2 + 2 * k, 2, true, true); // run-length byte counts of the first rows
}

// The resolution line and the run-length scanline headers and run counts of the first rows.
size_t radianceDataStart(const Bytes& b) {
    for (size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == '\n' && b[i + 1] == '\n') {
            size_t j = i + 2;
            while (j < b.size() && b[j] != '\n')
                ++j;
            return j + 1;
        }
    return b.size();
}

void radianceFields(Walker& w) {
    const Bytes& b = w.bytes();
    size_t pos = radianceDataStart(b);
    for (int row = 0; row < 8 && w.has(pos, 4); ++row) {
        if (b[pos] != 2 || b[pos + 1] != 2)
            return;
        w.add(pos + 2, 2, true, true);
        const uint32_t width = w.be(pos + 2, 2);
        pos += 4;
        for (int channel = 0; channel < 4; ++channel) {
            uint32_t filled = 0;
            while (filled < width && w.has(pos, 1)) {
                const uint32_t count = b[pos];
                w.add(pos, 1, true, true);
                if (count > 128) {
                    filled += count - 128;
                    pos += 2;
                } else {
                    filled += std::max<uint32_t>(count, 1);
                    pos += 1 + count;
                }
            }
        }
    }
}

// OpenEXR: each header attribute's size, the data and display windows, the channel list's types and
// samplings, then the line-offset table and the first chunks' row numbers and sizes.
void exrFields(Walker& w) {
    const Bytes& b = w.bytes();
    size_t pos = 8;
    const auto text = [&](size_t at) {
        size_t end = at;
        while (end < b.size() && b[end] != 0)
            ++end;
        return std::string(b.begin() + long(at), b.begin() + long(std::min(end, b.size())));
    };
    while (w.has(pos, 1) && b[pos] != 0) {
        const std::string name = text(pos);
        const std::string type = text(pos + name.size() + 1);
        const size_t sizeAt = pos + name.size() + type.size() + 2;
        if (!w.has(sizeAt, 4))
            return;
        w.add(sizeAt, 4, false, true);
        const size_t value = sizeAt + 4, size = w.le(sizeAt, 4);
        if (type == "box2i")
            for (size_t k = 0; k < 4; ++k)
                w.add(value + 4 * k, 4, false, false);
        if (type == "chlist")
            for (size_t at = value; w.has(at, 1) && b[at] != 0 && at < value + size;) {
                const size_t fields = at + text(at).size() + 1;
                w.add(fields, 4, false, false);      // pixel type
                w.add(fields + 8, 4, false, false);  // x sampling
                w.add(fields + 12, 4, false, false); // y sampling
                at = fields + 16;
            }
        if (type == "compression")
            w.add(value, 1, false, false);
        pos = value + size;
    }
    size_t table = pos + 1;
    const size_t firstChunk = w.has(table, 8) ? w.le(table, 4) : 0;
    for (int k = 0; k < 4 && w.has(table, 8); ++k, table += 8)
        w.add(table, 4, false, true);
    for (size_t chunk = firstChunk, k = 0; k < 4 && w.has(chunk, 8); ++k) {
        w.add(chunk, 4, false, false);    // first row
        w.add(chunk + 4, 4, false, true); // packed size
        chunk += 8 + w.le(chunk + 4, 4);
    }
}

// Rewrites the numbers of the Radiance resolution line.
Bytes radianceResolution(const Bytes& b, std::mt19937& rng) {
    static const char* kValues[] = {"0",        "1",          "65535",      "65536",
                                    "99999999", "2147483647", "4294967296", "-64"};
    const size_t end = radianceDataStart(b) - 1, blank = std::string(b.begin(), b.end()).find("\n\n");
    if (blank == std::string::npos || end >= b.size())
        return b;
    const size_t start = blank + 2;
    const std::string line(b.begin() + long(start), b.begin() + long(end));
    std::string rewritten;
    for (size_t i = 0; i < line.size();) {
        if (std::isdigit(static_cast<unsigned char>(line[i]))) {
            while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
                ++i;
            rewritten += rng() % 2 ? kValues[rng() % 8] : std::to_string(rng() % 200);
        } else {
            rewritten += line[i++];
        }
    }
    if (rng() % 4 == 0)
        rewritten = rng() % 2 ? "+X 96 -Y 64" : "-Y 64 -Y 96";
    Bytes out(b.begin(), b.begin() + long(start));
    out.insert(out.end(), rewritten.begin(), rewritten.end());
    out.insert(out.end(), b.begin() + long(end), b.end());
    return out;
}

// Recomputes the CRC of every chunk whose declared length still fits in the file.
void fixPngCrcs(Bytes& b) {
    size_t pos = 8;
    for (int chunk = 0; chunk < 10000 && pos + 12 <= b.size(); ++chunk) {
        const size_t length =
            size_t(b[pos]) << 24 | size_t(b[pos + 1]) << 16 | size_t(b[pos + 2]) << 8 | b[pos + 3];
        if (length > b.size() - pos - 12)
            return;
        const uint32_t crc = crc32(b.data() + pos + 4, length + 4);
        for (int k = 0; k < 4; ++k)
            b[pos + 8 + length + size_t(k)] = uint8_t(crc >> (24 - 8 * k));
        pos += 12 + length;
    }
}

size_t position(const Bytes& b, std::mt19937& rng) {
    // Half of the edits land in the headers, where they matter most.
    const size_t head = std::min<size_t>(b.size(), 2048);
    return (rng() % 2 && head > 0) ? rng() % head : rng() % b.size();
}

uint32_t fieldValue(uint32_t old, int size, std::mt19937& rng) {
    const uint32_t max = size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
    const uint32_t pick = rng() % 8;
    // Zero, the largest values (unsigned and signed) and one past, off by one, scaled, or anything.
    const uint32_t values[] = {0,       max,     max >> 1,     (max >> 1) + 1,
                               old + 1, old - 1, old * 16 + 7, pick == 7 ? uint32_t(rng()) : 0};
    return values[pick];
}

// HEIF and AVIF: ISO boxes, their sizes everywhere, item counts, extents of the item locations and the
// declared image sizes, inside the containers a reader walks.
void boxFields(Walker& w, size_t pos, size_t end, int depth) {
    while (pos + 8 <= end && w.has(pos, 8) && depth < 8) {
        w.add(pos, 4, true, true);
        const uint32_t size = w.be(pos, 4);
        if (size < 8 || pos + size > end)
            return;
        const std::string type(w.bytes().begin() + long(pos + 4), w.bytes().begin() + long(pos + 8));
        if (type == "meta")
            boxFields(w, pos + 12, pos + size, depth + 1);
        else if (type == "iprp" || type == "ipco" || type == "dinf")
            boxFields(w, pos + 8, pos + size, depth + 1);
        else if (type == "iinf" || type == "iref") {
            w.add(pos + 12, 2, true, true); // entry count
        } else if (type == "ispe") {
            w.add(pos + 12, 4, true, false); // width
            w.add(pos + 16, 4, true, false); // height
        } else if (type == "iloc") {
            // Version 0 or 1 with 4-byte offsets and lengths, as libheif writes them.
            w.add(pos + 12, 1, true, false); // offset and length sizes
            w.add(pos + 14, 2, true, true);  // item count
            for (size_t f = pos + 16; f + 4 <= pos + size; f += 4)
                w.add(f, 4, true, true);
        } else if (type == "hvcC" || type == "av1C" || type == "pixi") {
            for (size_t f = pos + 8; f < std::min<size_t>(pos + size, pos + 32); ++f)
                w.add(f, 1, true, false);
        }
        pos += size;
    }
}

} // namespace

const std::vector<StillFormat>& stillFormats() {
    static const std::vector<StillFormat> formats{{"jpeg", "jpg", CV_8UC3},  {"png", "png", CV_8UC3},
                                                  {"tiff8", "tif", CV_8UC3}, {"tiff16", "tif", CV_16UC3},
                                                  {"bmp", "bmp", CV_8UC3},   {"psd", "psd", CV_8UC3},
                                                  {"hdr", "hdr", CV_32FC3},  {"exr", "exr", CV_32FC3}};
    return formats;
}

std::string rawBaseFile() {
    const std::string path = "/usr/share/doc/rawtran/IMG_5952.CR2";
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? path : std::string();
}

cv::Mat baseImage(int type) {
    cv::Mat eight(64, 96, CV_8UC3);
    cv::RNG rng(96064);
    for (int y = 0; y < eight.rows; ++y)
        for (int x = 0; x < eight.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const double ramp = 30 + 1.6 * x + 1.1 * y + 25 * c;
                eight.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(ramp + rng.uniform(-20, 21));
            }
    cv::Mat out;
    switch (CV_MAT_DEPTH(type)) {
    case CV_16U: {
        eight.convertTo(out, CV_16UC3, 257.0);
        cv::Mat low(out.size(), CV_16UC3);
        rng.fill(low, cv::RNG::UNIFORM, 0, 256);
        out += low;
        break;
    }
    case CV_32F:
        eight.convertTo(out, CV_32FC3, 4.0 / 255.0);
        break;
    default:
        out = eight;
    }
    return out;
}

std::vector<Field> structureFields(const Bytes& file, const std::string& format) {
    std::vector<Field> fields;
    Walker w(file, &fields);
    if (format == "jpeg")
        jpegFields(w);
    else if (format == "png")
        pngFields(w);
    else if (format == "tiff8" || format == "tiff16" || format == "raw")
        tiffFields(w);
    else if (format == "bmp")
        bmpFields(w);
    else if (format == "psd")
        psdFields(w);
    else if (format == "hdr")
        radianceFields(w);
    else if (format == "exr")
        exrFields(w);
    else if (format == "heic" || format == "avif")
        boxFields(w, 0, file.size(), 0);
    return fields;
}

const char* mutationName(Mutation m) {
    static const char* const kNames[] = {"bit flips",    "random bytes", "truncation",
                                         "header field", "length field", "cut or repeated block"};
    return kNames[int(m)];
}

Mutant mutate(const Bytes& base, const std::string& format, int index) {
    uint32_t seed = 2166136261u;
    for (char c : format)
        seed = (seed ^ uint8_t(c)) * 16777619u;
    std::mt19937 rng(seed ^ (uint32_t(index) * 2654435761u));
    Mutant m{base, Mutation(index % 6)};
    Bytes& b = m.bytes;
    if (b.empty())
        return m;
    const std::vector<Field> fields = structureFields(base, format);
    std::vector<Field> lengths, others;
    for (const Field& f : fields)
        (f.length ? lengths : others).push_back(f);
    bool fixCrc = false;

    switch (m.mutation) {
    case Mutation::BitFlips:
        for (uint32_t n = 1 + rng() % 8; n > 0; --n)
            b[position(b, rng)] ^= uint8_t(1u << (rng() % 8));
        break;
    case Mutation::RandomBytes: {
        const size_t at = position(b, rng);
        for (size_t n = 1 + rng() % 16, i = 0; i < n && at + i < b.size(); ++i)
            b[at + i] = uint8_t(rng());
        fixCrc = rng() % 2;
        break;
    }
    case Mutation::Truncation: {
        const size_t head = std::min<size_t>(b.size(), 4096);
        b.resize(rng() % 2 ? rng() % head : rng() % b.size());
        break;
    }
    case Mutation::HeaderField:
    case Mutation::LengthField: {
        if (format == "hdr" && m.mutation == Mutation::HeaderField && rng() % 2) {
            b = radianceResolution(b, rng);
            break;
        }
        const std::vector<Field>& pool = m.mutation == Mutation::LengthField ? lengths : others;
        if (pool.empty()) {
            b[rng() % std::min<size_t>(b.size(), 64)] = uint8_t(rng());
            break;
        }
        for (uint32_t n = 1 + (rng() % 4 == 0 ? 1 : 0); n > 0; --n) {
            const Field& f = pool[rng() % pool.size()];
            writeField(b, f, fieldValue(readField(b, f), f.size, rng));
        }
        fixCrc = rng() % 2;
        break;
    }
    case Mutation::Splice: {
        const size_t at = position(b, rng);
        const size_t length = std::min<size_t>(b.size() - at, 1 + rng() % (rng() % 4 == 0 ? 4096 : 64));
        if (rng() % 2) {
            b.erase(b.begin() + long(at), b.begin() + long(at + length));
        } else {
            const Bytes copy(b.begin() + long(at), b.begin() + long(at + length));
            b.insert(b.begin() + long(at), copy.begin(), copy.end());
        }
        break;
    }
    }
    if (fixCrc && format == "png")
        fixPngCrcs(b);
    return m;
}

Bytes readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool writeFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

bool acceptableImage(const cv::Mat& image) {
    const int depth = image.depth(), channels = image.channels();
    return !image.empty() && image.dims == 2 && withinImageLimits(image.cols, image.rows) &&
           (depth == CV_8U || depth == CV_16U || depth == CV_32F) && (channels == 1 || channels == 3);
}

} // namespace lumora::test
