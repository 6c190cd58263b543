#pragma once
// Deterministic damaged copies of image files for the corrupted-media test and the in-process survey: bit
// flips, random bytes, truncations, structure fields (sizes, lengths, counts) set to 0, huge or odd values,
// and cut or repeated blocks. The same seed and base file always give the same mutants.

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace lumora::test {

using Bytes = std::vector<unsigned char>;

// One still format of the test: the name used in reports, the file extension, the pixel type written.
struct StillFormat {
    const char* name;
    const char* extension;
    int type;
};

// JPEG, PNG, TIFF 8 and 16 bits, BMP, PSD, Radiance HDR and OpenEXR (float samples).
const std::vector<StillFormat>& stillFormats();

// The camera raw file used as the raw base, "" when it is not installed.
std::string rawBaseFile();

// A small gradient with noise (96 x 64) of the given type; values span the type's range (floats 0..4).
cv::Mat baseImage(int type);

// A field of the file's structure: `size` bytes (1, 2 or 4) at `offset`, big- or little-endian. Length
// fields (segment, chunk, section and count fields) are marked so mutations can aim at them.
struct Field {
    size_t offset;
    int size;
    bool bigEndian;
    bool length;
};

// Fields found by walking the file's structure (JPEG segments, PNG chunks, TIFF directories, BMP and PSD
// headers, the Radiance resolution line and run-length scanline headers, OpenEXR attributes and chunks).
// `format` is a StillFormat name or "raw" (a TIFF-based raw file).
std::vector<Field> structureFields(const Bytes& file, const std::string& format);

// What mutant `index` did, for the report.
enum class Mutation { BitFlips, RandomBytes, Truncation, HeaderField, LengthField, Splice };
const char* mutationName(Mutation m);

struct Mutant {
    Bytes bytes;
    Mutation mutation;
};

// Mutant `index` of `base`; the mutation kind cycles through all six with the index. For PNG, half of the
// chunk edits get a recomputed CRC so decoders look past the checksum.
Mutant mutate(const Bytes& base, const std::string& format, int index);

Bytes readFileBytes(const std::string& path);
bool writeFileBytes(const std::string& path, const Bytes& bytes);

// The one pixel layout the import path may hand on: 8-, 16-bit or float, one or three channels, within the
// size limits.
bool acceptableImage(const cv::Mat& image);

} // namespace lumora::test
