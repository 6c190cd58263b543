#include "ui/PresetImage.h"

#include "presets/PresetImageWorkerThread.h"
#include "ui/ImageConversion.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>
#include <QVariant>

#include <algorithm>

namespace lumora {

PresetImage::PresetImage(const PresetRecord& preset, QWidget* parent) : QFrame(parent), preset_(preset) {
    setObjectName(QStringLiteral("PresetImage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(2);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("label_PresetImage"));
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setCursor(Qt::PointingHandCursor);
    name_ = new QLabel(QString::fromStdString(preset.name), this);
    name_->setObjectName(QStringLiteral("label_PresetName"));
    name_->setAlignment(Qt::AlignCenter);
    name_->setCursor(Qt::PointingHandCursor);
    layout->addWidget(picture_, 1);
    layout->addWidget(name_);
    picture_->installEventFilter(this);
    name_->installEventFilter(this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setProperty("isSelected", false);
    applyControlPositions(engine_, preset.positions());
}

PresetImage::~PresetImage() {
    // The worker's destructor cancels and joins it before the engine goes.
    worker_.reset();
}

void PresetImage::setSource(const cv::Mat& image) {
    if (image.data == source_.data && image.size == source_.size)
        return;
    source_ = image;
    render();
}

void PresetImage::showName() {
    // The card may grow up to twice the picture's width for its name; a longer one is shortened, whole in
    // the tooltip.
    const QString full = QString::fromStdString(preset_.name);
    const int picture = thumbnail_.empty() ? 96 : thumbnail_.cols;
    const int text = name_->fontMetrics().horizontalAdvance(full) + 6;
    const int width = std::max(picture, std::min(text, 2 * picture));
    name_->setText(name_->fontMetrics().elidedText(full, Qt::ElideRight, width));
    name_->setToolTip(full);
    setMaximumWidth(width + 8);
}

void PresetImage::setPreset(const PresetRecord& preset) {
    preset_ = preset;
    showName();
    presetChanged_ = true;
    if (!source_.empty())
        render();
}

void PresetImage::render() {
    if (worker_) {
        // The engine is the worker's until it ends; only the newest request is rendered then.
        restart_ = true;
        engine_.cancel();
        return;
    }
    startRender();
}

void PresetImage::startRender() {
    if (presetChanged_) {
        applyControlPositions(engine_, preset_.positions());
        presetChanged_ = false;
    }
    engine_.setImage(source_, true);
    worker_ = std::make_unique<PresetImageWorkerThread>(&engine_);
    connect(worker_.get(), &QThread::finished, this, &PresetImage::renderEnded);
    worker_->start();
}

void PresetImage::renderEnded() {
    if (!worker_)
        return;
    worker_->wait(); // finished() comes just before the thread returns
    const cv::Mat result = worker_->result();
    worker_.reset();
    if (restart_) {
        restart_ = false;
        startRender();
        return;
    }
    thumbnailProcessed(result);
}

void PresetImage::thumbnailProcessed(const cv::Mat& result) {
    if (result.empty())
        return;
    thumbnail_ = result;
    const QPixmap pixmap = thumbnailPixmap(result, QSize(result.cols, result.rows));
    picture_->setPixmap(pixmap);
    showName();
    emit thumbnailChanged();
}

QThread* PresetImage::stopWork() {
    if (!worker_)
        return nullptr;
    restart_ = false;
    engine_.cancel();
    return worker_.get();
}

bool PresetImage::eventFilter(QObject* watched, QEvent* event) {
    if (isEnabled() && event->type() == QEvent::MouseButtonPress &&
        (watched == picture_ || watched == name_)) {
        emit onClick(this);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace lumora
