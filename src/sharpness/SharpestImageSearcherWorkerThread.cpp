#include "sharpness/SharpestImageSearcherWorkerThread.h"

#include "app/EventLog.h"
#include "media/ImagesSequence.h"

#include <exception>
#include <limits>

namespace lumora {

SharpestImageSearcherWorkerThread::SharpestImageSearcherWorkerThread(const cv::Mat* image, int centerIndex,
                                                                     ImagesSequenceBase* sequence, int radius,
                                                                     int sequenceFrameCount, QObject* parent)
    : QThread(parent), image_(image ? *image : cv::Mat()), centerIndex_(centerIndex), sequence_(sequence),
      radius_(radius), frameCount_(sequenceFrameCount) {
    // Registered under the spelling the signal uses, so queued connections can copy the pointer.
    qRegisterMetaType<SharpestCandidates*>("std::set<std::pair<float,int>,MyPairComp>*");
    if (frameCount_ < 0) {
        if (auto* full = dynamic_cast<ImagesSequence*>(sequence))
            frameCount_ = full->frameCount();
        else // unknown length: reads past the end come back empty and are skipped
            frameCount_ = centerIndex + radius + 1;
    }
}

SharpestImageSearcherWorkerThread::~SharpestImageSearcherWorkerThread() {
    if (isRunning()) {
        requestCancel();
        wait();
    }
    std::lock_guard<std::mutex> lock(endMutex_);
}

void SharpestImageSearcherWorkerThread::run() {
    // A cancel that arrives before the thread got here is kept, not reset: it was meant for this search.
    SharpestSearchRequest request{image_, centerIndex_, frameCount_, radius_};
    bool finished = false;
    try {
        auto read = [this](int index) {
            return sequence_ ? sequence_->getCvImageAt(index, false) : cv::Mat();
        };
        finished = searchSharpest(request, read, candidates_, run_);
        outcome_.store(finished ? RunOutcome::Finished : RunOutcome::Canceled);
    } catch (const std::exception& e) {
        outcome_.store(RunOutcome::Failed);
        logError("SharpestImageSearcher",
                 std::string("The search for sharper frames failed: ") + e.what() + "\n");
        run_.setProgress(100);
    } catch (...) {
        outcome_.store(RunOutcome::Failed);
        logError("SharpestImageSearcher", "The search for sharper frames failed.\n");
        run_.setProgress(100);
    }
    if (finished)
        emit processWellFinished(&candidates_);
    std::lock_guard<std::mutex> lock(endMutex_);
}

} // namespace lumora
