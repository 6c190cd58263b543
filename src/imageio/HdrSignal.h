#pragma once
// The HDR signal an HDR still carries: linear BT.709 light, 1.0 being diffuse white, turned into BT.2020
// PQ or HLG code values for a 10-bit picture, with the light levels its metadata states.

#include <opencv2/core.hpp>

namespace lumora {

// Where diffuse (paper) white sits on an HDR screen, as ITU-R BT.2408 places it.
inline constexpr double kDiffuseWhiteNits = 203.0;
// The display HLG pictures are graded for (BT.2100's reference): HLG's full signal is this bright there.
inline constexpr double kHlgDisplayPeakNits = 1000.0;
// What the PQ signal can describe at most.
inline constexpr double kPqPeakNits = 10000.0;

enum class HdrTransfer { PQ, HLG };

// PQ (SMPTE ST 2084): signal 0..1 of display light in nits, and back.
double pqSignalOfNits(double nits);
double pqNitsOfSignal(double signal);
// HLG (ARIB STD-B67): signal 0..1 of relative scene light 0..1 (the OETF), and back.
double hlgSignalOfScene(double scene);
double hlgSceneOfSignal(double signal);
// HLG as shown on the reference display: the nits a grey signal lights up (system gamma 1.2), and back.
double hlgNitsOfSignal(double signal);
double hlgSignalOfNits(double nits);

// The brightest light a picture in `transfer` may carry under a requested peak: PQ up to its own limit, HLG
// up to its reference display's peak; never below diffuse white.
double effectivePeakNits(HdrTransfer transfer, double requestedPeakNits);

// What the content light level metadata states, in nits: the brightest channel anywhere (MaxCLL) and the
// mean over the picture of each pixel's brightest channel (MaxFALL).
struct HdrLightLevels {
    double maxContentNits = 0.0;
    double maxFrameAverageNits = 0.0;
};

// 16-bit three-channel matrix of full-range 10-bit codes in R, G, B order (BT.2020 primaries) for a
// 32-bit float BGR picture in linear BT.709 light relative to diffuse white (1.0 shows at 203 nits).
// Light above the effective peak is clipped to it with the pixel's hue kept; negative and NaN samples count
// as 0. `levels`, when given, receives the light levels of the coded picture. Empty for other input.
cv::Mat hdrCodes10(const cv::Mat& linearBgr, HdrTransfer transfer, double peakNits,
                   HdrLightLevels* levels = nullptr);

} // namespace lumora
