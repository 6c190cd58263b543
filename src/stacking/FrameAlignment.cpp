#include "stacking/FrameAlignment.h"

#include "app/OrderStatistics.h"
#include "stacking/MotionModule.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp> // the motion types; the code is in the motion module

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {

namespace {

constexpr int kIterations = 70;
constexpr double kEpsilon = 1e-6;
constexpr int kGaussFilter = 5;
constexpr int kCoarsestSide = 160; // pyramid levels stop above this size
constexpr int kCoarseIterations = 20;
constexpr double kCoarseEpsilon = 1e-4;

// The fast estimate.
constexpr int kFastCoarsestSide = 64; // the pyramid stops above this size: phase correlation starts there
// Frames larger than this on their smaller side are estimated on a halved copy: a 1080-line image pins a
// translation to a few hundredths of a pixel already, and the halving costs less than the work it saves.
constexpr int kFastFinestSide = 1100;
constexpr int kFastBorder = 4;          // pixels of each scale's edge that never serve as points
constexpr double kFastPointShare = 0.2; // the most textured fifth of each scale's pixels ...
constexpr int kFastMaxPoints = 20000;   // ... at most this many, spread evenly
constexpr int kFastSteps = 20;          // Gauss-Newton steps per scale at most
constexpr double kFastStop = 1e-4;      // pixels: a smaller step ends the scale
constexpr double kFastSnap = 1e-3;      // pixels: a smaller translation is none
// Residuals beyond this many robust deviations get no weight: a wide cut, so that only gross differences
// (moving things, occlusions) drop out; a narrow one also drops the textured points a slightly wrong
// estimate gets wrong, and locks that estimate in.
constexpr double kTukey = 12.0; // residuals beyond this many robust deviations get no weight

// One ECC estimate; a correlation whose illumination term collapses ends early with the warp reached so far.
void runEcc(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp, int iterations, double eps) {
    try {
        motion::findTransformECC(
            templ, input, warp, cv::MOTION_TRANSLATION,
            cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, iterations, eps), kGaussFilter);
    } catch (const cv::Exception& e) {
        if (e.code != cv::Error::StsNoConv)
            throw;
    }
}

// 16-bit grey images are estimated on an 8-bit copy, so they take the 8-bit path (thresholds, speed); the
// frame itself is then warped at its own depth.
cv::Mat estimationProxy(const cv::Mat& grey) {
    if (grey.depth() != CV_16U)
        return grey;
    cv::Mat small;
    grey.convertTo(small, CV_8U, 1.0 / 257.0);
    return small;
}

cv::Mat asFloat(const cv::Mat& grey) {
    cv::Mat f;
    grey.convertTo(f, CV_32F);
    return f;
}

// How many times a frame is halved before the finest scale the fast estimate uses.
int skippedLevels(cv::Size size) {
    int skipped = 0;
    for (; std::min(size.width, size.height) > kFastFinestSide;
         size = cv::Size((size.width + 1) / 2, (size.height + 1) / 2))
        ++skipped;
    return skipped;
}

// The finest scale smoothed as the reference smooths full resolution, then halved while the next scale is
// large enough.
std::vector<cv::Mat> floatPyramid(const cv::Mat& grey) {
    cv::Mat finest = grey;
    for (int i = skippedLevels(grey.size()); i > 0; --i)
        cv::pyrDown(finest, finest);
    std::vector<cv::Mat> levels(1);
    cv::GaussianBlur(asFloat(finest), levels[0], cv::Size(kGaussFilter, kGaussFilter), 0.0);
    while (std::min(levels.back().rows, levels.back().cols) / 2 >= kFastCoarsestSide) {
        cv::Mat next;
        cv::pyrDown(levels.back(), next);
        levels.push_back(next);
    }
    return levels;
}

inline float bilinear(const cv::Mat& img, float x, float y) {
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
    const float* a = img.ptr<float>(y0) + x0;
    const float* b = img.ptr<float>(y0 + 1) + x0;
    return (a[0] * (1.f - fx) + a[1] * fx) * (1.f - fy) + (b[0] * (1.f - fx) + b[1] * fx) * fy;
}

// The points of one scale: positions, the chosen frame's values and gradients there.
struct AlignPoints {
    std::vector<cv::Point2f> at;
    std::vector<float> value, gx, gy;
};

AlignPoints texturedPoints(const cv::Mat& level) {
    AlignPoints p;
    cv::Mat gx, gy;
    cv::Sobel(level, gx, CV_32F, 1, 0, 3, 1.0 / 8.0);
    cv::Sobel(level, gy, CV_32F, 0, 1, 3, 1.0 / 8.0);
    std::vector<float> strength;
    for (int y = kFastBorder; y < level.rows - kFastBorder; ++y)
        for (int x = kFastBorder; x < level.cols - kFastBorder; ++x) {
            const float a = gx.at<float>(y, x), b = gy.at<float>(y, x);
            strength.push_back(a * a + b * b);
        }
    if (strength.empty())
        return p;
    std::vector<float> sorted = strength;
    const size_t cut = static_cast<size_t>((1.0 - kFastPointShare) * static_cast<double>(sorted.size() - 1));
    const float threshold = std::max(kthSmallest(sorted, cut), 1e-6f);
    const size_t above = static_cast<size_t>(
        std::count_if(strength.begin(), strength.end(), [&](float s) { return s >= threshold; }));
    const size_t stride = std::max<size_t>(1, (above + kFastMaxPoints - 1) / kFastMaxPoints);
    size_t i = 0, seen = 0;
    for (int y = kFastBorder; y < level.rows - kFastBorder; ++y)
        for (int x = kFastBorder; x < level.cols - kFastBorder; ++x, ++i) {
            if (strength[i] < threshold || seen++ % stride != 0)
                continue;
            p.at.emplace_back(static_cast<float>(x), static_cast<float>(y));
            p.value.push_back(level.at<float>(y, x));
            p.gx.push_back(gx.at<float>(y, x));
            p.gy.push_back(gy.at<float>(y, x));
        }
    return p;
}

// Refines t (frame position of a chosen-frame point minus that point, at this scale) by Gauss-Newton steps
// on the points: each step fits the frame's values as gain × chosen + offset (brightness may change),
// weights residuals by Tukey's biweight around their robust spread (moving things drop out) and moves t by
// the weighted least-squares step.
void refine(const AlignPoints& p, const cv::Mat& frame, cv::Point2d& t) {
    const size_t n = p.at.size();
    std::vector<float> sample(n), residual(n);
    std::vector<unsigned char> inside(n);
    std::vector<double> weight(n, 1.0);
    for (int step = 0; step < kFastSteps; ++step) {
        // Frame values at the points, where the frame has them.
        double sw = 0, st = 0, sv = 0, stt = 0, stv = 0;
        for (size_t i = 0; i < n; ++i) {
            const float x = p.at[i].x + static_cast<float>(t.x), y = p.at[i].y + static_cast<float>(t.y);
            inside[i] = x >= 0.f && y >= 0.f && x < static_cast<float>(frame.cols - 1) &&
                        y < static_cast<float>(frame.rows - 1);
            if (!inside[i])
                continue;
            sample[i] = bilinear(frame, x, y);
            const double w = weight[i], v = p.value[i];
            sw += w, st += w * v, sv += w * sample[i], stt += w * v * v, stv += w * v * sample[i];
        }
        if (sw <= 0.0)
            return;
        const double var = stt - st * st / sw;
        const double gain = var > 1e-9 ? (stv - st * sv / sw) / var : 1.0;
        const double offset = (sv - gain * st) / sw;
        std::vector<float> magnitudes;
        magnitudes.reserve(n);
        for (size_t i = 0; i < n; ++i)
            if (inside[i]) {
                residual[i] = static_cast<float>(sample[i] - (gain * p.value[i] + offset));
                magnitudes.push_back(std::abs(residual[i]));
            }
        const size_t mid = magnitudes.size() / 2;
        const double spread = std::max(1.4826 * kthSmallest(magnitudes, mid), 1e-3);
        double hxx = 0, hxy = 0, hyy = 0, bx = 0, by = 0;
        for (size_t i = 0; i < n; ++i) {
            if (!inside[i])
                continue;
            const double u = residual[i] / (kTukey * spread);
            weight[i] = std::abs(u) < 1.0 ? (1.0 - u * u) * (1.0 - u * u) : 0.0;
            const double gx = gain * p.gx[i], gy = gain * p.gy[i], w = weight[i];
            hxx += w * gx * gx, hxy += w * gx * gy, hyy += w * gy * gy;
            bx += w * gx * residual[i], by += w * gy * residual[i];
        }
        const double det = hxx * hyy - hxy * hxy;
        if (!(det > 1e-12))
            return;
        const double dx = (hyy * bx - hxy * by) / det;
        const double dy = (hxx * by - hxy * bx) / det;
        // The frame at t looks like the chosen frame moved by (dx, dy): undo it.
        t.x -= dx;
        t.y -= dy;
        if (dx * dx + dy * dy < kFastStop * kFastStop)
            return;
    }
}

} // namespace

