// The scene clip's motion-blurred frames (known from its sidecar) rank below the sharp frames around them.

#include "SceneSidecar.h"
#include "TestEnvironment.h"
#include "media/ImagesSequence.h"
#include "sharpness/Sharpness.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using lumora::SharpestCandidates;

std::vector<int> indices(const SharpestCandidates& c) {
    std::vector<int> out;
    for (const auto& p : c)
        out.push_back(p.second);
    return out;
}

TEST(SharpestSceneClip, BlurredFramesRankBelowSharpOnes) {
    lumora::ImagesSequence clip(lumora::test::testMediaPath("scene_720p.mp4"));
    ASSERT_TRUE(clip.ready());
    const auto truth = lumora::test::readSceneSidecar(lumora::test::testMediaPath("scene_720p.json"));
    ASSERT_EQ(static_cast<int>(truth.size()), clip.frameCount());
    int blurred = 0;
    for (int centre = 0; centre < clip.frameCount(); ++centre) {
        if (!truth[static_cast<size_t>(centre)].blurred)
            continue;
        ++blurred;
        // Around a blurred frame, every sharp frame examined is sharper than it.
        const cv::Mat image = clip.getCvImageAt(centre, false);
        const auto read = [&clip](int i) { return clip.getCvImageAt(i, false); };
        lumora::RunControl run;
        const std::vector<int> found =
            indices(lumora::findSharpest({image, centre, clip.frameCount(), 3}, read, run).candidates);
        ASSERT_FALSE(found.empty());
        EXPECT_EQ(found.back(), centre);
        const int first = std::max(0, centre - 3), last = std::min(centre + 3, clip.frameCount() - 1);
        for (int k = first; k <= last; ++k)
            if (k != centre && !truth[static_cast<size_t>(k)].blurred) {
                EXPECT_NE(std::find(found.begin(), found.end(), k), found.end())
                    << "frame " << k << " around " << centre;
            }
        // ...and from a sharp neighbour the blurred frame is never a candidate.
        const int sharp = centre > 0 ? centre - 1 : centre + 1;
        const cv::Mat sharpImage = clip.getCvImageAt(sharp, false);
        const std::vector<int> fromSharp =
            indices(lumora::findSharpest({sharpImage, sharp, clip.frameCount(), 3}, read, run).candidates);
        EXPECT_EQ(std::find(fromSharp.begin(), fromSharp.end(), centre), fromSharp.end());
    }
    EXPECT_GE(blurred, 2);
}

} // namespace
