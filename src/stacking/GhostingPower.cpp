#include "stacking/GhostingPower.h"

#include "app/OrderStatistics.h"
#include "stacking/BlockMatch.h"
#include "stacking/FrameAlignment.h"
#include "stacking/MotionModule.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <vector>

namespace lumora {

namespace {

constexpr int kHalfTemplate = 8;
constexpr int kPatchHalf = 2 * kHalfTemplate; // confirming patches are 33 x 33
constexpr int kPatchSide = 2 * kPatchHalf + 1;
constexpr int kGridCells = 10;
constexpr int kCornersPerCell = 300 / (kGridCells * kGridCells);
constexpr int kMaxConfirmations = 30;
constexpr double kMaxConfirmingSsd = 37000000.0;
constexpr float kMinSquaredMotion = 0.01f;

// Round half to even, as the feature positions are placed.
int roundEven(float v) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const int r = static_cast<int>(std::nearbyint(v));
    std::fesetround(saved);
    return r;
}

// Standard deviation of the mixed second derivative of a grey patch: how much texture it has.
double patchTexture(const cv::Mat& patch) {
    cv::Mat d;
    cv::Sobel(greyForAlignment(patch), d, CV_32F, 1, 1, 3);
    cv::Scalar mean, stddev;
    cv::meanStdDev(d, mean, stddev);
    return stddev[0];
}

} // namespace

double GhostingPowerEstimator::textureThreshold(int depth) {
    const double range = depth == CV_8U ? 255.0 : depth == CV_16U ? 65535.0 : 1.0;
    return 0.0225 * range;
}

int GhostingPowerEstimator::radiusFromMedian(float medianSquared, int fullWidth, int smallWidth) {
    int d = static_cast<int>(std::sqrt(static_cast<double>(static_cast<int>(medianSquared))));
    if (smallWidth > 0)
        d = static_cast<int>(static_cast<long long>(d) * fullWidth / smallWidth);
    return d > 3 * kHalfTemplate ? d + 10 : d + 18;
}

int GhostingPowerEstimator::largestRadius(cv::Size full, cv::Size small) {
    const int reach = std::max(small.width, small.height) / 6;
    return radiusFromMedian(static_cast<float>(reach * reach), full.width, small.width);
}

bool GhostingPowerEstimator::findFeatures(const cv::Mat& chosenSmall, const cv::Mat& smallMask) {
    const cv::Mat grey = greyForAlignment(chosenSmall);
    const int rows = grey.rows, cols = grey.cols;
    std::vector<cv::Point2f> keyPoints;
    for (int cy = 0; cy < kGridCells; ++cy) {
        for (int cx = 0; cx < kGridCells; ++cx) {
            const cv::Rect cell(cx * cols / kGridCells, cy * rows / kGridCells,
                                (cx + 1) * cols / kGridCells - cx * cols / kGridCells,
                                (cy + 1) * rows / kGridCells - cy * rows / kGridCells);
            if (cell.width <= 0 || cell.height <= 0 || cv::countNonZero(smallMask(cell)) == 0)
                continue;
            std::vector<cv::Point2f> corners;
            cv::goodFeaturesToTrack(grey(cell), corners, 1000, 0.01, 2, smallMask(cell), 33, false, 0.04);
            // The detector returns the strongest first; a cell keeps at most three.
            for (size_t i = 0; i < corners.size() && i < static_cast<size_t>(kCornersPerCell); ++i)
                keyPoints.emplace_back(corners[i].x + cell.x, corners[i].y + cell.y);
        }
    }
    if (keyPoints.empty() || keyPoints.size() > static_cast<size_t>(rows) * cols)
        return false;
    featureMap_ = cv::Mat::zeros(rows, cols, CV_8UC1);
    for (const cv::Point2f& p : keyPoints) {
        const int y = std::clamp(roundEven(p.y), 0, rows - 1);
        const int x = std::clamp(roundEven(p.x), 0, cols - 1);
        featureMap_.at<uchar>(y, x) = 255;
    }
    return true;
}

