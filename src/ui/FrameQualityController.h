#pragma once
// The frame-quality strip under the timeline: computes every frame's sharpness and motion in the background
// as soon as a video or burst opens (from a decoder of its own, so the player never waits), shows them, and
// moves the player to the sharpest moment near the current frame (a button and Ctrl+J). Closing or replacing
// the medium cancels the computation without waiting for it.

#include "app/BackgroundRun.h"
#include "sharpness/FrameQuality.h"

#include <QObject>

class QPushButton;
class QShortcut;

namespace lumora {

class QualityStripWidget;
class WindowModel;
struct WindowContext;

class FrameQualityController : public QObject {
    Q_OBJECT
public:
    explicit FrameQualityController(const WindowContext& context);
    ~FrameQualityController() override;

    QualityStripWidget* strip() const { return strip_; }
    // True while a computation runs (also one cancelled and not yet ended).
    bool computing() const { return run_.running(); }
    // Frames each side that "near here" and the marks look at: one second of the clip (at least 1 frame).
    int reach() const;

signals:
    // The player should show this frame (the strip was clicked, or the sharpest moment near here was asked
    // for).
    void frameRequested(int index);

public slots:
    void PushButtonSharpestNearHereClicked();
    void refreshTexts();

private:
    void mediumChanged();
    void startForMedium();
    void runEnded();

    WindowModel& model_;
    QWidget* window_;
    QualityStripWidget* strip_ = nullptr;
    QPushButton* button_ = nullptr;
    QShortcut* shortcut_ = nullptr;
    BackgroundRun<FrameQualityStrip> run_{"FrameQuality"};
    quint64 runSession_ = 0; // the window's session the running computation is for
    bool restartPending_ = false;
    bool wanted_ = true; // the setting as read when the current medium opened
};

} // namespace lumora
