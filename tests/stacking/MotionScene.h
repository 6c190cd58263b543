#pragma once
// The motion scenes of lumora-testmedia (bursts PREFIX_moving, PREFIX_still, PREFIX_clean and the sidecar
// PREFIX.json) and the anti-ghosting quality figures measured on them: in the disc's path, the mean
// difference to the stack of the scene whose disc stays still (the ghost left); away from it, the RMS
// difference to the stack of the noiseless scene (the noise left). Shared by the quality tests and
// bench_stacking.

#include "SceneSidecar.h"
#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"
#include "stacking/StackingEngine.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace lumora::test {

// Where the figures are taken: the ghost region is where the disc is in the other frames but not in the
// chosen one, the object region where the chosen frame has it, each disc grown by a few pixels (the blocks
// around an edge); the still area keeps clear of every disc by more than a block-matching template and of the
// frame's edges by more than the camera's shake.
constexpr double kPathMargin = 4.0;
constexpr double kStaticClearance = 24.0;
constexpr int kStaticBorder = 12;

struct MotionScene {
    std::string moving, still, clean; // burst folders
    std::vector<SceneFrameTruth> frames;
    int centre = 0;
    cv::Size size;

    // The discs of the frames that `which` accepts (by index), each grown by `margin` pixels.
    template <class Which> cv::Mat discs(double margin, Which which) const {
        cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
        for (size_t i = 0; i < frames.size(); ++i)
            if (which(static_cast<int>(i)))
                cv::circle(mask,
                           cv::Point(static_cast<int>(std::lround(frames[i].objectX)),
                                     static_cast<int>(std::lround(frames[i].objectY))),
                           static_cast<int>(std::ceil(frames[i].objectRadius + margin)), cv::Scalar(255),
                           cv::FILLED);
        return mask;
    }
    cv::Mat pathMask(double margin) const {
        return discs(margin, [](int) { return true; });
    }
    // Where a long exposure leaves ghosts: the disc's other places, away from where the chosen frame has it.
    cv::Mat ghostMask(double margin) const {
        return discs(margin, [&](int i) { return i != centre; }) & ~objectMask(margin);
    }
    cv::Mat objectMask(double margin) const {
        return discs(margin, [&](int i) { return i == centre; });
    }
    // Farther than `clearance` pixels from every disc and `border` pixels from the frame's edges: nothing
    // moves there.
    cv::Mat staticMask(double clearance, int border) const {
        cv::Mat mask;
        cv::bitwise_not(pathMask(clearance), mask);
        cv::Mat inner = cv::Mat::zeros(size, CV_8UC1);
        inner(cv::Rect(border, border, size.width - 2 * border, size.height - 2 * border)).setTo(255);
        return mask & inner;
    }
};

// Empty folders when the scene is missing.
inline MotionScene loadMotionScene(const std::string& dir, const std::string& prefix) {
    MotionScene s;
    const std::string sidecar = dir + "/" + prefix + ".json";
    QFile f(QString::fromStdString(sidecar));
    if (!f.open(QIODevice::ReadOnly))
        return s;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    s.frames = readSceneSidecar(sidecar);
    s.centre = o.value("centreFrame").toInt();
    s.size = cv::Size(o.value("width").toInt(), o.value("height").toInt());
    s.moving = dir + "/" + prefix + "_moving";
    s.still = dir + "/" + prefix + "_still";
    s.clean = dir + "/" + prefix + "_clean";
    return s;
}

// Every frame of a burst folder stacked on frame `centre`, aligned, with automatic reach; the window's
// defaults are tolerance 0 (high anti-ghosting) and blocks of 5 (good quality), 100 is a long exposure.
inline cv::Mat stackBurst(const std::string& folder, int centre, BlockSearch search, float ghostTolerance,
                          int threads, int blockSize = 5) {
    ImagesSequence seq(burstFilesInFolder(folder));
    if (!seq.ready())
        return cv::Mat();
    StackingParams p;
    p.sequence = &seq;
    p.chosenIndex = centre;
    p.firstIndex = 0;
    p.frameCount = seq.frameCount();
    p.ghostTolerance = ghostTolerance;
    p.searchRadiusPercent = -1.f;
    p.blockSize = blockSize;
    p.align = true;
    p.search = search;
    p.threadCount = threads;
    return StackingEngine().computeLightImage(p);
}

// Mean absolute difference over the mask, all channels together.
inline double meanDifference(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d, mask);
    return (m[0] + m[1] + m[2]) / 3.0;
}

// Root mean square difference over the mask, all channels together.
inline double rmsDifference(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
    cv::Mat d;
    cv::subtract(a, b, d, cv::noArray(), CV_64F);
    const cv::Scalar m = cv::mean(d.mul(d), mask);
    return std::sqrt((m[0] + m[1] + m[2]) / 3.0);
}

} // namespace lumora::test