// The chosen frame at every scale, and at each its most textured pixels.
struct FrameAligner::Prepared {
    std::vector<cv::Mat> levels;
    std::vector<AlignPoints> points;
};

FrameAligner::FrameAligner(const cv::Mat& chosenGrey, AlignMethod method)
    : chosenGrey_(estimationProxy(chosenGrey)), method_(method) {
    if (method_ != AlignMethod::Fast || chosenGrey_.empty() ||
        (chosenGrey_.depth() != CV_8U && chosenGrey_.depth() != CV_32F))
        return;
    prepared_ = std::make_unique<Prepared>();
    prepared_->levels = floatPyramid(chosenGrey_);
    for (const cv::Mat& level : prepared_->levels)
        prepared_->points.push_back(texturedPoints(level));
}

FrameAligner::~FrameAligner() = default;

cv::Mat FrameAligner::estimate(const cv::Mat& frameGreyIn) const {
    cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
    const cv::Mat frameGrey = estimationProxy(frameGreyIn);
    const bool bothByte = chosenGrey_.depth() == CV_8U && frameGrey.depth() == CV_8U;
    const bool bothFloat = chosenGrey_.depth() == CV_32F && frameGrey.depth() == CV_32F;
    if (!bothByte && !bothFloat)
        return warp; // an 8-bit frame against a 16-bit chosen frame, or the like: no common scale
    if (chosenGrey_.empty() || frameGrey.empty() || chosenGrey_.size() != frameGrey.size())
        CV_Error(cv::Error::StsBadSize, "alignment needs two non-empty images of the same size");
    if (method_ == AlignMethod::Fast)
        return prepared_ ? fastEstimate(frameGrey) : warp;
    if (method_ == AlignMethod::CoarseToFine) {
        // Halve until the next level would be small; estimate from the coarsest level up, each level's result
        // (doubled) starting the next, so the full-resolution run starts close to its answer.
        std::vector<cv::Mat> templ{chosenGrey_}, input{frameGrey};
        while (std::min(templ.back().rows, templ.back().cols) / 2 >= kCoarsestSide) {
            cv::Mat a, b;
            cv::pyrDown(templ.back(), a);
            cv::pyrDown(input.back(), b);
            templ.push_back(a);
            input.push_back(b);
        }
        if (templ.size() > 1) {
            cv::Mat coarse = cv::Mat::eye(2, 3, CV_32F);
            for (size_t level = templ.size() - 1; level >= 1; --level) {
                runEcc(templ[level], input[level], coarse, kCoarseIterations, kCoarseEpsilon);
                coarse.at<float>(0, 2) *= 2.0f;
                coarse.at<float>(1, 2) *= 2.0f;
            }
            warp = coarse;
        }
    }
    runEcc(chosenGrey_, frameGrey, warp, kIterations, kEpsilon);
    return warp;
}

