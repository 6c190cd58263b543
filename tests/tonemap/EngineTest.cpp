// The render pipeline: every change shows in the next preview whatever stage it restarts from, cached stages
// are reused, full-size renders, crop and strength rules, and copies of an engine.

#include "TestOperators.h"

#include "tonemap/Laplacian.h"
#include "tonemap/SlidersTM.h"
#include "tonemap/ToneMapEngine.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <functional>
#include <limits>

namespace lumora {
namespace {

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

TEST_F(TonemapEngine, EveryChangeShowsInTheNextPreviewAsInAFreshRender) {
    using Set = std::function<void(ToneMapEngine&)>;
    const std::pair<const char*, Set> changes[] = {
        {"rotation", [](ToneMapEngine& e) { e.setRotation(0.1f); }},
        {"crop",
         [](ToneMapEngine& e) {
             e.setCropRect({1, 1, 5, 5});
         }},
        {"applyToneMapping", [](ToneMapEngine& e) { e.setApplyToneMapping(false); }},
        {"operatorIndex", [](ToneMapEngine& e) { e.setOperatorIndex(3); }},
        {"op0 alpha", [](ToneMapEngine& e) { e.setOperatorAlpha(0, 0.5f); }},
        {"op2 gamma", [](ToneMapEngine& e) { e.setOperatorGamma(2, 3.f); }},
        {"op4 alpha", [](ToneMapEngine& e) { e.setOperatorAlpha(4, 0.5f); }},
        {"strength", [](ToneMapEngine& e) { e.setStrength(0.7f); }},
        {"applySharpening", [](ToneMapEngine& e) { e.setApplySharpening(false); }},
        {"sharpeningAmount", [](ToneMapEngine& e) { e.setSharpeningAmount(0.5f); }},
        {"sharpeningRadius", [](ToneMapEngine& e) { e.setSharpeningRadius(5); }},
        {"exposure", [](ToneMapEngine& e) { e.setExposure(0.5f); }},
        {"contrast", [](ToneMapEngine& e) { e.setContrast(1.2f); }},
        {"hue", [](ToneMapEngine& e) { e.setHue(0.1f); }},
        {"saturation", [](ToneMapEngine& e) { e.setSaturation(1.2f); }},
        {"vibrance", [](ToneMapEngine& e) { e.setVibrance(0.2f); }},
        {"blackClip", [](ToneMapEngine& e) { e.setBlackClip(0.2f); }},
        {"whiteClip", [](ToneMapEngine& e) { e.setWhiteClip(0.4f); }},
        {"whites", [](ToneMapEngine& e) { e.setWhites(0.3f); }},
        {"blacks", [](ToneMapEngine& e) { e.setBlacks(0.3f); }},
        {"highlights", [](ToneMapEngine& e) { e.setHighlights(0.3f); }},
        {"shadows", [](ToneMapEngine& e) { e.setShadows(0.3f); }},
    };
    const cv::Mat a = test::randomImage(24, 30, 1);
    for (const auto& [name, set] : changes) {
        SCOPED_TRACE(name);
        ToneMapEngine e;
        useTestOperator(e);
        e.setImage(a);
        e.computePreview(0, false);
        EXPECT_EQ(e.pendingStage(), ToneMapEngine::StageOutput);
        const cv::Mat before = e.previewImage().clone();
        set(e);
        EXPECT_TRUE(e.isDirty());
        EXPECT_LT(e.pendingStage(), ToneMapEngine::StageOutput);
        e.computePreview(e.pendingStage(), false);

        ToneMapEngine fresh;
        set(fresh);
        if (std::string(name) != "operatorIndex")
            useTestOperator(fresh);
        fresh.setImage(a);
        fresh.computePreview(0, false);
        EXPECT_EQ(maxDiff(e.previewImage(), fresh.previewImage()), 0.0);
        if (std::string(name).rfind("op", 0) != 0) { // the test operator reads no parameter
            EXPECT_GT(maxDiff(e.previewImage(), before), 0.0) << "the change is visible";
        }
        // The same value again changes nothing.
        e.clearDirty();
        set(e);
        EXPECT_FALSE(e.isDirty());
    }
}

TEST_F(TonemapEngine, LaterStagesReuseTheCachesBelowThem) {
    const cv::Mat a = test::randomImage(30, 30, 6);
    ToneMapEngine e;
    test::HalfPlusTenth* op = useTestOperator(e);
    e.setImage(a);
    e.computePreview(0, false);
    ASSERT_EQ(op->calls.load(), 1);
    e.setExposure(0.4f, true); // recomputes from the colour stage in fast mode
    e.setStrength(0.9f);
    e.computePreview(e.pendingStage(), true);
    EXPECT_EQ(op->calls.load(), 1) << "colour and blend changes do not run the operator";
    e.setOperatorAlpha(0, 0.3f);
    e.computePreview(e.pendingStage(), true);
    EXPECT_EQ(op->calls.load(), 2);
    EXPECT_FLOAT_EQ(op->lastAlpha, 0.3f);

    // A new image restarts at the first stage whatever stage is asked for.
    const cv::Mat b = test::randomImage(30, 30, 4);
    e.setImage(b);
    e.computePreview(ToneMapEngine::StageColour, true);
    ToneMapEngine fresh;
    useTestOperator(fresh);
    fresh.setExposure(0.4f);
    fresh.setStrength(0.9f);
    fresh.setOperatorAlpha(0, 0.3f);
    fresh.setImage(b);
    fresh.computePreview(0, true);
    EXPECT_EQ(maxDiff(e.previewImage(), fresh.previewImage()), 0.0);
}

TEST_F(TonemapEngine, OperatorIndexReplacesTheOperatorOnlyOnChange) {
    ToneMapEngine e;
    EXPECT_NE(dynamic_cast<Laplacian*>(e.toneMapper()), nullptr);
    ToneMappingBase* first = e.toneMapper();
    e.setOperatorIndex(0);
    EXPECT_EQ(e.toneMapper(), first);
    EXPECT_FALSE(e.isDirty());
    e.setOperatorIndex(3);
    EXPECT_NE(dynamic_cast<SlidersTM*>(e.toneMapper()), nullptr);
    e.setOperatorIndex(17);
    EXPECT_EQ(e.params().operatorIndex, 4);
    e.setOperatorIndex(-2);
    EXPECT_EQ(e.params().operatorIndex, 0);
    // A preset's triple goes to the operator it selects, and only as far as that operator reads it.
    ControlPositions p;
    p.TMAlgo = 1;
    p.alpha = 20, p.beta = 100, p.gamma = -100;
    e.setAll(p);
    p.TMAlgo = 4;
    p.alpha = 40;
    e.setAll(p);
    EXPECT_EQ(e.params().operatorParams[1], (std::array<float, 3>{0.8f, 0.f, 0.f}));
    EXPECT_EQ(e.params().operatorParams[4], (std::array<float, 3>{0.7f, 2.f, 25.f}));
}

TEST_F(TonemapEngine, PreviewSizeFollowsTheViewAndFastMode) {
    ToneMapEngine::setPreviewSize(120, 90);
    ToneMapEngine e;
    useTestOperator(e);
    e.setImage(test::randomImage(200, 300, 1));
    e.computePreview(0, true);
    EXPECT_EQ(e.previewImage().size(), cv::Size(80, 60)); // 1.5 times smaller while tone mapping
    e.computePreview(0, false);
    EXPECT_EQ(e.previewImage().size(), cv::Size(120, 90));
    e.setApplyToneMapping(false);
    e.computePreview(0, true);
    EXPECT_EQ(e.previewImage().size(), cv::Size(120, 90)); // nothing slow to spare
    ToneMapEngine small; // an image no wider than the view is taken as it is
    small.setImage(test::randomImage(50, 60, 2));
    small.setApplyToneMapping(false);
    small.computePreview(0, false);
    EXPECT_EQ(small.previewImage().size(), cv::Size(60, 50));
}

// The preview is the export seen small: the full-size render shrunk by area averaging to the preview's size.
// Fine texture must average out rather than alias, and sharpening must act at the width the export gets.
TEST_F(TonemapEngine, PreviewIsTheExportShrunk) {
    // Without sharpening every step commutes with the averaging: equal up to float rounding. A blur shrunk
    // with the picture matches the shrunk blur only closely (5 levels of 255 on average for this texture).
    constexpr double kExact = 1e-6, kSharpened = 0.02;
    // Blocks of 16 x 16 pixels (detail the preview keeps) under pixel noise (detail it averages away).
    cv::Mat blocks, light;
    cv::resize(test::randomImage(25, 38, 12), blocks, cv::Size(608, 400), 0, 0, cv::INTER_NEAREST);
    light = blocks.colRange(0, 600) * 0.5 + test::randomImage(400, 600, 11) * 0.3;
    ToneMapEngine::setPreviewSize(150, 100); // four times smaller
    for (const bool sharpen : {false, true}) {
        ToneMapEngine e;
        useTestOperator(e);
        e.setImage(light);
        e.setApplySharpening(sharpen);
        e.setSharpeningAmount(1.f);
        e.setSharpeningRadius(9);
        e.computePreview(0, false);
        const cv::Mat preview = e.previewImage().clone(); // the full render replaces it
        cv::Mat shrunk, diff;
        cv::resize(e.renderFullSize().take(), shrunk, preview.size(), 0, 0, cv::INTER_AREA);
        cv::absdiff(shrunk, preview, diff);
        EXPECT_LE(cv::mean(diff.reshape(1))[0], sharpen ? kSharpened : kExact) << "sharpening " << sharpen;
    }
}

TEST_F(TonemapEngine, InvalidCropMeansNoCropInBothRenders) {
    const cv::Mat a = test::randomImage(30, 40, 7);
    ToneMapEngine::setPreviewSize(20, 15); // half of the image in each direction
    for (const auto& [crop, full] : {std::pair{cv::Rect(-1, -1, -1, -1), cv::Size(40, 30)},
                                     std::pair{cv::Rect(0, 0, 0, 20), cv::Size(40, 30)},
                                     std::pair{cv::Rect(-1, 5, 10, 10), cv::Size(40, 30)},
                                     std::pair{cv::Rect(2, 2, 10, 0), cv::Size(40, 30)},
                                     std::pair{cv::Rect(4, 6, 20, 10), cv::Size(20, 10)}}) {
        ToneMapEngine e;
        useTestOperator(e);
        e.setImage(a);
        e.setCropRect(crop);
        EXPECT_EQ(e.renderFullSize().take().size(), full) << crop;
        e.computePreview(0, false);
        EXPECT_EQ(e.previewImage().size(), full / 2) << crop;
    }
}

TEST_F(TonemapEngine, StrengthZeroIsTheImageAndOneIsTheOperatorsOutput) {
    const cv::Mat a = test::randomImage(20, 25, 8);
    ToneMapEngine zero, off;
    useTestOperator(zero);
    zero.setStrength(0.f);
    off.setApplyToneMapping(false);
    zero.setImage(a);
    off.setImage(a);
    EXPECT_EQ(maxDiff(zero.renderFullSize().take(), off.renderFullSize().take()), 0.0);
    zero.computePreview(0, false);
    off.computePreview(0, false);
    EXPECT_EQ(maxDiff(zero.previewImage(), off.previewImage()), 0.0);

    ToneMapEngine one, toned;
    useTestOperator(one);
    one.setStrength(1.f);
    one.setImage(a);
    cv::Mat opOut;
    a.convertTo(opOut, CV_32F, 0.5, 0.1);
    toned.setApplyToneMapping(false);
    toned.setImage(opOut);
    EXPECT_EQ(maxDiff(one.renderFullSize().take(), toned.renderFullSize().take()), 0.0);
}

TEST_F(TonemapEngine, FullRenderCleansClipsRotatesAndTakesIntegerImages) {
    cv::Mat a = test::randomImage(16, 16, 9);
    a.at<cv::Vec3f>(3, 3) = cv::Vec3f(std::numeric_limits<float>::quiet_NaN(), -1.f, 0.5f);
    a.at<cv::Vec3f>(5, 5) = cv::Vec3f(0.001f, 0.001f, 0.001f);
    ToneMapEngine e;
    e.setApplyToneMapping(false);
    e.setBlackClip(0.05f);
    e.setImage(a);
    const cv::Mat out = e.renderFullSize().take();
    ASSERT_EQ(out.type(), CV_32FC3);
    EXPECT_TRUE(cv::checkRange(out, true, nullptr, 0.0, 1.0 + 1e-6));
    EXPECT_EQ(out.at<cv::Vec3f>(5, 5), cv::Vec3f(0, 0, 0)); // below the black clip
    EXPECT_EQ(e.previewImage().data, out.data);

    ToneMapEngine r;
    useTestOperator(r);
    r.setImage(cv::Mat(30, 40, CV_8UC3, cv::Scalar(255, 128, 0)));
    EXPECT_EQ(r.lightImage().type(), CV_32FC3);
    EXPECT_FLOAT_EQ(r.lightImage().at<cv::Vec3f>(0, 0)[0], 1.f);
    r.setRotation(static_cast<float>(CV_PI / 2));
    EXPECT_EQ(r.renderFullSize().take().size(), cv::Size(30, 40));
    ToneMapEngine::setThumbnailSize(12, 9);
    EXPECT_EQ(r.renderThumbnail(test::randomImage(90, 120, 1)).take().size(), cv::Size(9, 12)); // rotated too
}

} // namespace
} // namespace lumora
