// The render pipeline: parameters and their restart stages, staged previews, full-size renders and copies.

#include "TestOperators.h"

#include "tonemap/ColorModifications.h"
#include "tonemap/Laplacian.h"
#include "tonemap/SlidersTM.h"
#include "tonemap/ToneMapEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace lumora {
namespace {

cv::Mat lightImage(int rows, int cols, int seed) {
    cv::Mat m(rows, cols, CV_32FC3);
    cv::RNG rng(static_cast<uint64_t>(seed));
    rng.fill(m, cv::RNG::UNIFORM, 0.0, 1.0);
    return m;
}

// An engine with the cheap test operator in place of the current one.
test::HalfPlusTenth* useTestOperator(ToneMapEngine& e) {
    auto op = std::make_unique<test::HalfPlusTenth>();
    test::HalfPlusTenth* raw = op.get();
    e.installOperator(std::move(op));
    return raw;
}

double maxDiff(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type())
        return std::numeric_limits<double>::infinity();
    return cv::norm(a, b, cv::NORM_INF);
}

class TonemapEngine : public ::testing::Test {
protected:
    void SetUp() override { ToneMapEngine::setPreviewSize(400, 300); } // larger than the test images
};

TEST_F(TonemapEngine, StartsWithTheTablesStartValues) {
    ToneMapEngine e;
    const ToneMapParams& p = e.params();
    EXPECT_EQ(p.rotation, 0.f);
    EXPECT_EQ(p.cropRect, cv::Rect(-1, -1, -1, -1));
    EXPECT_EQ(p.exposure, 0.f);
    EXPECT_EQ(p.contrast, 1.f);
    EXPECT_EQ(p.saturation, 1.f);
    EXPECT_TRUE(p.applyToneMapping);
    EXPECT_EQ(p.strength, 0.5f);
    EXPECT_TRUE(p.applySharpening);
    EXPECT_FLOAT_EQ(p.sharpeningAmount, 0.1f);
    EXPECT_EQ(p.sharpeningRadius, 3);
    EXPECT_EQ(p.operatorIndex, 0);
    EXPECT_NE(dynamic_cast<Laplacian*>(e.toneMapper()), nullptr);
    EXPECT_FLOAT_EQ(p.exposureTerms.toeSlope, 100.f);
    EXPECT_FALSE(e.isDirty());
    EXPECT_FALSE(e.isBusy());
}

