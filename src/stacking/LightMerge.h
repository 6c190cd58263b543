#pragma once
// The light image arithmetic: the chosen frame enters an accumulator with its plain values, every further
// (composite) frame is raised to the power 2.2 and added, and the result is normalised by its largest element
// and raised to 1/2.2. Works element by element on all channels of 8-bit, 16-bit and float frames.

#include "media/VideoColour.h"

#include <opencv2/core.hpp>

namespace lumora {

// 8, 16, 32 or 64 bits per channel of a matrix's element type; 0 for an empty matrix.
int bitsPerChannel(const cv::Mat& m);
// True for the element depths the merge handles: 8-bit and 16-bit unsigned, 32-bit float.
bool isMergeableDepth(int depth);

// pow(x, 2.2f) computed in double and rounded to float: the contribution of one element value.
float lightPower(float x);
// The same contribution for every 8-bit (256 entries) or 16-bit (65536 entries) value, built once.
const float* lightPowerTable8();
const float* lightPowerTable16();

class LightAccumulator {
public:
    // Frames of an HLG or PQ source (16-bit BGR) are merged in linear light: every frame, the chosen one
    // included, enters as its linear light (HdrLight.h) with no further power, since the 8-bit rule for the
    // chosen frame means nothing for these transfers. Anything else is merged as above. Set before init().
    void setColour(const VideoColour& colour) { colour_ = colour; }
    // accumulator = the chosen frame's values as floats. False (accumulator cleared) for other depths.
    bool init(const cv::Mat& chosen);
    // accumulator += lightPower(frame) element-wise. The frame must have the accumulator's size, channels
    // and the chosen frame's depth; false otherwise (nothing added).
    bool accumulate(const cv::Mat& frame);
    // (accumulator / max)^(1/2.2) as 32-bit float, largest element exactly 1. An all-zero accumulator gives
    // an all-zero image. False, with `lightImage` untouched, when nothing was initialised.
    // `oneMeans`, when given, receives what a light value of 1.0 stands for in linear light: for HDR frames
    // the brightest sample's mean over the merged frames, in nits (PQ) or times HLG's reference white (HLG);
    // 0 for other frames, whose scale is unknown.
    bool finalize(cv::Mat& lightImage, double* oneMeans = nullptr) const;

    const cv::Mat& accumulator() const { return acc_; }

private:
    bool linear() const { return colour_.isHdr() && depth_ == CV_16U && acc_.channels() == 3; }

    cv::Mat acc_;
    int depth_ = -1;
    int merged_ = 0;
    VideoColour colour_;
};

} // namespace lumora
