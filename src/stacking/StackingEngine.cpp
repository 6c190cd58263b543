#include "stacking/StackingEngine.h"

#include "app/EventLog.h"
#include "media/ImagesSequence.h"
#include "stacking/FrameFeeder.h"
#include "stacking/FrameOrder.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

namespace lumora {

namespace {

constexpr int kMinSide = 18; // the composite's template and margins need this much
constexpr double kRangeReadBudget = 1024.0 * 1024 * 1024; // bytes of frames a window may hold at once

// A step run on its own thread, joined before its results are used; run on the calling thread when no thread
// can be started. Nothing escapes the thread: a failure is logged.
class BackgroundTask {
public:
    ~BackgroundTask() { join(); }
    void start(std::function<void()> fn) {
        join();
        auto body = [fn = std::move(fn)]() noexcept {
            try {
                fn();
            } catch (const std::exception& e) {
                logError("main", std::string("ERROR during the accumulation: ") + e.what() + "\n");
            } catch (...) {
                logError("main", "ERROR during the accumulation\n");
            }
        };
        try {
            thread_ = std::thread(body);
        } catch (const std::system_error&) {
            body();
        }
    }
    void join() {
        if (!thread_.joinable())
            return;
        try {
            thread_.join();
        } catch (const std::system_error&) {
            logError("main", "ERROR during pthread_join()\n");
        }
    }

private:
    std::thread thread_;
};

// Frames of the window. A video window is decoded with one seek and a sequential read when it fits in memory;
// otherwise (and for bursts) frames are read one by one, each as the run reaches it.
class WindowReader {
public:
    WindowReader(ImagesSequenceBase* sequence, int first, int count) : sequence_(sequence), first_(first) {
        auto* full = dynamic_cast<ImagesSequence*>(sequence);
        if (full && full->kind() == ImagesSequence::Video && count > 1) {
            const double bytes = 3.0 * full->width() * full->height() * count;
            if (bytes <= kRangeReadBudget)
                cache_ = full->getCvImagesInRange(first, first + count - 1);
            taken_.assign(cache_.size(), false);
        }
    }
    // Each frame is handed out once; the reader keeps no copy.
    cv::Mat read(int index) {
        const int i = index - first_;
        if (i >= 0 && i < static_cast<int>(cache_.size()) && !taken_[static_cast<size_t>(i)]) {
            taken_[static_cast<size_t>(i)] = true;
            cv::Mat m = std::move(cache_[static_cast<size_t>(i)]);
            cache_[static_cast<size_t>(i)].release();
            return m;
        }
        return sequence_->getCvImageAt(index, false);
    }

private:
    ImagesSequenceBase* sequence_;
    int first_;
    std::vector<cv::Mat> cache_;
    std::vector<bool> taken_;
};

StackingEngine::FrameReport::State reportState(FedFrame::State s) {
    switch (s) {
    case FedFrame::State::Unreadable:
        return StackingEngine::FrameReport::State::Unreadable;
    case FedFrame::State::WrongSize:
        return StackingEngine::FrameReport::State::WrongSize;
    case FedFrame::State::WrongType:
        return StackingEngine::FrameReport::State::WrongType;
    default:
        return StackingEngine::FrameReport::State::Merged;
    }
}

} // namespace

void StackingEngine::cancel() {
    if (running_.load())
        control_.load()->requestCancel();
}

void StackingEngine::stop() {
    if (running_.load())
        control_.load()->requestStop();
}

StackingEngine::Status StackingEngine::status() const {
    switch (control_.load()->request()) {
    case RunControl::Request::Cancel:
        return CancelRequested;
    case RunControl::Request::Stop:
        return StopRequested;
    default:
        return NoRequest;
    }
}

std::string StackingEngine::errorMessage() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return error_;
}

cv::Mat StackingEngine::lightImage() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return lightImage_;
}

double StackingEngine::lightOneMeans() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return lightOneMeans_;
}

VideoColour::Transfer StackingEngine::lightTransfer() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return lightTransfer_;
}

cv::Mat StackingEngine::ghostMap() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return ghostMap_;
}

std::vector<StackingEngine::FrameReport> StackingEngine::report() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return report_;
}

cv::Mat StackingEngine::fail(const std::string& place, const std::string& message) {
    logError(place, message);
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        error_ = message;
    }
    ended(Outcome::Failed);
    return cv::Mat();
}

void StackingEngine::ended(Outcome outcome) {
    outcome_.store(outcome);
    outcomeSet_ = true;
    running_.store(false);
}

cv::Mat StackingEngine::computeLightImage(StackingParams& params) {
    ownControl_.reset();
    return computeLightImage(params, ownControl_);
}

