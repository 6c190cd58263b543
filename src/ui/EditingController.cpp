#include "ui/EditingController.h"

#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "imageio/ImageFile.h"
#include "tonemap/RenderSteps.h"
#include "ui/EditingPanel.h"
#include "ui/ExposureHighlight.h"
#include "ui/FitInto.h"
#include "ui/GhostOverlay.h"
#include "ui/ImageConversion.h"
#include "ui/PresetStrips.h"
#include "ui/Repolish.h"
#include "ui/SharpestImageSelection.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"
#include "ui/Workspace.h"
#include "undo/UndoRedoManager.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace lumora {
namespace {

// An 8-bit grey or BGR image straight into the toolkit's native screen format (one pass, no further
// conversion when it becomes a pixmap); anything else as toQImage converts it.
QImage toDisplayImage(const cv::Mat& image) {
    if (image.depth() != CV_8U || (image.channels() != 1 && image.channels() != 3))
        return toQImage(image);
    QImage picture(image.cols, image.rows, QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    cv::Mat bgra(image.rows, image.cols, CV_8UC4, picture.bits(), size_t(picture.bytesPerLine()));
    cv::cvtColor(image, bgra, image.channels() == 1 ? cv::COLOR_GRAY2BGRA : cv::COLOR_BGR2BGRA);
    return picture;
}

// Presses of O anywhere in the window, unless the focus is in a text field, where O is a letter.
class OriginalKey : public QObject {
public:
    OriginalKey(const WindowModel& model, const QWidget* window, EditingController& editing)
        : model_(model), window_(window), editing_(editing) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() != Qt::Key_O || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier ||
            !widget || widget->window() != window_ || !model_.hasMedium() ||
            model_.workspace()->state != Editing)
            return false;
        const QWidget* focus = QApplication::focusWidget();
        if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus) ||
            qobject_cast<const QTextEdit*>(focus) || qobject_cast<const QPlainTextEdit*>(focus))
            return false;
        editing_.showOriginal();
        return true;
    }

private:
    const WindowModel& model_;
    const QWidget* window_;
    EditingController& editing_;
};

} // namespace

EditingController::EditingController(const WindowContext& context, std::unique_ptr<PresetStrips> strips,
                                     std::unique_ptr<EditingPanel> panel)
    : model_(context.model), form_(context.form), messages_(context.messages), window_(context.window),
      strips_(std::move(strips)), panel_(std::move(panel)) {
    const WindowForm& f = form_;
    readExposureLimits();
    highlightOver_ = settings::read(settings::HighlightOverExposed);
    highlightUnder_ = settings::read(settings::HighlightUnderExposed);
    f.main->actionHighlight_over_exposed_pixels->setChecked(highlightOver_);
    f.main->actionHighlight_under_exposed_pixels->setChecked(highlightUnder_);
    f.video->label_VideoPreview->installEventFilter(this);
    f.presets->frame_BeforeAfterLogo->setAttribute(Qt::WA_Hover, true);
    f.presets->frame_BeforeAfterLogo->installEventFilter(this);
    ghostToggle_ = new QCheckBox(f.proEditing->scrollArea_ProEditingSelection->parentWidget());
    ghostToggle_->setObjectName(QStringLiteral("checkBox_ShowGhostMap"));
    ghostToggle_->setEnabled(false);
    refreshTexts();
    f.proEditing->verticalLayout_ProEditingDock->insertWidget(2, ghostToggle_);
    connect(ghostToggle_, &QCheckBox::toggled, this, [this] {
        if (model_.hasMedium())
            displayImage();
    });
    keyWatcher_ = std::make_unique<OriginalKey>(model_, window_, *this);
    qApp->installEventFilter(keyWatcher_.get());
    // Once after the last key event: holding O keeps the original, releasing it brings the preview back once.
    originalTimer_.setSingleShot(true);
    originalTimer_.setInterval(kOriginalHoldMs);
    connect(&originalTimer_, &QTimer::timeout, this, &EditingController::TimerTimeoutShowPreview);
    // The menu's Undo and Redo follow whether the workspace's history has something to offer.
    using UndoRedoManager::WidgetControl;
    UndoRedoManager::addUndoControl(
        std::make_unique<WidgetControl<QAction>>(f.main->actionUndo, &QAction::setEnabled));
    UndoRedoManager::addRedoControl(
        std::make_unique<WidgetControl<QAction>>(f.main->actionRedo, &QAction::setEnabled));
}

