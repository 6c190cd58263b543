// Single controls applied one by one end where the whole set applied at once ends: the window (one change at
// a time) and lumora-cli (the whole set) render from the same values.

#include "tonemap/ControlMapping.h"

#include <gtest/gtest.h>

#include <random>

namespace lumora {
namespace {

// The slider fields of a set of positions, each with its slider's range.
struct Slider {
    ControlField field;
    int lo, hi;
};
const Slider kSliders[] = {
    {&ControlPositions::strength, -100, 100},         {&ControlPositions::exposure, -100, 100},
    {&ControlPositions::contrast, -100, 100},         {&ControlPositions::highlights, -100, 100},
    {&ControlPositions::shadows, -100, 100},          {&ControlPositions::whites, -100, 100},
    {&ControlPositions::blacks, -100, 100},           {&ControlPositions::hue, -100, 100},
    {&ControlPositions::saturation, -100, 100},       {&ControlPositions::vibrance, -100, 100},
    {&ControlPositions::blackClip, 0, 100},           {&ControlPositions::whiteClip, 0, 100},
    {&ControlPositions::sharpeningAmount, 0, 100},    {&ControlPositions::sharpeningRadius, 0, 20},
    {&ControlPositions::sharpeningThreshold, 0, 100},
};

void expectSameValues(const ToneMapParams& a, const ToneMapParams& b) {
    EXPECT_EQ(a.operatorIndex, b.operatorIndex);
    EXPECT_EQ(a.operatorParams[size_t(a.operatorIndex)], b.operatorParams[size_t(b.operatorIndex)]);
    EXPECT_EQ(a.applyToneMapping, b.applyToneMapping);
    EXPECT_EQ(a.applySharpening, b.applySharpening);
    for (auto field :
         {&ToneMapParams::exposure, &ToneMapParams::contrast, &ToneMapParams::hue, &ToneMapParams::saturation,
          &ToneMapParams::vibrance, &ToneMapParams::blackClip, &ToneMapParams::whiteClip,
          &ToneMapParams::strength, &ToneMapParams::sharpeningAmount, &ToneMapParams::sharpeningThreshold})
        EXPECT_EQ(a.*field, b.*field);
    EXPECT_EQ(a.sharpeningRadius, b.sharpeningRadius);
    EXPECT_EQ(a.toneCurve.whites(), b.toneCurve.whites());
    EXPECT_EQ(a.toneCurve.blacks(), b.toneCurve.blacks());
    EXPECT_EQ(a.toneCurve.highlights(), b.toneCurve.highlights());
    EXPECT_EQ(a.toneCurve.shadows(), b.toneCurve.shadows());
}

TEST(ControlMapping, OneControlAtATimeEndsWhereTheWholeSetDoes) {
    std::mt19937 random(14);
    for (int round = 0; round < 20; ++round) {
        ControlPositions p;
        for (const Slider& s : kSliders)
            p.*(s.field) = std::uniform_int_distribution<int>(s.lo, s.hi)(random);
        p.TMAlgo = round % kOperatorCount;
        p.alpha = std::uniform_int_distribution<int>(-100, 100)(random);
        p.beta = std::uniform_int_distribution<int>(-100, 100)(random);
        p.gamma = std::uniform_int_distribution<int>(-100, 100)(random);
        p.applyTM = round % 3 != 0;
        p.applySharpening = round % 2 == 0;
        SCOPED_TRACE(round);

        ToneMapEngine whole;
        applyControlPositions(whole, p);
        ToneMapEngine single;
        single.setOperatorIndex(p.TMAlgo);
        single.setApplyToneMapping(p.applyTM);
        single.setApplySharpening(p.applySharpening);
        applyOperatorPositions(single, p.TMAlgo, {p.alpha, p.beta, p.gamma}, false);
        for (const Slider& s : kSliders)
            EXPECT_TRUE(applyControlPosition(single, s.field, p.*(s.field), false));
        expectSameValues(whole.params(), single.params());
    }
}

TEST(ControlMapping, OperatorSlidersAreNotSingleControls) {
    ToneMapEngine engine;
    const ToneMapParams before = engine.params();
    for (ControlField f : {&ControlPositions::alpha, &ControlPositions::beta, &ControlPositions::gamma,
                           &ControlPositions::TMAlgo})
        EXPECT_FALSE(applyControlPosition(engine, f, 40, false));
    expectSameValues(before, engine.params());
    EXPECT_FALSE(engine.isDirty());
}

TEST(ControlMapping, RecomputeRefreshesThePreview) {
    ToneMapEngine engine;
    applyControlPositions(engine, ControlPositions{});
    engine.setApplyToneMapping(false);
    engine.setImage(cv::Mat(20, 30, CV_32FC3, cv::Scalar::all(0.25)));
    ToneMapEngine::setPreviewSize(30, 20);
    engine.computePreview(ToneMapEngine::StageRotation, false);
    const double before = cv::mean(engine.previewImage())[0];
    ASSERT_TRUE(applyControlPosition(engine, &ControlPositions::exposure, 100, true));
    // One stop brighter: about twice as bright, whatever the curve does near the middle.
    EXPECT_GT(cv::mean(engine.previewImage())[0], before * 1.5);
}

} // namespace
} // namespace lumora
