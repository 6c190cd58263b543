// The order in which a run visits its window: chosen frame first, then nearest neighbours alternating after
// and before, one side alone once the other is used up.

#include "stacking/FrameOrder.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using lumora::stackingFrameOrder;
using V = std::vector<int>;

TEST(FrameOrder, AfterBeforeAlternateThenTheLongerSideFinishes) {
    EXPECT_EQ(stackingFrameOrder(12, 12, 1), V({12}));
    EXPECT_EQ(stackingFrameOrder(5, 5, 4), V({5, 6, 7, 8}));                // 0 before, 3 after
    EXPECT_EQ(stackingFrameOrder(10, 8, 7), V({10, 11, 9, 12, 8, 13, 14})); // 2 before, 4 after
    EXPECT_EQ(stackingFrameOrder(10, 7, 5), V({10, 11, 9, 8, 7}));          // 3 before, 1 after
    for (int before = 0; before <= 6; ++before)
        for (int after = 0; after <= 6; ++after) {
            const int chosen = 20;
            const V order = stackingFrameOrder(chosen, chosen - before, before + 1 + after);
            V seen(order);
            std::sort(seen.begin(), seen.end());
            V window(static_cast<size_t>(before + 1 + after));
            for (size_t i = 0; i < window.size(); ++i)
                window[i] = chosen - before + static_cast<int>(i);
            EXPECT_EQ(seen, window) << "every window frame once";
            for (size_t i = 1; i < order.size(); ++i)
                EXPECT_LE(std::abs(order[i - 1] - chosen), std::abs(order[i] - chosen)) << "nearest first";
        }
}

} // namespace
