#include "tonemap/ToneCurve.h"

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

// How far each slider moves its control point, by the slider's sign.
constexpr float kWhitesUp = 0.05f, kWhitesDown = 0.15f;
constexpr float kBlacksDown = 0.05f, kBlacksUp = 0.15f;
constexpr float kHighlightsUp = 0.275f, kHighlightsDown = 0.225f;
constexpr float kShadowsUp = 0.225f, kShadowsDown = 0.275f;

} // namespace

// ---------------------------------------------------------------------------------------------------- Spline

Spline::Spline()
    : points_{{0.f, 0.f}, {0.33f, 0.33f}, {0.66f, 0.66f}, {1.f, 1.f}},
      flags_(SortPoints | RecomputeCoefficients) {}

void Spline::addPoint(float x, float y) {
    queued_.push_back({x, y});
    flags_ |= MergeQueued | SortPoints | RecomputeCoefficients;
    tableStale_ = true;
}

void Spline::setPoints(const std::vector<CurvePoint>& points) {
    points_ = points;
    markChanged();
}

void Spline::markChanged() {
    flags_ |= SortPoints | RecomputeCoefficients;
    tableStale_ = true;
}

void Spline::setEndCondition(int condition) {
    if (condition < Natural || condition > CubicRunout || condition == endCondition_)
        return;
    endCondition_ = condition;
    markChanged();
}

void Spline::setClamping(bool rising, bool falling) {
    clampRising_ = rising;
    clampFalling_ = falling;
    tableStale_ = true;
}

void Spline::setOutOfRangeHandler(std::function<float(float)> handler) {
    outOfRange_ = std::move(handler);
}

float Spline::evaluate(float x) {
    if (!isUpToDate())
        update();
    return lookup(x);
}

float Spline::lookupOutside(float x) const {
    if (outOfRange_)
        return outOfRange_(x);
    return x > tableX0_ + tableRange_ ? table_[kTableSize - 1] : table_[0];
}

void Spline::update() {
    if (flags_ & MergeQueued) {
        points_.insert(points_.end(), queued_.begin(), queued_.end());
        queued_.clear();
    }
    if (flags_ & SortPoints) {
        std::stable_sort(points_.begin(), points_.end(),
                         [](const CurvePoint& a, const CurvePoint& b) { return a.x < b.x; });
    }
    const bool needCoefficients = (flags_ & RecomputeCoefficients) != 0;
    flags_ = 0;
    if (points_.size() < 2)
        return; // nothing can be built; the table stays as it was
    if (needCoefficients && !computeCoefficients()) {
        // Degenerate points: keep the previous table rather than fill it with infinities.
        segments_.clear();
        tableStale_ = false;
        return;
    }
    if (segments_.size() + 1 != points_.size())
        return;
    buildTable();
    tableStale_ = false;
}

bool Spline::computeCoefficients() {
    const size_t n = points_.size();
    std::vector<double> h(n - 1);
    for (size_t k = 0; k + 1 < n; ++k) {
        h[k] = double(points_[k + 1].x) - double(points_[k].x);
        if (!(h[k] > 0.0))
            return false; // two points at one x make a zero pivot
    }
    std::vector<Segment> segments(n - 1);
    if (n == 2) {
        const double slope = (double(points_[1].y) - points_[0].y) / h[0];
        segments[0] = {0.f, 0.f, static_cast<float>(slope), points_[0].y};
        segments_ = std::move(segments);
        return true;
    }

    // Tridiagonal system for the second derivatives M(1)..M(n-2); the end conditions tie M(0) and M(n-1) to
    // their neighbours and are folded into the first and last rows.
    const size_t m = n - 2;
    std::vector<double> lower(m), diag(m), upper(m), rhs(m);
    for (size_t r = 0; r < m; ++r) {
        const size_t k = r + 1;
        lower[r] = h[k - 1];
        diag[r] = 2.0 * (h[k - 1] + h[k]);
        upper[r] = h[k];
        rhs[r] = 6.0 * ((double(points_[k + 1].y) - points_[k].y) / h[k] -
                        (double(points_[k].y) - points_[k - 1].y) / h[k - 1]);
    }
    int condition = endCondition_;
    if (condition == CubicRunout && n < 4)
        condition = ParabolicRunout; // a cubic run-out needs two interior points
    if (condition == ParabolicRunout) {
        diag[0] += h[0];
        diag[m - 1] += h[n - 2];
    } else if (condition == CubicRunout) {
        diag[0] += 2.0 * h[0];
        upper[0] -= h[0];
        diag[m - 1] += 2.0 * h[n - 2];
        lower[m - 1] -= h[n - 2];
    }
    // Forward elimination, back substitution.
    for (size_t r = 1; r < m; ++r) {
        if (diag[r - 1] == 0.0)
            return false;
        const double f = lower[r] / diag[r - 1];
        diag[r] -= f * upper[r - 1];
        rhs[r] -= f * rhs[r - 1];
    }
    if (diag[m - 1] == 0.0)
        return false;
    std::vector<double> M(n, 0.0);
    M[m] = rhs[m - 1] / diag[m - 1];
    for (size_t r = m - 1; r-- > 0;)
        M[r + 1] = (rhs[r] - upper[r] * M[r + 2]) / diag[r];
    if (condition == ParabolicRunout) {
        M[0] = M[1];
        M[n - 1] = M[n - 2];
    } else if (condition == CubicRunout) {
        M[0] = 2.0 * M[1] - M[2];
        M[n - 1] = 2.0 * M[n - 2] - M[n - 3];
    }
    for (size_t k = 0; k + 1 < n; ++k) {
        const double dy = double(points_[k + 1].y) - points_[k].y;
        segments[k].a = static_cast<float>((M[k + 1] - M[k]) / (6.0 * h[k]));
        segments[k].b = static_cast<float>(M[k] / 2.0);
        segments[k].c = static_cast<float>(dy / h[k] - (2.0 * M[k] + M[k + 1]) * h[k] / 6.0);
        segments[k].d = points_[k].y;
    }
    segments_ = std::move(segments);
    return true;
}

