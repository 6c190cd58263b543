#pragma once
// The timeline under the player: where the bar, the cursor, the trim markers, the chosen-frame flag and the
// pins go for the open sequence, and the mouse on it (clicking and dragging the cursor, dragging the trim
// markers in the Pro parameter step).

#include "ui/WindowModel.h"

#include <QObject>

class QWidget;

namespace lumora {

// Pixel offset of frame `index` on a bar `width` pixels wide showing `frameCount` frames: width * index /
// (frameCount - 1), integer division; every frame of a one-frame sequence sits at the bar's start.
int timelineOffset(int width, int index, int frameCount);

class TimelineController : public QObject {
    Q_OBJECT
public:
    explicit TimelineController(const WindowContext& context);

    // Fits the bar to the panel's width and moves its end pieces and markers onto it.
    void layoutBar();
    // Cursor at frame `index`, trim markers and foreground on the trim range and, in the Pro parameter step,
    // the flag on the centre frame.
    void placeItems(int index);
    // 0 none, 1 cursor, 2 trim start, 3 trim end.
    int dragMode() const { return dragMode_; }
    // A grabbed frame's pin above frame `index` of the bar.
    void placePin(QWidget* pin, int index);

public slots:
    void moveProSharpestPin(QWidget* pin, int index);
    // The grabbed frames' pins, each above its frame.
    void placePins();

signals:
    // The bar was laid out again for a new panel width.
    void barResized();
    void pauseRequested();
    // The player is to show frame `index`.
    void frameRequested(int index);
    // The centre frame's flag was clicked: the parameter page takes its counts from the trim range.
    void centreFlagClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mousePress(QObject* watched, int panelX);
    void mouseMove(int panelX);
    void stopDragging();
    // The frame under `panelX` on the foreground (trim range) part of the bar.
    int frameAt(int panelX) const;
    // Left edge of a pin centred on frame `index`.
    int pinX(const QWidget* pin, int index) const;

    WindowContext ctx_;
    int dragMode_ = 0;
    bool overrideCursor_ = false;
};

} // namespace lumora
