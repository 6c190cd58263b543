// The spline, its table and the four-point tone curve.

#include "tonemap/ToneCurve.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumora {
namespace {

constexpr float kTableStep = 1.f / Spline::kTableSize;

TEST(TonemapCurve, FlatSlidersGiveTheIdentity) {
    ToneCurve curve;
    for (int i = 0; i <= 200; ++i) {
        const float x = i / 200.f;
        EXPECT_NEAR(curve.evaluate(x), x, kTableStep + 1e-6f) << "x = " << x;
    }
    // Below the last table sample the table interpolates the straight line exactly.
    EXPECT_NEAR(curve.evaluate(0.5f), 0.5f, 1e-6f);
}

TEST(TonemapCurve, WhitesMovePointTwo) {
    ToneCurve up;
    up.setWhites(1.f);
    EXPECT_NEAR(up.points()[2].x, 0.61f, 1e-6f);
    EXPECT_NEAR(up.points()[2].y, 0.66f, 1e-6f);
    EXPECT_NEAR(up.evaluate(0.61f), 0.66f, 2e-3f); // the curve passes through the moved point

    ToneCurve down;
    down.setWhites(-1.f);
    EXPECT_NEAR(down.points()[2].x, 0.81f, 1e-6f);
    EXPECT_NEAR(down.evaluate(0.81f), 0.66f, 2e-3f);
}

TEST(TonemapCurve, ControlPointFormulasBySign) {
    // Highlights < 0 and blacks >= 0: shadows >= 0 rise with ks = 0.225 - (0.075 b - 0.1) h.
    const float b = 0.4f, h = -0.5f, s = 0.6f;
    auto p = ToneCurve::controlPoints(0.f, b, h, s);
    EXPECT_NEAR(p[1].y, 0.33f + s * (0.225f - (0.075f * b - 0.1f) * h), 1e-6f);
    EXPECT_NEAR(p[1].y, 0.444f, 1e-6f);
    EXPECT_NEAR(p[2].y, 0.66f + h * 0.225f, 1e-6f);
    // Negative blacks use the small coefficient; both points 0 and 3 stay put.
    p = ToneCurve::controlPoints(0.f, -1.f, 0.f, 0.f);
    EXPECT_NEAR(p[1].x, 0.38f, 1e-6f);
    EXPECT_EQ(p[0].x, 0.f);
    EXPECT_EQ(p[3].y, 1.f);
    // Shadows and highlights both negative shrink the blacks coefficient: kb = 0.15 - 0.135 s h.
    p = ToneCurve::controlPoints(0.f, 1.f, -1.f, -1.f);
    EXPECT_NEAR(p[1].x, 0.33f - 0.015f, 1e-6f);
    // Whites below 0 with shadows above: kh = 0.275 + (-0.0125 w - 0.05) s.
    p = ToneCurve::controlPoints(-1.f, 0.f, 1.f, 1.f);
    EXPECT_NEAR(p[2].y, 0.66f + 0.275f + (0.0125f - 0.05f), 1e-6f);
}

TEST(TonemapCurve, PointsPushedOutOfOrderAreSortedAgain) {
    ToneCurve curve;
    curve.setClamping(false, false);
    curve.setBlacks(-10.f); // point 1 moves to x = 0.83, past point 2 at 0.66
    ASSERT_NEAR(curve.points()[1].x, 0.83f, 1e-6f);
    curve.evaluate(0.5f);
    const auto& pts = curve.points();
    for (size_t i = 1; i < pts.size(); ++i)
        EXPECT_LT(pts[i - 1].x, pts[i].x);
    // The solved spline goes through every point in its new order.
    for (const CurvePoint& p : pts)
        EXPECT_NEAR(curve.splineValue(p.x), p.y, 1e-5f);
}

TEST(TonemapCurve, EndConditionsReproduceTheirPolynomials) {
    // Natural ends reproduce a straight line, parabolic run-out a parabola, cubic run-out (whose end rule
    // extends M linearly over equal steps) a cubic sampled at equal steps.
    struct Case {
        int condition;
        double (*f)(double);
    };
    const Case cases[] = {
        {Spline::Natural, [](double x) { return 0.3 + 0.5 * x; }},
        {Spline::ParabolicRunout, [](double x) { return x * x - 0.2 * x; }},
        {Spline::CubicRunout, [](double x) { return x * x * x - x * x + 0.1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition);
        Spline s;
        s.setClamping(false, false);
        s.setEndCondition(c.condition);
        std::vector<CurvePoint> pts;
        for (double x : {0.0, 0.2, 0.4, 0.6, 0.8, 1.0})
            pts.push_back({static_cast<float>(x), static_cast<float>(c.f(x))});
        s.setPoints(pts);
        s.evaluate(0.f);
        for (double x = 0.0; x <= 1.0; x += 0.0375)
            EXPECT_NEAR(s.splineValue(static_cast<float>(x)), c.f(x), 2e-5) << "x = " << x;
    }
}

TEST(TonemapCurve, TwoPointsMakeAStraightLine) {
    Spline s;
    s.setPoints({{0.2f, 0.1f}, {0.6f, 0.9f}});
    EXPECT_NEAR(s.evaluate(0.4f), 0.5f, 1e-5f);
    EXPECT_NEAR(s.splineValue(0.3f), 0.3f, 1e-6f);
}

TEST(TonemapCurve, TableClampsRisingAndFalling) {
    Spline rising; // rising clamp is the default
    rising.setPoints({{0.f, 0.f}, {0.3f, 0.9f}, {0.6f, 0.2f}, {1.f, 0.7f}});
    rising.evaluate(0.f);
    const auto& t = rising.table();
    for (int i = 1; i < Spline::kTableSize; ++i)
        ASSERT_GE(t[i], t[i - 1]) << i;
    for (float v : t)
        ASSERT_LE(v, 0.7f);                    // never above the last point
    EXPECT_GT(rising.splineValue(0.3f), 0.7f); // the spline itself does overshoot

    Spline falling;
    falling.setClamping(false, true);
    falling.setPoints({{0.f, 1.f}, {0.4f, 0.1f}, {0.6f, 0.8f}, {1.f, 0.3f}});
    falling.evaluate(0.f);
    const auto& f = falling.table();
    for (int i = 1; i < Spline::kTableSize; ++i)
        ASSERT_LE(f[i], f[i - 1]) << i;
    for (float v : f)
        ASSERT_GE(v, 0.3f);
}

TEST(TonemapCurve, OutsideTheRangeTakesTheEndsOrTheHandler) {
    Spline s;
    s.setPoints({{0.2f, 0.3f}, {0.8f, 0.6f}});
    EXPECT_NEAR(s.evaluate(0.f), 0.3f, 1e-6f);
    EXPECT_NEAR(s.evaluate(5.f), s.table()[Spline::kTableSize - 1], 1e-7f);
    s.setOutOfRangeHandler([](float x) { return -x; });
    EXPECT_FLOAT_EQ(s.evaluate(5.f), -5.f);
    EXPECT_FLOAT_EQ(s.evaluate(0.1f), -0.1f);
}

TEST(TonemapCurve, ZeroPivotKeepsThePreviousTable) {
    Spline s;
    const float before = s.evaluate(0.5f);
    s.setPoints({{0.f, 0.f}, {0.5f, 0.9f}, {0.5f, 0.1f}, {1.f, 1.f}}); // two points at one x
    EXPECT_FLOAT_EQ(s.evaluate(0.5f), before);
}

TEST(TonemapCurve, AddedPointsAreMergedAndCopiesKeepTheirSliders) {
    Spline s;
    s.setClamping(false, false);
    s.addPoint(0.5f, 0.8f);
    EXPECT_EQ(s.points().size(), 4u); // queued until the next evaluation
    s.evaluate(0.f);
    ASSERT_EQ(s.points().size(), 5u);
    EXPECT_FLOAT_EQ(s.points()[2].x, 0.5f);
    EXPECT_NEAR(s.evaluate(0.5f), 0.8f, 2e-3f);

    ToneCurve a;
    a.setWhites(0.5f);
    a.setShadows(-0.3f);
    const ToneCurve b(a);
    ToneCurve c;
    c = a;
    for (const ToneCurve* copy : {&b, static_cast<const ToneCurve*>(&c)}) {
        EXPECT_FLOAT_EQ(copy->whites(), 0.5f);
        EXPECT_FLOAT_EQ(copy->shadows(), -0.3f);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(copy->points()[i].x, a.points()[i].x);
            EXPECT_FLOAT_EQ(copy->points()[i].y, a.points()[i].y);
        }
    }
    ToneCurve d(c);
    EXPECT_FLOAT_EQ(d.evaluate(0.3f), a.evaluate(0.3f));
}

} // namespace
} // namespace lumora
