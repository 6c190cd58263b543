// Single controls: only the table's sliders are set one at a time, and a recompute shows the change.

#include "tonemap/ControlMapping.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

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
