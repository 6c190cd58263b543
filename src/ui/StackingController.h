#pragma once
// Pro stacking from the window: starts the run around the chosen frame with the parameter page's choices,
// follows it on the progress bar, asks what to do when the user stops it (keep what is merged, back to the
// video, or go on), and at its end shows the light image, offers to save it and starts editing a selection
// made from it. Closing the medium cancels the run and joins it (it leaves at its next check).

#include "app/BackgroundRun.h"
#include "stacking/StackingRun.h"

#include <QObject>

namespace lumora {

class MessageService;
class SharpestImageSelection;
class WindowModel;
struct WindowContext;
struct WindowForm;

class StackingController : public QObject {
    Q_OBJECT
public:
    explicit StackingController(const WindowContext& context);
    ~StackingController() override;

    bool running() const { return pending_; }
    // The cancel button: the stop question when `ask`, else an immediate cancel.
    void stop(bool ask);
    // Cancels a run, joins it and lets go of its engine.
    void cancelNow();
    // The name a light image of the last run is proposed under.
    QString lightImageName() const;

signals:
    // The workflow state changed: the window lays out its pages again.
    void windowUpdateRequested();
    // The light image just merged is to be shown.
    void lightImageShown(const cv::Mat& light);
    // The user agreed to save the light image now.
    void lightImageSaveRequested();
    // A selection was made from the light image: its clicks and export button are to be routed.
    void selectionMade(lumora::SharpestImageSelection* selection);
    // The editing page's preset strips are to be built.
    void presetStripsRequested(bool builtInPresetsOnly);
    // The selection is to be edited.
    void selectionChosen(lumora::SharpestImageSelection* selection);

public slots:
    void PushButtonDefineParamsNextClicked();
    void HDRprocessWellFinished(int frameCount);
    void HDRprocessCanceled();
    void HDRprocessFailed(const QString& reason);

private:
    enum class End { None, Finished, Canceled, Failed };
    void showProgress();
    // The run's end signal: hands its result to the slot for how it ended.
    void runEnded();
    // Records how the run ended; handled at once unless the stop question is open.
    void ended(End end, int frameCount, const QString& reason);
    void handleEnd();
    void finishWorker();
    void makeSelectionFromLightImage();

    WindowModel& model_;
    const WindowForm& form_;
    MessageService& messages_;
    BackgroundRun<StackingResult> run_{"StackingController"};
    bool pending_ = false; // from the start of a run until its end has been handled
    cv::Mat endLight_;
    int frameTotal_ = 0;
    int shownPercent_ = -1;
    int shownFrame_ = -1;
    bool asking_ = false;
    End end_ = End::None;
    int endFrameCount_ = 0;
    QString endReason_;
};

} // namespace lumora