EditingController::~EditingController() {
    qApp->removeEventFilter(keyWatcher_.get());
    // The controls point at this window's actions.
    UndoRedoManager::clearControls();
}

void EditingController::refreshTexts() {
    ghostToggle_->setText(translatedText("ShowGhostMap"));
    ghostToggle_->setToolTip(translatedText("ShowGhostMapTooltip"));
}

void EditingController::readExposureLimits() {
    overExposedLimit_ = settings::read(settings::OverExposedLimit);
    underExposedLimit_ = settings::read(settings::UnderExposedLimit);
}

void EditingController::displayImage(const cv::Mat& image) {
    const Workspace* ws = model_.workspace();
    cv::Mat source = image;
    if (source.empty() && ws) {
        // While a worker reads the sequence, asking it for its frame would wait for the worker's decoding:
        // the picture on screen is the same one.
        const bool workerReads = ws->state == Stacking || ws->state == SearchingSharpest;
        source = workerReads && !lastShown_.empty() ? lastShown_ : ws->currentImage();
    }
    show(source, displaySize_);
}

void EditingController::show(const cv::Mat& source, const QSize& size, bool announce) {
    if (source.empty() || size.isEmpty())
        return;
    const Workspace* ws = model_.workspace();
    lastShown_ = source;
    // Scaled before the depth conversion: a full-size light image would otherwise be converted whole. A
    // preview is rendered at the size it is shown at.
    cv::Mat scaled = source;
    if (source.cols != size.width() || source.rows != size.height())
        cv::resize(source, scaled, cv::Size(size.width(), size.height()), 0, 0, cv::INTER_LINEAR);
    cv::Mat shown = convertDepth(scaled, 8);
    if (announce)
        emit pictureShown(source, shown);
    if (shown.channels() == 1 && (highlightOver_ || highlightUnder_))
        cv::cvtColor(shown, shown, cv::COLOR_GRAY2BGR);
    if (ws && (ws->state == SelectingFrame || ws->state == DefiningParameters || ws->state == Editing))
        markExposure(shown, highlightOver_, highlightUnder_, overExposedLimit_, underExposedLimit_);
    updateGhostToggle();
    if (ws && ws->state == Editing && ghostToggle_->isEnabled() && ghostToggle_->isChecked() &&
        !originalShown_) {
        // The map is in the light image's geometry: it takes the picture's turn and crop, sampled without
        // blending so a pixel's share stays its own, and lands on the pixels it describes.
        const ToneMapParams& p = ws->edited->document().engine().params();
        markGhosts(shown, applyGeometry(ws->ghostMap, p.rotation, p.cropRect, Sampling::Nearest));
    }
    QImage picture = toDisplayImage(shown);
    if (picture.isNull()) {
        messages_.show(MessageKind::Error, translatedText("Error"), translatedText("ErrorShowImage"));
        return;
    }
    const WindowForm& f = form_;
    QLabel* label = f.video->label_VideoPreview;
    const QSize pictureSize = picture.size();
    label->setPixmap(QPixmap::fromImage(std::move(picture)));
    const QSize area = f.video->frame_VideoPreview2->size();
    const QRect geometry((area.width() - pictureSize.width()) / 2, (area.height() - pictureSize.height()) / 2,
                         pictureSize.width(), pictureSize.height());
    label->setGeometry(geometry);
    f.video->frame_LoadingIcone->setGeometry(geometry);
}

void EditingController::MenuActionHighlightOverExposedClicked() {
    highlightOver_ = form_.main->actionHighlight_over_exposed_pixels->isChecked();
    settings::write(settings::HighlightOverExposed, highlightOver_);
    if (model_.hasMedium())
        displayImage();
}

void EditingController::MenuActionHighlightUnderExposedClicked() {
    highlightUnder_ = form_.main->actionHighlight_under_exposed_pixels->isChecked();
    settings::write(settings::HighlightUnderExposed, highlightUnder_);
    if (model_.hasMedium())
        displayImage();
}

