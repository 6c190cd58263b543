#include "ui/EditingPanel.h"

#include "presets/PresetFiles.h"
#include "ui/EditingController.h"
#include "ui/LumoraV2.h"
#include "ui/SharpestImageSelection.h"
#include "ui/ToneControls.h"
#include "ui/ToolsController.h"
#include "ui/Workspace.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLCDNumber>
#include <QSignalBlocker>

#include <algorithm>

namespace lumora {
namespace {

using P = Ui::ToneMappingPanel;

// The operator sliders: the element of which operator's triple each one sets.
struct OperatorRow {
    PanelSlider slider;
    const char* undoLabel;
    int op;
    int element;
};
const OperatorRow kOperatorRows[] = {
    {&P::horizontalSlider_TMAlpha, "Undo on TM1 first parameter", 0, 0},
    {&P::horizontalSlider_TMBeta, "Undo on TM1 second parameter", 0, 1},
    {&P::horizontalSlider_TM2_Alpha, "Undo on TM2 first parameter", 1, 0},
    {&P::horizontalSlider_TM3_Alpha, "Undo on TM3 first parameter", 4, 0},
    {&P::horizontalSlider_TM3_Beta, "Undo on TM3 second parameter", 4, 1},
    {&P::horizontalSlider_TM3_Gamma, "Undo on TM3 third parameter", 4, 2},
    {&P::horizontalSlider_TM4_Alpha, "Undo on TM4 first parameter", 2, 0},
    {&P::horizontalSlider_TM4_Beta, "Undo on TM4 second parameter", 2, 1},
    {&P::horizontalSlider_TM4_Gamma, "Undo on TM4 third parameter", 2, 2},
};

// The sliders refreshed at once: the position each one shows.
struct AdjustmentRow {
    PanelSlider slider;
    const char* undoLabel;
    ControlField field;
};
const AdjustmentRow kAdjustmentRows[] = {
    {&P::horizontalSlider_TMStrength, "Undo on strength slider", &ControlPositions::strength},
    {&P::horizontalSlider_TMExposition, "Undo on exposure slider", &ControlPositions::exposure},
    {&P::horizontalSlider_TMContrast, "Undo on contrast slider", &ControlPositions::contrast},
    {&P::horizontalSlider_TMHighlights, "Undo on highlights slider", &ControlPositions::highlights},
    {&P::horizontalSlider_TMShadows, "Undo on shadows slider", &ControlPositions::shadows},
    {&P::horizontalSlider_TMWhites, "Undo on whites slider", &ControlPositions::whites},
    {&P::horizontalSlider_TMBlacks, "Undo on blacks slider", &ControlPositions::blacks},
    {&P::horizontalSlider_TMHue, "Undo on hue slider", &ControlPositions::hue},
    {&P::horizontalSlider_TMSaturation, "Undo on saturation slider", &ControlPositions::saturation},
    {&P::horizontalSlider_TMVibrance, "Undo on vibrance slider", &ControlPositions::vibrance},
    {&P::horizontalSlider_TMBlackClip, "Undo on black clip slider", &ControlPositions::blackClip},
    {&P::horizontalSlider_TMWhiteClip, "Undo on white clip slider", &ControlPositions::whiteClip},
    {&P::horizontalSlider_TMSharpeningAmount, "Undo on sharpening amount slider",
     &ControlPositions::sharpeningAmount},
    {&P::horizontalSlider_TMSharpeningRadius, "Undo on sharpening radius slider",
     &ControlPositions::sharpeningRadius},
    {&P::horizontalSlider_TMSharpeningThreshold, "Undo on sharpening threshold slider",
     &ControlPositions::sharpeningThreshold},
};

template <typename Row, std::size_t N> const Row* findRow(const Row (&rows)[N], PanelSlider slider) {
    const auto* it =
        std::find_if(std::begin(rows), std::end(rows), [slider](const Row& r) { return r.slider == slider; });
    return it == std::end(rows) ? nullptr : it;
}

} // namespace

EditingPanel::EditingPanel(LumoraV2& window) : window_(window) {
    const WindowForm& f = window_.form();
    operators_ = std::make_unique<OperatorControls>(f, *this);
    adjustments_ = std::make_unique<AdjustmentControls>(f, *this);
    wireNumberDisplays();
    for (const OperatorRow& r : kOperatorRows)
        (f.toneMapping->*r.slider)->installEventFilter(this);
    for (const AdjustmentRow& r : kAdjustmentRows)
        (f.toneMapping->*r.slider)->installEventFilter(this);
    for (QSlider* s : {f.basicClassic->horizontalSlider_Rotation, f.proEditing->horizontalSlider_Rotation_2,
                       f.timeline->horizontalSlider_VideoSpeed, f.timeline->horizontalSlider_VideoBrightness})
        s->installEventFilter(this);

    // A preset read from a file starts from the positions the controls have now.
    ControlPositions start;
    const P* t = f.toneMapping;
    start.applyTM = t->groupBox_TMOptions->isChecked();
    start.TMAlgo = operatorOf(t->comboBox_TM->currentIndex());
    start.alpha = t->horizontalSlider_TMAlpha->value();
    start.beta = t->horizontalSlider_TMBeta->value();
    start.applySharpening = t->groupBox_Sharpening->isChecked();
    for (const AdjustmentRow& r : kAdjustmentRows)
        start.*(r.field) = (t->*r.slider)->value();
    setStartPositions(start);
}

EditingPanel::~EditingPanel() = default;

void EditingPanel::wireNumberDisplays() {
    const WindowForm& f = window_.form();
    QList<QSlider*> sliders = f.video->frame_SecondOptions->findChildren<QSlider*>();
    sliders << f.basicClassic->horizontalSlider_Rotation << f.proEditing->horizontalSlider_Rotation_2
            << f.proParams->horizontalSlider_AntighostingP1 << f.proParams->horizontalSlider_AntighostingP2;
    for (QSlider* slider : sliders) {
        QString suffix = slider->objectName().mid(int(qstrlen("horizontalSlider_")));
        if (suffix == QLatin1String("TMExposition"))
            suffix = QStringLiteral("TMExposure");
        auto* lcd = window_.findChild<QLCDNumber*>(QStringLiteral("lcdNumber_") + suffix);
        if (!lcd)
            continue;
        numberDisplays_.insert(slider, lcd);
        const auto show = QOverload<int>::of(&QLCDNumber::display);
        // Sliders that deliver their value on release still show it while they move.
        connect(slider, &QSlider::sliderMoved, lcd, show);
        connect(slider, &QSlider::valueChanged, lcd, show);
    }
}

SharpestImageSelection* EditingPanel::edited() const {
    const Workspace* ws = window_.hasMedium() ? window_.workspace() : nullptr;
    return ws ? ws->edited.data() : nullptr;
}

SharpestImageSelection* EditingPanel::editable() const {
    SharpestImageSelection* picture = edited();
    const Workspace* ws = window_.workspace();
    if (!picture || (ws->state != Editing && ws->state != ToolActive))
        return nullptr;
    // The engine may not change while its render reads it.
    picture->settleRender();
    return picture->rendering() ? nullptr : picture;
}

void EditingPanel::setQuietly(QSlider* slider, int value) const {
    {
        const QSignalBlocker blocker(slider);
        slider->setValue(value);
    }
    if (QLCDNumber* lcd = numberDisplays_.value(slider))
        lcd->display(slider->value());
}

void EditingPanel::showPositions() {
    const SharpestImageSelection* picture = edited();
    if (!picture)
        return;
    const EditPositions& p = picture->positions();
    const WindowForm& f = window_.form();
    P* t = f.toneMapping;
    {
        const QSignalBlocker a(t->groupBox_TMOptions), b(t->comboBox_TM), c(t->groupBox_Sharpening);
        t->groupBox_TMOptions->setChecked(p.controls.applyTM);
        t->comboBox_TM->setCurrentIndex(comboIndexOf(p.controls.TMAlgo));
        t->groupBox_Sharpening->setChecked(p.controls.applySharpening);
    }
    t->stackedWidget_TM->setCurrentIndex(clampOperatorIndex(p.controls.TMAlgo));
    for (const OperatorRow& r : kOperatorRows)
        setQuietly(t->*r.slider, p.operatorSliders[std::size_t(r.op)][std::size_t(r.element)]);
    for (const AdjustmentRow& r : kAdjustmentRows)
        setQuietly(t->*r.slider, p.controls.*r.field);
    setQuietly(f.basicClassic->horizontalSlider_Rotation, p.rotation);
    setQuietly(f.proEditing->horizontalSlider_Rotation_2, p.rotation);
}

void EditingPanel::load(bool render) {
    Workspace* ws = window_.workspace();
    if (!edited())
        return;
    ws->undo.clear();
    const WindowForm& f = window_.form();
    f.main->actionUndo->setEnabled(false);
    f.main->actionRedo->setEnabled(false);
    restoring_ = true;
    showPositions();
    restoring_ = false;
    emit positionsChanged();
    if (render)
        window_.editing().renderEditedSelection(ToneMapEngine::StageToneMap);
}

void EditingPanel::refresh(SharpestImageSelection* picture, bool quick) {
    emit positionsChanged();
    const int stage = picture->engine().pendingStage();
    if (stage >= ToneMapEngine::StageOutput)
        return;
    EditingController& editing = window_.editing();
    if (quick && stage >= ToneMapEngine::StageSharpen && picture->refreshPreview(stage)) {
        editing.displayImage();
        return;
    }
    editing.renderEditedSelection(stage);
}

void EditingPanel::operatorSliderMoved(PanelSlider slider, int v) {
    const OperatorRow* row = findRow(kOperatorRows, slider);
    SharpestImageSelection* picture = restoring_ || !row ? nullptr : editable();
    if (!picture)
        return showPositions();
    EditPositions& p = picture->positions();
    auto& sliders = p.operatorSliders[std::size_t(row->op)];
    int& stored = sliders[std::size_t(row->element)];
    if (stored == v)
        return;
    window_.workspace()->undo.push(window_.form().toneMapping->*slider, &QAbstractSlider::setValue, stored, v,
                                   QString::fromLatin1(row->undoLabel));
    stored = v;
    applyOperatorPositions(picture->engine(), row->op, sliders, false);
    // Another operator's slider (changed back by undo) waits for its operator to be chosen.
    if (row->op == p.controls.TMAlgo)
        refresh(picture, false);
}

void EditingPanel::adjustmentMoved(PanelSlider slider, int v) {
    const AdjustmentRow* row = findRow(kAdjustmentRows, slider);
    SharpestImageSelection* picture = restoring_ || !row ? nullptr : editable();
    if (!picture)
        return showPositions();
    int& stored = picture->positions().controls.*(row->field);
    if (stored == v)
        return;
    window_.workspace()->undo.push(window_.form().toneMapping->*slider, &QAbstractSlider::setValue, stored, v,
                                   QString::fromLatin1(row->undoLabel));
    stored = v;
    applyControlPosition(picture->engine(), row->field, v, false);
    refresh(picture, true);
}

void EditingPanel::operatorChosen(int comboIndex) {
    SharpestImageSelection* picture = restoring_ ? nullptr : editable();
    if (!picture)
        return showPositions();
    const int op = operatorOf(comboIndex);
    EditPositions& p = picture->positions();
    window_.form().toneMapping->stackedWidget_TM->setCurrentIndex(op);
    if (op == p.controls.TMAlgo)
        return;
    window_.workspace()->undo.push(window_.form().toneMapping->comboBox_TM, &QComboBox::setCurrentIndex,
                                   comboIndexOf(p.controls.TMAlgo), comboIndex,
                                   QStringLiteral("Undo on tone mapping choice"));
    p.controls.TMAlgo = op;
    picture->engine().setOperatorIndex(op);
    applyOperatorPositions(picture->engine(), op, p.operatorSliders[std::size_t(op)], false);
    refresh(picture, false);
}

void EditingPanel::toneMappingToggled(bool on) {
    switchToggled(&ControlPositions::applyTM, &P::groupBox_TMOptions, &ToneMapEngine::setApplyToneMapping,
                  "Undo on applying tone mapping", on);
}

void EditingPanel::sharpeningToggled(bool on) {
    switchToggled(&ControlPositions::applySharpening, &P::groupBox_Sharpening,
                  &ToneMapEngine::setApplySharpening, "Undo on applying sharpening", on);
}

void EditingPanel::switchToggled(bool ControlPositions::*field, QGroupBox* Ui::ToneMappingPanel::*box,
                                 void (ToneMapEngine::*setter)(bool, bool), const char* undoLabel, bool on) {
    SharpestImageSelection* picture = restoring_ ? nullptr : editable();
    if (!picture)
        return showPositions();
    bool& stored = picture->positions().controls.*field;
    if (stored == on)
        return;
    window_.workspace()->undo.push(window_.form().toneMapping->*box, &QGroupBox::setChecked, stored, on,
                                   QString::fromLatin1(undoLabel));
    stored = on;
    (picture->engine().*setter)(on, false);
    // Sharpening comes after the operator: its switch is refreshed at once, tone mapping's renders.
    refresh(picture, field == &ControlPositions::applySharpening);
}

void EditingPanel::rotationMoved(QSlider* slider, int v) {
    SharpestImageSelection* picture = restoring_ ? nullptr : editable();
    if (!picture)
        return showPositions();
    int& stored = picture->positions().rotation;
    if (stored == v)
        return;
    // The crop is in pixels of the picture turned as it was: it goes, as an undo step of its own, so that
    // undoing the rotation and then the crop brings both back.
    window_.tools().recordCrop(QRect());
    window_.workspace()->undo.push(slider, &QAbstractSlider::setValue, stored, v,
                                   QStringLiteral("Undo on rotation"));
    stored = v;
    const WindowForm& f = window_.form();
    for (QSlider* other :
         {f.basicClassic->horizontalSlider_Rotation, f.proEditing->horizontalSlider_Rotation_2})
        if (other != slider)
            setQuietly(other, v);
    picture->engine().setRotation(position::rotation(v));
    refresh(picture, false);
}

bool EditingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick)
        if (auto* slider = qobject_cast<QSlider*>(watched); slider && slider->isEnabled()) {
            slider->setValue(designedPosition(slider));
            return true;
        }
    return QObject::eventFilter(watched, event);
}

int EditingPanel::designedPosition(const QSlider* slider) const {
    const P* t = window_.form().toneMapping;
    for (const AdjustmentRow& r : kAdjustmentRows)
        if (t->*r.slider == slider)
            return ControlPositions{}.*(r.field);
    // The operators' sliders, rotation, playback speed and brightness rest at 0.
    return 0;
}

} // namespace lumora
