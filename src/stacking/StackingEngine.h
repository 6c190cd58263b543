#pragma once
// One stacking run: reads the chosen frame and its neighbours nearest first, checks and aligns them, replaces
// each by its anti-ghosting composite and merges it into the floating-point light image. The window follows
// the run's progress and may cancel (no image) or stop (an image of what was merged so far) at any time.

#include "app/RunControl.h"
#include "stacking/FrameAlignment.h"
#include "stacking/GhostComposite.h"
#include "stacking/LightMerge.h"
#include "stacking/StackingParams.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace lumora {

class StackingEngine {
public:
    // The request the run has received.
    enum Status : int { NoRequest = 0, CancelRequested = 1, StopRequested = 2 };
    using Outcome = RunOutcome;

    // What happened to one frame of the window, in the order the run visited them.
    struct FrameReport {
        enum class State { Merged, Unreadable, WrongSize, WrongType, NotMerged };
        int index = 0;
        State state = State::Merged;
        bool alignFailed = false;
        int searchRadius = 0;         // block-matching reach used by the composite (after estimation)
        double readSeconds = 0.0;     // decoding the frame
        double alignSeconds = 0.0;    // estimating and applying the translation
        double composeSeconds = 0.0;  // ghost mask, motion estimate and composite
        double estimateSeconds = 0.0; // the motion estimate alone
    };

    StackingEngine() = default;
    StackingEngine(const StackingEngine&) = delete;
    StackingEngine& operator=(const StackingEngine&) = delete;

    // Runs on the calling thread; returns the light image (empty when cancelled or failed) and writes
    // params.frameCount back with the number of positions visited (unchanged on cancel and failure).
    cv::Mat computeLightImage(StackingParams& params);
    // The same, following `run`: its requests end the run as cancel() and stop() do, and it receives the
    // progress of the current frame's composite (notified also when the frame changes). Not reset here: a
    // request made before the run began is honoured.
    cv::Mat computeLightImage(StackingParams& params, RunControl& run);

    // Requests, honoured at the run's next check; no effect while no run is active. A run following a
    // caller's control receives them there. A cancel is never turned
    // back into a stop.
    void cancel();
    void stop();

    bool running() const { return running_.load(); }
    Status status() const;
    int currentFrame() const { return currentFrame_.load(); }
    // Progress of the current frame's composite, 0..100.
    float progressPercent() const { return static_cast<float>(control_.load()->progress()); }
    // How the last run ended (Finished before the first run).
    Outcome outcome() const { return outcome_.load(); }
    // Why the last run failed (empty otherwise).
    std::string errorMessage() const;
    // The last finished light image (shares pixels with what computeLightImage returned).
    cv::Mat lightImage() const;
    // What the light image's 1.0 stands for in linear light, for HDR sources (see LightAccumulator::finalize;
    // 0 for SDR sources), and the source's transfer. Read after the run ended.
    double lightOneMeans() const;
    VideoColour::Transfer lightTransfer() const;
    // Where the last run found motion: for every pixel, the share of the merged frames whose composite took
    // it from a non-zero displacement, 0..255 (8-bit, one channel). Read after the run ended.
    cv::Mat ghostMap() const;
    // Per-frame account of the last run (read after it ended).
    std::vector<FrameReport> report() const;

    // How the translation is estimated.
    void setAlignMethod(AlignMethod method) { alignMethod_ = method; }
    // Whether the next frame is read and aligned while the current one is composed (the default). Without,
    // every step happens in order on the run's thread, which makes the point where a request lands
    // predictable.
    void setReadAhead(bool readAhead) { readAhead_ = readAhead; }

private:
    cv::Mat fail(const std::string& place, const std::string& message);
    // Publishes how the run ended and that it no longer runs.
    void ended(Outcome outcome);

    std::atomic<bool> running_{false};
    RunControl ownControl_;
    // The control of the current (or last) run: ownControl_ or the caller's, which outlives the run.
    std::atomic<RunControl*> control_{&ownControl_};
    std::atomic<int> currentFrame_{0};
    std::atomic<Outcome> outcome_{Outcome::Finished};
    bool outcomeSet_ = false; // the current run has published its outcome (run thread only)
    AlignMethod alignMethod_ = AlignMethod::Fast;
    bool readAhead_ = true;

    mutable std::mutex resultMutex_;
    cv::Mat lightImage_;
    double lightOneMeans_ = 0.0;
    VideoColour::Transfer lightTransfer_ = VideoColour::Transfer::SDR;
    std::string error_;
    std::vector<FrameReport> report_;
    cv::Mat ghostMap_;

    LightAccumulator accumulator_;
    GhostCompositor compositor_;
};

} // namespace lumora
