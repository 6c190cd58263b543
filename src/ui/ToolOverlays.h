#pragma once
// The overlays of the crop and horizon tools, children of the label that shows the picture: ResizableLine, a
// segment with a handle at each end to lay along the horizon, and ResizableFrame, a rectangle moved and
// resized by its inside, edges and corners. Both stay within their parent and are shown by the window only
// while their tool is active.

#include <QFrame>
#include <QLabel>
#include <QPen>
#include <QPoint>
#include <QRect>

namespace lumora {

class ResizableLine : public QLabel {
    Q_OBJECT
public:
    static constexpr int kHandleRadius = 10;
    static constexpr int kGrabDistance = 10;  // Manhattan, from an end
    static constexpr int kMinimumLength = 21; // Manhattan, between the ends

    explicit ResizableLine(QWidget* parent);

    // The line across the middle of the parent, from a quarter to three quarters of its width.
    void reset();
    QPoint pointA() const { return a_; }
    QPoint pointB() const { return b_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // Covers the parent again; with `rescale` the ends keep their place relative to its size.
    void fit(bool rescale);
    void redraw();

    QPen pen_;
    QPoint a_{-1, -1};
    QPoint b_{-1, -1};
    QPoint* dragged_ = nullptr;
    QPoint* anchor_ = nullptr;
};

class ResizableFrame : public QFrame {
    Q_OBJECT
public:
    static constexpr int kBorder = 8; // width of the edges' grab zone
    static constexpr int kMinimumSide = 10;

    explicit ResizableFrame(QWidget* parent);

    // Half the parent's width and height, centred.
    void reset();
    // `geometry` brought inside the parent and to at least the minimum side.
    static QRect constrained(const QRect& geometry, const QSize& parent);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // 0 top-left, 1 left, 2 bottom-left, 3 bottom, 4 bottom-right, 5 right, 6 top-right, 7 top, 8 inside.
    int zoneAt(const QPoint& p) const;
    void dragTo(const QPoint& inParent);

    int zone_ = 8;
    QPoint pressAt_; // in the parent's coordinates, which do not move with the frame
    QRect pressGeometry_;
};

} // namespace lumora