cv::Mat FrameAligner::fastEstimate(const cv::Mat& frameGrey) const {
    cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
    const std::vector<cv::Mat> frame = floatPyramid(frameGrey);
    const size_t top = std::min(frame.size(), prepared_->levels.size()) - 1;
    // Coarsest scale: the shift that best lines the two up as a whole.
    cv::Mat window;
    cv::createHanningWindow(window, frame[top].size(), CV_32F);
    // Copies: OpenCV applies the window in place when the size needs no padding.
    const cv::Point2d coarse = cv::phaseCorrelate(prepared_->levels[top].clone(), frame[top].clone(), window);
    cv::Point2d t = coarse;
    for (size_t level = top + 1; level-- > 0;) {
        refine(prepared_->points[level], frame[level], t);
        if (level > 0)
            t *= 2.0;
    }
    t *= static_cast<double>(1 << skippedLevels(frameGrey.size()));
    if (std::abs(t.x) < kFastSnap && std::abs(t.y) < kFastSnap)
        t = cv::Point2d(0, 0);
    warp.at<float>(0, 2) = static_cast<float>(t.x);
    warp.at<float>(1, 2) = static_cast<float>(t.y);
    return warp;
}

cv::Mat FrameAligner::align(const cv::Mat& frame, cv::Mat* warpOut) const {
    if (frame.empty())
        CV_Error(cv::Error::StsBadArg, "alignment of an empty frame");
    const cv::Mat warp = estimate(greyForAlignment(frame));
    if (warpOut)
        *warpOut = warp;
    return applyTranslation(frame, warp);
}

cv::Mat greyForAlignment(const cv::Mat& frame) {
    if (frame.channels() == 1)
        return frame;
    cv::Mat grey;
    cv::cvtColor(frame, grey, frame.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
    return grey;
}

cv::Mat estimateTranslation(const cv::Mat& chosenGrey, const cv::Mat& frameGrey, AlignMethod method) {
    return FrameAligner(chosenGrey, method).estimate(frameGrey);
}

cv::Mat applyTranslation(const cv::Mat& frame, const cv::Mat& warp) {
    if (cv::countNonZero(warp != cv::Mat::eye(2, 3, warp.type())) == 0)
        return frame; // nothing to move: resampling would give the frame back
    cv::Mat out;
    cv::warpAffine(frame, out, warp, frame.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return out;
}

cv::Mat alignFrame(const cv::Mat& chosenGrey, const cv::Mat& frame, AlignMethod method, cv::Mat* warpOut) {
    return FrameAligner(chosenGrey, method).align(frame, warpOut);
}

} // namespace lumora
