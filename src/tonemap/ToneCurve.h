#pragma once
// The tone curve: a cubic spline through control points, sampled into a 1024-entry table whenever it changes
// and read by linear interpolation in that table. ToneCurve places four points from the whites, blacks,
// highlights and shadows sliders.

#include <array>
#include <functional>
#include <vector>

namespace lumora {

// A curve that takes control points and is evaluated at any x.
class InterpolationCurve {
public:
    virtual ~InterpolationCurve() = default;
    // Queues a control point; the curve is merged, sorted and recomputed at the next evaluation.
    virtual void addPoint(float x, float y) = 0;
    // Brings the curve up to date if it changed, then returns its value at x.
    virtual float evaluate(float x) = 0;

protected:
    InterpolationCurve() = default;
    InterpolationCurve(const InterpolationCurve&) = default;
    InterpolationCurve& operator=(const InterpolationCurve&) = default;
};

struct CurvePoint {
    float x = 0;
    float y = 0;
};

// Cubic spline with a choice of end conditions and a lookup table. evaluate() may rebuild the table, so
// threads that share a spline call evaluate() once beforehand and then only lookup(), which never writes.
class Spline : public InterpolationCurve {
public:
    enum EndCondition { Natural = 1, ParabolicRunout = 2, CubicRunout = 3 };
    static constexpr int kTableSize = 1024;

    // The diagonal points (0, 0), (0.33, 0.33), (0.66, 0.66), (1, 1), natural ends, rising clamp on.
    Spline();

    void addPoint(float x, float y) override;
    float evaluate(float x) override;
    // Table value at x without updating anything (the state left by the last evaluate()).
    float lookup(float x) const {
        if (x >= tableX0_ && x <= tableX0_ + tableRange_) {
            const float p = (x - tableX0_) * tableScale_;
            int i0 = static_cast<int>(p);
            i0 = i0 < 0 ? 0 : (i0 > kTableSize - 1 ? kTableSize - 1 : i0);
            const int i1 = i0 + 1 > kTableSize - 1 ? kTableSize - 1 : i0 + 1;
            const float f = p - static_cast<float>(static_cast<int>(p)); // p >= 0: truncation is floor
            return table_[static_cast<size_t>(i0)] * (1.f - f) + table_[static_cast<size_t>(i1)] * f;
        }
        return lookupOutside(x);
    }

    // Replaces all control points (they are sorted at the next evaluation).
    void setPoints(const std::vector<CurvePoint>& points);
    // The control points as stored: in x order once the curve has been evaluated.
    const std::vector<CurvePoint>& points() const { return points_; }

    void setEndCondition(int condition);
    int endCondition() const { return endCondition_; }
    // Rising: the table never decreases and never exceeds the last point's y. Falling: the mirror image.
    void setClamping(bool rising, bool falling);
    // Called for x outside the table's range instead of returning the first or last table value.
    void setOutOfRangeHandler(std::function<float(float)> handler);

    // True when the table reflects the current points.
    bool isUpToDate() const { return flags_ == 0 && !tableStale_; }
    // The spline polynomial itself at x (after an update), for checks against the table.
    float splineValue(float x) const;
    const std::array<float, kTableSize>& table() const { return table_; }

protected:
    void markChanged();

private:
    enum Flag : unsigned { MergeQueued = 1u, SortPoints = 2u, RecomputeCoefficients = 4u };
    struct Segment {
        float a = 0, b = 0, c = 0, d = 0;
    };

    float lookupOutside(float x) const;
    void update();
    bool computeCoefficients();
    void buildTable();

    std::vector<CurvePoint> points_;
    int endCondition_ = Natural;
    std::vector<Segment> segments_;
    unsigned flags_ = 0;
    std::vector<CurvePoint> queued_;
    bool tableStale_ = true;
    std::array<float, kTableSize> table_{};
    float tableX0_ = 0.f;
    float tableRange_ = 1.f;
    float tableScale_ = static_cast<float>(kTableSize);
    std::function<float(float)> outOfRange_;
    bool clampRising_ = true;
    bool clampFalling_ = false;
};

// The four-point curve of the tone sliders: point 0 (0, 0) and point 3 (1, 1) stay; points 1 and 2 move with
// blacks/shadows and whites/highlights.
class ToneCurve : public Spline {
public:
    explicit ToneCurve(float blacks = 0.f, float whites = 0.f, float highlights = 0.f, float shadows = 0.f);
    ToneCurve(const ToneCurve& other);
    ToneCurve& operator=(const ToneCurve& other);

    void setWhites(float v);
    void setBlacks(float v);
    void setHighlights(float v);
    void setShadows(float v);
    float whites() const { return whites_; }
    float blacks() const { return blacks_; }
    float highlights() const { return highlights_; }
    float shadows() const { return shadows_; }

    // The four control points, in index order, for the given slider values.
    static std::array<CurvePoint, 4> controlPoints(float whites, float blacks, float highlights,
                                                   float shadows);

private:
    void placePoints();

    float whites_ = 0.f;
    float blacks_ = 0.f;
    float highlights_ = 0.f;
    float shadows_ = 0.f;
};

} // namespace lumora
