#include "ui/TimelineController.h"

#include "ui/SharpestImageSelection.h"
#include "ui/WindowForm.h"

#include <QApplication>
#include <QMouseEvent>
#include <algorithm>

namespace lumora {

int timelineOffset(int width, int index, int frameCount) {
    if (frameCount <= 1)
        return 0;
    return int(qint64(width) * index / (frameCount - 1));
}

TimelineController::TimelineController(const WindowContext& context) : ctx_(context) {
    const auto* t = ctx_.form.timeline;
    for (QWidget* w :
         {static_cast<QWidget*>(t->label_ForegroundMidPlayingBar),
          static_cast<QWidget*>(t->label_CursorPlayingBar),
          static_cast<QWidget*>(t->label_TrimStartPlayingBar),
          static_cast<QWidget*>(t->label_TrimEndPlayingBar),
          static_cast<QWidget*>(t->frame_CursorSelectorFlag),
          static_cast<QWidget*>(t->label_CursorSelectorFlag), static_cast<QWidget*>(t->Panel_LectureTop2)})
        w->installEventFilter(this);
    connect(&ctx_.model, &WindowModel::selectionsChanged, this, &TimelineController::placePins);
}

void TimelineController::layoutBar() {
    const auto* t = ctx_.form.timeline;
    QWidget* panel = t->Panel_LectureTop2;
    QLabel* bar = t->label_BackgroundMidPlayingBar;
    QLabel* start = t->label_TrimStartPlayingBar;
    QLabel* end = t->label_TrimEndPlayingBar;
    const QRect line = t->line_CursorSelectorFlag->geometry();
    // The bar leaves room for both trim markers, so that neither is cut off at the ends of the medium.
    const int width = std::max(1, panel->width() - start->width() - end->width() - 1);
    const int y = line.y() + (line.height() - bar->height()) / 2;
    bar->setGeometry(start->width(), y, width, bar->height());
    const QRect b = bar->geometry();
    t->label_ExternLeftPlayingBar->move(b.x() - t->label_ExternLeftPlayingBar->width(), b.y());
    t->label_ExternRightPlayingBar->move(b.x() + b.width(), b.y());
    const int markerY = b.y() + b.height() / 2 - start->height() / 2;
    start->move(start->x(), markerY);
    end->move(end->x(), markerY);
}

void TimelineController::placeItems(int index) {
    const Workspace* ws = ctx_.model.workspace();
    if (!ws || !ws->sequenceReady())
        return;
    const ImagesSequence* sequence = ws->sequence();
    const int n = sequence->frameCount();
    const auto* t = ctx_.form.timeline;
    const QRect b = t->label_BackgroundMidPlayingBar->geometry();
    QLabel* cursor = t->label_CursorPlayingBar;
    cursor->move(b.x() + timelineOffset(b.width(), index, n) - cursor->width() / 2,
                 b.y() + 3 * b.height() / 4);

    QLabel* start = t->label_TrimStartPlayingBar;
    QLabel* end = t->label_TrimEndPlayingBar;
    start->move(b.x() + timelineOffset(b.width(), sequence->firstIndex(), n) - start->width(), start->y());
    end->move(b.x() + timelineOffset(b.width(), sequence->lastIndex(), n), start->y());
    const int left = start->x() + start->width();
    t->label_ForegroundMidPlayingBar->setGeometry(left, b.y(), std::max(0, end->x() - left), b.height());

    if (ws->state == DefiningParameters) {
        const int x = b.x() + timelineOffset(b.width(), ws->centreIndex, n);
        QFrame* flag = t->frame_CursorSelectorFlag;
        flag->move(x - flag->width() / 2, 0);
        QFrame* line = t->line_CursorSelectorFlag;
        line->move(x - line->width() / 2, line->y());
    }
    if (ws->state == SelectingFrame)
        placePins();
    // The cursor stays on top of the markers it passes.
    cursor->raise();
}

int TimelineController::pinX(const QWidget* pin, int index) const {
    const int n = ctx_.model.workspace()->sequence()->frameCount();
    const QRect b = ctx_.form.timeline->label_BackgroundMidPlayingBar->geometry();
    // A one-frame medium has every frame at the bar's start.
    const int offset = n > 1 ? int(double(index) * b.width() / (n - 1)) : 0;
    return b.x() - pin->width() / 2 + offset;
}

void TimelineController::moveProSharpestPin(QWidget* pin, int index) {
    const Workspace* ws = ctx_.model.workspace();
    if (!pin || !ws || !ws->sequenceReady())
        return;
    // Above the bar like the grabbed frames' pins: on the bar it would hide under the cursor.
    placePin(pin, index);
}

void TimelineController::placePins() {
    const Workspace* ws = ctx_.model.workspace();
    if (!ws || !ws->sequenceReady())
        return;
    for (SharpestImageSelection* s : ws->liveSelections())
        if (s->pin())
            placePin(s->pin(), s->frameIndex());
}

void TimelineController::placePin(QWidget* pin, int index) {
    const Workspace* ws = ctx_.model.workspace();
    if (!pin || !ws || !ws->sequenceReady())
        return;
    // Above the bar, its point on the frame.
    const QRect b = ctx_.form.timeline->label_BackgroundMidPlayingBar->geometry();
    pin->move(pinX(pin, index), std::max(0, b.y() - pin->height() + 4));
    pin->raise();
}

int TimelineController::frameAt(int panelX) const {
    const ImagesSequence* sequence = ctx_.model.workspace()->sequence();
    const int first = sequence->firstIndex();
    const int last = sequence->lastIndex();
    const QRect fg = ctx_.form.timeline->label_ForegroundMidPlayingBar->geometry();
    if (fg.width() <= 0)
        return first;
    return first + int(qint64(panelX - fg.x()) * (last - first + 1) / fg.width());
}

bool TimelineController::eventFilter(QObject* watched, QEvent* event) {
    const auto* t = ctx_.form.timeline;
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == t->Panel_LectureTop2 && ctx_.model.playable()) {
            layoutBar();
            emit barResized();
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        if (watched == t->Panel_LectureTop2)
            break;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int x = static_cast<QWidget*>(watched)->mapTo(t->Panel_LectureTop2, mouse->pos()).x();
        if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton)
            return mousePress(watched, x);
        if (event->type() == QEvent::MouseMove && dragMode_ != 0) {
            mouseMove(x);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && dragMode_ != 0) {
            stopDragging();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool TimelineController::mousePress(QObject* watched, int panelX) {
    if (!ctx_.model.playable())
        return false;
    const auto* t = ctx_.form.timeline;
    Workspace* ws = ctx_.model.workspace();
    int mode = 0;
    if (watched == t->label_ForegroundMidPlayingBar) {
        emit pauseRequested();
        emit frameRequested(std::min(frameAt(panelX), ws->sequence()->lastIndex()));
        mode = 1;
    } else if (watched == t->label_CursorPlayingBar) {
        emit pauseRequested();
        mode = 1;
    } else if (ws->state == DefiningParameters) {
        if (watched == t->label_TrimStartPlayingBar)
            mode = 2;
        else if (watched == t->label_TrimEndPlayingBar)
            mode = 3;
        else if (watched == t->label_CursorSelectorFlag) {
            emit frameRequested(ws->centreIndex);
            return true;
        } else if (watched == t->frame_CursorSelectorFlag) {
            emit centreFlagClicked();
            return true;
        }
    }
    if (mode == 0)
        return false;
    dragMode_ = mode;
    if (!overrideCursor_) {
        QApplication::setOverrideCursor(mode == 1 ? Qt::ClosedHandCursor : Qt::SizeHorCursor);
        overrideCursor_ = true;
    }
    return true;
}

void TimelineController::mouseMove(int panelX) {
    if (!ctx_.model.playable()) {
        stopDragging();
        return;
    }
    Workspace* ws = ctx_.model.workspace();
    const ImagesSequence* sequence = ws->sequence();
    const int first = sequence->firstIndex();
    const int last = sequence->lastIndex();
    const int f = frameAt(panelX);
    const auto* t = ctx_.form.timeline;
    switch (dragMode_) {
    case 1: {
        // A one-frame range has nowhere to go.
        if (first == last)
            return;
        emit frameRequested(std::clamp(f, first, last));
        const QRect fg = t->label_ForegroundMidPlayingBar->geometry();
        const QRect b = t->label_BackgroundMidPlayingBar->geometry();
        QLabel* cursor = t->label_CursorPlayingBar;
        const int x = std::clamp(panelX, fg.left(), fg.left() + fg.width());
        cursor->move(x - cursor->width() / 2, b.y() + 3 * b.height() / 4);
        break;
    }
    case 2:
        ctx_.form.proParams->spinBox_ImageStackingBefore->setValue(ws->centreIndex - f);
        break;
    case 3:
        ctx_.form.proParams->spinBox_ImageStackingAfter->setValue(f - ws->centreIndex);
        break;
    default:
        break;
    }
}

void TimelineController::stopDragging() {
    if (overrideCursor_) {
        QApplication::restoreOverrideCursor();
        overrideCursor_ = false;
    }
    dragMode_ = 0;
}

} // namespace lumora
