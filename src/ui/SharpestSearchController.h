#pragma once
// The Pro sharpest-frame search: looks around the player's frame for sharper frames on a worker thread,
// follows it on the progress bar, then reads small pictures of the frames found (also off the window's
// thread) and lists them, best first, with their sharpness in percent of the best.

#include "sharpness/Sharpness.h"

#include <QObject>
#include <QTimer>
#include <opencv2/core.hpp>

#include <memory>

namespace lumora {

class LumoraV2;
class FrameThumbnailsThread;
class SharpestImageSearcherWorkerThread;

class SharpestSearchController : public QObject {
    Q_OBJECT
public:
    explicit SharpestSearchController(LumoraV2& window);
    ~SharpestSearchController() override;

    bool running() const { return search_ || thumbnails_; }
    // The cancel button: the search ends without results.
    void stop();
    // Stops and waits for the threads (the window keeps repainting); closing the medium.
    void cancelNow();
    // Empties the result lists and hides their title.
    void clearResults();

public slots:
    void PushButtonFindSharpestImageClicked();

private:
    void pollProgress();
    void searchEnded();
    void thumbnailsEnded();
    void showResults(const std::vector<cv::Mat>& pictures);
    void backToSelection();

    LumoraV2& window_;
    std::unique_ptr<SharpestImageSearcherWorkerThread> search_;
    std::unique_ptr<FrameThumbnailsThread> thumbnails_;
    bool completed_ = false;
    bool stopRequested_ = false;
    cv::Mat centre_;
    SharpestCandidates found_;
    QTimer poll_;
};

} // namespace lumora
