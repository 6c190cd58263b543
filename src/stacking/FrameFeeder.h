#pragma once
// Reads, checks and aligns the frames of a stacking run ahead of the loop that composes and merges them, so
// that decoding and alignment of the next frame overlap with the composite of the current one.

#include "app/RunControl.h"
#include "stacking/FrameAlignment.h"

#include <opencv2/core.hpp>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumora {

struct FedFrame {
    enum class State { Ready, Unreadable, WrongSize, WrongType };
    State state = State::Ready;
    int index = 0;
    cv::Mat frame; // aligned when alignment was asked and worked
    bool alignFailed = false;
    double readSeconds = 0.0;
    double alignSeconds = 0.0;
};

class FrameFeeder {
public:
    using Reader = std::function<cv::Mat(int index)>;

    // order[1..]: the frames to feed; `chosen` gives the size and type every frame must have. With `align`,
    // frames are aligned on `chosenGrey`. With `readAhead`, a thread prepares items at most `lookAhead` ahead
    // of the consumer; without, each item is prepared by take() itself.
    FrameFeeder(Reader reader, std::vector<int> order, const cv::Mat& chosen, bool align, cv::Mat chosenGrey,
                AlignMethod method, const RunControl& run, bool readAhead = true, int lookAhead = 1);
    ~FrameFeeder(); // stops and joins

    // Item for order position k (1-based, in sequence). False when the run was asked to end first.
    bool take(int k, FedFrame& out);
    // Ends the feeding thread (also done by the destructor).
    void finish();

private:
    void feed();
    FedFrame prepare(int k);

    Reader reader_;
    std::vector<int> order_;
    cv::Size size_;
    int type_;
    bool align_;
    FrameAligner aligner_;
    const RunControl& run_;
    int lookAhead_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<FedFrame> ready_; // by position k
    std::vector<bool> done_;
    int consumed_ = 0;
    bool quit_ = false;
    bool inline_ = false; // no thread could be started: items are prepared on demand
    std::thread thread_;
};

} // namespace lumora
