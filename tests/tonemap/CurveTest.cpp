// The spline, its table and the four-point tone curve.

#include "tonemap/ToneCurve.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumora {
namespace {

TEST(TonemapCurve, FlatSlidersGiveTheIdentityAndWhitesMovePointTwo) {
    ToneCurve flat;
    for (int i = 0; i <= 200; ++i)
        EXPECT_NEAR(flat.evaluate(i / 200.f), i / 200.f, 1.f / Spline::kTableSize + 1e-6f);
    EXPECT_NEAR(flat.evaluate(0.5f), 0.5f, 1e-6f); // below the last sample the table is the line exactly
    for (const auto& [whites, x] : {std::pair{1.f, 0.61f}, std::pair{-1.f, 0.81f}}) {
        ToneCurve c;
        c.setWhites(whites);
        EXPECT_NEAR(c.points()[2].x, x, 1e-6f);
        EXPECT_NEAR(c.evaluate(x), 0.66f, 2e-3f) << "the curve passes through the moved point";
    }
}

TEST(TonemapCurve, ControlPointFormulasBySign) {
    // Highlights < 0 and blacks >= 0: shadows >= 0 rise with ks = 0.225 - (0.075 b - 0.1) h.
    auto p = ToneCurve::controlPoints(0.f, 0.4f, -0.5f, 0.6f);
    EXPECT_NEAR(p[1].y, 0.33f + 0.6f * (0.225f - (0.075f * 0.4f - 0.1f) * -0.5f), 1e-6f);
    EXPECT_NEAR(p[2].y, 0.66f - 0.5f * 0.225f, 1e-6f);
    p = ToneCurve::controlPoints(0.f, -1.f, 0.f, 0.f); // negative blacks: the small coefficient
    EXPECT_NEAR(p[1].x, 0.38f, 1e-6f);
    EXPECT_EQ(p[0].x, 0.f);
    EXPECT_EQ(p[3].y, 1.f);
    p = ToneCurve::controlPoints(0.f, 1.f, -1.f, -1.f); // both negative: kb = 0.15 - 0.135 s h
    EXPECT_NEAR(p[1].x, 0.33f - 0.015f, 1e-6f);
    p = ToneCurve::controlPoints(-1.f, 0.f, 1.f,
                                 1.f); // whites < 0, shadows > 0: kh = 0.275 + (-0.0125 w - 0.05) s
    EXPECT_NEAR(p[2].y, 0.66f + 0.275f + (0.0125f - 0.05f), 1e-6f);

    // Points pushed out of order are sorted again and the spline goes through each.
    ToneCurve curve;
    curve.setClamping(false, false);
    curve.setBlacks(-10.f); // point 1 moves to x = 0.83, past point 2 at 0.66
    curve.evaluate(0.5f);
    const auto& pts = curve.points();
    for (size_t i = 1; i < pts.size(); ++i)
        EXPECT_LT(pts[i - 1].x, pts[i].x);
    for (const CurvePoint& q : pts)
        EXPECT_NEAR(curve.splineValue(q.x), q.y, 1e-5f);
}

TEST(TonemapCurve, EndConditionsReproduceTheirPolynomials) {
    // Natural ends reproduce a line, parabolic run-out a parabola, cubic run-out a cubic at equal steps.
    const std::pair<int, double (*)(double)> cases[] = {
        {Spline::Natural, [](double x) { return 0.3 + 0.5 * x; }},
        {Spline::ParabolicRunout, [](double x) { return x * x - 0.2 * x; }},
        {Spline::CubicRunout, [](double x) { return x * x * x - x * x + 0.1; }},
    };
    for (const auto& [condition, f] : cases) {
        Spline s;
        s.setClamping(false, false);
        s.setEndCondition(condition);
        std::vector<CurvePoint> pts;
        for (double x : {0.0, 0.2, 0.4, 0.6, 0.8, 1.0})
            pts.push_back({float(x), float(f(x))});
        s.setPoints(pts);
        s.evaluate(0.f);
        for (double x = 0.0; x <= 1.0; x += 0.0375)
            EXPECT_NEAR(s.splineValue(float(x)), f(x), 2e-5) << condition << " x = " << x;
    }
    Spline two; // two points make a straight line
    two.setPoints({{0.2f, 0.1f}, {0.6f, 0.9f}});
    EXPECT_NEAR(two.evaluate(0.4f), 0.5f, 1e-5f);
}

TEST(TonemapCurve, TableClampsRisingAndFallingAndTheEndsOrTheHandlerHoldOutside) {
    Spline rising; // rising clamp is the default
    rising.setPoints({{0.f, 0.f}, {0.3f, 0.9f}, {0.6f, 0.2f}, {1.f, 0.7f}});
    rising.evaluate(0.f);
    for (int i = 1; i < Spline::kTableSize; ++i)
        ASSERT_GE(rising.table()[i], rising.table()[i - 1]) << i;
    EXPECT_LE(rising.table()[Spline::kTableSize - 1], 0.7f); // never above the last point
    EXPECT_GT(rising.splineValue(0.3f), 0.7f);               // though the spline itself overshoots
    Spline falling;
    falling.setClamping(false, true);
    falling.setPoints({{0.f, 1.f}, {0.4f, 0.1f}, {0.6f, 0.8f}, {1.f, 0.3f}});
    falling.evaluate(0.f);
    for (int i = 1; i < Spline::kTableSize; ++i)
        ASSERT_LE(falling.table()[i], falling.table()[i - 1]) << i;

    Spline s;
    s.setPoints({{0.2f, 0.3f}, {0.8f, 0.6f}});
    EXPECT_NEAR(s.evaluate(0.f), 0.3f, 1e-6f);
    s.setOutOfRangeHandler([](float x) { return -x; });
    EXPECT_FLOAT_EQ(s.evaluate(5.f), -5.f);
    // Two points at one x give a zero pivot: the previous table stays.
    Spline z;
    const float before = z.evaluate(0.5f);
    z.setPoints({{0.f, 0.f}, {0.5f, 0.9f}, {0.5f, 0.1f}, {1.f, 1.f}});
    EXPECT_FLOAT_EQ(z.evaluate(0.5f), before);
}

TEST(TonemapCurve, AddedPointsAreMergedAtTheNextEvaluation) {
    Spline s;
    s.setClamping(false, false);
    s.addPoint(0.5f, 0.8f);
    EXPECT_EQ(s.points().size(), 4u); // queued until the next evaluation
    EXPECT_NEAR(s.evaluate(0.5f), 0.8f, 2e-3f);
    EXPECT_EQ(s.points().size(), 5u);
}

} // namespace
} // namespace lumora
