#include "ui/PlayerController.h"

#include "i18n/LanguageEngine.h"
#include "ui/Repolish.h"
#include "ui/WindowForm.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>

namespace lumora {

namespace {
// How long a seek waits for the mouse to rest before the frame is decoded.
constexpr int kSeekDelayMs = 300;
} // namespace

PlayerController::PlayerController(const WindowContext& context) : ctx_(context) {
    // A repeating timer would decode the same frame again every interval while the mouse rests; one firing
    // after the last move is enough.
    seekTimer_.setSingleShot(true);
    seekTimer_.setInterval(kSeekDelayMs);
    connect(&seekTimer_, &QTimer::timeout, this, &PlayerController::TimerTimeoutShowFrameIndex);

    const WindowForm& f = ctx_.form;
    connect(f.timeline->pushButton_PlayPause, &QPushButton::clicked, this, &PlayerController::playPauseVideo);
    connect(f.timeline->pushButton_Previous, &QPushButton::clicked, this,
            &PlayerController::showPreviousFrame);
    connect(f.timeline->pushButton_Next, &QPushButton::clicked, this, &PlayerController::showNextFrame);
    connect(f.timeline->pushButton_ToBegin, &QPushButton::clicked, this, &PlayerController::showBeginFrame);
    connect(f.timeline->pushButton_ToEnd, &QPushButton::clicked, this, &PlayerController::showEndFrame);
    connect(f.timeline->horizontalSlider_VideoSpeed, &QSlider::valueChanged, this,
            &PlayerController::horizontalSlider_VideoSpeedMoved);
    connect(f.timeline->horizontalSlider_VideoBrightness, &QSlider::valueChanged, this,
            &PlayerController::horizontalSlider_VideoBrightnessMoved);
    connect(f.video->label_VideoPreview, &QLabel::customContextMenuRequested, this,
            &PlayerController::customMenuRequested);
    // The preview area changes size with the window and with the panels around it.
    f.video->frame_VideoPreview2->installEventFilter(this);
}

bool PlayerController::ready() const {
    return ctx_.model.playable();
}

void PlayerController::showPlaying(bool playing) {
    QPushButton* button = ctx_.form.timeline->pushButton_PlayPause;
    button->setProperty("SecondState", playing);
    repolish(button);
}

void PlayerController::playPauseVideo() {
    if (!ready())
        return;
    paused_ = !paused_;
    // Pausing ends the running loop; resuming inside a running loop lets that loop carry on.
    if (paused_ || looping_)
        return;
    seekTimer_.stop();
    showPlaying(true);
    looping_ = true;
    ImagesSequence* sequence = ctx_.model.workspace()->sequence();
    if (sequence->isLastFrame()) {
        sequence->rewind(true);
        emit frameShown(sequence->displayImage());
        updateTimeline();
    }
    for (;;) {
        // The loop processes events, which may close the medium or change the state under it.
        if (paused_ || !ready())
            break;
        sequence = ctx_.model.workspace()->sequence();
        if (sequence->isLastFrame())
            break;
        emit frameShown(sequence->nextFrame(true));
        QCoreApplication::processEvents();
        updateTimeline();
    }
    looping_ = false;
    paused_ = true;
    showPlaying(false);
    updateTimeline();
}

void PlayerController::pauseIfPlaying() {
    // The play loop runs on this thread, below whoever calls this: it ends at its next check. The frame on
    // screen is already the sequence's current one, so there is nothing to wait for, and sleeping would only
    // freeze the window.
    paused_ = true;
}

void PlayerController::resetPreview() {
    paused_ = true;
    seekTimer_.stop();
    const WindowForm& f = ctx_.form;
    for (QSlider* slider :
         {f.timeline->horizontalSlider_VideoSpeed, f.timeline->horizontalSlider_VideoBrightness}) {
        const QSignalBlocker block(slider);
        slider->setValue(0);
    }
    showPlaying(false);
}

bool PlayerController::showNextFrame() {
    if (!ready() || !paused_)
        return false;
    emit frameShown(ctx_.model.workspace()->sequence()->nextFrame(true));
    updateTimeline();
    return true;
}

bool PlayerController::showPreviousFrame() {
    if (!ready() || !paused_)
        return false;
    emit frameShown(ctx_.model.workspace()->sequence()->previousFrame(true));
    updateTimeline();
    return true;
}

void PlayerController::showBeginFrame() {
    if (ready())
        showFrameIndex(ctx_.model.workspace()->sequence()->firstIndex());
}

void PlayerController::showEndFrame() {
    if (ready())
        showFrameIndex(ctx_.model.workspace()->sequence()->lastIndex());
}

void PlayerController::showFrameIndex(int index) {
    if (!ready() || !paused_)
        return;
    // Scrubbing moves the cursor on every step; the frame itself is decoded once the mouse rests.
    pendingIndex_ = index;
    seekTimer_.start();
    updateTimeline(index);
}

void PlayerController::TimerTimeoutShowFrameIndex() {
    if (!ready() || !paused_)
        return;
    emit frameShown(ctx_.model.workspace()->sequence()->setCurrentFrame(pendingIndex_, true));
    updateTimeline();
}

void PlayerController::horizontalSlider_VideoSpeedMoved(int value) {
    if (!ctx_.model.sequenceReady())
        return;
    Workspace* ws = ctx_.model.workspace();
    ws->undo.push(ctx_.form.timeline->horizontalSlider_VideoSpeed, &QAbstractSlider::setValue, ws->speed,
                  value, QStringLiteral("Undo on video speed"));
    ws->speed = value;
    ws->sequence()->setSpeed(value);
}

void PlayerController::horizontalSlider_VideoBrightnessMoved(int value) {
    if (!ctx_.model.sequenceReady())
        return;
    Workspace* ws = ctx_.model.workspace();
    ws->undo.push(ctx_.form.timeline->horizontalSlider_VideoBrightness, &QAbstractSlider::setValue,
                  ws->brightness, value, QStringLiteral("Undo on brightness"));
    ws->brightness = value;
    ws->sequence()->setBrightness(value);
    emit frameShown(ws->sequence()->displayImage());
}

void PlayerController::customMenuRequested(const QPoint& position) {
    if (!ctx_.model.hasMedium())
        return;
    const WorkspaceState s = ctx_.model.workspace()->state;
    if (s != SelectingFrame && s != DefiningParameters)
        return;
    QMenu menu(ctx_.window);
    menu.setObjectName(QStringLiteral("menu_VideoPreview"));
    QAction* save = menu.addAction(translatedText("SaveTheCurrentImage"));
    connect(save, &QAction::triggered, this, &PlayerController::saveFrameRequested);
    menu.exec(ctx_.form.video->label_VideoPreview->mapToGlobal(position));
}

void PlayerController::updateTimeline(int index) {
    if (!ctx_.model.sequenceReady())
        return;
    ImagesSequence* sequence = ctx_.model.workspace()->sequence();
    const int shown = index < 0 ? sequence->currentIndex() : index;
    const WindowForm& f = ctx_.form;
    f.timeline->label_CurrentTime_CurrentImageIndex->setText(
        QString::fromStdString(sequence->positionText(index)));
    f.timeline->label_EndTime_CurrentImageName->setText(QString::fromStdString(sequence->endText(-1)));
    f.timeline->label_CurrentFrameNumber->setText(QString::number(shown));
    f.proSelect->label_CurrentFrameNumber_2->setText(QString::number(shown));
    emit timelineMoved(shown);
}

void PlayerController::needResize() {
    if (!ctx_.model.hasMedium())
        return;
    Workspace* ws = ctx_.model.workspace();
    const QSize area = ctx_.form.video->frame_VideoPreview2->size();
    switch (ws->state) {
    case SelectingFrame:
    case SearchingSharpest:
    case DefiningParameters:
    case Stacking:
        if (ws->sequenceReady()) {
            emit displaySized(fitInto(ws->width(), ws->height(), area.width(), area.height()), false);
            if (ws->state == SelectingFrame || ws->state == DefiningParameters) {
                emit timelineLayoutRequested();
                updateTimeline();
            }
        }
        break;
    case Editing:
    case ToolActive:
    case Exporting: {
        // The edited picture's aspect; its preview is rendered at the size it is shown at.
        const cv::Mat shown = ws->currentImage();
        emit displaySized(fitInto(shown.cols, shown.rows, area.width(), area.height()), true);
        break;
    }
    }
    emit redisplayRequested();
}

bool PlayerController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == ctx_.form.video->frame_VideoPreview2)
        needResize();
    return QObject::eventFilter(watched, event);
}

} // namespace lumora
