#include "ui/SelectionPins.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QVariant>
#include <algorithm>
#include <array>

namespace lumora {
namespace {

constexpr int kPinSize = 24;

// The pin picture, drawn once.
const QImage& pinPicture() {
    static const QImage picture = [] {
        QImage image(kPinSize, kPinSize, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QSvgRenderer svg(QStringLiteral(":/Lumora/Resources/Pin.svg"));
        QPainter painter(&image);
        svg.render(&painter);
        return image;
    }();
    return picture;
}

} // namespace

QColor selectionColour(int serial) {
    static const std::array<std::array<int, 3>, kSelectionColourCount> kColours = {{
        {100, 2, 2},
        {2, 100, 2},
        {2, 2, 100},
        {100, 100, 100},
        {100, 100, 2},
        {100, 2, 100},
        {2, 2, 2},
        {2, 100, 100},
        {50, 2, 2},
        {2, 50, 2},
        {2, 2, 50},
        {50, 50, 50},
        {50, 50, 2},
        {50, 2, 50},
        {2, 50, 50},
    }};
    const auto& c = kColours[std::size_t(((serial % kSelectionColourCount) + kSelectionColourCount) %
                                         kSelectionColourCount)];
    return QColor(c[0], c[1], c[2]);
}

QImage tintedPin(const QImage& pin, const QColor& colour) {
    QImage out = pin.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = row[x];
            if (qAlpha(p) == 0)
                continue;
            row[x] = qRgba(std::min(255, qRed(p) + colour.red()), std::min(255, qGreen(p) + colour.green()),
                           std::min(255, qBlue(p) + colour.blue()), qAlpha(p));
        }
    }
    return out;
}

QLabel* makePinLabel(int serial, QWidget* parent) {
    auto* pin = new QLabel(parent);
    pin->setObjectName(QStringLiteral("label_Pin%1").arg(serial));
    pin->setProperty("Pin", true);
    pin->setPixmap(QPixmap::fromImage(tintedPin(pinPicture(), selectionColour(serial))));
    pin->setFixedSize(kPinSize, kPinSize);
    pin->setAttribute(Qt::WA_TransparentForMouseEvents);
    pin->hide();
    return pin;
}

} // namespace lumora
