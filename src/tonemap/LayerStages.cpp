#include "tonemap/LayerStages.h"

#include "app/OrderStatistics.h"
#include "app/Parallel.h"
#include "tonemap/BilateralFilter.h"
#include "tonemap/LayerProcessing.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace lumora::layerprocessing {

namespace {

constexpr const char* kPlace = "LayerProcessing::toneMap";
constexpr float kLn10 = 2.302585093f;

// Tables as they apply to a column vector.
const cv::Matx33f kRgbToXyz(0.412424f, 0.357579f, 0.180464f, 0.212656f, 0.715158f, 0.072186f, 0.019332f,
                            0.119193f, 0.950444f);
const cv::Matx33f kXyzToRgb(3.2407f, -1.5373f, -0.4986f, -0.9693f, 1.876f, 0.0416f, 0.0556f, -0.204f,
                            1.0571f);
const cv::Matx33f kIptFromLms(0.4f, 0.4f, 0.2f, 4.455f, -4.851f, 0.396f, 0.8056f, 0.3572f, -1.1628f);
const cv::Matx33f kCat02(0.7328f, 0.4296f, -0.1624f, -0.7036f, 1.6974f, 0.0061f, 0.003f, 0.0136f, 0.9834f);
// Cone space of both the compression step and the IPT conversion.
const cv::Matx33f kXyzToLms(0.4002f, 0.7077f, -0.0807f, -0.228f, 1.15f, 0.0612f, 0.f, 0.f, 0.9184f);

// The reference white of the chromatic adaptation: CIE D65, Y = 100.
const cv::Vec3f kD65White(95.05f, 100.f, 108.88f);
// CIECAM02: the adapting luminance L_A is a fifth of the white's luminance (a grey world of 20 %).
constexpr float kAdaptingFraction = 0.2f;
// CIECAM02's degree of adaptation D = F (1 - exp(-(L_A - 42) / 92) / 3.6), with iCAM06's factor 0.3 for F.
constexpr float kAdaptationFactor = 0.3f;
constexpr float kAdaptationOffset = 42.f, kAdaptationSpread = 92.f, kAdaptationDivisor = 3.6f;
// Keeps the adaptation ratio finite where the adapting white is black.
constexpr float kWhiteGuard = 1e-07f;
// CIECAM02 post-adaptation cone response: 400 t^p / (27.13 + t^p) + 0.1.
constexpr float kResponseScale = 400.f, kResponseHalf = 27.13f, kConeFloor = 0.1f;
// Hunt's rod response as iCAM06 adds it: scotopic luminance of the white, the scotopic adaptation factor
// F_LS, the rod pigment bleach B_S, and the rod gain and floor.
constexpr float kScotopicPerY = 0.452f * 5.f / 2.26f;
constexpr float kScotopicWhitePerLA = 5.f;
constexpr float kScotopicJ = 0.00001f;
constexpr float kFlsLinear = 3800.f, kFlsRoot = 0.2f;
constexpr float kBleachHalf = 0.5f, kBleachLuminance = 5.f, kBleachCube = 0.3f;
constexpr float kRodGain = 3.05f, kRodFloor = 0.03f;
// iCAM06 detail enhancement (Stevens effect): detail^((F_L + 0.8)^0.25).
constexpr float kDetailFlOffset = 0.8f;
constexpr double kDetailRoot = 0.25;
// IPT's non-linearity on the cone signals.
constexpr double kIptExponent = 0.43;
// iCAM06 colourfulness (Hunt effect): C scaled by (1.29 C^2 - 0.27 C + 0.42) / (C^2 - 0.31 C + 0.42)
// times (F_L + 1)^0.2.
constexpr float kHuntA = 1.29f, kHuntB = 0.27f, kHuntC = 0.42f, kHuntD = 0.31f;
constexpr double kHuntFlRoot = 0.2;
// Display stretch between these percentiles of all samples.
constexpr int kLowPercent = 1, kHighPercent = 99;
// A stretch narrower than this fraction of its top is a flat picture.
constexpr float kFlatStretch = 1e-5f;
// sRGB transfer curve.
constexpr float kSrgbLinearLimit = 0.0031308f, kSrgbSlope = 12.92f, kSrgbScale = 1.055f, kSrgbOffset = 0.055f;
constexpr double kSrgbExponent = 1.0 / 2.4;

struct Scratch {
    cv::Mat a, b, c, d, e, one, two;
};

// body(firstRow, endRow, scratch) over strips of rows; each worker keeps its own scratch images.
template <typename Body> void forStrips(int rows, int workers, Body body) {
    const int strips = (rows + kStripRows - 1) / kStripRows;
    parallelInterleaved(workers, kPlace, [&](int first, int step) {
        Scratch scratch;
        for (int s = first; s < strips; s += step)
            body(s * kStripRows, std::min(rows, (s + 1) * kStripRows), scratch);
    });
}

// Slot of a strip's worker: strips go to workers round-robin, so a per-worker maximum needs no lock.
size_t slotOf(int firstRow, int workers) {
    return static_cast<size_t>((firstRow / kStripRows) % workers);
}

// Largest value of one channel of a 3-channel strip.
float channelMax(const cv::Mat& strip, int channel) {
    float m = -1e30f;
    for (int r = 0; r < strip.rows; ++r) {
        const cv::Vec3f* p = strip.ptr<cv::Vec3f>(r);
        for (int c = 0; c < strip.cols; ++c)
            m = std::max(m, p[c][channel]);
    }
    return m;
}

inline cv::Vec3f mul(const cv::Matx33f& m, const cv::Vec3f& v) {
    return cv::Vec3f(m(0, 0) * v[0] + m(0, 1) * v[1] + m(0, 2) * v[2],
                     m(1, 0) * v[0] + m(1, 1) * v[1] + m(1, 2) * v[2],
                     m(2, 0) * v[0] + m(2, 1) * v[1] + m(2, 2) * v[2]);
}

inline float sgn(float x) {
    return x > 0.f ? 1.f : (x < 0.f ? -1.f : 0.f);
}

// The blur routine's subsampling factor for an image size.
int subsamplingFor(int rows, int cols) {
    const int shortest = std::min(rows, cols);
    return shortest < 1024 ? 8 : shortest < 2056 ? 16 : 32;
}

// Every z-th absolute XYZ sample in both directions.
cv::Mat subsampledXYZ(const cv::Mat& bgr, float scale, int z) {
    const int subRows = (bgr.rows + z - 1) / z, subCols = (bgr.cols + z - 1) / z;
    cv::Mat sub(subRows, subCols, CV_32FC3);
    for (int r = 0; r < subRows; ++r)
        for (int c = 0; c < subCols; ++c)
            sub.at<cv::Vec3f>(r, c) = absoluteOf(bgr.at<cv::Vec3f>(r * z, c * z), scale);
    return sub;
}

// Bilinear reading of a small image at full-size pixel positions (the mapping of cv::resize), so that the
// full-size low-pass images never need to exist.
class Upsampler {
public:
    Upsampler(const cv::Mat& small, int rows, int cols) : small_(small) {
        axis(cols, small.cols, x0_, x1_, ax_);
        axis(rows, small.rows, y0_, y1_, ay_);
    }
    cv::Vec3f at(int r, int c) const {
        const cv::Vec3f* p0 = small_.ptr<cv::Vec3f>(y0_[static_cast<size_t>(r)]);
        const cv::Vec3f* p1 = small_.ptr<cv::Vec3f>(y1_[static_cast<size_t>(r)]);
        const size_t i = static_cast<size_t>(c);
        const float ay = ay_[static_cast<size_t>(r)], ax = ax_[i];
        const cv::Vec3f top = p0[x0_[i]] * (1.f - ax) + p0[x1_[i]] * ax;
        const cv::Vec3f bottom = p1[x0_[i]] * (1.f - ax) + p1[x1_[i]] * ax;
        return top * (1.f - ay) + bottom * ay;
    }

private:
    static void axis(int full, int small, std::vector<int>& i0, std::vector<int>& i1, std::vector<float>& a) {
        const double scale = double(small) / full;
        for (int k = 0; k < full; ++k) {
            double s = (k + 0.5) * scale - 0.5;
            s = std::clamp(s, 0.0, double(small - 1));
            const int lo = static_cast<int>(s);
            i0.push_back(lo);
            i1.push_back(std::min(small - 1, lo + 1));
            a.push_back(static_cast<float>(s - lo));
        }
    }
    cv::Mat small_;
    std::vector<int> x0_, x1_, y0_, y1_;
    std::vector<float> ax_, ay_;
};

// |x|^p with the sign of x, in place, for a strip scratch image. The magnitude is taken first: OpenCV's pow
// gives NaN for negative samples and fractional powers (out-of-gamut colours have negative cone signals).
void signedPowInPlace(cv::Mat& x, double p, cv::Mat& tmp) {
    tmp = cv::abs(x);
    cv::pow(tmp, p, tmp);
    const size_t n = x.total() * x.channels();
    float* s = x.ptr<float>();
    const float* m = tmp.ptr<float>();
    for (size_t i = 0; i < n; ++i)
        s[i] = s[i] < 0.f ? -m[i] : m[i];
}

// Samples of ranks `ranks` (0-based, ascending) of all samples of a float image, exactly: a histogram finds
// the bin of each rank, and only the samples of that bin are sorted.
std::vector<float> samplesOfRank(const cv::Mat& image, const std::vector<size_t>& ranks) {
    // Ranks among the finite samples only: a damaged light image or extreme colour settings can leave NaN or
    // infinite samples, which have no place in an order (and would index outside the histogram).
    const cv::Mat flat = image.isContinuous() ? image.reshape(1, 1) : image.clone().reshape(1, 1);
    const float* v = flat.ptr<float>();
    const size_t n = flat.total();
    float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();
    size_t finite = 0;
    for (size_t i = 0; i < n; ++i)
        if (std::isfinite(v[i])) {
            lo = std::min(lo, v[i]);
            hi = std::max(hi, v[i]);
            ++finite;
        }
    std::vector<float> result;
    if (finite == 0 || !(hi > lo)) {
        result.assign(ranks.size(), finite == 0 ? 0.f : lo);
        return result;
    }
    constexpr int kBins = 1 << 16;
    const double scale = (kBins - 1) / (double(hi) - double(lo));
    auto binOf = [&](float x) { return std::min(kBins - 1, static_cast<int>((double(x) - lo) * scale)); };
    std::vector<size_t> counts(kBins, 0);
    for (size_t i = 0; i < n; ++i)
        if (std::isfinite(v[i]))
            ++counts[static_cast<size_t>(binOf(v[i]))];
    for (size_t wanted : ranks) {
        const size_t rank = std::min(wanted, finite - 1);
        size_t below = 0;
        int bin = 0;
        while (below + counts[static_cast<size_t>(bin)] <= rank)
            below += counts[static_cast<size_t>(bin++)];
        std::vector<float> members;
        members.reserve(counts[static_cast<size_t>(bin)]);
        for (size_t i = 0; i < n; ++i)
            if (std::isfinite(v[i]) && binOf(v[i]) == bin)
                members.push_back(v[i]);
        const size_t k = rank - below;
        result.push_back(kthSmallest(members, k));
    }
    return result;
}

// Gaussian weight exp(-(r / w)^2) with w = the subsampled size / d, i.e. sigma w / sqrt(2), mirrored edges;
// one task per channel.
cv::Mat blurSubsampled(const cv::Mat& sub, int d) {
    const double w = double(std::max(sub.rows, sub.cols)) / d;
    const double sigma = w / std::sqrt(2.0);
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<cv::Mat> planes;
    cv::split(sub, planes);
    parallelFor(3, 3, kPlace, [&](int c) {
        cv::GaussianBlur(planes[static_cast<size_t>(c)], planes[static_cast<size_t>(c)],
                         cv::Size(2 * radius + 1, 2 * radius + 1), sigma, sigma, cv::BORDER_REFLECT);
    });
    cv::Mat out;
    cv::merge(planes, out);
    return out;
}

// Linear base of rows r0..r1 (10^min(base, maxLog)) into `out`.
void linearBase(const MiddleStep& step, int r0, int r1, cv::Mat& out) {
    const std::array<cv::Mat, 3>& base = *step.base;
    const float maxLog = step.log->max;
    const int cols = base[0].cols;
    out.create(r1 - r0, cols, CV_32FC3);
    for (int r = r0; r < r1; ++r) {
        const float* b0 = base[0].ptr<float>(r);
        const float* b1 = base[1].ptr<float>(r);
        const float* b2 = base[2].ptr<float>(r);
        cv::Vec3f* o = out.ptr<cv::Vec3f>(r - r0);
        for (int c = 0; c < cols; ++c)
            o[c] =
                cv::Vec3f(std::min(b0[c], maxLog), std::min(b1[c], maxLog), std::min(b2[c], maxLog)) * kLn10;
    }
    cv::exp(out, out);
}

} // namespace

