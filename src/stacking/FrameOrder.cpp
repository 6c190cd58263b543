#include "stacking/FrameOrder.h"

namespace lumora {

std::vector<int> stackingFrameOrder(int chosenIndex, int firstIndex, int frameCount) {
    std::vector<int> order;
    if (frameCount <= 0)
        return order;
    order.reserve(static_cast<std::size_t>(frameCount));
    order.push_back(chosenIndex);
    const int end = firstIndex + frameCount;
    int up = chosenIndex + 1;
    int down = chosenIndex - 1;
    while (static_cast<int>(order.size()) < frameCount) {
        if (up < end)
            order.push_back(up);
        if (static_cast<int>(order.size()) < frameCount && down >= firstIndex)
            order.push_back(down);
        else if (up >= end)
            break; // both sides exhausted: the window did not contain the chosen frame where expected
        ++up;
        --down;
    }
    return order;
}

} // namespace lumora
