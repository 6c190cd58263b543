#include "stacking/FastBlockSearch.h"

#include "app/OrderStatistics.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace lumora {

namespace {

constexpr int kHalf = 8; // full-resolution templates: 17 x 17, as the exhaustive search
constexpr int kSide = 2 * kHalf + 1;
constexpr int kCoarseHalf = 4; // 9 x 9 on the smaller scales: 18 to 72 pixels of the frame
constexpr int kCoarseSide = 2 * kCoarseHalf + 1;
// A sixteenth of the size at most, and never below kCoarsestSide: smaller copies lose the things the search
// follows.
constexpr int kMaxLevels = 4;
constexpr int kCoarseReach = 8; // the coarsest scale's window reaches this far at most (before the cap)
constexpr int kRefine = 2;      // at each finer scale: +-2 pixels around twice the coarser answer
constexpr int kCoarsestSide = 64;

// The noise gate works at half size: a template there covers the full-resolution template, the noise is
// halved, and the fine texture that a sub-pixel alignment blurs differently in each frame is gone, so what
// is left of a difference is things that moved. The typical difference of a still template is measured on
// the frame itself: the lower quartile of the zero-displacement sums of templates all over the frame (robust
// while at least a quarter of the frame is still). A template is left in place when its own sum is within
// kStaticFactor times that, which noise alone exceeds with a negligible chance, plus kStillStructureShare of
// the template's own variation: what is left of an edge's alignment error grows with the edge, a moved
// object differs by about its whole variation. The level is kept between quantisation (kNoiseFloor, code
// values squared per sample) and kNoiseCeiling: a frame that differs more than that almost everywhere has
// changed, and is searched.
constexpr int kGateLevel = 1;
constexpr double kStaticFactor = 3.0;
constexpr double kStillQuantile = 0.25;
constexpr double kNoiseFloor = 0.25;
constexpr double kNoiseCeiling = 16.0;
constexpr double kStillStructureShare = 0.05;
constexpr int kGateStride = 4;
// No match: even the best position's sum (at the gate's scale) is over kUnmatchedFactor times the noise
// level and over kStructureShare of the template's own variation, which a still but finely textured
// template never reaches.
constexpr double kUnmatchedFactor = 3.0;
constexpr double kStructureShare = 0.25;

struct Window {
    int dxMin, dxMax, dyMin, dyMax;
    bool empty() const { return dxMax < dxMin || dyMax < dyMin; }
    Window clipped(const Window& o) const {
        return {std::max(dxMin, o.dxMin), std::min(dxMax, o.dxMax), std::max(dyMin, o.dyMin),
                std::min(dyMax, o.dyMax)};
    }
};

int floorDiv(int a, int f) {
    return a >= 0 ? a / f : -((-a + f - 1) / f);
}

int ceilDiv(int a, int f) {
    return -floorDiv(-a, f);
}

// The query seen at scale `level` (0 = full resolution): its template, centred where the full-resolution
// template is centred, kept inside the image, and the displacements of the full-resolution window scaled
// down and kept inside the image.
MatchQuery atLevel(const MatchQuery& q, int level, cv::Size image) {
    if (level == 0)
        return q;
    const int f = 1 << level;
    MatchQuery s;
    const int cx = (q.x0 + kHalf + f / 2) >> level;
    const int cy = (q.y0 + kHalf + f / 2) >> level;
    s.x0 = std::clamp(cx - kCoarseHalf, 0, std::max(0, image.width - kCoarseSide));
    s.y0 = std::clamp(cy - kCoarseHalf, 0, std::max(0, image.height - kCoarseSide));
    s.dxMin = std::max(ceilDiv(q.dxMin, f), -s.x0);
    s.dxMax = std::min(floorDiv(q.dxMax, f), image.width - kCoarseSide - s.x0);
    s.dyMin = std::max(ceilDiv(q.dyMin, f), -s.y0);
    s.dyMax = std::min(floorDiv(q.dyMax, f), image.height - kCoarseSide - s.y0);
    if (image.width < kCoarseSide || image.height < kCoarseSide)
        s.dxMax = s.dxMin - 1; // nothing to compare at this scale
    return s;
}

MatchQuery withWindow(MatchQuery q, const Window& w) {
    q.dxMin = w.dxMin;
    q.dxMax = w.dxMax;
    q.dyMin = w.dyMin;
    q.dyMax = w.dyMax;
    return q;
}

Window windowOf(const MatchQuery& q) {
    return {q.dxMin, q.dxMax, q.dyMin, q.dyMax};
}

bool allowsZero(const MatchQuery& q) {
    return q.dxMin <= 0 && q.dxMax >= 0 && q.dyMin <= 0 && q.dyMax >= 0;
}

// Halves until kMaxLevels smaller copies exist or the next one would be smaller than kCoarsestSide: on a
// smaller copy a template covers too much of the picture to follow one thing.
// The smaller copies reuse the buffers of the previous frame's.
void buildPyramid(const cv::Mat& image, std::vector<cv::Mat>& levels) {
    size_t n = 1;
    for (cv::Size s = image.size();
         n <= static_cast<size_t>(kMaxLevels) && std::min(s.width, s.height) / 2 >= kCoarsestSide;
         s = cv::Size((s.width + 1) / 2, (s.height + 1) / 2)) // the size pyrDown makes
        ++n;
    levels.resize(n);
    levels[0] = image;
    for (size_t i = 1; i < n; ++i)
        cv::pyrDown(levels[i - 1], levels[i]);
}

// Scales above full resolution the search starts from for a window reaching `reach` pixels.
int coarseLevels(int reach) {
    int levels = 0;
    while (levels < kMaxLevels && (reach >> levels) > kCoarseReach)
        ++levels;
    return levels;
}

// Sum over the side x side box at (x, y) of channel c of an integral image.
double boxSum(const cv::Mat& integral, int x, int y, int side, int c = 0) {
    const int cn = integral.channels();
    const double* top = integral.ptr<double>(y);
    const double* bottom = integral.ptr<double>(y + side);
    return bottom[(x + side) * cn + c] - top[(x + side) * cn + c] - bottom[x * cn + c] + top[x * cn + c];
}

} // namespace

