#pragma once
// Small copies of a few frames of a sequence, read off the window's thread so that lists of frames (the
// sharpest-frame results) get their pictures without the window decoding video.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

#include <vector>

namespace lumora {

class ImagesSequence;

// One picture `width` wide per index (empty where the frame could not be read), as the player shows it.
// Stops at a request on `run`, with the pictures read so far. Never throws: an error is logged and ends the
// list there.
std::vector<cv::Mat> readFrameThumbnails(ImagesSequence& sequence, const std::vector<int>& indices, int width,
                                         RunControl& run);

} // namespace lumora