cv::Mat blurImage(const cv::Mat& xyz, int d) {
    const int z = subsamplingFor(xyz.rows, xyz.cols);
    cv::Mat sub((xyz.rows + z - 1) / z, (xyz.cols + z - 1) / z, CV_32FC3);
    for (int r = 0; r < sub.rows; ++r)
        for (int c = 0; c < sub.cols; ++c)
            sub.at<cv::Vec3f>(r, c) = xyz.at<cv::Vec3f>(r * z, c * z);
    cv::Mat out;
    cv::resize(blurSubsampled(sub, d), out, xyz.size(), 0, 0, cv::INTER_LINEAR);
    return out;
}

cv::Vec3f absoluteOf(const cv::Vec3f& bgr, float scale) {
    const cv::Vec3f xyz = mul(kRgbToXyz, cv::Vec3f(bgr[2], bgr[1], bgr[0])) * scale;
    return cv::Vec3f(std::max(xyz[0], kLuminanceFloor), std::max(xyz[1], kLuminanceFloor),
                     std::max(xyz[2], kLuminanceFloor));
}

float largestY(const cv::Mat& bgr, int workers) {
    std::vector<float> maxes(static_cast<size_t>(workers), 0.f);
    parallelInterleaved(workers, kPlace, [&](int first, int step) {
        float m = 0.f;
        for (int r = first; r < bgr.rows; r += step) {
            const cv::Vec3f* p = bgr.ptr<cv::Vec3f>(r);
            for (int c = 0; c < bgr.cols; ++c)
                m = std::max(m, kRgbToXyz(1, 0) * p[c][2] + kRgbToXyz(1, 1) * p[c][1] +
                                    kRgbToXyz(1, 2) * p[c][0]);
        }
        maxes[static_cast<size_t>(first)] = m;
    });
    return *std::max_element(maxes.begin(), maxes.end());
}

