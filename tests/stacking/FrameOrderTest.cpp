// The order in which a run visits its window: chosen frame first, then nearest neighbours alternating after
// and before, one side alone once the other is used up.

#include "stacking/FrameOrder.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using lumora::stackingFrameOrder;
using V = std::vector<int>;

TEST(FrameOrder, SingleFrameIsOnlyTheChosenOne) {
    EXPECT_EQ(stackingFrameOrder(12, 12, 1), V({12}));
}

TEST(FrameOrder, ChosenAtTheStartGoesForwardOnly) {
    // 0 before, 3 after
    EXPECT_EQ(stackingFrameOrder(5, 5, 4), V({5, 6, 7, 8}));
}

TEST(FrameOrder, AlternatesAfterBeforeThenFinishesTheLongerSide) {
    // 2 before, 4 after
    EXPECT_EQ(stackingFrameOrder(10, 8, 7), V({10, 11, 9, 12, 8, 13, 14}));
    // 3 before, 1 after: the before side continues alone
    EXPECT_EQ(stackingFrameOrder(10, 7, 5), V({10, 11, 9, 8, 7}));
}

TEST(FrameOrder, EveryWindowFrameAppearsOnceNearestFirst) {
    for (int before = 0; before <= 6; ++before)
        for (int after = 0; after <= 6; ++after) {
            const int chosen = 20;
            const V order = stackingFrameOrder(chosen, chosen - before, before + 1 + after);
            ASSERT_EQ(static_cast<int>(order.size()), before + 1 + after);
            std::vector<int> seen(order);
            std::sort(seen.begin(), seen.end());
            for (int i = 0; i < static_cast<int>(seen.size()); ++i)
                EXPECT_EQ(seen[static_cast<size_t>(i)], chosen - before + i);
            for (size_t i = 1; i < order.size(); ++i)
                EXPECT_LE(std::abs(order[i - 1] - chosen), std::abs(order[i] - chosen));
        }
}

} // namespace
