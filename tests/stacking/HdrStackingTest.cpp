// Stacking lossless 10-bit HLG and PQ clips of a scene of known light: in linear light (the light image's
// values raised to 2.2) the grey patches keep the scene's ratios, the ramp keeps its 10-bit steps, saturated
// BT.2020 colours land at their BT.709 values (or follow the negative-to-zero rule), and the run says what
// its 1.0 stands for.

#include "HdrPatches.h"
#include "TestEnvironment.h"
#include "media/HdrLight.h"
#include "media/ImagesSequence.h"
#include "stacking/StackingEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

using lumora::VideoColour;
using lumora::testmedia::HdrScene;

// Relative tolerance of the linear-light checks.
constexpr double kRatioTolerance = 0.02;

cv::Vec3d linearMean(const cv::Mat& light, const cv::Rect& r) {
    const cv::Scalar m = cv::mean(light(r));
    return {std::pow(m[0], 2.2), std::pow(m[1], 2.2), std::pow(m[2], 2.2)};
}

struct HdrCase {
    const char* clip;
    HdrScene scene;
    VideoColour::Transfer transfer;
    double unit; // the engine's unit of the scene's light: HLG reference white (of peak 1), PQ one nit
};

void PrintTo(const HdrCase& c, std::ostream* os) {
    *os << c.clip;
}

class HdrStacking : public ::testing::TestWithParam<HdrCase> {};

TEST_P(HdrStacking, LinearLightKeepsTheScene) {
    const HdrCase& c = GetParam();
    lumora::ImagesSequence clip(lumora::test::testMediaPath(c.clip));
    ASSERT_TRUE(clip.ready());
    lumora::StackingEngine engine;
    lumora::StackingParams params;
    params.sequence = &clip;
    params.firstIndex = 1;
    params.chosenIndex = 2;
    params.frameCount = 3;
    params.threadCount = 2;
    const cv::Mat light = engine.computeLightImage(params);
    ASSERT_EQ(light.type(), CV_32FC3);
    double lo = 0, hi = 0;
    cv::minMaxIdx(light.reshape(1), &lo, &hi);
    EXPECT_EQ(hi, 1.0);
    EXPECT_GE(lo, 0.0);
    EXPECT_TRUE(cv::checkRange(light));

    const cv::Size size = light.size();
    const auto scene = lumora::testmedia::hdrPatchLight(c.scene);
    const int ref = lumora::testmedia::kHdrReferencePatch;
    const cv::Vec3d refLight = linearMean(light, lumora::testmedia::hdrPatchRect(size, ref, 8));
    for (int k = 0; k < static_cast<int>(scene.size()); ++k) {
        const double expected = scene[static_cast<size_t>(k)] / scene[static_cast<size_t>(ref)];
        const double got = linearMean(light, lumora::testmedia::hdrPatchRect(size, k, 8))[1] / refLight[1];
        EXPECT_NEAR(got / expected, 1.0, kRatioTolerance) << "patch " << k;
    }

    std::set<float> levels;
    const float* row = light.ptr<float>(lumora::testmedia::hdrRampRow(size));
    for (int x = 0; x < size.width; ++x)
        levels.insert(row[3 * x + 1]);
    EXPECT_GE(levels.size(), 600u);

    // Both saturated patches have the reference patch's light. BT.2020 green is outside BT.709: its red and
    // blue would be negative and become 0; BT.709 red is inside and comes back as pure red.
    const double saturatedGreen = lumora::kBt2020ToBt709[1][1];
    const cv::Vec3d green =
        linearMean(light, lumora::testmedia::hdrSaturatedRect(size, false, 8)) / refLight[1];
    EXPECT_NEAR(green[1] / saturatedGreen, 1.0, kRatioTolerance);
    EXPECT_LT(green[0], 0.005);
    EXPECT_LT(green[2], 0.005);
    const cv::Vec3d red = linearMean(light, lumora::testmedia::hdrSaturatedRect(size, true, 8)) / refLight[1];
    EXPECT_NEAR(red[2], 1.0, kRatioTolerance);
    EXPECT_LT(red[0], 0.01);
    EXPECT_LT(red[1], 0.01);

    // With what the run says its 1.0 stands for, the reference patch has its absolute light back.
    EXPECT_EQ(engine.lightTransfer(), c.transfer);
    EXPECT_NEAR(refLight[1] * engine.lightOneMeans() / (scene[static_cast<size_t>(ref)] * c.unit), 1.0,
                kRatioTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    HdrLight, HdrStacking,
    ::testing::Values(HdrCase{"hdr_hlg.mp4", HdrScene::Hlg, VideoColour::Transfer::HLG, 1.0 / 0.264962},
                      HdrCase{"hdr_pq.mp4", HdrScene::Pq, VideoColour::Transfer::PQ, 1.0}));

} // namespace