LogPlanes logAbsoluteXyz(const cv::Mat& bgr, float scale, int workers) {
    const int rows = bgr.rows, cols = bgr.cols;
    LogPlanes log;
    for (cv::Mat& p : log.planes)
        p.create(rows, cols, CV_32F);
    std::vector<float> maxes(static_cast<size_t>(workers), -1e30f);
    const int strips = (rows + kStripRows - 1) / kStripRows;
    parallelInterleaved(workers, kPlace, [&](int first, int step) {
        cv::Mat xyz, lg;
        float m = -1e30f;
        for (int s = first; s < strips; s += step) {
            const int r0 = s * kStripRows, r1 = std::min(rows, r0 + kStripRows);
            xyz.create(r1 - r0, cols, CV_32FC3);
            for (int r = r0; r < r1; ++r) {
                const cv::Vec3f* p = bgr.ptr<cv::Vec3f>(r);
                cv::Vec3f* q = xyz.ptr<cv::Vec3f>(r - r0);
                for (int c = 0; c < cols; ++c)
                    q[c] = absoluteOf(p[c], scale);
            }
            cv::log(xyz, lg);
            for (int r = r0; r < r1; ++r) {
                const cv::Vec3f* q = lg.ptr<cv::Vec3f>(r - r0);
                float* o0 = log.planes[0].ptr<float>(r);
                float* o1 = log.planes[1].ptr<float>(r);
                float* o2 = log.planes[2].ptr<float>(r);
                for (int c = 0; c < cols; ++c) {
                    o0[c] = q[c][0] * (1.f / kLn10);
                    o1[c] = q[c][1] * (1.f / kLn10);
                    o2[c] = q[c][2] * (1.f / kLn10);
                    m = std::max(m, std::max(o0[c], std::max(o1[c], o2[c])));
                }
            }
        }
        maxes[static_cast<size_t>(first)] = m;
    });
    log.max = *std::max_element(maxes.begin(), maxes.end());
    return log;
}

