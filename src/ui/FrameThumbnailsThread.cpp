#include "ui/FrameThumbnailsThread.h"

#include "app/EventLog.h"
#include "media/ImagesSequence.h"

#include <exception>
#include <opencv2/imgproc.hpp>

namespace lumora {

FrameThumbnailsThread::FrameThumbnailsThread(ImagesSequence* sequence, std::vector<int> indices, int width)
    : sequence_(sequence), indices_(std::move(indices)), width_(width) {}

FrameThumbnailsThread::~FrameThumbnailsThread() {
    if (isRunning()) {
        requestCancel();
        wait();
    }
}

void FrameThumbnailsThread::run() {
    try {
        for (int index : indices_) {
            if (cancel_.load())
                return;
            // As the player shows it: HDR frames through the display transform, not their code values.
            const cv::Mat frame = sequence_->stillFrameAt(index);
            cv::Mat small;
            if (!frame.empty() && frame.cols > 0) {
                const int height = std::max(1, frame.rows * width_ / frame.cols);
                cv::resize(frame, small, cv::Size(width_, height), 0, 0, cv::INTER_AREA);
            }
            thumbnails_.push_back(small);
        }
    } catch (const std::exception& e) {
        logError("FrameThumbnailsThread", std::string("Reading frames for the results failed: ") + e.what());
    }
}

} // namespace lumora
