#pragma once
// The Pro sharpest-frame search: looks around the player's frame for sharper frames on a worker thread,
// follows it on the progress bar, then reads small pictures of the frames found (also off the window's
// thread) and lists them, best first, with their sharpness in percent of the best.

#include "app/BackgroundRun.h"
#include "sharpness/Sharpness.h"

#include <QObject>
#include <opencv2/core.hpp>

#include <vector>

class QWidget;

namespace lumora {

class WindowModel;
struct WindowContext;
struct WindowForm;

class SharpestSearchController : public QObject {
    Q_OBJECT
public:
    explicit SharpestSearchController(const WindowContext& context);
    ~SharpestSearchController() override;

    bool running() const { return searching_ || reading_; }
    // The cancel button: the search ends without results.
    void stop();
    // Cancels both runs and joins them (each leaves after the frame it reads); closing the medium.
    void cancelNow();
    // Empties the result lists and hides their title.
    void clearResults();

signals:
    // The player stops before the search reads the sequence.
    void pauseRequested();
    // The workflow state changed: the window lays out its pages again.
    void windowUpdateRequested();
    // A result was clicked: the player goes to that frame.
    void frameChosen(int frameIndex);
    // A result's pin is to be placed on the timeline.
    void pinMoveRequested(QWidget* pin, int frameIndex);

public slots:
    void PushButtonFindSharpestImageClicked();

private:
    void showProgress();
    void searchEnded();
    void thumbnailsEnded();
    void showResults(const std::vector<cv::Mat>& pictures);
    void backToSelection();

    WindowModel& model_;
    const WindowForm& form_;
    BackgroundRun<SharpestSearchResult> search_{"SharpestSearchController"};
    BackgroundRun<std::vector<cv::Mat>> thumbnails_{"FrameThumbnails"};
    // From the start of each run until its end has been handled.
    bool searching_ = false;
    bool reading_ = false;
    bool stopRequested_ = false;
    SharpestCandidates found_;
};

} // namespace lumora
