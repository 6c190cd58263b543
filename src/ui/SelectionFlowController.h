#pragma once
// Frame selection: grabbing frames (Basic and Classic) and removing them, leaving frame selection (to
// editing, or in Pro to the stacking parameters around the chosen frame: their page, the trim range they set,
// back to the video), and the cancel button of the long operations, which it hands to the one running.

#include <QObject>

namespace lumora {

class LumoraV2;
class SharpestImageSelection;

class SelectionFlowController : public QObject {
    Q_OBJECT
public:
    explicit SelectionFlowController(LumoraV2& window);

    // Fills the Pro parameter page around the centre frame: the limits of the before/after counts, then
    // either the trim range from the counts (keepCounts) or the counts from the trim range.
    void fillParameterPage(bool keepCounts);
    // Where a grabbed frame's pin goes on the timeline.
    void placePins();

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

private:
    // Shows the trim limit frame when the player's frame fell outside the new range.
    void followTrimRange(int limit);
    bool parametersEditable() const;
    void readStackingChoices();

    LumoraV2& window_;
};

} // namespace lumora
