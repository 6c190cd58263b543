#pragma once
// The scene of the HDR test clips, header-only so that tests know its light: grey patches of known linear
// light, a ramp of every code value, and two saturated BT.2020 patches, coded as 16-bit R'G'B' with the HLG
// or PQ transfer (the forward functions of ITU-R BT.2100, written here independently of the decoder's).

#include <opencv2/core.hpp>

#include <array>
#include <cmath>

namespace lumora::testmedia {

enum class HdrScene { Hlg, Pq };

// Linear light of the grey patches, left to right: HLG scene light (1 = peak), PQ display light in nits.
// Both scenes span more than 8-bit video can: 200:1 and 4000:1.
inline std::array<double, 5> hdrPatchLight(HdrScene scene) {
    if (scene == HdrScene::Hlg)
        return {0.005, 0.02, 0.1, 0.5, 1.0};
    return {1.0, 10.0, 100.0, 1000.0, 4000.0};
}
// The patch the others are compared with, and the light of the saturated patches.
constexpr int kHdrReferencePatch = 2;
inline double hdrSaturatedLight(HdrScene scene) {
    return hdrPatchLight(scene)[kHdrReferencePatch];
}

// BT.709 red in BT.2020 primaries (linear RGB).
constexpr std::array<double, 3> kBt709RedIn2020{0.627404, 0.069097, 0.016391};

inline double hlgOetf(double e) {
    constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
    return e <= 1.0 / 12.0 ? std::sqrt(3.0 * e) : a * std::log(12.0 * e - b) + c;
}
inline double pqInverseEotf(double nits) {
    constexpr double m1 = 0.1593017578125, m2 = 78.84375, c1 = 0.8359375, c2 = 18.8515625, c3 = 18.6875;
    const double y = std::pow(nits / 10000.0, m1);
    return std::pow((c1 + c2 * y) / (1.0 + c3 * y), m2);
}
inline double hdrSignal(HdrScene scene, double light) {
    return scene == HdrScene::Hlg ? hlgOetf(light) : pqInverseEotf(light);
}

// Where the parts are, for a frame of `size`: patches in the top third (five equal columns), the ramp in the
// middle third (signal x / (width - 1)), BT.2020 green in the left and BT.709 red in the right half of the
// bottom third.
inline cv::Rect hdrPatchRect(cv::Size size, int patch, int margin) {
    const int w = size.width / 5, h = size.height / 3;
    return {patch * w + margin, margin, w - 2 * margin, h - 2 * margin};
}
inline int hdrRampRow(cv::Size size) {
    return size.height / 2;
}
inline cv::Rect hdrSaturatedRect(cv::Size size, bool red, int margin) {
    const int w = size.width / 2, top = size.height * 2 / 3;
    return {(red ? w : 0) + margin, top + margin, w - 2 * margin, size.height - top - 2 * margin};
}

// 16-bit BGR code values (signal x 65535) of the scene.
inline cv::Mat renderHdrScene(HdrScene scene, cv::Size size) {
    cv::Mat out(size, CV_16UC3);
    auto code = [scene](double light) {
        return cv::saturate_cast<ushort>(hdrSignal(scene, light) * 65535.0 + 0.5);
    };
    const auto patches = hdrPatchLight(scene);
    const double l = hdrSaturatedLight(scene);
    const cv::Vec3w green(0, code(l), 0);
    const cv::Vec3w red(code(l * kBt709RedIn2020[2]), code(l * kBt709RedIn2020[1]),
                        code(l * kBt709RedIn2020[0]));
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            cv::Vec3w& p = out.at<cv::Vec3w>(y, x);
            if (y < size.height / 3)
                p = cv::Vec3w::all(code(patches[static_cast<size_t>(std::min(4, x * 5 / size.width))]));
            else if (y < size.height * 2 / 3)
                p = cv::Vec3w::all(cv::saturate_cast<ushort>(65535.0 * x / (size.width - 1)));
            else
                p = x < size.width / 2 ? green : red;
        }
    return out;
}

} // namespace lumora::testmedia