std::array<cv::Mat, 3> baseLayer(const std::array<cv::Mat, 3>& logPlanes, int workers) {
    std::array<cv::Mat, 3> base;
    const double sigmaSpace = kBaseSigmaPerRow * logPlanes[0].rows;
    // One plane after another, each on every worker: three planes do not share out evenly over two cores.
    for (size_t c = 0; c < 3; ++c)
        if (!cv_extend::bilateralFilter(logPlanes[c], base[c], sigmaSpace, kBaseSigmaRange, workers))
            return {}; // a worker failed (logged)
    return base;
}

Whites lowPassWhites(const cv::Mat& bgr, float scale) {
    const cv::Mat sub = subsampledXYZ(bgr, scale, subsamplingFor(bgr.rows, bgr.cols));
    Whites w;
    w.local = blurSubsampled(sub, kLocalWhiteDivisor);
    w.adapting = blurSubsampled(sub, kAdaptingWhiteDivisor);
    cv::Mat Y;
    cv::extractChannel(w.local, Y, 1);
    double yMax = 0;
    cv::minMaxLoc(Y, nullptr, &yMax); // bilinear reading never exceeds the samples
    w.localYMax = static_cast<float>(yMax);
    return w;
}

void compressBase(MiddleStep& step) {
    const std::array<cv::Mat, 3>& basePlanes = *step.base;
    const int rows = basePlanes[0].rows, cols = basePlanes[0].cols;
    const Upsampler white(step.whites->local, rows, cols), adaptingWhite(step.whites->adapting, rows, cols);
    const cv::Vec3f refC = mul(kCat02, kD65White);
    const cv::Matx33f catInv = kCat02.inv(), lmsInv = kXyzToLms.inv();
    // S_W: the largest scotopic white, 5 L_A at the brightest local white.
    const float SW = kScotopicWhitePerLA * kAdaptingFraction * step.whites->localYMax;
    const float invSW = SW > 0.f ? 1.f / SW : 0.f;
    const float p = step.responseExponent;
    Scratch s;
    for (int r0 = 0; r0 < rows; r0 += kStripRows) {
        const int r1 = std::min(rows, r0 + kStripRows), n = r1 - r0;
        linearBase(step, r0, r1, s.a);
        s.b.create(n, cols, CV_32FC3); // t
        s.c.create(n, cols, CV_32FC3); // u
        s.d.create(n, cols, CV_32FC3); // B_S
        s.e.create(n, cols, CV_32FC3); // signs
        s.one.create(n, cols, CV_32F); // L_S, then L_S^(1/6)
        for (int r = r0; r < r1; ++r) {
            float* ls = s.one.ptr<float>(r - r0);
            for (int c = 0; c < cols; ++c)
                ls[c] = white.at(r, c)[1] * kScotopicPerY;
        }
        cv::pow(s.one, 1.0 / 6.0, s.two);
        for (int r = r0; r < r1; ++r) {
            cv::Vec3f* base = s.a.ptr<cv::Vec3f>(r - r0);
            cv::Vec3f* t = s.b.ptr<cv::Vec3f>(r - r0);
            cv::Vec3f* u = s.c.ptr<cv::Vec3f>(r - r0);
            cv::Vec3f* bs = s.d.ptr<cv::Vec3f>(r - r0);
            cv::Vec3f* sg = s.e.ptr<cv::Vec3f>(r - r0);
            const float* ls = s.one.ptr<float>(r - r0);
            const float* ls6 = s.two.ptr<float>(r - r0);
            for (int c = 0; c < cols; ++c) {
                // Chromatic adaptation towards D65 in CAT02, with the degree of adaptation of the adapting
                // white's luminance.
                const cv::Vec3f aw = adaptingWhite.at(r, c);
                const cv::Vec3f awC = mul(kCat02, aw);
                const float LAa = kAdaptingFraction * aw[1];
                const float D =
                    kAdaptationFactor * (1.f - (1.f / kAdaptationDivisor) *
                                                   std::exp(-(LAa - kAdaptationOffset) / kAdaptationSpread));
                cv::Vec3f bc = mul(kCat02, base[c]);
                for (int k = 0; k < 3; ++k)
                    bc[k] *= refC[k] * D / (awC[k] + kWhiteGuard) + 1.f - D;
                const cv::Vec3f cone = mul(kXyzToLms, mul(catInv, bc));

                const float Yw = white.at(r, c)[1];
                const float LA = kAdaptingFraction * Yw;
                const float FL = adaptationFactor(LA);
                const float tScale = LA > 0.f ? FL * kAdaptingFraction / LA : 0.f;
                const float j = kScotopicJ / (ls[c] + kScotopicJ);
                const float j2 = j * j;
                const float o = 1.f - j2;
                const float FLS = kFlsLinear * j2 * ls[c] + kFlsRoot * o * o * o * o * ls6[c];
                for (int k = 0; k < 3; ++k) {
                    const float a = std::fabs(cone[k]);
                    t[c][k] = a * tScale;
                    u[c][k] = a * invSW * FLS;
                    const float q = kBleachCube * (a * invSW * ls[c]);
                    bs[c][k] =
                        kBleachHalf / (kBleachLuminance * ls[c] + 1.f) + kBleachHalf / (q * q * q + 1.f);
                    sg[c][k] = sgn(cone[k]);
                }
            }
        }
        cv::pow(s.b, p, s.b);
        cv::pow(s.c, p, s.c);
        for (int r = r0; r < r1; ++r) {
            const cv::Vec3f* tp = s.b.ptr<cv::Vec3f>(r - r0);
            const cv::Vec3f* up = s.c.ptr<cv::Vec3f>(r - r0);
            const cv::Vec3f* bs = s.d.ptr<cv::Vec3f>(r - r0);
            const cv::Vec3f* sg = s.e.ptr<cv::Vec3f>(r - r0);
            cv::Vec3f* out = step.compressed.ptr<cv::Vec3f>(r);
            for (int c = 0; c < cols; ++c) {
                cv::Vec3f v;
                for (int k = 0; k < 3; ++k) {
                    const float cone =
                        sg[c][k] * kResponseScale * tp[c][k] / (kResponseHalf + tp[c][k]) + kConeFloor;
                    const float rod =
                        kRodGain * bs[c][k] * kResponseScale * up[c][k] / (up[c][k] + kResponseHalf) +
                        kRodFloor;
                    v[k] = cone + rod;
                }
                out[c] = mul(lmsInv, v);
            }
        }
    }
}

