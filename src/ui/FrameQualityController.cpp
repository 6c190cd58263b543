#include "ui/FrameQualityController.h"
#include "app/Parallel.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "ui/QualityStripWidget.h"
#include "ui/WindowModel.h"
#include "ui/Workspace.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QShortcut>

#include <cmath>

namespace lumora {

FrameQualityController::FrameQualityController(const WindowContext& context)
    : model_(context.model), window_(context.window) {
    strip_ = new QualityStripWidget(window_);
    button_ = new QPushButton(window_);
    button_->setObjectName(QStringLiteral("pushButton_SharpestNearHere"));
    button_->setCursor(Qt::PointingHandCursor);
    button_->setEnabled(false);
    // Under the timeline's bar, and the button among the player's controls.
    if (auto* timeline = window_->findChild<QVBoxLayout*>(QStringLiteral("verticalLayout_TimeLine")))
        timeline->insertWidget(1, strip_);
    if (auto* controls = window_->findChild<QHBoxLayout*>(QStringLiteral("horizontalLayout_PlayerControls")))
        controls->addWidget(button_);
    strip_->setVisible(false);
    button_->setVisible(false);
    shortcut_ = new QShortcut(QKeySequence(QStringLiteral("Ctrl+J")), window_);
    connect(shortcut_, &QShortcut::activated, this,
            &FrameQualityController::PushButtonSharpestNearHereClicked);
    connect(button_, &QPushButton::clicked, this, &FrameQualityController::PushButtonSharpestNearHereClicked);
    connect(strip_, &QualityStripWidget::frameClicked, this, &FrameQualityController::frameRequested);
    connect(&model_, &WindowModel::workspaceChanged, this, &FrameQualityController::mediumChanged);
    run_.onEnded(this, &FrameQualityController::runEnded);
    refreshTexts();
}

FrameQualityController::~FrameQualityController() {
    run_.control().requestCancel();
    run_.join();
}

int FrameQualityController::reach() const {
    const Workspace* w = model_.workspace();
    return std::max(1, static_cast<int>(std::lround(w ? w->fps() : 0.0)));
}

void FrameQualityController::refreshTexts() {
    button_->setText(translatedText("SharpestNearHere"));
    button_->setToolTip(translatedText("SharpestNearHereTooltip"));
    strip_->setToolTip(translatedText("FrameQualityStripTooltip"));
    strip_->setWaitingText(translatedText("FrameQualityComputing"));
}

void FrameQualityController::mediumChanged() {
    strip_->setQuality({}, {});
    button_->setEnabled(false);
    const Workspace* w = model_.workspace();
    wanted_ = settings::read(settings::FrameQualityStrip);
    const bool sequence = w && w->hasSequence() && wanted_;
    strip_->setVisible(sequence);
    button_->setVisible(sequence);
    if (run_.running()) {
        // The old run ends at its next batch; the new one starts from runEnded, so nobody waits here.
        run_.control().requestCancel();
        restartPending_ = true;
        return;
    }
    startForMedium();
}

void FrameQualityController::startForMedium() {
    restartPending_ = false;
    const Workspace* w = model_.workspace();
    if (!w || !w->sequenceReady() || !wanted_)
        return;
    const ImagesSequence& sequence = *w->sequence();
    std::vector<std::string> media = sequence.files();
    if (media.empty())
        media.push_back(w->path().toStdString());
    FrameQualityOptions options;
    options.batch = 4; // a cancel is heard within a few frames
    runSession_ = model_.session();
    run_.start([media, options](RunControl& control) {
        // The strip is a bonus the user does not wait for: its thread and its decoder's threads take a core
        // only when the player and the window leave one.
        lowerThisThreadsPriority();
        return computeFrameQuality(media, options, control);
    });
}

void FrameQualityController::runEnded() {
    FrameQualityStrip result = run_.takeResult();
    if (restartPending_) {
        startForMedium();
        return;
    }
    if (runSession_ != model_.session() || result.outcome != RunOutcome::Finished)
        return;
    std::vector<int> marks = sharpestMoments(result.frames, reach());
    strip_->setQuality(std::move(result.frames), std::move(marks));
    button_->setEnabled(true);
}

void FrameQualityController::PushButtonSharpestNearHereClicked() {
    Workspace* w = model_.workspace();
    if (!w || !w->sequenceReady() || strip_->frames().empty())
        return;
    const int here = w->sequence()->currentIndex();
    emit frameRequested(sharpestNear(strip_->frames(), here, reach()));
}

} // namespace lumora
