#include "sharpness/FrameQuality.h"

#include "app/Parallel.h"
#include "media/FrameSource.h"
#include "sharpness/Sharpness.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace lumora {

namespace {

// What one frame leaves for the next steps: its sharpness and its grey copy for motion.
struct SmallFrame {
    float sharpness = 0.f;
    cv::Mat grey; // CV_32F, 0..255, motionWidth wide; empty when the frame was not read
};

cv::Mat scaledToWidth(const cv::Mat& image, int width) {
    if (width <= 0 || image.cols <= width)
        return image;
    const int height = std::max(1, static_cast<int>(std::lround(double(image.rows) * width / image.cols)));
    cv::Mat small;
    cv::resize(image, small, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    return small;
}

SmallFrame analyse(const cv::Mat& frame, const FrameQualityOptions& options) {
    SmallFrame s;
    if (frame.empty())
        return s;
    const cv::Mat small = scaledToWidth(frame, options.analysisWidth);
    s.sharpness = sharpness(small);
    cv::Mat grey;
    const cv::Mat forMotion = scaledToWidth(small, options.motionWidth);
    if (forMotion.channels() == 3)
        cv::cvtColor(forMotion, grey, cv::COLOR_BGR2GRAY);
    else if (forMotion.channels() == 4)
        cv::cvtColor(forMotion, grey, cv::COLOR_BGRA2GRAY);
    else
        grey = forMotion;
    grey.convertTo(s.grey, CV_32F,
                   frame.depth() == CV_16U   ? 1.0 / 257.0
                   : frame.depth() == CV_32F ? 255.0
                                             : 1.0);
    return s;
}

// Shift and residual of `current` against `previous` (see the header).
void motion(const cv::Mat& previous, const cv::Mat& current, const cv::Mat& window, FrameQuality* q) {
    if (previous.empty() || current.empty() || previous.size() != current.size())
        return;
    // The window is applied to copies: OpenCV's phaseCorrelate multiplies its inputs in place by it, which
    // would change the frame kept for the next comparison.
    const cv::Point2d d = cv::phaseCorrelate(previous.mul(window), current.mul(window));
    q->shift = static_cast<float>(100.0 * std::hypot(d.x, d.y) / current.cols);
    // Previous moved by d lies over current; compare where both have pixels.
    const cv::Mat move = (cv::Mat_<double>(2, 3) << 1, 0, d.x, 0, 1, d.y);
    cv::Mat moved;
    cv::warpAffine(previous, moved, move, current.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    const int mx = static_cast<int>(std::ceil(std::abs(d.x))) + 1,
              my = static_cast<int>(std::ceil(std::abs(d.y))) + 1;
    const cv::Rect inner(mx, my, current.cols - 2 * mx, current.rows - 2 * my);
    if (inner.width <= 0 || inner.height <= 0) {
        q->residual = 255.f;
        return;
    }
    cv::Mat diff;
    cv::absdiff(moved(inner), current(inner), diff);
    q->residual = static_cast<float>(cv::mean(diff)[0]);
}

} // namespace

FrameQualityStrip computeFrameQuality(int frameCount,
                                      const std::function<std::vector<cv::Mat>(int, int)>& readFrames,
                                      const FrameQualityOptions& options, RunControl& run) {
    FrameQualityStrip strip;
    strip.frames.reserve(static_cast<std::size_t>(std::max(0, frameCount)));
    cv::Mat previous, window;
    const int batch = std::max(1, options.batch);
    for (int first = 0; first < frameCount; first += batch) {
        if (run.shouldEnd()) {
            strip.outcome = run.isCanceled() ? RunOutcome::Canceled : RunOutcome::Stopped;
            return strip;
        }
        const int last = std::min(frameCount - 1, first + batch - 1);
        const std::vector<cv::Mat> frames = readFrames(first, last);
        std::vector<SmallFrame> small(static_cast<std::size_t>(last - first + 1));
        parallelFor(static_cast<int>(small.size()), std::max(1, options.workers), "FrameQuality", [&](int k) {
            if (static_cast<std::size_t>(k) < frames.size())
                small[std::size_t(k)] = analyse(frames[std::size_t(k)], options);
        });
        for (SmallFrame& s : small) {
            FrameQuality q;
            q.read = !s.grey.empty();
            q.sharpness = s.sharpness;
            if (q.read && window.size() != s.grey.size())
                cv::createHanningWindow(window, s.grey.size(), CV_32F);
            motion(previous, s.grey, window, &q);
            strip.frames.push_back(q);
            previous = s.grey;
        }
        run.setProgress(static_cast<int>(100LL * (last + 1) / frameCount));
    }
    if (strip.frames.size() > 1) {
        strip.frames[0].shift = strip.frames[1].shift;
        strip.frames[0].residual = strip.frames[1].residual;
    }
    run.setProgress(100);
    strip.outcome = RunOutcome::Finished;
    return strip;
}

FrameQualityStrip computeFrameQuality(const std::vector<std::string>& media,
                                      const FrameQualityOptions& options, RunControl& run) {
    FrameQualityStrip strip;
    if (media.empty()) {
        strip.error = "no medium";
        return strip;
    }
    std::unique_ptr<FrameSource> source = media.size() == 1 ? std::make_unique<FrameSource>(media.front())
                                                            : std::make_unique<FrameSource>(media);
    if (!source->ready()) {
        strip.error = "cannot open " + media.front();
        return strip;
    }
    return computeFrameQuality(
        source->frameCount(), [&](int first, int last) { return source->framesInRange(first, last); },
        options, run);
}

std::vector<int> sharpestMoments(const std::vector<FrameQuality>& frames, int radius) {
    std::vector<int> moments;
    const int n = static_cast<int>(frames.size());
    for (int i = 0; i < n; ++i) {
        if (!frames[std::size_t(i)].read)
            continue;
        bool best = true;
        for (int j = std::max(0, i - radius); j <= std::min(n - 1, i + radius) && best; ++j) {
            const FrameQuality& o = frames[std::size_t(j)];
            if (j != i && o.read &&
                (o.sharpness > frames[std::size_t(i)].sharpness ||
                 (o.sharpness == frames[std::size_t(i)].sharpness && j < i)))
                best = false;
        }
        if (best)
            moments.push_back(i);
    }
    return moments;
}

int sharpestNear(const std::vector<FrameQuality>& frames, int index, int radius) {
    const int n = static_cast<int>(frames.size());
    int best = -1;
    for (int j = std::max(0, index - radius); j <= std::min(n - 1, index + radius); ++j) {
        const FrameQuality& o = frames[std::size_t(j)];
        if (!o.read)
            continue;
        if (best < 0 || o.sharpness > frames[std::size_t(best)].sharpness ||
            (o.sharpness == frames[std::size_t(best)].sharpness &&
             std::abs(j - index) < std::abs(best - index)))
            best = j;
    }
    return best < 0 ? index : best;
}

} // namespace lumora
