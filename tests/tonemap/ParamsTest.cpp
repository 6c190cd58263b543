// Control positions to values, the derived exposure terms and the operator triples.

#include "tonemap/ToneMapParams.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumora {
namespace {

constexpr float kPi = 3.1415927f;

TEST(TonemapParams, SliderConversionsAtBothEndsAndCentre) {
    struct Case {
        const char* name;
        float (*convert)(int);
        float atMinus100, at0, at100;
    };
    const Case cases[] = {
        {"rotation", position::rotation, 100.f * kPi / 180.f, 0.f, -100.f * kPi / 180.f},
        {"exposure", position::exposure, -1.f, 0.f, 1.f},
        {"contrast", position::contrast, 1.f / 3.f, 1.f, 5.f / 3.f},
        {"hue", position::hue, -0.5f, 0.f, 0.5f},
        {"saturation", position::saturation, 0.f, 1.f, 5.f},
        {"vibrance", position::vibrance, -0.5f, 0.f, 7.f},
        {"blackClip", position::blackClip, -0.15f, 0.f, 0.15f},
        {"whiteClip", position::whiteClip, -0.15f, 0.f, 0.15f},
        {"strength", position::strength, 0.f, 0.5f, 1.f},
        {"curve", position::curveValue, -1.f, 0.f, 1.f},
        {"sharpeningAmount", position::sharpeningAmount, -1.f, 0.f, 1.f},
        {"sharpeningThreshold", position::sharpeningThreshold, -1.f, 0.f, 1.f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.convert(-100), c.atMinus100, 1e-5f);
        EXPECT_NEAR(c.convert(0), c.at0, 1e-6f);
        EXPECT_NEAR(c.convert(100), c.at100, 1e-5f);
    }
    EXPECT_EQ(position::sharpeningRadius(-100), -199);
    EXPECT_EQ(position::sharpeningRadius(100), 201);
}

TEST(TonemapParams, CentreSliderGivesNeutralValues) {
    EXPECT_FLOAT_EQ(position::contrast(0), 1.0f);
    EXPECT_FLOAT_EQ(position::saturation(0), 1.0f);
    EXPECT_FLOAT_EQ(position::strength(0), 0.5f);
    EXPECT_EQ(position::sharpeningRadius(0), 1);
    // Saturation and vibrance change their slope at 0: just below and just above.
    EXPECT_NEAR(position::saturation(-1), 0.99f, 1e-6f);
    EXPECT_NEAR(position::saturation(1), 1.04f, 1e-6f);
    EXPECT_NEAR(position::vibrance(-1), -0.005f, 1e-7f);
    EXPECT_NEAR(position::vibrance(1), 0.07f, 1e-7f);
    EXPECT_EQ(position::sharpeningRadius(3), 7);
}

TEST(TonemapParams, OperatorSlidersWriteTheirOperatorsTriple) {
    struct Case {
        OperatorControl control;
        int op, element;
        float atMinus100, at0, at100;
    };
    const Case cases[] = {
        {OperatorControl::LaplacianDetail, 0, 0, 2.f, 1.f, 0.f},
        {OperatorControl::LaplacianEdges, 0, 1, 1.f, 0.f, -1.f},
        {OperatorControl::LogBias, 1, 0, 0.5f, 0.75f, 1.f},
        {OperatorControl::LayerResponse, 4, 0, 0.f, 0.5f, 1.f},
        {OperatorControl::LayerLightness, 4, 1, 0.f, 1.f, 2.f},
        {OperatorControl::LayerMaxLuminance, 4, 2, 25.f, 2525.f, 5025.f},
        {OperatorControl::ContrastFloor, 2, 0, 0.f, 5.f, 10.f},
        {OperatorControl::ContrastSlope, 2, 1, 0.f, 10.f, 20.f},
        {OperatorControl::ContrastMidpoint, 2, 2, 0.f, 5.f, 10.f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.control));
        const int positions[3] = {-100, 0, 100};
        const float expected[3] = {c.atMinus100, c.at0, c.at100};
        for (int k = 0; k < 3; ++k) {
            const OperatorParamTarget t = operatorParamFromControl(c.control, positions[k]);
            EXPECT_EQ(t.operatorIndex, c.op);
            EXPECT_EQ(t.element, c.element);
            EXPECT_NEAR(t.value, expected[k], 1e-3f * std::max(1.f, std::fabs(expected[k])));
        }
    }
}