void enhanceDetail(MiddleStep& step) {
    // d^((F_L + 0.8)^0.25) = exp(ln 10 * (log - base) * (F_L + 0.8)^0.25), F_L from the linear base's Y.
    const std::array<cv::Mat, 3>& logPlanes = step.log->planes;
    const std::array<cv::Mat, 3>& basePlanes = *step.base;
    const float maxLog = step.log->max;
    const int rows = basePlanes[0].rows, cols = basePlanes[0].cols;
    Scratch s;
    for (int r0 = 0; r0 < rows; r0 += kStripRows) {
        const int r1 = std::min(rows, r0 + kStripRows), n = r1 - r0;
        linearBase(step, r0, r1, s.a);
        s.one.create(n, cols, CV_32F);
        for (int r = r0; r < r1; ++r) {
            const cv::Vec3f* b = s.a.ptr<cv::Vec3f>(r - r0);
            float* fl = step.flBase.ptr<float>(r);
            float* x = s.one.ptr<float>(r - r0);
            for (int c = 0; c < cols; ++c) {
                fl[c] = adaptationFactor(kAdaptingFraction * b[c][1]);
                x[c] = fl[c] + kDetailFlOffset;
            }
        }
        cv::pow(s.one, kDetailRoot, s.one);
        s.b.create(n, cols, CV_32FC3);
        for (int r = r0; r < r1; ++r) {
            const float* x = s.one.ptr<float>(r - r0);
            cv::Vec3f* e = s.b.ptr<cv::Vec3f>(r - r0);
            for (int c = 0; c < cols; ++c)
                for (int k = 0; k < 3; ++k) {
                    const float lg = logPlanes[static_cast<size_t>(k)].ptr<float>(r)[c];
                    const float bs = std::min(basePlanes[static_cast<size_t>(k)].ptr<float>(r)[c], maxLog);
                    e[c][k] = (lg - bs) * x[c] * kLn10;
                }
        }
        cv::Mat dst = step.enhanced.rowRange(r0, r1);
        cv::exp(s.b, dst);
    }
}

