#pragma once
// The order in which a stacking run visits its window: the chosen frame first, then its neighbours nearest
// first, alternating after and before, one side alone once the other is exhausted.

#include <cstddef>
#include <vector>

namespace lumora {

std::vector<int> stackingFrameOrder(int chosenIndex, int firstIndex, int frameCount);

} // namespace lumora
