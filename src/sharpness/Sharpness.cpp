#include "sharpness/Sharpness.h"

#include <exception>

#include "app/EventLog.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <string>

namespace lumora {

float sharpness(const cv::Mat& frame) {
    if (frame.empty())
        return 0.0f;
    cv::Mat laplacian;
    cv::Laplacian(frame, laplacian, CV_64F, 1, 1.0, 0.0, cv::BORDER_DEFAULT);
    cv::Scalar mean, stddev;
    cv::meanStdDev(laplacian, mean, stddev);
    return static_cast<float>(stddev[0] * stddev[0]);
}

bool searchSharpest(const SharpestSearchRequest& request, const std::function<cv::Mat(int)>& readFrame,
                    SharpestCandidates& candidates, RunControl& run) {
    const float s0 = sharpness(request.centre);
    const int first = std::max(0, request.centreIndex - request.radius);
    const int last = std::min(request.centreIndex + request.radius, request.frameCount - 1);
    candidates.clear();
    candidates.insert({s0, request.centreIndex});
    if (first >= last) {
        run.setProgress(100);
        return true;
    }
    // Both ends of the window are examined: with a radius of 1 the frame after the centre counts as much as
    // the one before it.
    const float n = static_cast<float>(last - first + 1);
    for (int idx = first; idx <= last; ++idx) {
        run.setProgress(static_cast<int>(static_cast<float>(idx - first) * 100.0f / n));
        if (idx == request.centreIndex)
            continue;
        if (run.shouldEnd())
            return false;
        const cv::Mat frame = readFrame(idx);
        if (frame.empty()) {
            logError("SharpestImageSearcher",
                     "Error during accessing the image at index " + std::to_string(idx) + "\n");
            continue;
        }
        const float s = sharpness(frame);
        if (s > s0)
            candidates.insert({s, idx});
    }
    run.setProgress(100);
    return true;
}

SharpestSearchResult findSharpest(const SharpestSearchRequest& request,
                                  const std::function<cv::Mat(int)>& readFrame, RunControl& run) {
    SharpestSearchResult result;
    try {
        const bool finished = searchSharpest(request, readFrame, result.candidates, run);
        result.outcome = finished ? RunOutcome::Finished : RunOutcome::Canceled;
        if (!finished)
            result.candidates.clear();
    } catch (const std::exception& e) {
        logError("SharpestImageSearcher",
                 std::string("The search for sharper frames failed: ") + e.what() + "\n");
        result = SharpestSearchResult{RunOutcome::Failed, {}, e.what()};
        run.setProgress(100);
    } catch (...) {
        logError("SharpestImageSearcher", "The search for sharper frames failed.\n");
        result = SharpestSearchResult{RunOutcome::Failed, {}, "unknown error"};
        run.setProgress(100);
    }
    return result;
}

} // namespace lumora