float recombineToIpt(cv::Mat& image, const cv::Mat& enhanced, int workers) {
    std::vector<float> maxes(static_cast<size_t>(workers), -1e30f);
    forStrips(image.rows, workers, [&](int r0, int r1, Scratch& s) {
        cv::Mat strip = image.rowRange(r0, r1);
        cv::multiply(strip, enhanced.rowRange(r0, r1), s.a);
        cv::transform(s.a, s.c, kXyzToLms);
        signedPowInPlace(s.c, kIptExponent, s.b);
        cv::transform(s.c, strip, kIptFromLms);
        const size_t slot = slotOf(r0, workers);
        maxes[slot] = std::max(maxes[slot], channelMax(strip, 0));
    });
    return *std::max_element(maxes.begin(), maxes.end());
}

float adjustColourfulness(cv::Mat& image, const cv::Mat& flBase, float maxI, float lightnessExponent,
                          int workers) {
    const int cols = image.cols;
    const cv::Matx33f lmsInv = kXyzToLms.inv();
    std::vector<float> maxes(static_cast<size_t>(workers), -1e30f);
    const float invMaxI = maxI > 0.f ? 1.f / maxI : 0.f;
    forStrips(image.rows, workers, [&](int r0, int r1, Scratch& s) {
        const int n = r1 - r0;
        cv::Mat strip = image.rowRange(r0, r1);
        s.one.create(n, cols, CV_32F);
        s.two.create(n, cols, CV_32F);
        for (int r = 0; r < n; ++r) {
            const cv::Vec3f* p = strip.ptr<cv::Vec3f>(r);
            const float* fl = flBase.ptr<float>(r0 + r);
            float* i = s.one.ptr<float>(r);
            float* f = s.two.ptr<float>(r);
            for (int c = 0; c < cols; ++c) {
                i[c] = p[c][0] * invMaxI;
                f[c] = fl[c] + 1.f;
            }
        }
        signedPowInPlace(s.one, lightnessExponent, s.c);
        cv::pow(s.two, kHuntFlRoot, s.two);
        for (int r = 0; r < n; ++r) {
            cv::Vec3f* p = strip.ptr<cv::Vec3f>(r);
            const float* i = s.one.ptr<float>(r);
            const float* f = s.two.ptr<float>(r);
            for (int c = 0; c < cols; ++c) {
                const float P = p[c][1], T = p[c][2];
                const float C2 = P * P + T * T, C = std::sqrt(C2);
                const float k = (kHuntA * C2 - kHuntB * C + kHuntC) / (C2 - kHuntD * C + kHuntC) * f[c];
                p[c] = cv::Vec3f(maxI * i[c], P * k, T * k);
            }
        }
        cv::transform(strip, s.a, kIptFromLms.inv());
        signedPowInPlace(s.a, 1.0 / kIptExponent, s.b);
        cv::transform(s.a, strip, lmsInv);
        const size_t slot = slotOf(r0, workers);
        maxes[slot] = std::max(maxes[slot], channelMax(strip, 1));
    });
    return *std::max_element(maxes.begin(), maxes.end());
}

