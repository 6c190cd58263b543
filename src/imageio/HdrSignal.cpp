#include "imageio/HdrSignal.h"

#include "app/Parallel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {
namespace {

// SMPTE ST 2084 constants.
constexpr double kM1 = 2610.0 / 16384.0;
constexpr double kM2 = 2523.0 / 4096.0 * 128.0;
constexpr double kC1 = 3424.0 / 4096.0;
constexpr double kC2 = 2413.0 / 4096.0 * 32.0;
constexpr double kC3 = 2392.0 / 4096.0 * 32.0;

// ARIB STD-B67 constants.
constexpr double kHlgA = 0.17883277;
constexpr double kHlgB = 0.28466892;
constexpr double kHlgC = 0.55991073;
// BT.2100's system gamma for a 1000-nit display.
constexpr double kHlgGamma = 1.2;

// Linear BT.709 to BT.2020 (ITU-R BT.2087); every row sums to 1, so greys stay grey.
constexpr double kBt709ToBt2020[3][3] = {{0.627403896, 0.329283039, 0.043313065},
                                         {0.069097289, 0.919540395, 0.011362316},
                                         {0.016391439, 0.088013307, 0.895595254}};
// BT.2020 luminance weights, for HLG's system gamma.
constexpr double kBt2020Luma[3] = {0.2627, 0.6780, 0.0593};

inline double finiteOrZero(float v) {
    return std::isfinite(v) && v > 0.f ? double(v) : 0.0;
}

inline uint16_t code10(double signal) {
    return static_cast<uint16_t>(std::lround(std::clamp(signal, 0.0, 1.0) * 1023.0));
}

} // namespace

double pqSignalOfNits(double nits) {
    const double y = std::clamp(nits / kPqPeakNits, 0.0, 1.0);
    const double p = std::pow(y, kM1);
    return std::pow((kC1 + kC2 * p) / (1.0 + kC3 * p), kM2);
}

double pqNitsOfSignal(double signal) {
    const double p = std::pow(std::clamp(signal, 0.0, 1.0), 1.0 / kM2);
    return kPqPeakNits * std::pow(std::max(p - kC1, 0.0) / (kC2 - kC3 * p), 1.0 / kM1);
}

double hlgSignalOfScene(double scene) {
    const double e = std::clamp(scene, 0.0, 1.0);
    return e <= 1.0 / 12.0 ? std::sqrt(3.0 * e) : kHlgA * std::log(12.0 * e - kHlgB) + kHlgC;
}

double hlgSceneOfSignal(double signal) {
    const double s = std::clamp(signal, 0.0, 1.0);
    return s <= 0.5 ? s * s / 3.0 : (std::exp((s - kHlgC) / kHlgA) + kHlgB) / 12.0;
}

double hlgNitsOfSignal(double signal) {
    return kHlgDisplayPeakNits * std::pow(hlgSceneOfSignal(signal), kHlgGamma);
}

double hlgSignalOfNits(double nits) {
    return hlgSignalOfScene(std::pow(std::max(nits, 0.0) / kHlgDisplayPeakNits, 1.0 / kHlgGamma));
}

double effectivePeakNits(HdrTransfer transfer, double requestedPeakNits) {
    const double limit = transfer == HdrTransfer::PQ ? kPqPeakNits : kHlgDisplayPeakNits;
    return std::clamp(requestedPeakNits, kDiffuseWhiteNits, limit);
}

cv::Mat hdrCodes10(const cv::Mat& linearBgr, HdrTransfer transfer, double peakNits, HdrLightLevels* levels) {
    if (linearBgr.empty() || linearBgr.type() != CV_32FC3)
        return {};
    const double peak = effectivePeakNits(transfer, peakNits);
    cv::Mat codes(linearBgr.size(), CV_16UC3);
    const int rows = linearBgr.rows;
    std::vector<double> rowMax(std::size_t(rows), 0.0), rowSum(std::size_t(rows), 0.0);
    parallelFor(rows, workerCount(WorkerUse::Waiting), "hdrCodes10", [&](int y) {
        const float* in = linearBgr.ptr<float>(y);
        uint16_t* out = codes.ptr<uint16_t>(y);
        double maxNits = 0.0, sum = 0.0;
        for (int x = 0; x < linearBgr.cols; ++x, in += 3, out += 3) {
            const double bt709[3] = {finiteOrZero(in[2]), finiteOrZero(in[1]), finiteOrZero(in[0])};
            double nits[3];
            for (int c = 0; c < 3; ++c)
                nits[c] =
                    kDiffuseWhiteNits * (kBt709ToBt2020[c][0] * bt709[0] + kBt709ToBt2020[c][1] * bt709[1] +
                                         kBt709ToBt2020[c][2] * bt709[2]);
            // Clipped as a whole, so a highlight above the peak keeps its hue.
            const double brightest = std::max({nits[0], nits[1], nits[2]});
            if (brightest > peak)
                for (double& n : nits)
                    n *= peak / brightest;
            const double shown = std::min(brightest, peak);
            maxNits = std::max(maxNits, shown);
            sum += shown;
            if (transfer == HdrTransfer::PQ) {
                for (int c = 0; c < 3; ++c)
                    out[c] = code10(pqSignalOfNits(nits[c]));
            } else {
                // The inverse of HLG's display step: scene light from display light through the pixel's
                // luminance, so the reference display shows these nits.
                const double yd =
                    kBt2020Luma[0] * nits[0] + kBt2020Luma[1] * nits[1] + kBt2020Luma[2] * nits[2];
                const double ys = std::pow(yd / kHlgDisplayPeakNits, 1.0 / kHlgGamma);
                const double scale =
                    yd > 0.0 ? 1.0 / (kHlgDisplayPeakNits * std::pow(ys, kHlgGamma - 1.0)) : 0.0;
                for (int c = 0; c < 3; ++c)
                    out[c] = code10(hlgSignalOfScene(nits[c] * scale));
            }
        }
        rowMax[std::size_t(y)] = maxNits;
        rowSum[std::size_t(y)] = sum;
    });
    if (levels) {
        levels->maxContentNits = *std::max_element(rowMax.begin(), rowMax.end());
        double total = 0.0;
        for (double s : rowSum)
            total += s;
        levels->maxFrameAverageNits = total / double(linearBgr.total());
    }
    return codes;
}

} // namespace lumora
