// Fitting an image into the preview: the aspect is kept and one side filled.

#include "ui/PlayerController.h"

#include <gtest/gtest.h>

namespace {

using namespace lumora;

TEST(DisplayMath, FitIntoKeepsTheAspectAndFillsOneSide) {
    EXPECT_EQ(fitInto(1920, 1080, 800, 600), QSize(800, 450)); // wider: full width
    EXPECT_EQ(fitInto(1080, 1920, 800, 600), QSize(337, 600)); // taller: full height, 337.5 truncated
    EXPECT_EQ(fitInto(320, 240, 640, 480), QSize(640, 480));
    EXPECT_EQ(fitInto(3, 1, 100, 100), QSize(100, 33));
    EXPECT_TRUE(fitInto(0, 100, 800, 600).isEmpty());
    EXPECT_TRUE(fitInto(100, 0, 800, 600).isEmpty());
    EXPECT_TRUE(fitInto(100, 100, 0, 600).isEmpty());
}

} // namespace
