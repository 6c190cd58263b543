#include "ui/EditingController.h"

#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "imageio/ImageFile.h"
#include "ui/ExposureHighlight.h"
#include "ui/LumoraV2.h"
#include "ui/Workspace.h"

#include <QImage>
#include <QLCDNumber>
#include <QMouseEvent>
#include <QPixmap>
#include <QStatusBar>
#include <opencv2/imgproc.hpp>

namespace lumora {
namespace {

// An 8-bit BGR, BGRA or grey matrix as a toolkit image of its own; null for anything else.
QImage toQImage(const cv::Mat& image) {
    cv::Mat converted;
    switch (image.channels()) {
    case 1:
        return QImage(image.data, image.cols, image.rows, int(image.step), QImage::Format_Grayscale8).copy();
    case 3:
        cv::cvtColor(image, converted, cv::COLOR_BGR2RGB);
        return QImage(converted.data, converted.cols, converted.rows, int(converted.step),
                      QImage::Format_RGB888)
            .copy();
    case 4:
        cv::cvtColor(image, converted, cv::COLOR_BGRA2RGBA);
        return QImage(converted.data, converted.cols, converted.rows, int(converted.step),
                      QImage::Format_RGBA8888)
            .copy();
    default:
        return {};
    }
}

} // namespace

EditingController::EditingController(LumoraV2& window) : window_(window) {
    const WindowForm& f = window_.form();
    readExposureLimits();
    highlightOver_ = settings::read(settings::HighlightOverExposed);
    highlightUnder_ = settings::read(settings::HighlightUnderExposed);
    f.main->actionHighlight_over_exposed_pixels->setChecked(highlightOver_);
    f.main->actionHighlight_under_exposed_pixels->setChecked(highlightUnder_);
    f.video->label_VideoPreview->installEventFilter(this);
    wireEditingPanels();
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
    if (source.empty() && ws)
        source = ws->currentImage();
    if (source.empty() || displaySize_.isEmpty())
        return;
    cv::Mat shown;
    cv::resize(convertDepth(source, 8), shown, cv::Size(displaySize_.width(), displaySize_.height()), 0, 0,
               cv::INTER_LINEAR);
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

// Undo and redo come with the rendering of edited images; until then the actions stay disabled.
void EditingController::MenuActionUndoClicked() {
    window_.refuseOperation();
}

void EditingController::MenuActionRedoClicked() {
    window_.refuseOperation();
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
