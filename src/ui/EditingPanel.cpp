#include "ui/EditingPanel.h"

#include "presets/PresetFiles.h"
#include "tonemap/ToneControls.h"
#include "ui/SharpestImageSelection.h"
#include "ui/ToneControls.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"
#include "ui/Workspace.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLCDNumber>
#include <QSignalBlocker>

namespace lumora {
namespace {

using P = Ui::ToneMappingPanel;

} // namespace

EditingPanel::EditingPanel(const WindowContext& context)
    : model_(context.model), form_(context.form), window_(context.window) {
    const WindowForm& f = form_;
    operators_ = std::make_unique<OperatorControls>(f, *this);
    adjustments_ = std::make_unique<AdjustmentControls>(f, *this);
    wireNumberDisplays();
    // The rows of the tone-control tables, found by their widgets' names on the panel.
    const QWidget* panel = f.toneMapping->groupBox_TMOptions->window();
    for (const OperatorSlider& s : kOperatorSliders)
        if (auto* slider = panel->findChild<QSlider*>(QLatin1String(s.widget)))
            operatorRows_.insert(slider, &s);
    for (const ToneControl& c : kToneControls)
        if (c.kind == ToneControlKind::Slider)
            if (auto* slider = panel->findChild<QSlider*>(QLatin1String(c.widget)))
                adjustmentRows_.insert(slider, &c);
    for (QSlider* s : operatorRows_.keys() + adjustmentRows_.keys())
        s->installEventFilter(this);
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
    for (auto it = adjustmentRows_.cbegin(); it != adjustmentRows_.cend(); ++it)
        setPositionOf(start, *it.value(), it.key()->value());
    setStartPositions(start);
}

EditingPanel::~EditingPanel() = default;

void EditingPanel::wireNumberDisplays() {
    const WindowForm& f = form_;
    QList<QSlider*> sliders = f.video->frame_SecondOptions->findChildren<QSlider*>();
    sliders << f.basicClassic->horizontalSlider_Rotation << f.proEditing->horizontalSlider_Rotation_2
            << f.proParams->horizontalSlider_AntighostingP1 << f.proParams->horizontalSlider_AntighostingP2;
    for (QSlider* slider : sliders) {
        QString suffix = slider->objectName().mid(int(qstrlen("horizontalSlider_")));
        if (suffix == QLatin1String("TMExposition"))
            suffix = QStringLiteral("TMExposure");
        auto* lcd = window_->findChild<QLCDNumber*>(QStringLiteral("lcdNumber_") + suffix);
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
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    return ws ? ws->edited.data() : nullptr;
}

SharpestImageSelection* EditingPanel::editable() const {
    SharpestImageSelection* picture = edited();
    const Workspace* ws = model_.workspace();
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
    const WindowForm& f = form_;
    P* t = f.toneMapping;
    {
        const QSignalBlocker a(t->groupBox_TMOptions), b(t->comboBox_TM), c(t->groupBox_Sharpening);
        t->groupBox_TMOptions->setChecked(p.controls.applyTM);
        t->comboBox_TM->setCurrentIndex(comboIndexOf(p.controls.TMAlgo));
        t->groupBox_Sharpening->setChecked(p.controls.applySharpening);
    }
    t->stackedWidget_TM->setCurrentIndex(clampOperatorIndex(p.controls.TMAlgo));
    for (auto it = operatorRows_.cbegin(); it != operatorRows_.cend(); ++it)
        setQuietly(
            it.key(),
            p.operatorSliders[std::size_t(it.value()->operatorIndex)][std::size_t(it.value()->element)]);
    for (auto it = adjustmentRows_.cbegin(); it != adjustmentRows_.cend(); ++it)
        setQuietly(it.key(), positionOf(p.controls, *it.value()));
    setQuietly(f.basicClassic->horizontalSlider_Rotation, p.rotation);
    setQuietly(f.proEditing->horizontalSlider_Rotation_2, p.rotation);
}

void EditingPanel::load(bool render) {
    Workspace* ws = model_.workspace();
    if (!edited())
        return;
    ws->undo.clear();
    const WindowForm& f = form_;
    f.main->actionUndo->setEnabled(false);
    f.main->actionRedo->setEnabled(false);
    restoring_ = true;
    showPositions();
    restoring_ = false;
    emit positionsChanged();
    if (render)
        emit renderRequested(ToneMapEngine::StageToneMap);
}

void EditingPanel::refresh(SharpestImageSelection* picture, bool quick) {
    emit positionsChanged();
    const int stage = picture->engine().pendingStage();
    if (stage >= ToneMapEngine::StageOutput)
        return;
    if (quick && stage >= ToneMapEngine::StageSharpen && picture->refreshPreview(stage)) {
        emit displayRequested();
        return;
    }
    emit renderRequested(stage);
}

void EditingPanel::operatorSliderMoved(PanelSlider slider, int v) {
    const OperatorSlider* row = operatorRows_.value(form_.toneMapping->*slider);
    SharpestImageSelection* picture = restoring_ || !row ? nullptr : editable();
    if (!picture)
        return showPositions();
    EditPositions& p = picture->positions();
    auto& sliders = p.operatorSliders[std::size_t(row->operatorIndex)];
    int& stored = sliders[std::size_t(row->element)];
    if (stored == v)
        return;
    model_.workspace()->undo.push(form_.toneMapping->*slider, &QAbstractSlider::setValue, stored, v,
                                  QString::fromLatin1(row->undoLabel));
    stored = v;
    applyOperatorPositions(picture->engine(), row->operatorIndex, sliders, false);
    // Another operator's slider (changed back by undo) waits for its operator to be chosen.
    if (row->operatorIndex == p.controls.TMAlgo)
        refresh(picture, false);
}

void EditingPanel::adjustmentMoved(PanelSlider slider, int v) {
    const ToneControl* row = adjustmentRows_.value(form_.toneMapping->*slider);
    SharpestImageSelection* picture = restoring_ || !row ? nullptr : editable();
    if (!picture)
        return showPositions();
    int& stored = picture->positions().controls.*(row->position);
    if (stored == v)
        return;
    model_.workspace()->undo.push(form_.toneMapping->*slider, &QAbstractSlider::setValue, stored, v,
                                  QString::fromLatin1(row->undoLabel));
    stored = v;
    row->apply(picture->engine(), v, false);
    refresh(picture, true);
}

void EditingPanel::operatorChosen(int comboIndex) {
    SharpestImageSelection* picture = restoring_ ? nullptr : editable();
    if (!picture)
        return showPositions();
    const int op = operatorOf(comboIndex);
    EditPositions& p = picture->positions();
    form_.toneMapping->stackedWidget_TM->setCurrentIndex(op);
    if (op == p.controls.TMAlgo)
        return;
    model_.workspace()->undo.push(form_.toneMapping->comboBox_TM, &QComboBox::setCurrentIndex,
                                  comboIndexOf(p.controls.TMAlgo), comboIndex,
                                  QStringLiteral("Undo on tone mapping choice"));
    p.controls.TMAlgo = op;
    picture->engine().setOperatorIndex(op);
    applyOperatorPositions(picture->engine(), op, p.operatorSliders[std::size_t(op)], false);
    refresh(picture, false);
}

void EditingPanel::toneMappingToggled(bool on) {
    switchToggled(*toneControlByKey("applyTM"), &P::groupBox_TMOptions, on);
}

void EditingPanel::sharpeningToggled(bool on) {
    switchToggled(*toneControlByKey("applySharpening"), &P::groupBox_Sharpening, on);
}

void EditingPanel::switchToggled(const ToneControl& control, QGroupBox* Ui::ToneMappingPanel::*box, bool on) {
    SharpestImageSelection* picture = restoring_ ? nullptr : editable();
    if (!picture)
        return showPositions();
    bool& stored = picture->positions().controls.*(control.onOff);
    if (stored == on)
        return;
    model_.workspace()->undo.push(form_.toneMapping->*box, &QGroupBox::setChecked, stored, on,
                                  QString::fromLatin1(control.undoLabel));
    stored = on;
    control.apply(picture->engine(), on, false);
    // Sharpening comes after the operator: its switch is refreshed at once, tone mapping's renders.
    refresh(picture, control.onOff == &ControlPositions::applySharpening);
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
    emit cropRecordRequested(QRect());
    model_.workspace()->undo.push(slider, &QAbstractSlider::setValue, stored, v,
                                  QStringLiteral("Undo on rotation"));
    stored = v;
    const WindowForm& f = form_;
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
    // The operators' sliders, rotation, playback speed and brightness rest at 0.
    const ToneControl* row = adjustmentRows_.value(const_cast<QSlider*>(slider));
    return row ? row->designed : 0;
}

} // namespace lumora
