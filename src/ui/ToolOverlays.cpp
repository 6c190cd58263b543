#include "ui/ToolOverlays.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstdlib>

namespace lumora {
namespace {

int manhattan(const QPoint& a, const QPoint& b) {
    return std::abs(a.x() - b.x()) + std::abs(a.y() - b.y());
}

// `v` within [lo, hi]; lo wins when a parent too small for the minimum makes hi < lo.
int bound(int v, int lo, int hi) {
    return std::max(lo, std::min(v, hi));
}

} // namespace

// ------------------------------------------------------------------------------------------- ResizableLine

ResizableLine::ResizableLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("label_HorizonTool"));
    // Bright on dark and on light pictures alike: a dashed line with round handles.
    pen_ = QPen(QColor(242, 168, 59), 2, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin);
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    parent->installEventFilter(this);
    hide();
}

void ResizableLine::reset() {
    const int w = parentWidget()->width(), h = parentWidget()->height();
    a_ = QPoint(w / 4, h / 2);
    b_ = QPoint(3 * w / 4, h / 2);
    dragged_ = anchor_ = nullptr;
    fit(false);
}

void ResizableLine::fit(bool rescale) {
    if (a_ == QPoint(-1, -1) || b_ == QPoint(-1, -1))
        return;
    const int w = parentWidget()->width(), h = parentWidget()->height();
    const double sx = rescale && width() > 0 ? double(w) / width() : 1.0;
    const double sy = rescale && height() > 0 ? double(h) / height() : 1.0;
    for (QPoint* p : {&a_, &b_})
        *p = QPoint(std::clamp(int(p->x() * sx), 0, std::max(0, w - 1)),
                    std::clamp(int(p->y() * sy), 0, std::max(0, h - 1)));
    setGeometry(0, 0, w, h);
    redraw();
}

void ResizableLine::redraw() {
    QPixmap canvas(parentWidget()->size());
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen_);
    painter.drawLine(a_, b_);
    QPen handles = pen_;
    handles.setStyle(Qt::SolidLine);
    painter.setPen(handles);
    painter.drawEllipse(a_, kHandleRadius, kHandleRadius);
    painter.drawEllipse(b_, kHandleRadius, kHandleRadius);
    painter.end();
    setPixmap(canvas);
}

bool ResizableLine::eventFilter(QObject* watched, QEvent* event) {
    // The window changed size: the picture, and the line with it.
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        fit(true);
    return QLabel::eventFilter(watched, event);
}

void ResizableLine::mousePressEvent(QMouseEvent* event) {
    // Presses land here, not on the picture below (whose press shows the pixel read-out).
    event->accept();
}

void ResizableLine::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->pos();
    if (!(event->buttons() & Qt::LeftButton)) {
        dragged_ = manhattan(p, a_) <= kGrabDistance   ? &a_
                   : manhattan(p, b_) <= kGrabDistance ? &b_
                                                       : nullptr;
        anchor_ = dragged_ == &a_ ? &b_ : dragged_ == &b_ ? &a_ : nullptr;
        if (dragged_)
            setCursor(Qt::SizeAllCursor);
        else
            unsetCursor();
        return;
    }
    if (!dragged_ || manhattan(p, *anchor_) < kMinimumLength)
        return;
    *dragged_ = QPoint(std::clamp(p.x(), 0, width()), std::clamp(p.y(), 0, height()));
    redraw();
}

// ------------------------------------------------------------------------------------------ ResizableFrame

ResizableFrame::ResizableFrame(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("frame_CropTool"));
    setMouseTracking(true);
    reset();
    hide();
}

void ResizableFrame::reset() {
    const int w = parentWidget()->width(), h = parentWidget()->height();
    setGeometry(constrained(QRect(w / 4, h / 4, w / 2, h / 2), parentWidget()->size()));
}

QRect ResizableFrame::constrained(const QRect& g, const QSize& parent) {
    const int x = bound(g.x(), 0, std::max(0, parent.width() - kMinimumSide));
    const int y = bound(g.y(), 0, std::max(0, parent.height() - kMinimumSide));
    const int w = std::max(kMinimumSide, std::min(g.width(), parent.width() - x));
    const int h = std::max(kMinimumSide, std::min(g.height(), parent.height() - y));
    return {x, y, w, h};
}

int ResizableFrame::zoneAt(const QPoint& p) const {
    const int w = width(), h = height();
    const bool left = p.x() <= kBorder, right = p.x() >= w - kBorder;
    const bool top = p.y() <= kBorder, bottom = p.y() >= h - kBorder;
    if (left && top)
        return 0;
    if (left && bottom)
        return 2;
    if (right && top)
        return 6;
    if (right && bottom)
        return 4;
    if (left)
        return 1;
    if (right)
        return 5;
    if (top)
        return 7;
    if (bottom)
        return 3;
    return 8;
}

void ResizableFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressAt_ = mapToParent(event->pos());
    pressGeometry_ = geometry();
    event->accept();
}

void ResizableFrame::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        dragTo(mapToParent(event->pos()));
        return;
    }
    zone_ = zoneAt(event->pos());
    static const Qt::CursorShape kCursors[] = {Qt::SizeFDiagCursor, Qt::SizeHorCursor,   Qt::SizeBDiagCursor,
                                               Qt::SizeVerCursor,   Qt::SizeFDiagCursor, Qt::SizeHorCursor,
                                               Qt::SizeBDiagCursor, Qt::SizeVerCursor,   Qt::SizeAllCursor};
    setCursor(kCursors[zone_]);
}

void ResizableFrame::dragTo(const QPoint& inParent) {
    const QSize parent = parentWidget()->size();
    const QPoint d = inParent - pressAt_;
    const QRect g = pressGeometry_;
    if (zone_ == 8) {
        const int x = bound(g.x() + d.x(), 0, std::max(0, parent.width() - g.width()));
        const int y = bound(g.y() + d.y(), 0, std::max(0, parent.height() - g.height()));
        setGeometry(constrained(QRect(x, y, g.width(), g.height()), parent));
        return;
    }
    // Edges as exclusive coordinates; the sides of the zone follow the mouse, the opposite ones stay.
    int left = g.x(), top = g.y(), right = g.x() + g.width(), bottom = g.y() + g.height();
    if (zone_ <= 2)
        left = bound(left + d.x(), 0, right - kMinimumSide);
    if (zone_ >= 4 && zone_ <= 6)
        right = bound(right + d.x(), left + kMinimumSide, parent.width());
    if (zone_ == 0 || zone_ == 6 || zone_ == 7)
        top = bound(top + d.y(), 0, bottom - kMinimumSide);
    if (zone_ >= 2 && zone_ <= 4)
        bottom = bound(bottom + d.y(), top + kMinimumSide, parent.height());
    setGeometry(constrained(QRect(left, top, right - left, bottom - top), parent));
}

} // namespace lumora
