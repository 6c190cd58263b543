#include "ui/ToneControls.h"

#include "ui/EditingPanel.h"
#include "ui/WindowForm.h"

#include <QComboBox>
#include <QGroupBox>
#include <QSlider>

namespace lumora {

using P = Ui::ToneMappingPanel;

OperatorControls::OperatorControls(const WindowForm& form, EditingPanel& panel) : form_(form), panel_(panel) {
    const P* t = form.toneMapping;
    // The operator and rotation sliders do not track: their value arrives when they are released.
    const std::pair<QSlider*, void (OperatorControls::*)(int)> sliders[] = {
        {t->horizontalSlider_TMAlpha, &OperatorControls::horizontalSlider_TM1AlphaMoved},
        {t->horizontalSlider_TMBeta, &OperatorControls::horizontalSlider_TM1BetaMoved},
        {t->horizontalSlider_TM2_Alpha, &OperatorControls::horizontalSlider_TM2AlphaMoved},
        {t->horizontalSlider_TM3_Alpha, &OperatorControls::horizontalSlider_TM3AlphaMoved},
        {t->horizontalSlider_TM3_Beta, &OperatorControls::horizontalSlider_TM3BetaMoved},
        {t->horizontalSlider_TM3_Gamma, &OperatorControls::horizontalSlider_TM3GammaMoved},
        {t->horizontalSlider_TM4_Alpha, &OperatorControls::horizontalSlider_TM4AlphaMoved},
        {t->horizontalSlider_TM4_Beta, &OperatorControls::horizontalSlider_TM4BetaMoved},
        {t->horizontalSlider_TM4_Gamma, &OperatorControls::horizontalSlider_TM4GammaMoved},
        {form.basicClassic->horizontalSlider_Rotation, &OperatorControls::horizontalSlider_RotationMoved},
        {form.proEditing->horizontalSlider_Rotation_2, &OperatorControls::horizontalSlider_Rotation_2Moved},
    };
    for (const auto& [slider, slot] : sliders)
        connect(slider, &QSlider::valueChanged, this, slot);
    connect(t->comboBox_TM, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &OperatorControls::comboBox_TMChanged);
    connect(t->groupBox_TMOptions, &QGroupBox::toggled, this,
            &OperatorControls::checkBox_ApplyTMOptionsToggled);
}

void OperatorControls::horizontalSlider_TM1AlphaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TMAlpha, v);
}
void OperatorControls::horizontalSlider_TM1BetaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TMBeta, v);
}
void OperatorControls::horizontalSlider_TM2AlphaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TM2_Alpha, v);
}
void OperatorControls::horizontalSlider_TM3AlphaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TM3_Alpha, v);
}
void OperatorControls::horizontalSlider_TM3BetaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TM3_Beta, v);
}
void OperatorControls::horizontalSlider_TM3GammaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TM3_Gamma, v);
}
void OperatorControls::horizontalSlider_TM4AlphaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TM4_Alpha, v);
}
void OperatorControls::horizontalSlider_TM4BetaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TM4_Beta, v);
}
void OperatorControls::horizontalSlider_TM4GammaMoved(int v) {
    panel_.operatorSliderMoved(&P::horizontalSlider_TM4_Gamma, v);
}
void OperatorControls::comboBox_TMChanged(int index) {
    panel_.operatorChosen(index);
}
void OperatorControls::checkBox_ApplyTMOptionsToggled(bool on) {
    panel_.toneMappingToggled(on);
}
void OperatorControls::horizontalSlider_RotationMoved(int v) {
    panel_.rotationMoved(form_.basicClassic->horizontalSlider_Rotation, v);
}
void OperatorControls::horizontalSlider_Rotation_2Moved(int v) {
    panel_.rotationMoved(form_.proEditing->horizontalSlider_Rotation_2, v);
}