int FastBlockSearch::gateSide() const {
    return gateLevel_ == 0 ? kSide : kCoarseSide;
}

void FastBlockSearch::setChosen(const cv::Mat& chosenPacked, int channels) {
    channels_ = channels;
    buildPyramid(chosenPacked, chosen_);
    gateLevel_ = std::min<int>(kGateLevel, static_cast<int>(chosen_.size()) - 1);
    cv::integral(chosen_[static_cast<size_t>(gateLevel_)], chosenSum_, chosenSquares_, CV_64F, CV_64F);
}

void FastBlockSearch::setFrame(const cv::Mat& alignedPacked, bool gate) {
    buildPyramid(alignedPacked, aligned_);
    staticLimit_ = -1.0;
    unmatchedLimit_ = -1.0;
    difference_.release();
    if (!gate || chosen_.empty() || chosen_[0].size() != alignedPacked.size() ||
        aligned_.size() <= static_cast<size_t>(gateLevel_))
        return;
    const cv::Mat& a = chosen_[static_cast<size_t>(gateLevel_)];
    const cv::Mat& b = aligned_[static_cast<size_t>(gateLevel_)];
    const int cn = a.channels();
    cv::Mat squared(a.size(), CV_32F);
    for (int y = 0; y < a.rows; ++y) {
        const uchar* pa = a.ptr<uchar>(y);
        const uchar* pb = b.ptr<uchar>(y);
        float* out = squared.ptr<float>(y);
        for (int x = 0; x < a.cols; ++x) {
            int e = 0;
            for (int c = 0; c < cn; ++c) {
                const int d = static_cast<int>(pa[x * cn + c]) - static_cast<int>(pb[x * cn + c]);
                e += d * d;
            }
            out[x] = static_cast<float>(e); // at most 4 * 255^2: exact in a float
        }
    }
    cv::integral(squared, difference_, CV_64F);

    const int side = gateSide();
    std::vector<double> sums;
    for (int y = 0; y + side <= a.rows; y += kGateStride)
        for (int x = 0; x + side <= a.cols; x += kGateStride)
            sums.push_back(boxSum(difference_, x, y, side));
    if (sums.empty())
        return;
    const size_t k = static_cast<size_t>(kStillQuantile * static_cast<double>(sums.size() - 1));
    const double samples = static_cast<double>(side * side * channels_);
    const double level = std::clamp(kthSmallest(sums, k) / samples, kNoiseFloor, kNoiseCeiling);
    staticLimit_ = kStaticFactor * level * samples;
    unmatchedLimit_ = kUnmatchedFactor * level * samples;
}