TEST(TonemapParams, TriplesFromPositionsFollowTheOperatorsSliders) {
    auto t = operatorTripleFromPositions(0, 50, 50, 77); // "Strong": alpha 0.5, beta -0.5, gamma unused
    EXPECT_NEAR(t[0], 0.5f, 1e-6f);
    EXPECT_NEAR(t[1], -0.5f, 1e-6f);
    EXPECT_EQ(t[2], 0.f);
    t = operatorTripleFromPositions(1, 75, 10, 10); // "Soft": only alpha
    EXPECT_NEAR(t[0], 0.9375f, 1e-6f);
    EXPECT_EQ(t[1], 0.f);
    EXPECT_EQ(t[2], 0.f);
    t = operatorTripleFromPositions(2, 0, 0, 0);
    EXPECT_NEAR(t[0], 5.f, 1e-5f);
    EXPECT_NEAR(t[1], 10.f, 1e-5f);
    EXPECT_NEAR(t[2], 5.f, 1e-5f);
    t = operatorTripleFromPositions(3, 40, 40, 40);
    EXPECT_EQ(t, (std::array<float, 3>{0.f, 0.f, 0.f}));
    // Operator index 9 (a damaged preset) is operator 4.
    t = operatorTripleFromPositions(9, -100, -100, -100);
    EXPECT_NEAR(t[0], 0.f, 1e-6f);
    EXPECT_NEAR(t[1], 0.f, 1e-6f);
    EXPECT_NEAR(t[2], 25.f, 1e-4f);
}

TEST(TonemapParams, OperatorIndexAndCropRules) {
    EXPECT_EQ(clampOperatorIndex(4), 4);
    EXPECT_EQ(clampOperatorIndex(5), 4);
    EXPECT_EQ(clampOperatorIndex(1000), 4);
    EXPECT_EQ(clampOperatorIndex(-3), 0);
    EXPECT_EQ(operatorParamCount(0), 2);
    EXPECT_EQ(operatorParamCount(1), 1);
    EXPECT_EQ(operatorParamCount(3), 0);
    EXPECT_EQ(operatorParamCount(4), 3);

    EXPECT_FALSE(isValidCrop({-1, -1, -1, -1}));
    EXPECT_FALSE(isValidCrop({-1, 0, 10, 10}));
    EXPECT_FALSE(isValidCrop({0, 0, 0, 10}));
    EXPECT_FALSE(isValidCrop({0, 0, 10, 0}));
    EXPECT_TRUE(isValidCrop({0, 0, 1, 1}));
}

TEST(TonemapParams, ExposureTermsFollowTheExposure) {
    const ExposureTerms n = exposureTermsFor(0.f);
    EXPECT_FLOAT_EQ(n.exposureGain, 1.f);
    EXPECT_FLOAT_EQ(n.exposureHalf, 0.5f);
    EXPECT_FLOAT_EQ(n.exposureHalfInverse, 2.f);
    EXPECT_FLOAT_EQ(n.exposureInverse, 1.f);
    EXPECT_FLOAT_EQ(n.blackLevel, 0.f);
    EXPECT_FLOAT_EQ(n.exposureScale, 1.f);
    EXPECT_FLOAT_EQ(n.toeWidth, 0.0025f);
    EXPECT_FLOAT_EQ(n.toeSlope, 100.f);

    const ExposureTerms up = exposureTermsFor(1.f); // E = 2
    EXPECT_FLOAT_EQ(up.exposureGain, 2.f);
    EXPECT_FLOAT_EQ(up.exposureHalf, 1.f);
    EXPECT_FLOAT_EQ(up.exposureInverse, 0.5f);
    EXPECT_FLOAT_EQ(up.exposureScale, 2.f);
    EXPECT_FLOAT_EQ(up.toeSlope, 200.f);

    const ExposureTerms down = exposureTermsFor(-1.f); // E = 0.5: the gain never drops below 1
    EXPECT_FLOAT_EQ(down.exposureGain, 1.f);
    EXPECT_FLOAT_EQ(down.exposureHalf, 0.5f);
    EXPECT_FLOAT_EQ(down.exposureScale, 0.5f);
    EXPECT_FLOAT_EQ(down.toeSlope, 50.f);

    const ExposureTerms bright = exposureTermsFor(5.f); // the toe narrows to 0.0625 / 32
    EXPECT_FLOAT_EQ(bright.toeWidth, 0.0625f / 32.f);
    EXPECT_FLOAT_EQ(bright.toeSlope, 32.f / (4.f * 0.0625f / 32.f));
}

TEST(TonemapParams, PositionsAreBoundedBySliders) {
    ControlPositions p;
    p.TMAlgo = 12;
    p.alpha = 150;
    p.exposure = -300;
    p.blackClip = -5;
    p.sharpeningRadius = 99;
    p.sharpeningAmount = 101;
    const ControlPositions b = p.bounded();
    EXPECT_EQ(b.TMAlgo, 4);
    EXPECT_EQ(b.alpha, 100);
    EXPECT_EQ(b.exposure, -100);
    EXPECT_EQ(b.blackClip, 0);
    EXPECT_EQ(b.sharpeningRadius, 20);
    EXPECT_EQ(b.sharpeningAmount, 100);
}

} // namespace
} // namespace lumora
