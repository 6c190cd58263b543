#pragma once
// The number display next to a slider: a QLCDNumber (it keeps its interface and object name) drawn with the
// window's font instead of seven-segment digits.

#include <QLCDNumber>
#include <QPainter>

namespace lumora {

class ValueDisplay : public QLCDNumber {
public:
    explicit ValueDisplay(QWidget* parent = nullptr) : QLCDNumber(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(contentsRect(), Qt::AlignRight | Qt::AlignVCenter, QString::number(intValue()));
    }
};

} // namespace lumora