bool FastBlockSearch::isStill(const MatchQuery& q) const {
    if (staticLimit_ < 0.0 || !allowsZero(q))
        return false;
    const MatchQuery g = atLevel(q, gateLevel_, chosen_[static_cast<size_t>(gateLevel_)].size());
    const double difference = boxSum(difference_, g.x0, g.y0, gateSide());
    return difference <= staticLimit_ ||
           difference <= staticLimit_ + kStillStructureShare * structure(g.x0, g.y0);
}

double FastBlockSearch::structure(int x, int y) const {
    double energy = 0.0;
    const double n = static_cast<double>(gateSide() * gateSide());
    for (int c = 0; c < chosenSum_.channels(); ++c) {
        const double sum = boxSum(chosenSum_, x, y, gateSide(), c);
        energy += boxSum(chosenSquares_, x, y, gateSide(), c) - sum * sum / n;
    }
    return energy;
}

bool FastBlockSearch::unmatched(const BlockMatch& m, const MatchQuery& q) const {
    if (unmatchedLimit_ < 0.0 || !m.found())
        return false;
    // The match measured at the gate's scale, at the displacement nearest to it there.
    const int f = 1 << gateLevel_;
    const cv::Mat& ref = chosen_[static_cast<size_t>(gateLevel_)];
    const MatchQuery g = atLevel(q, gateLevel_, ref.size());
    if (!g.valid())
        return false;
    const int dx = std::clamp(static_cast<int>(std::lround(static_cast<double>(m.dx) / f)), g.dxMin, g.dxMax);
    const int dy = std::clamp(static_cast<int>(std::lround(static_cast<double>(m.dy) / f)), g.dyMin, g.dyMax);
    const BlockMatch at = matchQuery(ref, aligned_[static_cast<size_t>(gateLevel_)],
                                     withWindow(g, {dx, dx, dy, dy}), gateSide());
    const double ssd = static_cast<double>(at.ssd);
    return ssd > unmatchedLimit_ && ssd > kStructureShare * structure(g.x0, g.y0);
}

