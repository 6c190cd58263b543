#pragma once
// The stages of operator 4 between the light image and display RGB, in the order compressToDisplay runs
// them, with the constants of the appearance models they come from. Internal to the tonemap library.
//
// Sources of the constants: CIECAM02 (adaptation, cone response), Hunt's rod response and the iCAM06 image
// appearance model (Kuang, Johnson and Fairchild 2007: base/detail split, blur routine, detail and
// colourfulness enhancement), IPT (Ebner and Fairchild 1998) and sRGB (IEC 61966-2-1).

#include <opencv2/core.hpp>

#include <array>
#include <functional>

namespace lumora::layerprocessing {

// Absolute XYZ is floored here, so its logarithm stays finite in black areas.
inline constexpr float kLuminanceFloor = 1e-8f;
// iCAM06 base layer: spatial sigma as a fraction of the image's rows, range sigma in log10 units.
inline constexpr double kBaseSigmaPerRow = 0.02;
inline constexpr double kBaseSigmaRange = 0.35;
// iCAM06 blur routine: the low-pass whites are blurred this much (kernel width = subsampled size / d).
inline constexpr int kLocalWhiteDivisor = 2;
inline constexpr int kAdaptingWhiteDivisor = 3;

// Per-pixel work runs over strips of rows with small scratch images: whole-image temporaries of a 12 MP
// picture cost more in page faults than in arithmetic.
inline constexpr int kStripRows = 16;

// Three planes of log10 absolute XYZ and their largest value.
struct LogPlanes {
    std::array<cv::Mat, 3> planes;
    float max = -1e30f;
};

// Absolute XYZ of one BGR pixel: `scale` times its XYZ, floored.
cv::Vec3f absoluteOf(const cv::Vec3f& bgr, float scale);
// Largest Y of a BGR float image (linear sRGB primaries).
float largestY(const cv::Mat& bgr, int workers);
// Steps 1 and 2: log10 of the floored absolute XYZ (`scale` times the XYZ of each pixel).
LogPlanes logAbsoluteXyz(const cv::Mat& bgr, float scale, int workers);
// Step 3: the bilateral base layer of each log plane; empty planes when a worker failed (logged).
std::array<cv::Mat, 3> baseLayer(const std::array<cv::Mat, 3>& logPlanes, int workers);

// Step 5: the local white and the adapting white, at the subsampled size (read back bilinearly).
struct Whites {
    cv::Mat local, adapting;
    float localYMax = 0.f;
};
Whites lowPassWhites(const cv::Mat& bgr, float scale);

// Step 6 reads the layers above and writes three full-size images.
struct MiddleStep {
    const LogPlanes* log = nullptr;
    const std::array<cv::Mat, 3>* base = nullptr;
    const Whites* whites = nullptr;
    float responseExponent = 0.5f;
    cv::Mat compressed; // adapted and compressed base layer, XYZ
    cv::Mat enhanced;   // enhanced detail layer
    cv::Mat flBase;     // F_L of the linear base, for the colourfulness step
};
void compressBase(MiddleStep& step);
void enhanceDetail(MiddleStep& step);

// Step 7, recombination: compressed x enhanced into IPT in place; returns the largest I.
float recombineToIpt(cv::Mat& image, const cv::Mat& enhanced, int workers);
// Colourfulness (P, T) and the lightness exponent, back to XYZ in place; returns the largest Y.
float adjustColourfulness(cv::Mat& image, const cv::Mat& flBase, float maxI, float lightnessExponent,
                          int workers);
// XYZ over its largest Y to RGB, stretched between the 1st and 99th percentiles, sRGB-encoded, BGR. Black
// when the picture is flat.
cv::Mat toDisplayRgb(cv::Mat& image, float maxY, int workers);

} // namespace lumora::layerprocessing
