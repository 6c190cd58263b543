#pragma once
// Frame selection: grabbing frames (Basic and Classic) and removing them, leaving frame selection (to
// editing, or in Pro to the stacking parameters around the chosen frame: their page, the trim range they set,
// back to the video), and the cancel button of the long operations, which it hands to the one running.

#include "ui/WindowModel.h"

#include <QObject>

namespace lumora {

class SharpestImageSelection;

class SelectionFlowController : public QObject {
    Q_OBJECT
public:
    explicit SelectionFlowController(const WindowContext& context);

    // Fills the Pro parameter page around the centre frame: the limits of the before/after counts, then
    // either the trim range from the counts (keepCounts) or the counts from the trim range.
    void fillParameterPage(bool keepCounts);

public slots:
    void PushButtonSelectImageNextClicked();
    void PushButtonReturnToVideoClicked();
    void PushButtonImageStacking_BeforeClicked();
    void PushButtonImageStacking_AfterClicked();
    void spinBox_NbImagesBeforeChanged(int value);
    void spinBox_NbImagesAfterChanged(int value);
    void updateAP1ModeValue();
    void horizontalSlider_AP1Moved(int value);
    void horizontalSlider_AP2Moved(int value);
    void checkBox_AutoAP2Toggled(bool checked);
    void checkBox_AlignToggled(bool checked);
    void comboBox_QualityChanged(int index);
    void grabCurrentFrame();
    void removeSharpestImageSelection(lumora::SharpestImageSelection* selection);
    void PushButtonComputingCancelClicked(bool ask);

signals:
    void pauseRequested();
    // The player is to show frame `index`, or to show the current one's place again.
    void frameRequested(int index);
    void timelineRefreshRequested();
    void windowUpdateRequested();
    // A frame was grabbed: its widget is to be wired to the player, the editing and the export.
    void frameGrabbed(lumora::SharpestImageSelection* selection);
    // Editing is to start on `first` of the grabbed frames, with the built-in presets only in Basic.
    void editingRequested(lumora::SharpestImageSelection* first, bool builtInPresetsOnly);
    // The cancel button, for the long operation that runs.
    void searchStopRequested();
    void exportStopRequested();
    void stackingStopRequested(bool ask);

private:
    // Shows the trim limit frame when the player's frame fell outside the new range.
    void followTrimRange(int limit);
    bool parametersEditable() const;
    void readStackingChoices();

    WindowContext ctx_;
};

} // namespace lumora
