#include "ui/FrameThumbnails.h"

#include "app/EventLog.h"
#include "media/ImagesSequence.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <exception>
#include <string>

namespace lumora {

std::vector<cv::Mat> readFrameThumbnails(ImagesSequence& sequence, const std::vector<int>& indices, int width,
                                         RunControl& run) {
    std::vector<cv::Mat> thumbnails;
    try {
        for (int index : indices) {
            if (run.shouldEnd())
                break;
            // As the player shows it: HDR frames through the display transform, not their code values.
            const cv::Mat frame = sequence.stillFrameAt(index);
            cv::Mat small;
            if (!frame.empty() && frame.cols > 0) {
                const int height = std::max(1, frame.rows * width / frame.cols);
                cv::resize(frame, small, cv::Size(width, height), 0, 0, cv::INTER_AREA);
            }
            thumbnails.push_back(small);
        }
    } catch (const std::exception& e) {
        logError("FrameThumbnails", std::string("Reading frames for the results failed: ") + e.what());
    }
    return thumbnails;
}

} // namespace lumora
