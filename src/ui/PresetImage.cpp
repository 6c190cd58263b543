#include "ui/PresetImage.h"

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
    render_.onEnded(this, &PresetImage::renderEnded);
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
    // The render reads the engine, which goes with this widget.
    engine_.cancel();
    render_.join();
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
    if (pending_) {
        // The engine is the render's until it ends; only the newest request is rendered then.
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
    ToneMapEngine* engine = &engine_;
    pending_ = render_.start([engine](RunControl&) { return renderPresetThumbnail(*engine); });
}

void PresetImage::renderEnded() {
    if (!pending_ || render_.running())
        return;
    pending_ = false;
    const cv::Mat result = render_.takeResult().image;
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

void PresetImage::stopWork() {
    if (!pending_)
        return;
    restart_ = false;
    engine_.cancel();
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
