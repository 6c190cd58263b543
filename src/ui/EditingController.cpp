#include "ui/EditingController.h"

#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "imageio/ImageFile.h"
#include "ui/ExposureHighlight.h"
#include "ui/ImageConversion.h"
#include "ui/LumoraV2.h"
#include "ui/PlayerController.h"
#include "ui/PresetStrips.h"
#include "ui/SharpestImageSelection.h"
#include "ui/StepsController.h"
#include "ui/Workspace.h"
#include "undo/UndoRedoManager.h"

#include <QAction>

#include <QImage>
#include <QLCDNumber>
#include <QMouseEvent>
#include <QPixmap>
#include <QStatusBar>
#include <opencv2/imgproc.hpp>

namespace lumora {

EditingController::EditingController(LumoraV2& window) : window_(window) {
    const WindowForm& f = window_.form();
    readExposureLimits();
    highlightOver_ = settings::read(settings::HighlightOverExposed);
    highlightUnder_ = settings::read(settings::HighlightUnderExposed);
    f.main->actionHighlight_over_exposed_pixels->setChecked(highlightOver_);
    f.main->actionHighlight_under_exposed_pixels->setChecked(highlightUnder_);
    f.video->label_VideoPreview->installEventFilter(this);
    wireEditingPanels();
    strips_ = std::make_unique<PresetStrips>(window_);
    // The menu's Undo and Redo follow whether the workspace's history has something to offer.
    using UndoRedoManager::WidgetControl;
    UndoRedoManager::addUndoControl(
        std::make_unique<WidgetControl<QAction>>(f.main->actionUndo, &QAction::setEnabled));
    UndoRedoManager::addRedoControl(
        std::make_unique<WidgetControl<QAction>>(f.main->actionRedo, &QAction::setEnabled));
}

EditingController::~EditingController() {
    // The controls point at this window's actions.
    UndoRedoManager::clearControls();
}

void EditingController::readExposureLimits() {
    overExposedLimit_ = settings::read(settings::OverExposedLimit);
    underExposedLimit_ = settings::read(settings::UnderExposedLimit);
}

void EditingController::wireEditingPanels() {
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
        const auto show = QOverload<int>::of(&QLCDNumber::display);
        // Sliders that deliver their value on release still show it while they move.
        connect(slider, &QSlider::sliderMoved, lcd, show);
        connect(slider, &QSlider::valueChanged, lcd, show);
    }
    connect(f.toneMapping->comboBox_TM, QOverload<int>::of(&QComboBox::currentIndexChanged),
            f.toneMapping->stackedWidget_TM, &QStackedWidget::setCurrentIndex);
}

void EditingController::displayImage(const cv::Mat& image) {
    const Workspace* ws = window_.workspace();
    cv::Mat source = image;
    if (source.empty() && ws) {
        // While a worker reads the sequence, asking it for its frame would wait for the worker's decoding:
        // the picture on screen is the same one.
        const bool workerReads = ws->state == Stacking || ws->state == SearchingSharpest;
        source = workerReads && !lastShown_.empty() ? lastShown_ : ws->currentImage();
    }
    if (source.empty() || displaySize_.isEmpty())
        return;
    lastShown_ = source;
    // Scaled before the depth conversion: a full-size light image would otherwise be converted whole.
    cv::Mat scaled;
    cv::resize(source, scaled, cv::Size(displaySize_.width(), displaySize_.height()), 0, 0, cv::INTER_LINEAR);
    cv::Mat shown = convertDepth(scaled, 8);
    if (ws && (ws->state == SelectingFrame || ws->state == DefiningParameters || ws->state == Editing))
        shown =
            highlightExposure(shown, highlightOver_, highlightUnder_, overExposedLimit_, underExposedLimit_);
    const QImage picture = toQImage(shown);
    if (picture.isNull()) {
        window_.messages().show(MessageKind::Error, translatedText("Error"),
                                translatedText("ErrorShowImage"));
        return;
    }
    const WindowForm& f = window_.form();
    QLabel* label = f.video->label_VideoPreview;
    label->setPixmap(QPixmap::fromImage(picture));
    const QSize area = f.video->frame_VideoPreview2->size();
    const QRect geometry((area.width() - picture.width()) / 2, (area.height() - picture.height()) / 2,
                         picture.width(), picture.height());
    label->setGeometry(geometry);
    f.video->frame_LoadingIcone->setGeometry(geometry);
}

