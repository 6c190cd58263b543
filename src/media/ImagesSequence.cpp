#include "media/ImagesSequence.h"

namespace lumora {

cv::Mat ImagesSequence::getCvImageAt(int index, bool forDisplay, bool restorePosition,
                                     bool /*alreadyLocked*/) {
    if (!source_.ready())
        return {};
    if (forDisplay) {
        const cv::Mat shown = player_.currentImageAt(index);
        if (!shown.empty())
            return shown;
    }
    cv::Mat frame = source_.frameAt(index, forDisplay);
    if (!restorePosition)
        player_.moveIndex(index);
    return frame;
}

} // namespace lumora
