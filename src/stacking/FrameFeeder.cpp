#include "stacking/FrameFeeder.h"

#include "app/EventLog.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>

namespace lumora {

namespace {

constexpr const char* kLoopPlace = "parallelComputeLightImage";

} // namespace

FrameFeeder::FrameFeeder(Reader reader, std::vector<int> order, const cv::Mat& chosen, bool align,
                         cv::Mat chosenGrey, AlignMethod method, const RunControl& run, bool readAhead,
                         int lookAhead)
    : reader_(std::move(reader)), order_(std::move(order)), size_(chosen.size()), type_(chosen.type()),
      align_(align), aligner_(chosenGrey, method), run_(run), lookAhead_(std::max(1, lookAhead)),
      ready_(order_.size()), done_(order_.size(), false) {
    if (order_.size() <= 1)
        return;
    if (!readAhead) {
        inline_ = true;
        return;
    }
    try {
        thread_ = std::thread([this]() noexcept {
            try {
                feed();
            } catch (...) {
                // Only the locking can throw here; the consumer then stops at the frame it waits for.
                logError(kLoopPlace, "Reading frames ahead stopped on an error.\n");
                std::lock_guard<std::mutex> lock(mutex_);
                quit_ = true;
            }
            changed_.notify_all();
        });
    } catch (const std::system_error&) {
        inline_ = true;
    }
}

FrameFeeder::~FrameFeeder() {
    finish();
}

void FrameFeeder::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

FedFrame FrameFeeder::prepare(int k) {
    FedFrame item;
    item.index = order_[static_cast<size_t>(k)];
    const std::string idx = std::to_string(item.index);
    const auto start = std::chrono::steady_clock::now();
    try {
        item.frame = reader_(item.index);
    } catch (const std::exception&) {
        item.frame.release();
    }
    const auto read = std::chrono::steady_clock::now();
    item.readSeconds = std::chrono::duration<double>(read - start).count();
    if (item.frame.empty()) {
        logError(kLoopPlace, "Error during accessing the image at index " + idx + "\n");
        item.state = FedFrame::State::Unreadable;
        return item;
    }
    if (item.frame.size() != size_) {
        logError(kLoopPlace, "The image number " + idx + " has not the same size as the instant image.\n");
        item.state = FedFrame::State::WrongSize;
        item.frame.release();
        return item;
    }
    if (item.frame.type() != type_) {
        logError(kLoopPlace, "The image number " + idx + " has not the same type as the instant image.\n");
        item.state = FedFrame::State::WrongType;
        item.frame.release();
        return item;
    }
    if (align_) {
        try {
            item.frame = aligner_.align(item.frame);
        } catch (const std::exception&) {
            logError("Aligning images",
                     "The align option failed maybe because of a lack of memory, try to disable "
                     "this option next times.");
            item.alignFailed = true;
        }
        item.alignSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - read).count();
    }
    return item;
}

void FrameFeeder::feed() {
    for (int k = 1; k < static_cast<int>(order_.size()); ++k) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // Stay at most lookAhead items ahead, so frames are not all held in memory at once.
            while (!quit_ && !run_.shouldEnd() && k - consumed_ > lookAhead_)
                changed_.wait_for(lock, std::chrono::milliseconds(20));
            if (quit_ || run_.shouldEnd())
                return;
        }
        FedFrame item;
        try {
            item = prepare(k);
        } catch (const std::exception& e) {
            logError(kLoopPlace, std::string("Reading a frame failed: ") + e.what() + "\n");
            item.index = order_[static_cast<size_t>(k)];
            item.state = FedFrame::State::Unreadable;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ready_[static_cast<size_t>(k)] = std::move(item);
            done_[static_cast<size_t>(k)] = true;
        }
        changed_.notify_all();
    }
}

bool FrameFeeder::take(int k, FedFrame& out) {
    if (k <= 0 || k >= static_cast<int>(order_.size()))
        return false;
    if (inline_) {
        if (run_.shouldEnd())
            return false;
        out = prepare(k);
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    consumed_ = k - 1;
    changed_.notify_all();
    // The requests are polled: cancel and stop are plain atomic flags, not tied to this condition.
    while (!done_[static_cast<size_t>(k)] && !quit_ && !run_.shouldEnd())
        changed_.wait_for(lock, std::chrono::milliseconds(20));
    if (!done_[static_cast<size_t>(k)])
        return false;
    out = std::move(ready_[static_cast<size_t>(k)]);
    ready_[static_cast<size_t>(k)] = FedFrame{};
    consumed_ = k;
    changed_.notify_all();
    return true;
}

} // namespace lumora
