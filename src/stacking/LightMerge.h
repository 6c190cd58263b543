#pragma once
// The light image arithmetic: the chosen frame enters an accumulator with its plain values, every further
// (composite) frame is raised to the power 2.2 and added, and the result is normalised by its largest element
// and raised to 1/2.2. Works element by element on all channels of 8-bit, 16-bit and float frames.

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
    // accumulator = the chosen frame's values as floats. False (accumulator cleared) for other depths.
    bool init(const cv::Mat& chosen);
    // accumulator += lightPower(frame) element-wise. The frame must have the accumulator's size, channels
    // and the chosen frame's depth; false otherwise (nothing added).
    bool accumulate(const cv::Mat& frame);
    // (accumulator / max)^(1/2.2) as 32-bit float, largest element exactly 1. An all-zero accumulator gives
    // an all-zero image. False, with `lightImage` untouched, when nothing was initialised.
    bool finalize(cv::Mat& lightImage) const;

    const cv::Mat& accumulator() const { return acc_; }

private:
    cv::Mat acc_;
    int depth_ = -1;
};

} // namespace lumora