TEST_F(TonemapEngine, EachSetterNamesItsRestartStage) {
    struct Case {
        const char* name;
        std::function<void(ToneMapEngine&)> set;
        int stage;
    };
    const Case cases[] = {
        {"rotation", [](ToneMapEngine& e) { e.setRotation(0.1f); }, 0},
        {"crop",
         [](ToneMapEngine& e) {
             e.setCropRect({1, 1, 5, 5});
         },
         1},
        {"applyToneMapping", [](ToneMapEngine& e) { e.setApplyToneMapping(false); }, 2},
        {"operatorIndex", [](ToneMapEngine& e) { e.setOperatorIndex(3); }, 2},
        {"op0 alpha", [](ToneMapEngine& e) { e.setOperatorAlpha(0, 0.5f); }, 2},
        {"op1 alpha", [](ToneMapEngine& e) { e.setOperatorAlpha(1, 0.9f); }, 2},
        {"op2 gamma", [](ToneMapEngine& e) { e.setOperatorGamma(2, 3.f); }, 2},
        {"op4 beta", [](ToneMapEngine& e) { e.setOperatorBeta(4, 1.f); }, 2},
        {"op4 alpha", [](ToneMapEngine& e) { e.setOperatorAlpha(4, 0.5f); }, 0},
        {"strength", [](ToneMapEngine& e) { e.setStrength(0.7f); }, 3},
        {"applySharpening", [](ToneMapEngine& e) { e.setApplySharpening(false); }, 3},
        {"sharpeningAmount", [](ToneMapEngine& e) { e.setSharpeningAmount(0.5f); }, 3},
        {"sharpeningRadius", [](ToneMapEngine& e) { e.setSharpeningRadius(5); }, 3},
        {"sharpeningThreshold", [](ToneMapEngine& e) { e.setSharpeningThreshold(0.2f); }, 3},
        {"exposure", [](ToneMapEngine& e) { e.setExposure(0.5f); }, 4},
        {"contrast", [](ToneMapEngine& e) { e.setContrast(1.2f); }, 4},
        {"hue", [](ToneMapEngine& e) { e.setHue(0.1f); }, 4},
        {"saturation", [](ToneMapEngine& e) { e.setSaturation(1.2f); }, 4},
        {"vibrance", [](ToneMapEngine& e) { e.setVibrance(0.2f); }, 4},
        {"blackClip", [](ToneMapEngine& e) { e.setBlackClip(0.01f); }, 4},
        {"whiteClip", [](ToneMapEngine& e) { e.setWhiteClip(0.01f); }, 4},
        {"whites", [](ToneMapEngine& e) { e.setWhites(0.3f); }, 4},
        {"blacks", [](ToneMapEngine& e) { e.setBlacks(0.3f); }, 4},
        {"highlights", [](ToneMapEngine& e) { e.setHighlights(0.3f); }, 4},
        {"shadows", [](ToneMapEngine& e) { e.setShadows(0.3f); }, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ToneMapEngine e;
        EXPECT_EQ(e.pendingStage(), 5);
        c.set(e);
        EXPECT_TRUE(e.isDirty());
        EXPECT_EQ(e.pendingStage(), c.stage);
        // The same value again changes nothing.
        e.clearDirty();
        c.set(e);
        EXPECT_FALSE(e.isDirty());
    }
}

TEST_F(TonemapEngine, ExposureSetterRecomputesItsTerms) {
    ToneMapEngine e;
    e.setExposure(1.f);
    EXPECT_FLOAT_EQ(e.params().exposureTerms.exposureScale, 2.f);
    EXPECT_FLOAT_EQ(e.params().exposureTerms.exposureHalf, 1.f);
}

TEST_F(TonemapEngine, OperatorIndexReplacesOnlyOnChange) {
    ToneMapEngine e;
    ToneMappingBase* first = e.toneMapper();
    e.setOperatorIndex(0);
    EXPECT_EQ(e.toneMapper(), first); // same index: same object
    EXPECT_FALSE(e.isDirty());
    e.setOperatorIndex(3);
    EXPECT_NE(dynamic_cast<SlidersTM*>(e.toneMapper()), nullptr);
    e.setOperatorIndex(17);
    EXPECT_EQ(e.params().operatorIndex, 4);
    e.setOperatorIndex(-2);
    EXPECT_EQ(e.params().operatorIndex, 0);
    EXPECT_NE(dynamic_cast<Laplacian*>(e.toneMapper()), nullptr);
}

TEST_F(TonemapEngine, SlidersOperatorIsAFixedRecipeThatIgnoresItsParameters) {
    const cv::Mat a = lightImage(12, 14, 11);
    SlidersTM op;
    cv::Mat first, second;
    const float some[3] = {0.f, 0.f, 0.f}, other[3] = {2.f, -1.f, 900.f};
    op.toneMap(first, a, some);
    op.toneMap(second, a, other);
    EXPECT_EQ(cv::norm(first, second, cv::NORM_INF), 0.0);
    // The recipe: exposure -0.15 stops, contrast 1.2333333, vibrance 0.7, curve with blacks 0.25,
    // highlights -0.5 and shadows 0.5.
    const ExposureTerms e = exposureTermsFor(-0.15f);
    EXPECT_FLOAT_EQ(e.exposureHalf, 0.5f);
    EXPECT_FLOAT_EQ(e.toeWidth, 0.0025f);
    EXPECT_FLOAT_EQ(e.exposureScale, std::pow(2.f, -0.15f));
    ToneCurve curve(0.25f, 0.f, -0.5f, 0.5f);
    const cv::Mat expected =
        applyColorModifications(curve, a, colorModSettings(e, 1.2333333f, 0.f, 1.f, 0.7f), 1);
    EXPECT_LT(cv::norm(first, expected, cv::NORM_INF), 1e-6);
    EXPECT_EQ(op.progress(), 100);
}

TEST_F(TonemapEngine, SetAllRoutesTheTripleToTheSelectedOperator) {
    ToneMapEngine e;
    e.setAll(true, 0, 0.4f, -0.3f, 9.f, 0.f, 0.f, 0.5f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, true,
             0.1f, 3, 0.f);
    EXPECT_EQ(e.params().operatorParams[0], (std::array<float, 3>{0.4f, -0.3f, 0.f}));
    e.setAll(true, 1, 0.8f, 2.f, 3.f, 0.f, 0.f, 0.5f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, true, 0.1f,
             3, 0.f);
    EXPECT_EQ(e.params().operatorParams[1], (std::array<float, 3>{0.8f, 0.f, 0.f}));
    e.setAll(true, 3, 0.8f, 2.f, 3.f, 0.f, 0.f, 0.5f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, true, 0.1f,
             3, 0.f);
    EXPECT_EQ(e.params().operatorParams[3], (std::array<float, 3>{0.f, 0.f, 0.f}));
    e.setAll(true, 4, 0.8f, 2.f, 3.f, 0.f, 0.f, 0.5f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, true, 0.1f,
             3, 0.f);
    EXPECT_EQ(e.params().operatorParams[4], (std::array<float, 3>{0.8f, 2.f, 3.f}));
    EXPECT_EQ(e.params().operatorParams[0], (std::array<float, 3>{0.4f, -0.3f, 0.f})); // untouched
}

TEST_F(TonemapEngine, ControlPositionsOfTheStrongPreset) {
    ControlPositions strong;
    strong.TMAlgo = 0, strong.alpha = 50, strong.beta = 50, strong.blackClip = 5, strong.strength = 50;
    strong.exposure = -20, strong.contrast = 50, strong.highlights = -30, strong.shadows = 50;
    strong.whites = -30, strong.blacks = 5, strong.vibrance = 15, strong.applySharpening = true;
    strong.sharpeningAmount = 65, strong.sharpeningRadius = 3, strong.sharpeningThreshold = 0;
    ToneMapEngine e;
    applyControlPositions(e, strong);
    const ToneMapParams& p = e.params();
    EXPECT_NEAR(p.operatorParams[0][0], 0.5f, 1e-6f);
    EXPECT_NEAR(p.operatorParams[0][1], -0.5f, 1e-6f);
    EXPECT_NEAR(p.blackClip, 0.0075f, 1e-7f);
    EXPECT_NEAR(p.strength, 0.75f, 1e-6f);
    EXPECT_NEAR(p.exposure, -0.2f, 1e-6f);
    EXPECT_NEAR(p.contrast, 4.f / 3.f, 1e-5f);
    EXPECT_NEAR(p.toneCurve.highlights(), -0.3f, 1e-6f);
    EXPECT_NEAR(p.toneCurve.shadows(), 0.5f, 1e-6f);
    EXPECT_NEAR(p.toneCurve.whites(), -0.3f, 1e-6f);
    EXPECT_NEAR(p.toneCurve.blacks(), 0.05f, 1e-6f);
    EXPECT_NEAR(p.vibrance, 1.05f, 1e-5f);
    EXPECT_NEAR(p.sharpeningAmount, 0.65f, 1e-6f);
    EXPECT_EQ(p.sharpeningRadius, 7);
    EXPECT_NEAR(p.exposureTerms.exposureScale, std::pow(2.f, -0.2f), 1e-6f);
}

TEST_F(TonemapEngine, PreviewSizeFollowsTheViewAndFastMode) {
    ToneMapEngine::setPreviewSize(120, 90);
    ToneMapEngine e;
    useTestOperator(e);
    e.setImage(lightImage(200, 300, 1));
    e.computePreview(0, true);
    EXPECT_EQ(e.previewImage().size(), cv::Size(80, 60)); // 1.5 times smaller while tone mapping
    e.computePreview(0, false);
    EXPECT_EQ(e.previewImage().size(), cv::Size(120, 90));
    e.setApplyToneMapping(false);
    e.computePreview(0, true);
    EXPECT_EQ(e.previewImage().size(), cv::Size(120, 90)); // nothing slow to spare
    // An image no wider than the view is taken as it is.
    ToneMapEngine small;
    small.setImage(lightImage(50, 60, 2));
    small.setApplyToneMapping(false);
    small.computePreview(0, false);
    EXPECT_EQ(small.previewImage().size(), cv::Size(60, 50));
}

TEST_F(TonemapEngine, NewImageRestartsAtStageZero) {
    const cv::Mat a = lightImage(30, 40, 3), b = lightImage(30, 40, 4);
    ToneMapEngine e;
    useTestOperator(e);
    e.setImage(a);
    e.computePreview(0, false);
    const cv::Mat first = e.previewImage().clone();
    e.setImage(b);
    e.computePreview(4, false); // would reuse the caches of `a` if it really started at 4

    ToneMapEngine fresh;
    useTestOperator(fresh);
    fresh.setImage(b);
    fresh.computePreview(0, false);
    EXPECT_EQ(maxDiff(e.previewImage(), fresh.previewImage()), 0.0);
    EXPECT_GT(maxDiff(first, fresh.previewImage()), 0.1);
}

TEST_F(TonemapEngine, OperatorChangeRestartsAtTheToneMapStage) {
    const cv::Mat a = lightImage(24, 32, 5);
    ToneMapEngine e;
    e.setImage(a);
    e.computePreview(0, false); // local Laplacian
    const cv::Mat laplacian = e.previewImage().clone();
    e.setOperatorIndex(3);
    e.computePreview(3, false); // asked for stage 3, must run the new operator

    ToneMapEngine fresh;
    fresh.setOperatorIndex(3);
    fresh.setImage(a);
    fresh.computePreview(0, false);
    EXPECT_EQ(maxDiff(e.previewImage(), fresh.previewImage()), 0.0);
    EXPECT_GT(maxDiff(laplacian, fresh.previewImage()), 0.01);
}

TEST_F(TonemapEngine, LaterStagesReuseTheCachesBelowThem) {
    const cv::Mat a = lightImage(30, 30, 6);
    ToneMapEngine e;
    test::HalfPlusTenth* op = useTestOperator(e);
    e.setImage(a);
    e.computePreview(0, false);
    ASSERT_EQ(op->calls.load(), 1);
    e.setExposure(0.4f, true); // recomputes from stage 4 in fast mode
    e.setStrength(0.9f);
    e.computePreview(3, true);
    EXPECT_EQ(op->calls.load(), 1) << "colour and blend changes do not run the operator";
    e.setOperatorAlpha(0, 0.3f);
    e.computePreview(e.pendingStage(), true);
    EXPECT_EQ(op->calls.load(), 2);
    EXPECT_FLOAT_EQ(op->lastAlpha, 0.3f);

    // Whatever the restart stage, the preview is the one a fresh engine computes from scratch.
    ToneMapEngine fresh;
    useTestOperator(fresh);
    fresh.setExposure(0.4f);
    fresh.setStrength(0.9f);
    fresh.setImage(a);
    fresh.computePreview(0, true);
    EXPECT_EQ(maxDiff(e.previewImage(), fresh.previewImage()), 0.0);
}

TEST_F(TonemapEngine, InvalidCropMeansNoCropInBothRenders) {
    const cv::Mat a = lightImage(30, 40, 7);
    for (const cv::Rect& crop : {cv::Rect(-1, -1, -1, -1), cv::Rect(0, 0, 0, 20), cv::Rect(-1, 5, 10, 10)}) {
        SCOPED_TRACE(testing::Message() << crop);
        ToneMapEngine e;
        useTestOperator(e);
        e.setImage(a);
        e.setCropRect(crop);
        EXPECT_EQ(e.renderFullSize().size(), a.size());
        e.computePreview(0, false);
        EXPECT_EQ(e.previewImage().size(), a.size());
    }
    ToneMapEngine::setPreviewSize(20, 15); // half of the image in each direction
    ToneMapEngine e;
    useTestOperator(e);
    e.setImage(a);
    e.setCropRect({4, 6, 20, 10});
    EXPECT_EQ(e.renderFullSize().size(), cv::Size(20, 10));
    e.computePreview(0, false);
    EXPECT_EQ(e.previewImage().size(), cv::Size(10, 5));
}

TEST_F(TonemapEngine, StrengthZeroAndOne) {
    const cv::Mat a = lightImage(20, 25, 8);
    // Strength 0: the untouched image, as with tone mapping off.
    ToneMapEngine zero, off;
    useTestOperator(zero);
    zero.setStrength(0.f);
    off.setApplyToneMapping(false);
    zero.setImage(a);
    off.setImage(a);
    EXPECT_EQ(maxDiff(zero.renderFullSize(), off.renderFullSize()), 0.0);
    zero.computePreview(0, false);
    off.computePreview(0, false);
    EXPECT_EQ(maxDiff(zero.previewImage(), off.previewImage()), 0.0);

    // Strength 1: the operator's output, as if it had been the light image.
    ToneMapEngine one, toned;
    useTestOperator(one);
    one.setStrength(1.f);
    one.setImage(a);
    cv::Mat opOut;
    a.convertTo(opOut, CV_32F, 0.5, 0.1);
    toned.setApplyToneMapping(false);
    toned.setImage(opOut);
    EXPECT_EQ(maxDiff(one.renderFullSize(), toned.renderFullSize()), 0.0);
}

TEST_F(TonemapEngine, FullRenderCleansAndClips) {
    cv::Mat a = lightImage(16, 16, 9);
    a.at<cv::Vec3f>(3, 3) = cv::Vec3f(std::numeric_limits<float>::quiet_NaN(), -1.f, 0.5f);
    a.at<cv::Vec3f>(5, 5) = cv::Vec3f(0.001f, 0.001f, 0.001f);
    ToneMapEngine e;
    e.setApplyToneMapping(false);
    e.setBlackClip(0.05f);
    e.setImage(a);
    const cv::Mat out = e.renderFullSize();
    ASSERT_EQ(out.type(), CV_32FC3);
    EXPECT_TRUE(cv::checkRange(out, true, nullptr, 0.0, 1.0 + 1e-6));
    EXPECT_EQ(out.at<cv::Vec3f>(5, 5), cv::Vec3f(0, 0, 0)); // below the black clip
    EXPECT_EQ(e.previewImage().data, out.data);
}

TEST_F(TonemapEngine, RotationThumbnailsAndIntegerInput) {
    ToneMapEngine e;
    useTestOperator(e);
    cv::Mat eight(30, 40, CV_8UC3, cv::Scalar(255, 128, 0));
    e.setImage(eight);
    EXPECT_EQ(e.lightImage().type(), CV_32FC3);
    EXPECT_FLOAT_EQ(e.lightImage().at<cv::Vec3f>(0, 0)[0], 1.f);
    e.setRotation(static_cast<float>(CV_PI / 2));
    EXPECT_EQ(e.renderFullSize().size(), cv::Size(30, 40));
    ToneMapEngine::setThumbnailSize(12, 9);
    EXPECT_EQ(e.renderThumbnail(lightImage(90, 120, 1)).size(), cv::Size(9, 12)); // rotated too
}

TEST_F(TonemapEngine, CopiesShareSettingsButNotTheOperator) {
    ToneMapEngine e;
    e.setOperatorIndex(3);
    e.setWhites(0.4f);
    e.setExposure(-0.5f);
    e.setImage(lightImage(20, 20, 10));
    e.computePreview(0, false);
    const ToneMapEngine copy(e);
    EXPECT_EQ(copy.params().operatorIndex, 3);
    EXPECT_NE(copy.toneMapper(), e.toneMapper());
    EXPECT_NE(dynamic_cast<SlidersTM*>(copy.toneMapper()), nullptr);
    EXPECT_FLOAT_EQ(copy.params().toneCurve.whites(), 0.4f);
    EXPECT_FLOAT_EQ(copy.params().exposureTerms.exposureScale, e.params().exposureTerms.exposureScale);
    EXPECT_FALSE(copy.isBusy());
    EXPECT_EQ(copy.currentStep(), e.currentStep());
    ToneMapEngine again;
    again = copy;
    again.computePreview(4, false);
    EXPECT_EQ(maxDiff(again.previewImage(), e.previewImage()), 0.0);
}

} // namespace
} // namespace lumora
