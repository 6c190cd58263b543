// Linear light and the display picture of HDR frames against the transfers' published reference points and
// the display transform's closed form.

#include "media/HdrLight.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using lumora::VideoColour;

VideoColour hdrColour(VideoColour::Transfer transfer, VideoColour::Primaries primaries) {
    VideoColour c;
    c.bitDepth = 10;
    c.transfer = transfer;
    c.primaries = primaries;
    return c;
}

// A one-pixel 16-bit BGR frame of signals in [0, 1].
cv::Mat pixel(double b, double g, double r) {
    return cv::Mat(1, 1, CV_16UC3, cv::Scalar(b * 65535.0, g * 65535.0, r * 65535.0));
}

TEST(HdrLight, OnlySixteenBitHdrFramesHaveLinearLight) {
    const VideoColour hlg = hdrColour(VideoColour::Transfer::HLG, VideoColour::Primaries::BT709);
    EXPECT_TRUE(lumora::hdrLinearLight(cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(200)), hlg).empty());
    EXPECT_TRUE(lumora::hdrLinearLight(pixel(0.5, 0.5, 0.5), VideoColour{}).empty());
}

// HLG (BT.2100): a signal of 0.5 is scene light 1/12, reference white (0.75) is 0.26496 and the engine's 1.0;
// BT.2020 to BT.709 (BT.2087) keeps white and takes pure BT.2020 red to R 1.6605, with the negative G and B
// set to 0.
TEST(HdrLight, ChannelsFollowTheTransferAndThePrimaries) {
    constexpr double kWhite = 0.26496, kTolerance = 2e-3;
    struct Case {
        VideoColour::Primaries primaries;
        cv::Vec3d signal; // B, G, R
        cv::Vec3d light;
    };
    const Case cases[] = {
        {VideoColour::Primaries::BT709, {0.5, 0.75, 0.0}, {1.0 / 12.0 / kWhite, 1.0, 0.0}},
        {VideoColour::Primaries::BT709, {0.0, 0.5, 0.75}, {0.0, 1.0 / 12.0 / kWhite, 1.0}},
        {VideoColour::Primaries::BT2020, {0.75, 0.75, 0.75}, {1.0, 1.0, 1.0}},
        {VideoColour::Primaries::BT2020, {0.0, 0.0, 0.75}, {0.0, 0.0, 1.6605}},
    };
    for (const Case& c : cases) {
        const cv::Mat light = lumora::hdrLinearLight(pixel(c.signal[0], c.signal[1], c.signal[2]),
                                                     hdrColour(VideoColour::Transfer::HLG, c.primaries));
        ASSERT_EQ(light.type(), CV_32FC3);
        const cv::Vec3f got = light.at<cv::Vec3f>(0, 0);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_NEAR(got[ch], c.light[ch], kTolerance) << "signal " << c.signal << " channel " << ch;
    }
}

// The display picture is the rolled-off light x (1 + x / p^2) / (1 + x), p the HLG peak, coded with the
// 1/2.2 power: decoded again, every sample lies within half a 16-bit step of it (plus the step the coding's
// own rounding makes at that brightness), from the darkest codes, where a step is widest, to the peak.
TEST(HdrLight, DisplayPictureIsTheRolledOffLight) {
    const VideoColour hlg = hdrColour(VideoColour::Transfer::HLG, VideoColour::Primaries::BT2020);
    const double peak = lumora::hdrLightOfCode(VideoColour::Transfer::HLG, 1.0);
    cv::Mat ramp(1, 1200, CV_16UC3);
    for (int x = 0; x < ramp.cols; ++x) // 1000 dark codes, then 200 across the whole range
        ramp.at<cv::Vec3w>(0, x) =
            cv::Vec3w::all(static_cast<ushort>(x < 1000 ? x * 6 : (x - 1000) * 327 + 261));
    const cv::Mat shown = lumora::hdrDisplayFrame(ramp, hlg);
    ASSERT_EQ(shown.type(), CV_16UC3);
    for (int x = 0; x < ramp.cols; ++x) {
        const double light =
            lumora::hdrLightOfCode(VideoColour::Transfer::HLG, ramp.at<cv::Vec3w>(0, x)[1] / 65535.0);
        const double mapped = std::min(1.0, light * (1.0 + light / (peak * peak)) / (1.0 + light)) * 65535.0;
        const double coded = shown.at<cv::Vec3w>(0, x)[1] / 65535.0;
        const double decoded = std::pow(coded, 2.2) * 65535.0;
        EXPECT_NEAR(decoded, mapped, 0.55 + 1.1 * std::pow(coded, 1.2))
            << "code " << ramp.at<cv::Vec3w>(0, x)[1];
    }
}

} // namespace
