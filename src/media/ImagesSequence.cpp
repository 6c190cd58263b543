#include "media/ImagesSequence.h"

#include "media/HdrLight.h"

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

cv::Mat ImagesSequence::stillFrameAt(int index) {
    const cv::Mat frame = source_.frameAt(index, false);
    const VideoColour c = colour();
    return c.isHdr() ? hdrDisplayFrame(frame, c) : frame;
}

} // namespace lumora