bool FastBlockSearch::match(const std::vector<MatchQuery>& queries, std::vector<BlockMatch>& results,
                            const RunControl* run) const {
    results.assign(queries.size(), BlockMatch{});
    if (chosen_.empty() || aligned_.empty() || chosen_[0].size() != aligned_[0].size() ||
        chosen_[0].type() != aligned_[0].type())
        return true;
    const int available = static_cast<int>(std::min(chosen_.size(), aligned_.size())) - 1;
    const TieRule tie = TieRule::NearestToZero;

    // Gate, and the coarsest scale each remaining query starts from.
    std::vector<int> searched;
    std::vector<int> start(queries.size(), 0);
    for (size_t i = 0; i < queries.size(); ++i) {
        const MatchQuery& q = queries[i];
        if (!q.valid())
            continue;
        if (isStill(q)) {
            results[i] = BlockMatch{0, 0, 0}; // no sum measured: the gate's measure is at half size
            continue;
        }
        const int reach = std::max({-q.dxMin, q.dxMax, -q.dyMin, q.dyMax, 0});
        start[i] = std::min(coarseLevels(reach), available);
        searched.push_back(static_cast<int>(i));
    }

    // Coarsest scale, whole window: queries sharing a template and window there are searched once, all
    // together by the shared matcher.
    std::vector<cv::Point> guess(queries.size(), cv::Point(0, 0));
    for (int level = 1; level <= available; ++level) {
        const cv::Size size = chosen_[static_cast<size_t>(level)].size();
        std::map<std::tuple<int, int, int, int, int, int>, int> unique;
        std::vector<MatchQuery> coarse;
        std::vector<int> slot(queries.size(), -1);
        for (int i : searched) {
            if (start[static_cast<size_t>(i)] != level)
                continue;
            const MatchQuery s = atLevel(queries[static_cast<size_t>(i)], level, size);
            if (!s.valid())
                continue;
            const auto key = std::make_tuple(s.x0, s.y0, s.dxMin, s.dxMax, s.dyMin, s.dyMax);
            auto it = unique.find(key);
            if (it == unique.end()) {
                it = unique.emplace(key, static_cast<int>(coarse.size())).first;
                coarse.push_back(s);
            }
            slot[static_cast<size_t>(i)] = it->second;
        }
        if (coarse.empty())
            continue;
        std::vector<BlockMatch> found;
        if (!matchQueries(chosen_[static_cast<size_t>(level)], aligned_[static_cast<size_t>(level)],
                          kCoarseSide, coarse, found, run, tie))
            return false;
        for (int i : searched)
            if (slot[static_cast<size_t>(i)] >= 0) {
                const BlockMatch& m = found[static_cast<size_t>(slot[static_cast<size_t>(i)])];
                if (m.found())
                    guess[static_cast<size_t>(i)] = cv::Point(m.dx, m.dy);
            }
    }

    // Finer scales: a few pixels around twice the coarser answer; at full resolution the zero displacement
    // competes too.
    for (size_t n = 0; n < searched.size(); ++n) {
        if (run && (n & 63) == 0 && run->shouldEnd())
            return false;
        const size_t i = static_cast<size_t>(searched[n]);
        const MatchQuery& q = queries[i];
        cv::Point d = guess[i];
        BlockMatch best;
        for (int level = start[i] - 1; level >= 0; --level) {
            const cv::Mat& ref = chosen_[static_cast<size_t>(level)];
            const MatchQuery s = atLevel(q, level, ref.size());
            const Window around{2 * d.x - kRefine, 2 * d.x + kRefine, 2 * d.y - kRefine, 2 * d.y + kRefine};
            Window w = around.clipped(windowOf(s));
            if (w.empty()) // the coarser answer fell outside this scale's window: start from its nearest edge
                w = Window{std::clamp(2 * d.x, s.dxMin, s.dxMax), std::clamp(2 * d.x, s.dxMin, s.dxMax),
                           std::clamp(2 * d.y, s.dyMin, s.dyMax), std::clamp(2 * d.y, s.dyMin, s.dyMax)};
            const int side = level == 0 ? kSide : kCoarseSide;
            best = matchQuery(ref, aligned_[static_cast<size_t>(level)], withWindow(s, w), side, tie);
            if (best.found())
                d = cv::Point(best.dx, best.dy);
        }
        if (start[i] == 0) // a window small enough to be searched whole at full resolution
            best = matchQuery(chosen_[0], aligned_[0], q, kSide, tie);
        if (allowsZero(q) && (best.dx != 0 || best.dy != 0)) {
            const BlockMatch zero = matchQuery(chosen_[0], aligned_[0], withWindow(q, {0, 0, 0, 0}), kSide);
            if (!best.found() || zero.ssd <= best.ssd)
                best = zero;
        }
        best.keepChosen = unmatched(best, q);
        results[i] = best;
    }
    return true;
}

} // namespace lumora