cv::Mat toDisplayRgb(cv::Mat& image, float maxY, int workers) {
    const int rows = image.rows, cols = image.cols;
    const cv::Matx33f toRgb = kXyzToRgb * (1.f / maxY);
    forStrips(rows, workers, [&](int r0, int r1, Scratch& s) {
        cv::Mat strip = image.rowRange(r0, r1);
        cv::transform(strip, s.a, toRgb);
        s.a.copyTo(strip);
    });
    const size_t n = image.total() * 3;
    const std::vector<float> q = samplesOfRank(image, {kLowPercent * n / 100, kHighPercent * n / 100});
    const float lo = std::max(0.f, q[0]), hi = q[1];
    // A flat picture (up to the rounding of the conversions above) has nothing to stretch.
    if (!(hi - lo > kFlatStretch * std::fabs(hi)))
        return cv::Mat::zeros(rows, cols, CV_32FC3);
    const float range = 1.f / (hi - lo);
    cv::Mat out(rows, cols, CV_32FC3);
    forStrips(rows, workers, [&](int r0, int r1, Scratch& s) {
        const int rowsHere = r1 - r0;
        cv::Mat strip = image.rowRange(r0, r1);
        s.a.create(rowsHere, cols, CV_32FC3);
        for (int r = 0; r < rowsHere; ++r) {
            const float* p = strip.ptr<float>(r);
            float* d = s.a.ptr<float>(r);
            for (int c = 0; c < cols * 3; ++c) {
                // A sample without a value (NaN) shows black rather than spreading NaN downstream.
                const float t = (p[c] - lo) * range;
                d[c] = t > 0.f ? std::min(t, 1.f) : 0.f;
            }
        }
        cv::pow(s.a, kSrgbExponent, s.b);
        for (int r = 0; r < rowsHere; ++r) {
            const cv::Vec3f* lin = s.a.ptr<cv::Vec3f>(r);
            const cv::Vec3f* enc = s.b.ptr<cv::Vec3f>(r);
            cv::Vec3f* o = out.ptr<cv::Vec3f>(r0 + r);
            for (int c = 0; c < cols; ++c) {
                cv::Vec3f v;
                for (int k = 0; k < 3; ++k)
                    v[k] = lin[c][k] <= kSrgbLinearLimit ? kSrgbSlope * lin[c][k]
                                                         : kSrgbScale * enc[c][k] - kSrgbOffset;
                o[c] = cv::Vec3f(v[2], v[1], v[0]);
            }
        }
    });
    return out;
}

} // namespace lumora::layerprocessing
