#pragma once
// Looks, off the caller's thread, for frames near a position that are sharper than the frame there, and hands
// them over sharpest first (the centre frame last). A cancelled search emits nothing.

#include "sharpness/Sharpness.h"

#include <QMetaType>
#include <QThread>

#include <opencv2/core.hpp>

#include <atomic>
#include <mutex>
#include <set>
#include <utility>

namespace lumora {

class ImagesSequenceBase;

class SharpestImageSearcherWorkerThread : public QThread {
    Q_OBJECT
public:
    // `image` is the centre frame as the caller read it (kept, sharing pixels). `sequence` must outlive the
    // thread; the destructor cancels a search still going and waits for it. `sequenceFrameCount` < 0: taken
    // from the sequence when it is an ImagesSequence.
    SharpestImageSearcherWorkerThread(const cv::Mat* image, int centerIndex, ImagesSequenceBase* sequence,
                                      int radius, int sequenceFrameCount = -1, QObject* parent = nullptr);
    ~SharpestImageSearcherWorkerThread() override;

    int progress() const { return run_.progress(); }
    void requestCancel() { run_.requestCancel(); }
    bool cancelRequested() const { return run_.isCanceled(); }
    // How the search ended (Finished, Canceled, or Failed with the reason in the event log); read it once the
    // thread has finished.
    RunOutcome outcome() const { return outcome_.load(); }
    // The result; read it after processWellFinished or once the thread has finished.
    SharpestCandidates& candidates() { return candidates_; }

signals:
    void processWellFinished(std::set<std::pair<float, int>, MyPairComp>* candidates);

protected:
    void run() override;

private:
    cv::Mat image_;
    int centerIndex_;
    ImagesSequenceBase* sequence_;
    int radius_;
    int frameCount_;
    RunControl run_;
    std::atomic<RunOutcome> outcome_{RunOutcome::Finished};
    std::mutex endMutex_; // taken last by run() and by the destructor: orders the end for race checkers
    SharpestCandidates candidates_;
};

} // namespace lumora

// The result travels by pointer through queued connections.
Q_DECLARE_METATYPE(lumora::SharpestCandidates*)