float Spline::splineValue(float x) const {
    if (segments_.empty() || segments_.size() + 1 != points_.size())
        return 0.f;
    size_t k = 0;
    while (k + 2 < points_.size() && x >= points_[k + 1].x)
        ++k;
    const Segment& s = segments_[k];
    const float t = x - points_[k].x;
    return ((s.a * t + s.b) * t + s.c) * t + s.d;
}

void Spline::buildTable() {
    const float x0 = points_.front().x;
    const float xl = points_.back().x;
    const float lastY = points_.back().y;
    const float step = (xl - x0) / kTableSize;
    size_t k = 0;
    for (int i = 0; i < kTableSize; ++i) {
        const float x = x0 + static_cast<float>(i) * step;
        while (k + 2 < points_.size() && x >= points_[k + 1].x)
            ++k;
        const Segment& s = segments_[k];
        const float t = x - points_[k].x;
        float v = ((s.a * t + s.b) * t + s.c) * t + s.d;
        if (clampRising_) {
            if (i > 0)
                v = std::max(v, table_[static_cast<size_t>(i - 1)]);
            v = std::min(v, lastY);
        }
        if (clampFalling_) {
            if (i > 0)
                v = std::min(v, table_[static_cast<size_t>(i - 1)]);
            v = std::max(v, lastY);
        }
        table_[static_cast<size_t>(i)] = v;
    }
    tableX0_ = x0;
    tableRange_ = xl - x0;
    tableScale_ = static_cast<float>(kTableSize) / tableRange_;
}

// ------------------------------------------------------------------------------------------------ ToneCurve

ToneCurve::ToneCurve(float blacks, float whites, float highlights, float shadows)
    : whites_(whites), blacks_(blacks), highlights_(highlights), shadows_(shadows) {
    placePoints();
}

ToneCurve::ToneCurve(const ToneCurve& other) : Spline(other) {
    whites_ = other.whites_;
    blacks_ = other.blacks_;
    highlights_ = other.highlights_;
    shadows_ = other.shadows_;
    placePoints();
}

ToneCurve& ToneCurve::operator=(const ToneCurve& other) {
    if (this != &other) {
        Spline::operator=(other);
        whites_ = other.whites_;
        blacks_ = other.blacks_;
        highlights_ = other.highlights_;
        shadows_ = other.shadows_;
        placePoints();
    }
    return *this;
}

void ToneCurve::setWhites(float v) {
    whites_ = v;
    placePoints();
}

void ToneCurve::setBlacks(float v) {
    blacks_ = v;
    placePoints();
}

void ToneCurve::setHighlights(float v) {
    highlights_ = v;
    placePoints();
}

void ToneCurve::setShadows(float v) {
    shadows_ = v;
    placePoints();
}

std::array<CurvePoint, 4> ToneCurve::controlPoints(float w, float b, float h, float s) {
    std::array<CurvePoint, 4> p{{{0.f, 0.f}, {0.33f, 0.33f}, {0.66f, 0.66f}, {1.f, 1.f}}};

    p[2].x = 0.66f - w * (w >= 0.f ? kWhitesUp : kWhitesDown);

    float kh = kHighlightsDown;
    if (h >= 0.f) {
        if (s >= 0.f && w >= 0.f)
            kh = kHighlightsUp + (0.05f * w - 0.05f) * s;
        else if (s >= 0.f)
            kh = kHighlightsUp + (-0.0125f * w - 0.05f) * s;
        else
            kh = kHighlightsUp;
    }
    p[2].y = 0.66f + h * kh;

    float kb = kBlacksDown;
    if (b >= 0.f)
        kb = (h < 0.f && s < 0.f) ? kBlacksUp - 0.135f * s * h : kBlacksUp;
    p[1].x = 0.33f - b * kb;

    float ks;
    if (s >= 0.f) {
        if (h < 0.f && b >= 0.f)
            ks = kShadowsUp - (0.075f * b - 0.1f) * h;
        else if (h < 0.f)
            ks = kShadowsUp - (-0.085f * b - 0.1f) * h;
        else
            ks = kShadowsUp;
    } else {
        ks = (h < 0.f && b >= 0.f) ? kShadowsDown + 0.025f * b * h : kShadowsDown;
    }
    p[1].y = 0.33f + s * ks;
    return p;
}

void ToneCurve::placePoints() {
    const auto p = controlPoints(whites_, blacks_, highlights_, shadows_);
    setPoints({p.begin(), p.end()});
}

} // namespace lumora
