#pragma once
// Frames whose content identifies their index: the counter clips (big digits, a per-frame background tint and
// the machine-readable code of CounterCode.h) and the long benchmark clip (the same over a scrolling
// pattern).

#include <opencv2/core.hpp>

namespace lumora::testmedia {

// Counter frame `index` (0..4095), 8-bit BGR.
cv::Mat renderCounterFrame(int index, cv::Size size);

// Long-clip frames: a textured pattern scrolling sideways at a constant speed, with the counter overlay.
class ScrollingCounter {
public:
    explicit ScrollingCounter(cv::Size size);
    cv::Mat frame(int index) const;

private:
    cv::Size size_;
    int period_;
    cv::Mat strip_; // pattern wide enough that every frame is one plain crop of it
};

} // namespace lumora::testmedia
