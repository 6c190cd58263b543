#pragma once
// Frame selection and the computing flow: leaving frame selection, the Pro stacking parameters around the
// chosen frame (their page, the trim range they set, back to the video), and the long operations that later
// steps add (grabbing frames, the sharpest-frame search, stacking), which are refused until they exist.

#include <QObject>

namespace lumora {

class LumoraV2;

class SelectionFlowController : public QObject {
    Q_OBJECT
public:
    explicit SelectionFlowController(LumoraV2& window);

    // Fills the Pro parameter page around the centre frame: the limits of the before/after counts, then
    // either the trim range from the counts (keepCounts) or the counts from the trim range.
    void fillParameterPage(bool keepCounts);
    // Stops a running stacking or search at once (closing the workspace); nothing runs in this version.
    void cancelStacking();
    void stopSearch();

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
    void PushButtonFindSharpestImageClicked();
    void PushButtonDefineParamsNextClicked();
    void PushButtonComputingCancelClicked(bool ask);

private:
    // Shows the trim limit frame when the player's frame fell outside the new range.
    void followTrimRange(int limit);
    bool parametersEditable() const;

    LumoraV2& window_;
};

} // namespace lumora