int GhostingPowerEstimator::estimate(const cv::Mat& chosen, const cv::Mat& chosenSmall,
                                     const cv::Mat& alignedRef, const cv::Mat& ghostMask,
                                     const RunControl* run) {
    auto cancelled = [run] { return run && run->shouldEnd(); };
    const cv::Size smallSize = chosenSmall.size();
    cv::Mat smallMask, alignedSmall;
    cv::resize(ghostMask, smallMask, smallSize, 0, 0, cv::INTER_LINEAR);
    cv::resize(alignedRef, alignedSmall, smallSize, 0, 0, cv::INTER_LINEAR);

    if (featureMap_.empty() || featureMap_.size() != smallSize) {
        featureMap_.release();
        if (!findFeatures(chosenSmall, smallMask))
            return 2 * kHalfTemplate + 1;
    }

    if (cancelled())
        return -1;
    cv::Mat flow;
    motion::calcOpticalFlowFarneback(greyForAlignment(chosenSmall), greyForAlignment(alignedSmall), flow,
                                     0.75, 4, 5, 1, 5, 1.1, 0);
    cv::GaussianBlur(flow, flow, cv::Size(33, 33), 2.0);

    // Squared motion at the corners that sit on texture; flat patches cannot confirm anything.
    const int rows = smallSize.height, cols = smallSize.width;
    const double threshold = textureThreshold(chosen.depth());
    const double sx = static_cast<double>(chosen.cols) / cols;
    const double sy = static_cast<double>(chosen.rows) / rows;
    cv::Mat motion = cv::Mat::zeros(smallSize, CV_32F);
    for (int y = kPatchHalf + 1; y < rows - kPatchHalf; ++y) {
        const uchar* f = featureMap_.ptr<uchar>(y);
        for (int x = kPatchHalf + 1; x < cols - kPatchHalf; ++x) {
            if (!f[x])
                continue;
            const cv::Vec2f v = flow.at<cv::Vec2f>(y, x);
            const float m2 = v[0] * v[0] + v[1] * v[1];
            if (m2 < kMinSquaredMotion)
                continue;
            // The patch is read from the full-resolution frame around the same scene point.
            const int px = std::clamp(static_cast<int>(x * sx) - kPatchHalf, 0, chosen.cols - kPatchSide);
            const int py = std::clamp(static_cast<int>(y * sy) - kPatchHalf, 0, chosen.rows - kPatchSide);
            if (px < 0 || py < 0)
                continue;
            if (patchTexture(chosen(cv::Rect(px, py, kPatchSide, kPatchSide))) >= threshold)
                motion.at<float>(y, x) = m2;
        }
    }

    // Confirm the strongest motions by block matching; keep the displacements that really fit.
    const int radius = std::max(rows, cols) / 6;
    // The exhaustive match of each position, started where the flow points (the same answer, sooner).
    cv::Mat alignedSums;
    cv::integral(alignedSmall, alignedSums, CV_32S);
    std::vector<float> accepted;
    while (static_cast<int>(accepted.size()) < kMaxConfirmations) {
        if (cancelled())
            return -1;
        double maxValue = 0.0;
        cv::Point at;
        cv::minMaxLoc(motion, nullptr, &maxValue, nullptr, &at);
        if (maxValue < kMinSquaredMotion)
            break;
        motion.at<float>(at) = 0.0f;
        const cv::Vec2f v = flow.at<cv::Vec2f>(at);
        const MatchQuery q =
            matchQueryAt(chosenSmall.size(), alignedSmall.size(), at.y, at.x, kPatchHalf, radius);
        const BlockMatch m = matchQuerySeeded(chosenSmall, alignedSmall, alignedSums, q, kPatchSide,
                                              cv::Point(cvRound(v[0]), cvRound(v[1])));
        if (m.found() && (m.dx != 0 || m.dy != 0) && static_cast<double>(m.ssd) <= kMaxConfirmingSsd)
            accepted.push_back(static_cast<float>(m.dx * m.dx + m.dy * m.dy));
    }
    const float median = accepted.empty() ? 0.0f : kthSmallest(accepted, accepted.size() / 2);
    return radiusFromMedian(median, chosen.cols, cols);
}

} // namespace lumora