void EditingController::MenuActionHighlightOverExposedClicked() {
    highlightOver_ = window_.form().main->actionHighlight_over_exposed_pixels->isChecked();
    settings::write(settings::HighlightOverExposed, highlightOver_);
    if (window_.hasMedium())
        displayImage();
}

void EditingController::MenuActionHighlightUnderExposedClicked() {
    highlightUnder_ = window_.form().main->actionHighlight_under_exposed_pixels->isChecked();
    settings::write(settings::HighlightUnderExposed, highlightUnder_);
    if (window_.hasMedium())
        displayImage();
}

void EditingController::repolishSelectionAreas() {
    const WindowForm& f = window_.form();
    StepsController::repolish(f.basicClassic->scrollAreaWidgetContents_SharpestImageSelection);
    StepsController::repolish(f.proEditing->scrollAreaWidgetContents_ProEditingSelection);
}

void EditingController::onClickSelectImage(SharpestImageSelection* selection) {
    if (!window_.hasMedium() || !selection)
        return;
    Workspace* ws = window_.workspace();
    if (ws->edited != selection) {
        if (ws->edited)
            ws->edited->setProperty("isSelected", false);
        ws->edited = selection;
        selection->setProperty("isSelected", true);
        strips_->setSource(selection->image());
        connect(selection, &SharpestImageSelection::renderFinished, this, &EditingController::previewRendered,
                Qt::UniqueConnection);
    }
    repolishSelectionAreas();
    if (ws->state != Exporting)
        ws->state = Editing;
    // Lays the editing page out and sizes the display, which is the size the preview is rendered at.
    window_.steps().updateWindow();
    const cv::Mat preview = selection->preview();
    if (preview.cols < displaySize_.width() || preview.rows < displaySize_.height())
        renderEditedSelection(2);
}

bool EditingController::renderEditedSelection(int stage) {
    Workspace* ws = window_.hasMedium() ? window_.workspace() : nullptr;
    if (!ws || !ws->edited)
        return false;
    const bool fast = window_.form().toneMapping->checkBox_FastPreview->isChecked();
    if (!ws->edited->startRender(false, fast, stage))
        return false;
    window_.form().video->frame_LoadingIcone->show();
    return true;
}

void EditingController::previewRendered() {
    const auto* selection = qobject_cast<SharpestImageSelection*>(sender());
    window_.form().video->frame_LoadingIcone->hide();
    const Workspace* ws = window_.hasMedium() ? window_.workspace() : nullptr;
    if (ws && ws->edited == selection && (ws->state == Editing || ws->state == ToolActive))
        window_.player().needResize();
}

void EditingController::dropEditedSelection(bool leaveEditing) {
    Workspace* ws = window_.workspace();
    if (!ws)
        return;
    if (ws->edited)
        ws->edited->setProperty("isSelected", false);
    ws->edited = nullptr;
    if (leaveEditing)
        for (SharpestImageSelection* s : ws->liveSelections())
            if (s->frameIndex() >= 0)
                s->leaveEditing();
    repolishSelectionAreas();
}

void EditingController::MenuActionUndoClicked() {
    if (window_.hasMedium())
        window_.workspace()->undo.undo();
}

void EditingController::MenuActionRedoClicked() {
    if (window_.hasMedium())
        window_.workspace()->undo.redo();
}

bool EditingController::eventFilter(QObject* watched, QEvent* event) {
    QLabel* label = window_.form().video->label_VideoPreview;
    if (watched == label && event->type() == QEvent::MouseButtonPress && window_.hasMedium() &&
        label->width() > 0 && label->height() > 0) {
        const QPoint p = static_cast<QMouseEvent*>(event)->pos();
        const Workspace* ws = window_.workspace();
        window_.statusBar()->showMessage(QStringLiteral("x: %1   y: %2")
                                             .arg(p.x() * ws->width() / label->width())
                                             .arg(p.y() * ws->height() / label->height()));
    }
    return QObject::eventFilter(watched, event);
}

} // namespace lumora
