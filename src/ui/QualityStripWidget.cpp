#include "ui/QualityStripWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace lumora {

namespace {

// Each value over the largest of them (0 when all are 0).
std::vector<double> overLargest(const std::vector<double>& values) {
    const double top = values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
    std::vector<double> out(values.size(), 0.0);
    if (top > 0.0)
        std::transform(values.begin(), values.end(), out.begin(), [top](double v) { return v / top; });
    return out;
}

} // namespace

QualityStripWidget::QualityStripWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("widget_QualityStripWidget"));
    setFixedHeight(28);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void QualityStripWidget::setQuality(std::vector<FrameQuality> frames, std::vector<int> marks) {
    frames_ = std::move(frames);
    marks_ = std::move(marks);
    update();
}

void QualityStripWidget::setWaitingText(const QString& text) {
    waiting_ = text;
    update();
}

std::vector<double> QualityStripWidget::sharpnessCurve(const std::vector<FrameQuality>& frames) {
    std::vector<double> v;
    for (const FrameQuality& q : frames)
        v.push_back(q.sharpness);
    return overLargest(v);
}

std::vector<double> QualityStripWidget::motionCurve(const std::vector<FrameQuality>& frames) {
    std::vector<double> shift, residual;
    for (const FrameQuality& q : frames) {
        shift.push_back(q.shift);
        residual.push_back(q.residual);
    }
    const std::vector<double> s = overLargest(shift), r = overLargest(residual);
    std::vector<double> out(frames.size());
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = (s[k] + r[k]) / 2.0;
    return out;
}

void QualityStripWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int n = static_cast<int>(frames_.size());
    if (n == 0) {
        if (!waiting_.isEmpty()) {
            p.setPen(palette().color(QPalette::Mid));
            p.drawText(rect(), Qt::AlignCenter, waiting_);
        }
        return;
    }
    const double w = std::max(1, width() - 1), band = (height() - 2) / 2.0;
    const auto x = [&](int k) { return n > 1 ? w * k / (n - 1) : 0.0; };
    // Sharpness in the upper band, motion in the lower one; each curve rises with its value.
    const auto curve = [&](const std::vector<double>& v, double bottom, const QColor& colour) {
        QPainterPath path;
        for (int k = 0; k < n; ++k) {
            const QPointF at(x(k), bottom - v[std::size_t(k)] * (band - 1));
            k == 0 ? path.moveTo(at) : path.lineTo(at);
        }
        p.setPen(QPen(colour, 1.0));
        p.drawPath(path);
    };
    curve(sharpnessCurve(frames_), band, QColor(90, 200, 120));
    curve(motionCurve(frames_), 2 * band + 1, QColor(230, 150, 60));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    for (int k : marks_) {
        const QPointF tip(x(k), 4.0);
        p.drawPolygon(QPolygonF({tip, tip + QPointF(-3, -4), tip + QPointF(3, -4)}));
    }
}

void QualityStripWidget::mousePressEvent(QMouseEvent* event) {
    const int n = static_cast<int>(frames_.size());
    if (n == 0 || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const int k =
        n > 1 ? static_cast<int>(std::lround(double(event->x()) * (n - 1) / std::max(1, width() - 1))) : 0;
    emit frameClicked(std::clamp(k, 0, n - 1));
}

} // namespace lumora