void EditingController::repolishSelectionAreas() {
    const WindowForm& f = form_;
    repolish(f.basicClassic->scrollAreaWidgetContents_SharpestImageSelection);
    repolish(f.proEditing->scrollAreaWidgetContents_ProEditingSelection);
}

void EditingController::onClickSelectImage(SharpestImageSelection* selection) {
    if (!model_.hasMedium() || !selection)
        return;
    Workspace* ws = model_.workspace();
    if (ws->edited && ws->edited != selection && ws->edited->rendering())
        return; // the panels wait for the edited picture's render
    if (ws->edited != selection) {
        if (ws->edited) {
            ws->edited->setProperty("isSelected", false);
            ws->edited->document().setEdited(false);
        }
        model_.setEdited(selection);
        selection->document().setEdited(true);
        selection->setProperty("isSelected", true);
        strips_->setSource(selection->image());
        connect(selection, &SharpestImageSelection::renderFinished, this, &EditingController::previewRendered,
                Qt::UniqueConnection);
        connect(selection, &SharpestImageSelection::renderProgress, this,
                &EditingController::previewProgressed, Qt::UniqueConnection);
    }
    repolishSelectionAreas();
    if (ws->state != Exporting)
        model_.setState(Editing);
    // Lays the editing page out and sizes the display, which is the size the preview is rendered at.
    emit windowUpdateRequested();
    const cv::Mat preview = selection->preview();
    const bool render = preview.cols < displaySize_.width() || preview.rows < displaySize_.height() ||
                        selection->previewSizeUsed() != ToneMapEngine::previewSize();
    panel_->load(render && !selection->rendering());
}

void EditingController::updatePreviewSize() {
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    const SharpestImageSelection* picture = ws ? ws->edited.data() : nullptr;
    if (!picture || picture->rendering())
        return;
    const cv::Size light = picture->engine().lightImage().size();
    const ToneMapParams& p = picture->engine().params();
    const cv::Size shown = isValidCrop(p.cropRect) ? p.cropRect.size() : rotatedSize(light, p.rotation);
    const QSize area = form_.video->frame_VideoPreview2->size();
    if (light.area() <= 0 || shown.area() <= 0 || area.isEmpty())
        return;
    const double k =
        std::min({1.0, double(area.width()) / shown.width, double(area.height()) / shown.height});
    ToneMapEngine::setPreviewSize(std::max(1, int(light.width * k)), std::max(1, int(light.height * k)));
}

bool EditingController::renderEditedSelection(int stage) {
    Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    SharpestImageSelection* picture = ws ? ws->edited.data() : nullptr;
    if (!picture)
        return false;
    picture->settleRender();
    if (picture->rendering())
        return false;
    updatePreviewSize();
    // Previews rendered at another size start from the scaling.
    if (picture->previewSizeUsed() != ToneMapEngine::previewSize())
        stage = ToneMapEngine::StageRotation;
    const bool fast = form_.toneMapping->checkBox_FastPreview->isChecked();
    if (!picture->startRender(false, fast, stage))
        return false;
    lockPanels(true);
    setLoadingIconeAt(0);
    previewRendering_ = true;
    return true;
}

void EditingController::lockPanels(bool locked) {
    const WindowForm& f = form_;
    for (QWidget* w : {static_cast<QWidget*>(f.video->frame_MainOptions),
                       static_cast<QWidget*>(f.video->frame_SecondOptions),
                       static_cast<QWidget*>(f.presets->frame_BottomPresets)})
        w->setEnabled(!locked);
    if (locked) {
        f.main->actionUndo->setEnabled(false);
        f.main->actionRedo->setEnabled(false);
    }
}

void EditingController::updateGhostToggle() {
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    ghostToggle_->setEnabled(ws && ws->state == Editing && !ws->ghostMap.empty() && ws->edited &&
                             ws->edited == ws->ghostMapOwner);
}

void EditingController::afterLayout() {
    updateGhostToggle();
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    if (!ws || ws->state != Editing)
        return;
    if (ws->edited && ws->edited->rendering())
        lockPanels(true);
    else
        ws->undo.refreshControls();
}

