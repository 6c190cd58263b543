#pragma once
// The video player: play and pause at the sequence's pace, step, seek (the frame is decoded once the mouse
// stops), jump to the trim range's ends, playback speed and display brightness, the preview's context menu,
// and the display size of whatever the window shows (needResize).

#include "ui/FitInto.h"
#include "ui/WindowModel.h"

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QTimer>
#include <opencv2/core.hpp>

namespace lumora {

class PlayerController : public QObject {
    Q_OBJECT
public:
    explicit PlayerController(const WindowContext& context);

    // A sequence is open and ready, in a state where it can be played (frame selection or Pro parameters).
    bool ready() const;
    bool paused() const { return paused_; }
    // Stops the play loop if it runs (it ends once control returns to it).
    void pauseIfPlaying();
    // A paused player at normal speed and brightness with no seek pending.
    void resetPreview();
    // Time and frame labels and the timeline's items for frame `index` (-1: the sequence's current frame).
    void updateTimeline(int index = -1);
    // The frame a seek will show once the mouse stops, and whether one is pending.
    int pendingIndex() const { return pendingIndex_; }
    bool seekPending() const { return seekTimer_.isActive(); }

public slots:
    void playPauseVideo();
    bool showNextFrame();
    bool showPreviousFrame();
    void showBeginFrame();
    void showEndFrame();
    void showFrameIndex(int index);
    void TimerTimeoutShowFrameIndex();
    void horizontalSlider_VideoSpeedMoved(int value);
    void horizontalSlider_VideoBrightnessMoved(int value);
    void customMenuRequested(const QPoint& position);
    void needResize();

signals:
    // A frame to put on screen.
    void frameShown(const cv::Mat& frame);
    // The size the display takes in the preview area; `editedPicture` when it shows the edited picture,
    // whose preview is rendered at that size.
    void displaySized(const QSize& size, bool editedPicture);
    // Whatever the window shows is to be shown again at the display size.
    void redisplayRequested();
    // The timeline is to be laid out for a new width, or its items moved to frame `index`.
    void timelineLayoutRequested();
    void timelineMoved(int index);
    void saveFrameRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPlaying(bool playing);

    WindowContext ctx_;
    bool paused_ = true;
    bool looping_ = false;
    int pendingIndex_ = 0;
    QTimer seekTimer_;
};

} // namespace lumora