cv::Mat StackingEngine::computeLightImage(StackingParams& params, RunControl& run) {
    control_.store(&run);
    // The caller's control may go before this engine: afterwards the engine answers from its own.
    struct ControlGuard {
        StackingEngine& e;
        ~ControlGuard() { e.control_.store(&e.ownControl_); }
    } controlGuard{*this};
    outcomeSet_ = false;
    running_.store(true);
    // Whatever way the run ends (an exception included), it is no longer running and has an outcome.
    struct EndGuard {
        StackingEngine& e;
        ~EndGuard() {
            if (!e.outcomeSet_)
                e.ended(Outcome::Failed);
        }
    } endGuard{*this};
    currentFrame_.store(0);
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        error_.clear();
        report_.clear();
        ghostMap_.release();
    }
    if (!params.sequence)
        return fail("Main", "There is no images sequence to read from.\n");

    WindowReader reader(params.sequence, params.firstIndex, params.frameCount);
    const VideoColour colour = params.sequence->colour();
    const std::string chosenText = std::to_string(params.chosenIndex);
    const cv::Mat chosen = reader.read(params.chosenIndex);
    if (chosen.empty())
        return fail("Main", "Error during accessing the image at index " + chosenText + "\n");
    if (chosen.rows < kMinSide || chosen.cols < kMinSide)
        return fail("Main", "The image at index " + chosenText +
                                " is smaller than 18 pixels and cannot be stacked.\n");
    if (!isMergeableDepth(chosen.depth()))
        return fail("Main",
                    "The image at index " + chosenText + " has a pixel type that cannot be stacked.\n");

    CompositeSettings settings;
    settings.searchRadius = -1;
    if (params.searchRadiusPercent >= 0.f) {
        const float side = static_cast<float>(std::max(chosen.rows, chosen.cols));
        settings.searchRadius = std::max(17, static_cast<int>(side * params.searchRadiusPercent / 100.0f));
    }
    settings.ghostTolerance = params.ghostTolerance;
    settings.blockSize = params.blockSize;
    settings.search = params.search;
    settings.threadCount = std::max(1, params.threadCount);

    cv::Mat chosenGrey;
    if (params.align)
        chosenGrey = greyForAlignment(chosen);
    const std::vector<int> order =
        stackingFrameOrder(params.chosenIndex, params.firstIndex, params.frameCount);
    const int n = static_cast<int>(order.size());
    compositor_.reset();
    cv::Mat displacedCount = cv::Mat::zeros(chosen.size(), CV_16UC1);
    int composed = 0;

    std::vector<FrameReport> report;
    int k = 1;
    {
        BackgroundTask accumulation;
        accumulator_.setColour(colour);
        accumulation.start([this, &chosen] { accumulator_.init(chosen); });
        FrameFeeder feeder([&reader](int index) { return reader.read(index); }, order, chosen, params.align,
                           chosenGrey, alignMethod_, run, readAhead_);
        while (k < n && !run.shouldEnd()) {
            FedFrame item;
            if (!feeder.take(k, item))
                break;
            if (item.state != FedFrame::State::Ready) {
                report.push_back({item.index, reportState(item.state), false, 0, item.readSeconds, 0.0, 0.0});
                ++k;
                continue;
            }
            accumulation.join();
            if (run.shouldEnd())
                break;
            currentFrame_.store(k);
            run.setProgress(0);
            run.notifyProgress(); // the frame number changed, even where the percent did not
            const auto started = std::chrono::steady_clock::now();
            CompositeResult result = compositor_.compose(chosen, item.frame, settings, run);
            const double composeSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            item.frame.release();
            const bool merged = result.outcome == RunOutcome::Finished;
            if (merged) {
                accumulation.start([this, c = std::move(result.image)] { accumulator_.accumulate(c); });
                cv::add(displacedCount, 1, displacedCount, compositor_.displacedMask());
                ++composed;
            }
            report.push_back({item.index, merged ? FrameReport::State::Merged : FrameReport::State::NotMerged,
                              item.alignFailed, compositor_.lastSearchRadius(), item.readSeconds,
                              item.alignSeconds, composeSeconds, compositor_.lastEstimateSeconds()});
            ++k;
        }
        feeder.finish();
        accumulation.join();
    }

    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        report_ = std::move(report);
        // 255 for a pixel taken from elsewhere in every merged frame.
        displacedCount.convertTo(ghostMap_, CV_8U, composed > 0 ? 255.0 / composed : 0.0);
    }
    if (run.isCanceled()) {
        ended(Outcome::Canceled);
        return cv::Mat();
    }
    params.frameCount = k;
    cv::Mat light;
    double oneMeans = 0.0;
    if (!accumulator_.finalize(light, &oneMeans))
        return fail("Main", "The light image could not be finalised.\n");
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        lightImage_ = light;
        lightOneMeans_ = oneMeans;
        lightTransfer_ = oneMeans > 0.0 ? colour.transfer : VideoColour::Transfer::SDR;
    }
    ended(run.isStopRequested() ? Outcome::Stopped : Outcome::Finished);
    return light;
}

} // namespace lumora
