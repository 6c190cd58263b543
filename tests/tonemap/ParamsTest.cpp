// Control positions to values: the slider ends and centre, the operator sliders that write another operator's
// triple, and the rules that keep damaged presets inside the controls' ranges.

#include "tonemap/ToneMapParams.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumora {
namespace {

constexpr float kPi = 3.1415927f;

TEST(TonemapParams, SliderEndsCentreAndTheKinkAtZero) {
    struct Case {
        const char* name;
        float (*convert)(int);
        float atMinus100, atMinus1, at0, at1, at100;
    };
    const float nan = std::nanf("");
    const Case cases[] = {
        {"rotation", position::rotation, 100.f * kPi / 180.f, nan, 0.f, nan, -100.f * kPi / 180.f},
        {"contrast", position::contrast, 1.f / 3.f, nan, 1.f, nan, 5.f / 3.f},
        {"saturation", position::saturation, 0.f, 0.99f, 1.f, 1.04f, 5.f},
        {"vibrance", position::vibrance, -0.5f, -0.005f, 0.f, 0.07f, 7.f},
        {"strength", position::strength, 0.f, nan, 0.5f, nan, 1.f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int at[5] = {-100, -1, 0, 1, 100};
        const float want[5] = {c.atMinus100, c.atMinus1, c.at0, c.at1, c.at100};
        for (int k = 0; k < 5; ++k) {
            if (std::isnan(want[k]))
                continue;
            EXPECT_NEAR(c.convert(at[k]), want[k], 1e-5f) << "position " << at[k];
        }
    }
    EXPECT_EQ(position::sharpeningRadius(-100), -199);
    EXPECT_EQ(position::sharpeningRadius(0), 1);
    EXPECT_EQ(position::sharpeningRadius(3), 7);
}

TEST(TonemapParams, OperatorSlidersWriteTheirOperatorsTriple) {
    struct Case {
        int op, element;
        float atMinus100, at0, at100;
    };
    // The window's third and fourth slider groups belong to operators 4 and 2.
    const Case cases[] = {
        {0, 0, 2.f, 1.f, 0.f},  {0, 1, 1.f, 0.f, -1.f},  {1, 0, 0.5f, 0.75f, 1.f},
        {4, 0, 0.f, 0.5f, 1.f}, {4, 1, 0.f, 1.f, 2.f},   {4, 2, 25.f, 2525.f, 5025.f},
        {2, 0, 0.f, 5.f, 10.f}, {2, 1, 0.f, 10.f, 20.f}, {2, 2, 0.f, 5.f, 10.f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op * 10 + c.element);
        const int positions[3] = {-100, 0, 100};
        const float expected[3] = {c.atMinus100, c.at0, c.at100};
        for (int k = 0; k < 3; ++k) {
            int p[3] = {0, 0, 0};
            p[c.element] = positions[k];
            EXPECT_NEAR(operatorTripleFromPositions(c.op, p[0], p[1], p[2])[size_t(c.element)], expected[k],
                        1e-3f * std::max(1.f, std::fabs(expected[k])));
        }
    }
    // Unused elements stay 0: operator 1 has one slider, the fixed recipe (3) none.
    EXPECT_EQ(operatorTripleFromPositions(1, 75, 10, 10)[1], 0.f);
    EXPECT_EQ(operatorTripleFromPositions(3, 40, 40, 40), (std::array<float, 3>{0.f, 0.f, 0.f}));
}

TEST(TonemapParams, DamagedValuesAreBroughtBackIntoRange) {
    // Operator index and crop: through the engine in EngineTest.
    EXPECT_EQ(operatorTripleFromPositions(9, -100, -100, -100),
              operatorTripleFromPositions(4, -100, -100, -100));

    ControlPositions p;
    p.TMAlgo = 12;
    p.alpha = 150;
    p.exposure = -300;
    p.blackClip = -5;
    p.sharpeningRadius = 99;
    p.sharpeningThreshold = 101;
    const ControlPositions b = p.bounded();
    EXPECT_EQ(b.TMAlgo, 4);
    EXPECT_EQ(b.alpha, 100);
    EXPECT_EQ(b.exposure, -100);
    EXPECT_EQ(b.blackClip, 0);
    EXPECT_EQ(b.sharpeningRadius, 20);
    EXPECT_EQ(b.sharpeningThreshold, 100);
}

} // namespace
} // namespace lumora
