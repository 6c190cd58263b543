// The one translation of the stacking controls into a run's parameters, which the window and lumora-cli
// share: the frame window around the chosen frame stays inside the medium, and the named anti-ghosting
// positions give the tolerances they stand for.

#include "stacking/StackingChoices.h"

#include <gtest/gtest.h>

namespace {

using namespace lumora;

TEST(StackingChoicesTest, TheFrameWindowStopsAtTheEndsOfTheMedium) {
    struct Case {
        int centre, before, after, frames;
        int first, count;
    };
    for (const Case c : {Case{15, 3, 3, 30, 12, 7}, Case{1, 8, 8, 30, 0, 10}, Case{28, 8, 8, 30, 20, 10},
                         Case{0, 0, 0, 1, 0, 1}, Case{29, 0, 30, 30, 29, 1}, Case{5, -2, -1, 30, 5, 1}}) {
        StackingChoices choices;
        choices.framesBefore = c.before;
        choices.framesAfter = c.after;
        const StackingParams p = stackingParamsFor(choices, nullptr, c.centre, c.frames);
        EXPECT_EQ(p.chosenIndex, c.centre);
        EXPECT_EQ(p.firstIndex, c.first) << c.centre << " " << c.before;
        EXPECT_EQ(p.frameCount, c.count) << c.centre << " " << c.after;
        EXPECT_GE(p.threadCount, 1);
    }
}

TEST(StackingChoicesTest, ControlsBecomeToleranceReachAndBlocks) {
    EXPECT_FLOAT_EQ(ghostToleranceForPosition(kLongExposurePosition), 100.f); // nothing is a ghost
    EXPECT_FLOAT_EQ(ghostToleranceForPosition(kMediumAntighostingPosition), 4.f);
    EXPECT_FLOAT_EQ(ghostToleranceForPosition(kHighAntighostingPosition), 0.f);
    StackingChoices choices;
    EXPECT_LT(searchRadiusPercentFor(choices), 0.f); // automatic
    choices.automaticMovement = false;
    choices.movementPosition = 45;
    EXPECT_FLOAT_EQ(searchRadiusPercentFor(choices), 4.5f);
    // Faster means bigger blocks; an unknown quality falls back to the middle one.
    EXPECT_GT(blockSizeForQuality(QualityFast), blockSizeForQuality(QualityGood));
    EXPECT_GT(blockSizeForQuality(QualityGood), blockSizeForQuality(QualityOptimal));
    EXPECT_EQ(blockSizeForQuality(7), blockSizeForQuality(QualityGood));
}

} // namespace
