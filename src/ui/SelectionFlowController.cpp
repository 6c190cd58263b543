#include "ui/SelectionFlowController.h"

#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "ui/SharpestImageSelection.h"
#include "ui/WindowForm.h"
#include "ui/Workspace.h"

#include <algorithm>

namespace lumora {

SelectionFlowController::SelectionFlowController(const WindowContext& context) : ctx_(context) {
    const WindowForm& f = ctx_.form;
    auto* p = f.proParams;
    connect(f.basicClassic->pushButton_GrabFrame, &QPushButton::clicked, this,
            &SelectionFlowController::grabCurrentFrame);
    connect(f.basicClassic->pushButton_BASICCLASSICSelectImageNext, &QPushButton::clicked, this,
            &SelectionFlowController::PushButtonSelectImageNextClicked);
    connect(f.proSelect->pushButton_SelectImageNext, &QPushButton::clicked, this,
            &SelectionFlowController::PushButtonSelectImageNextClicked);
    connect(p->pushButton_ImageStacking_Before, &QPushButton::clicked, this,
            &SelectionFlowController::PushButtonImageStacking_BeforeClicked);
    connect(p->pushButton_ImageStacking_After, &QPushButton::clicked, this,
            &SelectionFlowController::PushButtonImageStacking_AfterClicked);
    connect(p->spinBox_ImageStackingBefore, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &SelectionFlowController::spinBox_NbImagesBeforeChanged);
    connect(p->spinBox_ImageStackingAfter, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &SelectionFlowController::spinBox_NbImagesAfterChanged);
    for (QRadioButton* radio : {p->radioButton_LongExposure, p->radioButton_MediumAntighosting,
                                p->radioButton_HighAntighosting, p->radioButton_CustomAntighosting})
        connect(radio, &QRadioButton::toggled, this, &SelectionFlowController::updateAP1ModeValue);
    connect(p->horizontalSlider_AntighostingP1, &QSlider::valueChanged, this,
            &SelectionFlowController::horizontalSlider_AP1Moved);
    connect(p->horizontalSlider_AntighostingP2, &QSlider::valueChanged, this,
            &SelectionFlowController::horizontalSlider_AP2Moved);
    connect(p->checkBox_AutoAntighostingP2, &QCheckBox::toggled, this,
            &SelectionFlowController::checkBox_AutoAP2Toggled);
    connect(p->checkBox_Align, &QCheckBox::toggled, this, &SelectionFlowController::checkBox_AlignToggled);
    connect(p->comboBox_Quality, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SelectionFlowController::comboBox_QualityChanged);
    connect(p->pushButton_ReturnToVideo, &QPushButton::clicked, this,
            &SelectionFlowController::PushButtonReturnToVideoClicked);
    connect(f.progress->pushButton_ComputingCancel, &QPushButton::clicked, this,
            [this] { PushButtonComputingCancelClicked(true); });
}

bool SelectionFlowController::parametersEditable() const {
    return ctx_.model.hasMedium() && ctx_.model.workspace()->sequenceReady();
}

void SelectionFlowController::PushButtonSelectImageNextClicked() {
    if (!parametersEditable() || ctx_.model.workspace()->state != SelectingFrame)
        return;
    emit pauseRequested();
    Workspace* ws = ctx_.model.workspace();
    ws->undo.clear();
    if (ctx_.model.mode() == 3) {
        readStackingChoices();
        ws->centreIndex = ws->sequence()->currentIndex();
        ctx_.model.setState(DefiningParameters);
        fillParameterPage(true);
        return;
    }
    const std::vector<SharpestImageSelection*> grabbed = ws->liveSelections();
    if (grabbed.empty()) {
        ctx_.messages.show(MessageKind::Warning, translatedText("GrabAFrameFirstTitle"),
                           translatedText("GrabAFrameFirst"));
        return;
    }
    for (std::size_t i = 0; i < grabbed.size(); ++i)
        grabbed[i]->setExportName(QString::number(i + 1));
    // Basic offers the three built-in presets only.
    emit editingRequested(grabbed.front(), ctx_.model.mode() == 1);
}

void SelectionFlowController::readStackingChoices() {
    // The page keeps its positions from one medium to the next; the run must use what it shows.
    auto* p = ctx_.form.proParams;
    StackingChoices& c = ctx_.model.workspace()->stacking;
    c.antighostingPosition = p->horizontalSlider_AntighostingP1->value();
    c.automaticMovement = p->checkBox_AutoAntighostingP2->isChecked();
    c.movementPosition = p->horizontalSlider_AntighostingP2->value();
    c.align = p->checkBox_Align->isChecked();
    c.quality = p->comboBox_Quality->currentIndex();
}

void SelectionFlowController::fillParameterPage(bool keepCounts) {
    if (!parametersEditable())
        return;
    Workspace* ws = ctx_.model.workspace();
    ImagesSequence* sequence = ws->sequence();
    const int centre = ws->centreIndex;
    const int n = sequence->frameCount();
    auto* p = ctx_.form.proParams;
    ctx_.form.timeline->label_CursorSelectorFlag->setText(QString::number(centre));
    const QSignalBlocker blockBefore(p->spinBox_ImageStackingBefore);
    const QSignalBlocker blockAfter(p->spinBox_ImageStackingAfter);
    p->spinBox_ImageStackingAfter->setMaximum(n - centre);
    p->spinBox_ImageStackingBefore->setMaximum(centre);
    if (keepCounts) {
        // The counts were clamped to their new limits above.
        ws->stacking.framesBefore = p->spinBox_ImageStackingBefore->value();
        ws->stacking.framesAfter = p->spinBox_ImageStackingAfter->value();
        sequence->setFirstIndex(std::clamp(centre - ws->stacking.framesBefore, 0, centre));
        sequence->setLastIndex(std::clamp(centre + ws->stacking.framesAfter, centre, n - 1));
    } else {
        ws->stacking.framesBefore = centre - sequence->firstIndex();
        ws->stacking.framesAfter = sequence->lastIndex() - centre;
        p->spinBox_ImageStackingBefore->setValue(ws->stacking.framesBefore);
        p->spinBox_ImageStackingAfter->setValue(ws->stacking.framesAfter);
    }
    emit windowUpdateRequested();
}

void SelectionFlowController::PushButtonReturnToVideoClicked() {
    if (!parametersEditable())
        return;
    Workspace* ws = ctx_.model.workspace();
    ctx_.model.setState(SelectingFrame);
    ws->resetTrimRange();
    ws->undo.clear();
    emit windowUpdateRequested();
}

void SelectionFlowController::grabCurrentFrame() {
    if (!parametersEditable() || ctx_.model.workspace()->state != SelectingFrame || ctx_.model.mode() == 3)
        return;
    Workspace* ws = ctx_.model.workspace();
    if (ctx_.model.mode() == 1 && ws->liveSelections().size() >= 3) {
        ctx_.messages.show(MessageKind::Warning, translatedText("GrabedFrameLimitReachedTitle"),
                           translatedText("GrabedFrameLimitReached"));
        return;
    }
    const WindowForm& f = ctx_.form;
    auto* selection = new SharpestImageSelection(
        ws->sequence(), settings::read(settings::NbSharpenImages),
        f.basicClassic->scrollAreaWidgetContents_SharpestImageSelection, f.timeline->Panel_LectureTop2);
    ctx_.model.addSelection(selection);
    connect(selection, &SharpestImageSelection::removeImage, this,
            &SelectionFlowController::removeSharpestImageSelection);
    emit frameGrabbed(selection);
    selection->show();
    selection->pin()->show();
}

void SelectionFlowController::removeSharpestImageSelection(SharpestImageSelection* selection) {
    Workspace* ws = ctx_.model.workspace();
    if (!ws || !selection)
        return;
    ctx_.model.removeSelection(selection);
    selection->hide();
    // The widget sent the request: it goes once its signal has returned.
    selection->stopWork();
    selection->deleteLater();
}

void SelectionFlowController::PushButtonImageStacking_BeforeClicked() {
    if (!parametersEditable())
        return;
    const Workspace* ws = ctx_.model.workspace();
    const int p = ws->sequence()->currentIndex();
    ctx_.form.proParams->spinBox_ImageStackingBefore->setValue(ws->centreIndex -
                                                               std::min(p, ws->centreIndex));
}

void SelectionFlowController::PushButtonImageStacking_AfterClicked() {
    if (!parametersEditable())
        return;
    const Workspace* ws = ctx_.model.workspace();
    const int p = ws->sequence()->currentIndex();
    ctx_.form.proParams->spinBox_ImageStackingAfter->setValue(std::max(p, ws->centreIndex) - ws->centreIndex);
}

void SelectionFlowController::spinBox_NbImagesBeforeChanged(int value) {
    if (!parametersEditable())
        return;
    Workspace* ws = ctx_.model.workspace();
    ws->undo.push(ctx_.form.proParams->spinBox_ImageStackingBefore, &QSpinBox::setValue,
                  ws->stacking.framesBefore, value, QStringLiteral("Undo on neighboring frames number"));
    ws->stacking.framesBefore = value;
    const int first = std::clamp(ws->centreIndex - value, 0, ws->sequence()->frameCount() - 1);
    ws->sequence()->setFirstIndex(first);
    followTrimRange(first);
}

void SelectionFlowController::spinBox_NbImagesAfterChanged(int value) {
    if (!parametersEditable())
        return;
    Workspace* ws = ctx_.model.workspace();
    ws->undo.push(ctx_.form.proParams->spinBox_ImageStackingAfter, &QSpinBox::setValue,
                  ws->stacking.framesAfter, value, QStringLiteral("Undo on neighboring frames number"));
    ws->stacking.framesAfter = value;
    const int last = std::clamp(ws->centreIndex + value, 0, ws->sequence()->frameCount() - 1);
    ws->sequence()->setLastIndex(last);
    followTrimRange(last);
}

void SelectionFlowController::followTrimRange(int limit) {
    ImagesSequence* sequence = ctx_.model.workspace()->sequence();
    const int current = sequence->currentIndex();
    if (current < sequence->firstIndex() || current > sequence->lastIndex())
        emit frameRequested(limit);
    else
        emit timelineRefreshRequested();
}

void SelectionFlowController::updateAP1ModeValue() {
    auto* p = ctx_.form.proParams;
    QSlider* power = p->horizontalSlider_AntighostingP1;
    if (p->radioButton_LongExposure->isChecked())
        power->setValue(kLongExposurePosition);
    else if (p->radioButton_MediumAntighosting->isChecked())
        power->setValue(kMediumAntighostingPosition);
    else if (p->radioButton_HighAntighosting->isChecked())
        power->setValue(kHighAntighostingPosition);
    power->setEnabled(p->radioButton_CustomAntighosting->isChecked());
}

void SelectionFlowController::horizontalSlider_AP1Moved(int value) {
    if (!parametersEditable())
        return;
    StackingChoices& c = ctx_.model.workspace()->stacking;
    ctx_.model.workspace()->undo.push(ctx_.form.proParams->horizontalSlider_AntighostingP1,
                                      &QAbstractSlider::setValue, c.antighostingPosition, value,
                                      QStringLiteral("Undo on antighosting power"));
    c.antighostingPosition = value;
}

void SelectionFlowController::horizontalSlider_AP2Moved(int value) {
    if (!parametersEditable())
        return;
    StackingChoices& c = ctx_.model.workspace()->stacking;
    ctx_.model.workspace()->undo.push(ctx_.form.proParams->horizontalSlider_AntighostingP2,
                                      &QAbstractSlider::setValue, c.movementPosition, value,
                                      QStringLiteral("Undo on texture paremeter"));
    c.movementPosition = value;
}

void SelectionFlowController::checkBox_AutoAP2Toggled(bool checked) {
    auto* p = ctx_.form.proParams;
    p->horizontalSlider_AntighostingP2->setVisible(!checked);
    p->lcdNumber_AntighostingP2->setVisible(!checked);
    if (!parametersEditable())
        return;
    StackingChoices& c = ctx_.model.workspace()->stacking;
    ctx_.model.workspace()->undo.push(p->checkBox_AutoAntighostingP2, &QAbstractButton::setChecked,
                                      c.automaticMovement, checked,
                                      QStringLiteral("Auto antighosting power toggled"));
    c.automaticMovement = checked;
}

void SelectionFlowController::checkBox_AlignToggled(bool checked) {
    if (!parametersEditable())
        return;
    StackingChoices& c = ctx_.model.workspace()->stacking;
    ctx_.model.workspace()->undo.push(ctx_.form.proParams->checkBox_Align, &QAbstractButton::setChecked,
                                      c.align, checked, QStringLiteral("Align check box toggled"));
    c.align = checked;
}

void SelectionFlowController::comboBox_QualityChanged(int index) {
    if (!parametersEditable())
        return;
    StackingChoices& c = ctx_.model.workspace()->stacking;
    ctx_.model.workspace()->undo.push(ctx_.form.proParams->comboBox_Quality, &QComboBox::setCurrentIndex,
                                      c.quality, index, QStringLiteral("Undo on quality"));
    c.quality = index;
}

void SelectionFlowController::PushButtonComputingCancelClicked(bool ask) {
    if (!ctx_.model.hasMedium())
        return;
    ctx_.form.progress->Panel_ProgressBar->setEnabled(false);
    switch (ctx_.model.workspace()->state) {
    case SearchingSharpest:
        emit searchStopRequested();
        break;
    case Editing:
        if (SharpestImageSelection* edited = ctx_.model.edited())
            edited->cancelRender();
        break;
    case Exporting:
        emit exportStopRequested();
        break;
    case Stacking:
        emit stackingStopRequested(ask);
        break;
    default:
        break;
    }
}

} // namespace lumora
