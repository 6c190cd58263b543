#pragma once
// Export to the formats that keep light above white (HDR AVIF, OpenEXR): the user's HDR choices turned into
// writer options, and the picture each export writes in linear light, 1.0 being diffuse white (203 nits).
//
// The anchor: the light image's linear level shown as diffuse white. HDR clips say what their light means
// (PQ: 1.0 is `lightOneMeans` nits; HLG: 1.0 is `lightOneMeans` times HLG's reference white, which BT.2408
// shows at 203 nits), so their anchor is the level that was diffuse white in the clip. For every other source
// the anchor is 1.0, the level an unedited SDR rendition shows as white.
//
// The HDR rendition of an edit is the SDR rendition with its highlights given back: each pixel of the SDR
// picture (linearised) is multiplied by the gain g = clamp(m * 2^exposure / anchor, 1, peak / 203), m being
// the brightest channel of the light image at that pixel after the edit's rotation and crop. Where the light
// is at most diffuse white g is 1 and the HDR picture is the SDR picture exactly; above it, the pixel shines
// as much brighter than the SDR picture shows it as the light is above diffuse white, up to the peak. With
// tone mapping off and neutral controls this gives the light itself: 203 nits times light / anchor, clipped
// at the peak.

#include "imageio/ImageFile.h"

#include <QString>
#include <opencv2/core.hpp>

#include <string>

namespace lumora {

// The user's HDR choices, as the window's controls and the command line state them.
struct HdrChoices {
    int peakNits = 1000;   // "peak brightness": highlights of HDR AVIF stop here
    int transferIndex = 0; // 0: PQ, 1: HLG
};
inline constexpr int kMinPeakNits = 203;
inline constexpr int kMaxPeakNits = 10000;

// "pq" or "hlg" (any letter case) to a transfer index; -1 for anything else.
int hdrTransferIndexOf(const QString& name);
// The writer options for a linear-light export at `bits` (OpenEXR: 32 is full float, anything else half).
LinearWriteOptions linearWriteOptions(const HdrChoices& choices, int bits);

// The linear level of diffuse white in a light image (see above); `hlg` for HLG clips, `lightOneMeans` 0
// for sources that do not say.
double diffuseWhiteLight(double lightOneMeans, bool hlg);

// What an export writes, and what the HDR formats need to know about it.
struct ExportPicture {
    enum class Kind {
        Display, // a frame or a rendered edit: display-coded (the 2.2 power), white is diffuse white
        Light,   // the light image: coded with the 1/2.2 power, `whiteLight` is diffuse white
    };
    cv::Mat image;
    Kind kind = Kind::Display;
    double whiteLight = 1.0;
    // For a rendered edit: the light image under the edit's rotation and crop, and the edit's exposure in
    // stops; the HDR rendition lifts highlights from it. Empty: the picture is written as it shows.
    cv::Mat light;
    float exposureStops = 0.f;
};

// The picture in linear BT.709 light relative to diffuse white, as the HDR formats write it; empty when the
// picture cannot be turned into one (no image, or a light image that does not match the picture's size).
cv::Mat linearPicture(const ExportPicture& picture, double peakNits);

// The HDR rendition of an edit (see above): `sdr` the rendered picture, `light` the light image under the
// same rotation and crop (same size), `whiteLight` the anchor, `peakRelative` = peak / 203.
cv::Mat hdrRendition(const cv::Mat& sdr, const cv::Mat& light, double whiteLight, float exposureStops,
                     double peakRelative);

// Writes the export: the HDR formats get linearPicture(), the others saveImage() at `bits`.
WriteResult exportPicture(const std::string& path, const ExportPicture& picture, int bits,
                          const HdrChoices& choices, const std::string& exifSource, int jpegQuality = 99,
                          const WriteWatch& watch = {});

} // namespace lumora
