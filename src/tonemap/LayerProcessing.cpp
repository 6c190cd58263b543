#include "tonemap/LayerProcessing.h"

#include "app/Threads.h"
#include "tonemap/BilateralFilter.h"
#include "tonemap/OperatorSupport.h"
#include "tonemap/ParallelRows.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

namespace lumora {

namespace {

constexpr const char* kPlace = "LayerProcessing::toneMap";
constexpr float kLn10 = 2.302585093f;
// Per-pixel work runs over strips of rows with small scratch images: whole-image temporaries of a 12 MP
// picture cost more in page faults than in arithmetic.
constexpr int kStripRows = 16;

// Tables as they apply to a column vector.
const cv::Matx33f kRgbToXyz(0.412424f, 0.357579f, 0.180464f, 0.212656f, 0.715158f, 0.072186f, 0.019332f,
                            0.119193f, 0.950444f);
const cv::Matx33f kXyzToRgb(3.2407f, -1.5373f, -0.4986f, -0.9693f, 1.876f, 0.0416f, 0.0556f, -0.204f,
                            1.0571f);
const cv::Matx33f kIptFromLms(0.4f, 0.4f, 0.2f, 4.455f, -4.851f, 0.396f, 0.8056f, 0.3572f, -1.1628f);
const cv::Matx33f kCat02(0.7328f, 0.4296f, -0.1624f, -0.7036f, 1.6974f, 0.0061f, 0.003f, 0.0136f, 0.9834f);
// Cone space of both the compression step and the IPT conversion.
const cv::Matx33f kXyzToLms(0.4002f, 0.7077f, -0.0807f, -0.228f, 1.15f, 0.0612f, 0.f, 0.f, 0.9184f);

struct Scratch {
    cv::Mat a, b, c, d, e, one, two;
};

// body(firstRow, endRow, scratch) over strips of rows; each worker keeps its own scratch images.
template <typename Body> void forStrips(int rows, int threads, Body body) {
    const int strips = (rows + kStripRows - 1) / kStripRows;
    runInterleavedRows(threads, kPlace, [&](int first, int step) {
        Scratch scratch;
        for (int s = first; s < strips; s += step)
            body(s * kStripRows, std::min(rows, (s + 1) * kStripRows), scratch);
    });
}

inline cv::Vec3f mul(const cv::Matx33f& m, const cv::Vec3f& v) {
    return cv::Vec3f(m(0, 0) * v[0] + m(0, 1) * v[1] + m(0, 2) * v[2],
                     m(1, 0) * v[0] + m(1, 1) * v[1] + m(1, 2) * v[2],
                     m(2, 0) * v[0] + m(2, 1) * v[1] + m(2, 2) * v[2]);
}

inline float sgn(float x) {
    return x > 0.f ? 1.f : (x < 0.f ? -1.f : 0.f);
}

// Absolute XYZ of one BGR pixel, floored.
inline cv::Vec3f absoluteOf(const cv::Vec3f& bgr, float scale) {
    const cv::Vec3f xyz = mul(kRgbToXyz, cv::Vec3f(bgr[2], bgr[1], bgr[0])) * scale;
    return cv::Vec3f(std::max(xyz[0], 1e-8f), std::max(xyz[1], 1e-8f), std::max(xyz[2], 1e-8f));
}

float largestY(const cv::Mat& bgr) {
    std::vector<float> maxes(static_cast<size_t>(workerCount()), 0.f);
    runInterleavedRows(workerCount(), kPlace, [&](int first, int step) {
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

float scaleFor(float maxY, float maxLuminance) {
    // An image without light has no scale: every sample takes the floor.
    return maxY > 0.f && std::isfinite(maxY) ? maxLuminance / maxY : 0.f;
}

bool isUniform(const cv::Mat& bgr) {
    const cv::Vec3f first = bgr.at<cv::Vec3f>(0, 0);
    for (int r = 0; r < bgr.rows; ++r) {
        const cv::Vec3f* p = bgr.ptr<cv::Vec3f>(r);
        for (int c = 0; c < bgr.cols; ++c)
            if (p[c] != first)
                return false;
    }
    return true;
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

// Gaussian weight exp(-(r / w)^2) with w = the subsampled size / d, i.e. sigma w / sqrt(2), mirrored edges;
// the channels on worker threads.
cv::Mat blurSubsampled(const cv::Mat& sub, int d) {
    const double w = double(std::max(sub.rows, sub.cols)) / d;
    const double sigma = w / std::sqrt(2.0);
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<cv::Mat> planes;
    cv::split(sub, planes);
    runInterleavedRows(3, kPlace, [&](int first, int step) {
        for (int c = first; c < 3; c += step)
            cv::GaussianBlur(planes[static_cast<size_t>(c)], planes[static_cast<size_t>(c)],
                             cv::Size(2 * radius + 1, 2 * radius + 1), sigma, sigma, cv::BORDER_REFLECT);
    });
    cv::Mat out;
    cv::merge(planes, out);
    return out;
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

// |x|^p with the sign of x, in place, for a strip scratch image.
void signedPowInPlace(cv::Mat& x, double p, cv::Mat& tmp) {
    cv::pow(x, p, tmp); // OpenCV takes |x| for fractional powers
    const size_t n = x.total() * x.channels();
    float* s = x.ptr<float>();
    const float* m = tmp.ptr<float>();
    for (size_t i = 0; i < n; ++i)
        s[i] = s[i] < 0.f ? -m[i] : m[i];
}

// Samples of ranks `ranks` (0-based, ascending) of all samples of a float image, exactly: a histogram finds
// the bin of each rank, and only the samples of that bin are sorted.
std::vector<float> samplesOfRank(const cv::Mat& image, const std::vector<size_t>& ranks) {
    // Ranks among the finite samples only: extreme colour settings can leave a few NaN or infinite ones,
    // which have no place in an order (and would index outside the histogram).
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
        std::nth_element(members.begin(), members.begin() + static_cast<std::ptrdiff_t>(k), members.end());
        result.push_back(members[k]);
    }
    return result;
}

} // namespace

namespace layerprocessing {

float adaptationFactor(float LA) {
    const float k = 1.f / (5.f * LA + 1.f);
    const float k4 = k * k * k * k;
    return 0.2f * k4 * (5.f * LA) + 0.1f * (1.f - k4) * (1.f - k4) * std::cbrt(5.f * LA);
}

cv::Mat absoluteXYZ(const cv::Mat& bgrIn, float maxLuminance) {
    const cv::Mat bgr = toFloat3(bgrIn);
    if (bgr.empty())
        return {};
    const float scale = scaleFor(largestY(bgr), maxLuminance);
    cv::Mat xyz(bgr.size(), CV_32FC3);
    for (int r = 0; r < bgr.rows; ++r)
        for (int c = 0; c < bgr.cols; ++c)
            xyz.at<cv::Vec3f>(r, c) = absoluteOf(bgr.at<cv::Vec3f>(r, c), scale);
    return xyz;
}

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

cv::Mat compressToDisplay(const cv::Mat& bgrIn, float alpha, float beta, float gamma, RunControl& control,
                          const std::function<void()>& betweenThreads) {
    const cv::Mat bgr = bgrIn.type() == CV_32FC3 ? bgrIn : toFloat3(bgrIn);
    if (bgr.empty())
        return {};
    const int rows = bgr.rows, cols = bgr.cols;
    // A uniform image has no picture to compress; the colour model would only turn it into a tinted grey.
    if (isUniform(bgr))
        return cv::Mat::zeros(rows, cols, CV_32FC3);
    const int threads = workerCount();

    // 1-2. Absolute XYZ (scaled so the largest Y is gamma, floored) and its log10, as three planes.
    const float scale = scaleFor(largestY(bgr), gamma);
    std::array<cv::Mat, 3> logPlanes;
    for (cv::Mat& p : logPlanes)
        p.create(rows, cols, CV_32F);
    std::vector<float> logMaxes(static_cast<size_t>(threads), -1e30f);
    {
        const int strips = (rows + kStripRows - 1) / kStripRows;
        runInterleavedRows(threads, kPlace, [&](int first, int step) {
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
                    float* o0 = logPlanes[0].ptr<float>(r);
                    float* o1 = logPlanes[1].ptr<float>(r);
                    float* o2 = logPlanes[2].ptr<float>(r);
                    for (int c = 0; c < cols; ++c) {
                        o0[c] = q[c][0] * (1.f / kLn10);
                        o1[c] = q[c][1] * (1.f / kLn10);
                        o2[c] = q[c][2] * (1.f / kLn10);
                        m = std::max(m, std::max(o0[c], std::max(o1[c], o2[c])));
                    }
                }
            }
            logMaxes[static_cast<size_t>(first)] = m;
        });
    }
    const float maxLog = *std::max_element(logMaxes.begin(), logMaxes.end());

    // 3. Base layer: the bilateral filter, channel by channel.
    if (control.isCanceled())
        return {};
    control.setProgress(5);
    std::array<cv::Mat, 3> basePlanes;
    const double sigmaSpace = 0.02 * rows;
    runInterleavedRows(std::min(3, threads), kPlace, [&](int first, int step) {
        for (int c = first; c < 3; c += step)
            cv_extend::bilateralFilter(logPlanes[static_cast<size_t>(c)], basePlanes[static_cast<size_t>(c)],
                                       sigmaSpace, 0.35);
    });

    // 4. The base is clipped to the log image's maximum; the detail layer is log - base. Both are formed per
    // strip where they are used.
    if (control.isCanceled())
        return {};
    control.setProgress(50);

    // 5. Local white (d = 2) and adapting white (d = 3) from the subsampled image, read back bilinearly.
    const cv::Mat sub = subsampledXYZ(bgr, scale, subsamplingFor(rows, cols));
    const cv::Mat whiteSmall = blurSubsampled(sub, 2);
    const cv::Mat adaptingSmall = blurSubsampled(sub, 3);
    const Upsampler white(whiteSmall, rows, cols), adaptingWhite(adaptingSmall, rows, cols);
    double whiteYMax = 0;
    {
        cv::Mat Y;
        cv::extractChannel(whiteSmall, Y, 1);
        cv::minMaxLoc(Y, nullptr, &whiteYMax); // bilinear reading never exceeds the samples
    }
    if (control.isCanceled())
        return {};
    control.setProgress(55);

    // 6. Two threads: adaptation and compression of the base (alpha); enhancement of the detail.
    if (control.isCanceled())
        return {};
    control.setProgress(60);
    cv::Mat compressed(rows, cols, CV_32FC3), enhanced(rows, cols, CV_32FC3), flBase(rows, cols, CV_32F);
    const cv::Vec3f refC = mul(kCat02, cv::Vec3f(95.05f, 100.f, 108.88f));
    const cv::Matx33f catInv = kCat02.inv(), lmsInv = kXyzToLms.inv();
    const float SW = 5.f * 0.2f * static_cast<float>(whiteYMax);
    const float invSW = SW > 0.f ? 1.f / SW : 0.f;

    // Linear base of a strip (10^min(base, maxLog)) into `out`.
    auto linearBase = [&basePlanes, maxLog, cols](int r0, int r1, cv::Mat& out) {
        out.create(r1 - r0, cols, CV_32FC3);
        for (int r = r0; r < r1; ++r) {
            const float* b0 = basePlanes[0].ptr<float>(r);
            const float* b1 = basePlanes[1].ptr<float>(r);
            const float* b2 = basePlanes[2].ptr<float>(r);
            cv::Vec3f* o = out.ptr<cv::Vec3f>(r - r0);
            for (int c = 0; c < cols; ++c)
                o[c] = cv::Vec3f(std::min(b0[c], maxLog), std::min(b1[c], maxLog), std::min(b2[c], maxLog)) *
                       kLn10;
        }
        cv::exp(out, out);
    };

    auto compressBase = [&]() {
        Scratch s;
        for (int r0 = 0; r0 < rows; r0 += kStripRows) {
            const int r1 = std::min(rows, r0 + kStripRows), n = r1 - r0;
            linearBase(r0, r1, s.a);
            s.b.create(n, cols, CV_32FC3); // t
            s.c.create(n, cols, CV_32FC3); // u
            s.d.create(n, cols, CV_32FC3); // B_S
            s.e.create(n, cols, CV_32FC3); // signs
            s.one.create(n, cols, CV_32F); // L_S, then L_S^(1/6)
            for (int r = r0; r < r1; ++r) {
                float* ls = s.one.ptr<float>(r - r0);
                for (int c = 0; c < cols; ++c)
                    ls[c] = white.at(r, c)[1] * (0.452f * 5.f / 2.26f);
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
                    // Chromatic adaptation towards D65 in CAT02, with the degree of adaptation of the
                    // adapting white's luminance.
                    const cv::Vec3f aw = adaptingWhite.at(r, c);
                    const cv::Vec3f awC = mul(kCat02, aw);
                    const float LAa = 0.2f * aw[1];
                    const float D = 0.3f * (1.f - (1.f / 3.6f) * std::exp(-(LAa - 42.f) / 92.f));
                    cv::Vec3f bc = mul(kCat02, base[c]);
                    for (int k = 0; k < 3; ++k)
                        bc[k] *= refC[k] * D / (awC[k] + 1e-07f) + 1.f - D;
                    const cv::Vec3f cone = mul(kXyzToLms, mul(catInv, bc));

                    const float Yw = white.at(r, c)[1];
                    const float LA = 0.2f * Yw;
                    const float FL = layerprocessing::adaptationFactor(LA);
                    const float tScale = LA > 0.f ? FL * 0.2f / LA : 0.f;
                    const float j = 0.00001f / (ls[c] + 0.00001f);
                    const float j2 = j * j;
                    const float o = 1.f - j2;
                    const float FLS = 3800.f * j2 * ls[c] + 0.2f * o * o * o * o * ls6[c];
                    for (int k = 0; k < 3; ++k) {
                        const float a = std::fabs(cone[k]);
                        t[c][k] = a * tScale;
                        u[c][k] = a * invSW * FLS;
                        const float q = 0.3f * (a * invSW * ls[c]);
                        bs[c][k] = 0.5f / (5.f * ls[c] + 1.f) + 0.5f / (q * q * q + 1.f);
                        sg[c][k] = sgn(cone[k]);
                    }
                }
            }
            cv::pow(s.b, alpha, s.b);
            cv::pow(s.c, alpha, s.c);
            for (int r = r0; r < r1; ++r) {
                const cv::Vec3f* tp = s.b.ptr<cv::Vec3f>(r - r0);
                const cv::Vec3f* up = s.c.ptr<cv::Vec3f>(r - r0);
                const cv::Vec3f* bs = s.d.ptr<cv::Vec3f>(r - r0);
                const cv::Vec3f* sg = s.e.ptr<cv::Vec3f>(r - r0);
                cv::Vec3f* out = compressed.ptr<cv::Vec3f>(r);
                for (int c = 0; c < cols; ++c) {
                    cv::Vec3f v;
                    for (int k = 0; k < 3; ++k) {
                        const float cone = sg[c][k] * 400.f * tp[c][k] / (27.13f + tp[c][k]) + 0.1f;
                        const float rod = 3.05f * bs[c][k] * 400.f * up[c][k] / (up[c][k] + 27.13f) + 0.03f;
                        v[k] = cone + rod;
                    }
                    out[c] = mul(lmsInv, v);
                }
            }
        }
    };
    auto enhanceDetail = [&]() {
        // d^((F_L + 0.8)^0.25) = exp(ln 10 * (log - base) * (F_L + 0.8)^0.25), F_L from the linear base's Y.
        Scratch s;
        for (int r0 = 0; r0 < rows; r0 += kStripRows) {
            const int r1 = std::min(rows, r0 + kStripRows), n = r1 - r0;
            linearBase(r0, r1, s.a);
            s.one.create(n, cols, CV_32F);
            for (int r = r0; r < r1; ++r) {
                const cv::Vec3f* b = s.a.ptr<cv::Vec3f>(r - r0);
                float* fl = flBase.ptr<float>(r);
                float* x = s.one.ptr<float>(r - r0);
                for (int c = 0; c < cols; ++c) {
                    fl[c] = layerprocessing::adaptationFactor(0.2f * b[c][1]);
                    x[c] = fl[c] + 0.8f;
                }
            }
            cv::pow(s.one, 0.25, s.one);
            s.b.create(n, cols, CV_32FC3);
            for (int r = r0; r < r1; ++r) {
                const float* x = s.one.ptr<float>(r - r0);
                cv::Vec3f* e = s.b.ptr<cv::Vec3f>(r - r0);
                for (int c = 0; c < cols; ++c)
                    for (int k = 0; k < 3; ++k) {
                        const float lg = logPlanes[static_cast<size_t>(k)].ptr<float>(r)[c];
                        const float bs =
                            std::min(basePlanes[static_cast<size_t>(k)].ptr<float>(r)[c], maxLog);
                        e[c][k] = (lg - bs) * x[c] * kLn10;
                    }
            }
            cv::Mat dst = enhanced.rowRange(r0, r1);
            cv::exp(s.b, dst);
        }
    };
    {
        std::thread second;
        bool started = false;
        try {
            second = std::thread(enhanceDetail);
            started = true;
        } catch (const std::system_error&) {
        }
        compressBase();
        if (betweenThreads)
            betweenThreads();
        if (!started)
            enhanceDetail();
        else {
            try {
                second.join();
            } catch (const std::system_error&) {
                std::fputs("ERROR during pthread_join() in tone compress & detail enhance\n", stdout);
                if (second.joinable())
                    second.detach();
            }
        }
    }
    for (cv::Mat& p : logPlanes)
        p.release();
    for (cv::Mat& p : basePlanes)
        p.release();
    if (control.isCanceled())
        return {};

    // 7. Recombination into IPT (kept in `compressed`).
    control.setProgress(80);
    std::vector<float> imaxes(static_cast<size_t>(threads), -1e30f);
    forStrips(rows, threads, [&](int r0, int r1, Scratch& s) {
        cv::Mat strip = compressed.rowRange(r0, r1);
        cv::multiply(strip, enhanced.rowRange(r0, r1), s.a);
        cv::transform(s.a, s.c, kXyzToLms);
        signedPowInPlace(s.c, 0.43, s.b);
        cv::transform(s.c, strip, kIptFromLms);
        float m = -1e30f;
        for (int r = 0; r < strip.rows; ++r) {
            const cv::Vec3f* p = strip.ptr<cv::Vec3f>(r);
            for (int c = 0; c < cols; ++c)
                m = std::max(m, p[c][0]);
        }
        // One slot per worker: a strip's worker is fixed by its index, so max with the slot is race-free.
        const size_t slot = static_cast<size_t>((r0 / kStripRows) % threads);
        imaxes[slot] = std::max(imaxes[slot], m);
    });
    enhanced.release();
    const float Imax = *std::max_element(imaxes.begin(), imaxes.end());

    // Colourfulness (P, T) and lightness exponent (beta), then back to XYZ.
    if (control.isCanceled())
        return {};
    control.setProgress(83);
    std::vector<float> ymaxes(static_cast<size_t>(threads), -1e30f);
    const float invImax = Imax > 0.f ? 1.f / Imax : 0.f;
    forStrips(rows, threads, [&](int r0, int r1, Scratch& s) {
        const int n = r1 - r0;
        cv::Mat strip = compressed.rowRange(r0, r1);
        s.one.create(n, cols, CV_32F);
        s.two.create(n, cols, CV_32F);
        for (int r = 0; r < n; ++r) {
            const cv::Vec3f* p = strip.ptr<cv::Vec3f>(r);
            const float* fl = flBase.ptr<float>(r0 + r);
            float* i = s.one.ptr<float>(r);
            float* f = s.two.ptr<float>(r);
            for (int c = 0; c < cols; ++c) {
                i[c] = p[c][0] * invImax;
                f[c] = fl[c] + 1.f;
            }
        }
        signedPowInPlace(s.one, beta, s.c);
        cv::pow(s.two, 0.2, s.two);
        for (int r = 0; r < n; ++r) {
            cv::Vec3f* p = strip.ptr<cv::Vec3f>(r);
            const float* i = s.one.ptr<float>(r);
            const float* f = s.two.ptr<float>(r);
            for (int c = 0; c < cols; ++c) {
                const float P = p[c][1], T = p[c][2];
                const float C2 = P * P + T * T, C = std::sqrt(C2);
                const float k = (1.29f * C2 - 0.27f * C + 0.42f) / (C2 - 0.31f * C + 0.42f) * f[c];
                p[c] = cv::Vec3f(Imax * i[c], P * k, T * k);
            }
        }
        cv::transform(strip, s.a, kIptFromLms.inv());
        signedPowInPlace(s.a, 1.0 / 0.43, s.b);
        cv::transform(s.a, strip, lmsInv);
        float m = -1e30f;
        for (int r = 0; r < n; ++r) {
            const cv::Vec3f* p = strip.ptr<cv::Vec3f>(r);
            for (int c = 0; c < cols; ++c)
                m = std::max(m, p[c][1]);
        }
        const size_t slot = static_cast<size_t>((r0 / kStripRows) % threads);
        ymaxes[slot] = std::max(ymaxes[slot], m);
    });
    flBase.release();

    // Display: XYZ over its largest Y to RGB, stretched between the 1st and 99th percentiles of all samples,
    // sRGB-encoded, in BGR order.
    if (control.isCanceled())
        return {};
    control.setProgress(90);
    const float maxY = *std::max_element(ymaxes.begin(), ymaxes.end());
    if (!(maxY > 0.f) || !std::isfinite(maxY))
        return cv::Mat::zeros(rows, cols, CV_32FC3);
    control.setProgress(92);
    const cv::Matx33f toRgb = kXyzToRgb * (1.f / maxY);
    forStrips(rows, threads, [&](int r0, int r1, Scratch& s) {
        cv::Mat strip = compressed.rowRange(r0, r1);
        cv::transform(strip, s.a, toRgb);
        s.a.copyTo(strip);
    });
    const size_t n = compressed.total() * 3;
    const std::vector<float> q = samplesOfRank(compressed, {n / 100, 99 * n / 100});
    const float lo = std::max(0.f, q[0]), hi = q[1];
    // A flat picture (up to the rounding of the conversions above) has nothing to stretch.
    if (!(hi - lo > 1e-5f * std::fabs(hi)))
        return cv::Mat::zeros(rows, cols, CV_32FC3);
    const float range = 1.f / (hi - lo);
    cv::Mat out(rows, cols, CV_32FC3);
    forStrips(rows, threads, [&](int r0, int r1, Scratch& s) {
        const int rowsHere = r1 - r0;
        cv::Mat strip = compressed.rowRange(r0, r1);
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
        cv::pow(s.a, 1.0 / 2.4, s.b);
        for (int r = 0; r < rowsHere; ++r) {
            const cv::Vec3f* lin = s.a.ptr<cv::Vec3f>(r);
            const cv::Vec3f* enc = s.b.ptr<cv::Vec3f>(r);
            cv::Vec3f* o = out.ptr<cv::Vec3f>(r0 + r);
            for (int c = 0; c < cols; ++c) {
                cv::Vec3f v;
                for (int k = 0; k < 3; ++k)
                    v[k] = lin[c][k] <= 0.0031308f ? 12.92f * lin[c][k] : 1.055f * enc[c][k] - 0.055f;
                o[c] = cv::Vec3f(v[2], v[1], v[0]);
            }
        }
    });
    return out;
}

} // namespace layerprocessing

LayerProcessing::LayerProcessing()
    : curve_(/*blacks*/ 0.f, /*whites*/ 0.f, /*highlights*/ 0.75f, /*shadows*/ 0.f),
      settings_(colorModSettings(exposureTermsFor(-0.3f), /*contrast*/ 1.2f, /*hue*/ 0.f, /*saturation*/ 1.f,
                                 /*vibrance*/ 0.42f)) {}

cv::Mat& LayerProcessing::toneMap(cv::Mat& output, const cv::Mat& input, const float* params) {
    control_.setProgress(0);
    const float alpha = params ? params[0] : 0.5f;
    const float beta = params ? params[1] : 1.f;
    const float gamma = params ? params[2] : 2525.f;
    cv::Mat display = layerprocessing::compressToDisplay(input, alpha, beta, gamma, control_, hook_);
    if (display.empty() || control_.isCanceled()) {
        output = cv::Mat();
        return output;
    }
    if (cv::countNonZero(display.reshape(1)) == 0)
        output = display; // nothing to show stays black rather than the recipe's lifted grey
    else
        output = applyColorModifications(curve_, display, settings_);
    control_.setProgress(100);
    return output;
}

} // namespace lumora
