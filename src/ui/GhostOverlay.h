#pragma once
// Marks on a displayed picture where the stack that made it took pixels from a displaced position: the
// stacking engine's ghost map (0: every frame merged in place, 255: every frame displaced) scaled to the
// picture, tinting it magenta in proportion.

#include <opencv2/core.hpp>

namespace lumora {

// `bgr` is the display's own 8-bit copy (1 or 3 channels; turned to 3); `map` is 8-bit, 1 channel, of any
// size.
void markGhosts(cv::Mat& bgr, const cv::Mat& map);

} // namespace lumora
