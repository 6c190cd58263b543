#include "ui/ProSharpestImageSelection.h"

#include "ui/ImageConversion.h"
#include "ui/SelectionPins.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QVariant>
#include <algorithm>
#include <atomic>

namespace lumora {
namespace {

std::atomic<int> gNextSerial{0};

} // namespace

ProSharpestImageSelection::ProSharpestImageSelection(QWidget* area, QWidget* pinParent, int frameIndex,
                                                     const QString& text)
    : QFrame(area), serial_(gNextSerial++), frameIndex_(frameIndex) {
    setObjectName(QStringLiteral("ProSharpestImageSelection%1").arg(serial_));
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(2);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("label_ProSharpestImagePicture"));
    picture_->setAlignment(Qt::AlignCenter);
    auto* caption = new QLabel(text, this);
    caption->setObjectName(QStringLiteral("label_ProSharpestImageText"));
    caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture_);
    layout->addWidget(caption);
    setProperty("isSelected", false);
    pin_ = makePinLabel(serial_, pinParent);
    pin_->move(10, 10);
}

ProSharpestImageSelection::~ProSharpestImageSelection() {
    delete pin_.data();
}

void ProSharpestImageSelection::setThumbnail(const cv::Mat& thumbnail) {
    if (thumbnail.empty())
        return;
    // Half of the list's width, as two entries side by side would take.
    QWidget* area = parentWidget();
    int width = area ? area->width() : 0;
    if (area && area->layout())
        width -= area->layout()->contentsMargins().right();
    width = std::max(width / 2, 80);
    const int height = width * thumbnail.rows / std::max(1, thumbnail.cols);
    picture_->setPixmap(thumbnailPixmap(thumbnail, QSize(width, height)));
    setMaximumWidth(width + 8);
}

bool ProSharpestImageSelection::event(QEvent* event) {
    if (event->type() == QEvent::HoverEnter) {
        pin_->show();
        emit movePin(pin_, frameIndex_);
    } else if (event->type() == QEvent::HoverLeave) {
        pin_->hide();
    }
    return QFrame::event(event);
}

void ProSharpestImageSelection::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit onClick(frameIndex_);
    QFrame::mousePressEvent(event);
}

} // namespace lumora