void EditingController::setLoadingIconeAt(int percent) {
    const WindowForm& f = form_;
    if (percent > 99) {
        f.video->frame_LoadingIcone->hide();
        return;
    }
    // Only a change is drawn: the indicator lies over the picture, and every redraw of it costs the window.
    f.video->stackedWidget_LoadingIcone->setCurrentIndex(std::clamp(percent, 0, 100) / 10);
    if (!f.video->frame_LoadingIcone->isVisible()) {
        f.video->frame_LoadingIcone->show();
        f.video->frame_LoadingIcone->raise();
    }
}

void EditingController::previewProgressed(int percent) {
    const auto* selection = qobject_cast<SharpestImageSelection*>(sender());
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    if (previewRendering_ && ws && ws->edited == selection)
        setLoadingIconeAt(percent);
}

void EditingController::previewRendered() {
    const auto* selection = qobject_cast<SharpestImageSelection*>(sender());
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    if (!ws || ws->edited != selection)
        return;
    previewRendering_ = false;
    form_.video->frame_LoadingIcone->hide();
    // The panels come back with the layout of the step (an export lays out its own).
    if (ws->state == Editing)
        emit windowUpdateRequested();
    else if (ws->state == ToolActive)
        emit resizeRequested();
}

void EditingController::showOriginal() {
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    if (!ws || ws->state != Editing || !ws->edited)
        return;
    const cv::Mat& original = ws->edited->image();
    const QSize area = form_.video->frame_VideoPreview2->size();
    show(original, fitInto(original.cols, original.rows, area.width(), area.height()), false);
    originalShown_ = true;
    QFrame* logo = form_.presets->frame_BeforeAfterLogo;
    logo->setProperty("onHov", true);
    repolish(logo);
    originalTimer_.start();
}

void EditingController::hideOriginal() {
    originalShown_ = false;
    QFrame* logo = form_.presets->frame_BeforeAfterLogo;
    logo->setProperty("onHov", false);
    repolish(logo);
}

void EditingController::TimerTimeoutShowPreview() {
    if (!model_.hasMedium() || model_.workspace()->state != Editing || !originalShown_)
        return;
    hideOriginal();
    displayImage();
}

void EditingController::dropEditedSelection(bool leaveEditing) {
    Workspace* ws = model_.workspace();
    if (!ws)
        return;
    if (ws->edited) {
        ws->edited->setProperty("isSelected", false);
        ws->edited->document().setEdited(false);
    }
    model_.setEdited(nullptr);
    if (leaveEditing)
        for (SharpestImageSelection* s : ws->liveSelections())
            if (s->frameIndex() >= 0)
                s->leaveEditing();
    repolishSelectionAreas();
}

void EditingController::MenuActionUndoClicked() {
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    // A change now would reach an engine that its render is reading.
    if (ws && !(ws->edited && ws->edited->rendering()))
        model_.workspace()->undo.undo();
}

void EditingController::MenuActionRedoClicked() {
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    if (ws && !(ws->edited && ws->edited->rendering()))
        model_.workspace()->undo.redo();
}

bool EditingController::eventFilter(QObject* watched, QEvent* event) {
    const WindowForm& f = form_;
    QLabel* label = f.video->label_VideoPreview;
    if (watched == label && event->type() == QEvent::MouseButtonPress && model_.hasMedium() &&
        label->width() > 0 && label->height() > 0) {
        const QPoint p = static_cast<QMouseEvent*>(event)->pos();
        const Workspace* ws = model_.workspace();
        emit statusMessageRequested(QStringLiteral("x: %1   y: %2")
                                        .arg(p.x() * ws->width() / label->width())
                                        .arg(p.y() * ws->height() / label->height()));
    } else if (watched == f.presets->frame_BeforeAfterLogo) {
        if (event->type() == QEvent::HoverEnter) {
            showOriginal();
            originalTimer_.stop(); // the hover keeps it until the mouse leaves
        } else if (event->type() == QEvent::HoverLeave && originalShown_) {
            hideOriginal();
            emit resizeRequested();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace lumora