AdjustmentControls::AdjustmentControls(const WindowForm& form, EditingPanel& panel) : panel_(panel) {
    const P* t = form.toneMapping;
    const std::pair<QSlider*, void (AdjustmentControls::*)(int)> sliders[] = {
        {t->horizontalSlider_TMStrength, &AdjustmentControls::horizontalSlider_TMStrengthMoved},
        {t->horizontalSlider_TMExposition, &AdjustmentControls::horizontalSlider_TMExpositionMoved},
        {t->horizontalSlider_TMContrast, &AdjustmentControls::horizontalSlider_TMContrastMoved},
        {t->horizontalSlider_TMHighlights, &AdjustmentControls::horizontalSlider_TMHighlightsMoved},
        {t->horizontalSlider_TMShadows, &AdjustmentControls::horizontalSlider_TMShadowsMoved},
        {t->horizontalSlider_TMWhites, &AdjustmentControls::horizontalSlider_TMWhitesMoved},
        {t->horizontalSlider_TMBlacks, &AdjustmentControls::horizontalSlider_TMBlacksMoved},
        {t->horizontalSlider_TMHue, &AdjustmentControls::horizontalSlider_TMHueMoved},
        {t->horizontalSlider_TMSaturation, &AdjustmentControls::horizontalSlider_TMSaturationMoved},
        {t->horizontalSlider_TMVibrance, &AdjustmentControls::horizontalSlider_TMVibranceMoved},
        {t->horizontalSlider_TMBlackClip, &AdjustmentControls::horizontalSlider_TMBlackClipMoved},
        {t->horizontalSlider_TMWhiteClip, &AdjustmentControls::horizontalSlider_TMWhiteClipMoved},
        {t->horizontalSlider_TMSharpeningAmount,
         &AdjustmentControls::horizontalSlider_TMSharpeningAmountMoved},
        {t->horizontalSlider_TMSharpeningRadius,
         &AdjustmentControls::horizontalSlider_TMSharpeningRadiusMoved},
        {t->horizontalSlider_TMSharpeningThreshold,
         &AdjustmentControls::horizontalSlider_TMSharpeningThresholdMoved},
    };
    for (const auto& [slider, slot] : sliders)
        connect(slider, &QSlider::valueChanged, this, slot);
    connect(t->groupBox_Sharpening, &QGroupBox::toggled, this,
            &AdjustmentControls::checkBox_ApplySharpeningToggled);
}

void AdjustmentControls::horizontalSlider_TMStrengthMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMStrength, v);
}
void AdjustmentControls::horizontalSlider_TMExpositionMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMExposition, v);
}
void AdjustmentControls::horizontalSlider_TMContrastMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMContrast, v);
}
void AdjustmentControls::horizontalSlider_TMHighlightsMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMHighlights, v);
}
void AdjustmentControls::horizontalSlider_TMShadowsMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMShadows, v);
}
void AdjustmentControls::horizontalSlider_TMWhitesMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMWhites, v);
}
void AdjustmentControls::horizontalSlider_TMBlacksMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMBlacks, v);
}
void AdjustmentControls::horizontalSlider_TMHueMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMHue, v);
}
void AdjustmentControls::horizontalSlider_TMSaturationMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMSaturation, v);
}
void AdjustmentControls::horizontalSlider_TMVibranceMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMVibrance, v);
}
void AdjustmentControls::horizontalSlider_TMBlackClipMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMBlackClip, v);
}
void AdjustmentControls::horizontalSlider_TMWhiteClipMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMWhiteClip, v);
}
void AdjustmentControls::horizontalSlider_TMSharpeningAmountMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMSharpeningAmount, v);
}
void AdjustmentControls::horizontalSlider_TMSharpeningRadiusMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMSharpeningRadius, v);
}
void AdjustmentControls::horizontalSlider_TMSharpeningThresholdMoved(int v) {
    panel_.adjustmentMoved(&P::horizontalSlider_TMSharpeningThreshold, v);
}
void AdjustmentControls::checkBox_ApplySharpeningToggled(bool on) {
    panel_.sharpeningToggled(on);
}

} // namespace lumora
