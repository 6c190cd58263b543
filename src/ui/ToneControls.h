#pragma once
// The slots of the editing page's controls, by the widget that triggers them; each hands its change to the
// EditingPanel. OperatorControls: the operator choice, its sliders, tone mapping on/off and the two rotation
// sliders (rendered on a thread). AdjustmentControls: strength, the adjustments, the clips and sharpening
// (refreshed at once).

#include <QObject>

namespace lumora {

class EditingPanel;
struct WindowForm;

class OperatorControls : public QObject {
    Q_OBJECT
public:
    OperatorControls(const WindowForm& form, EditingPanel& panel);

public slots:
    void horizontalSlider_TM1AlphaMoved(int v);
    void horizontalSlider_TM1BetaMoved(int v);
    void horizontalSlider_TM2AlphaMoved(int v);
    void horizontalSlider_TM3AlphaMoved(int v);
    void horizontalSlider_TM3BetaMoved(int v);
    void horizontalSlider_TM3GammaMoved(int v);
    void horizontalSlider_TM4AlphaMoved(int v);
    void horizontalSlider_TM4BetaMoved(int v);
    void horizontalSlider_TM4GammaMoved(int v);
    void comboBox_TMChanged(int index);
    void checkBox_ApplyTMOptionsToggled(bool on);
    void horizontalSlider_RotationMoved(int v);
    void horizontalSlider_Rotation_2Moved(int v);

private:
    const WindowForm& form_;
    EditingPanel& panel_;
};

class AdjustmentControls : public QObject {
    Q_OBJECT
public:
    AdjustmentControls(const WindowForm& form, EditingPanel& panel);

public slots:
    void horizontalSlider_TMStrengthMoved(int v);
    void horizontalSlider_TMExpositionMoved(int v);
    void horizontalSlider_TMContrastMoved(int v);
    void horizontalSlider_TMHighlightsMoved(int v);
    void horizontalSlider_TMShadowsMoved(int v);
    void horizontalSlider_TMWhitesMoved(int v);
    void horizontalSlider_TMBlacksMoved(int v);
    void horizontalSlider_TMHueMoved(int v);
    void horizontalSlider_TMSaturationMoved(int v);
    void horizontalSlider_TMVibranceMoved(int v);
    void horizontalSlider_TMBlackClipMoved(int v);
    void horizontalSlider_TMWhiteClipMoved(int v);
    void horizontalSlider_TMSharpeningAmountMoved(int v);
    void horizontalSlider_TMSharpeningRadiusMoved(int v);
    void horizontalSlider_TMSharpeningThresholdMoved(int v);
    void checkBox_ApplySharpeningToggled(bool on);

private:
    EditingPanel& panel_;
};

} // namespace lumora
