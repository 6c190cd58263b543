#include "ui/StackingController.h"

#include "app/MessageService.h"
#include "export/ExportNames.h"
#include "export/HdrExport.h"
#include "i18n/LanguageEngine.h"
#include "stacking/StackingChoices.h"
#include "stacking/StackingComputingWorkerThread.h"
#include "stacking/StackingEngine.h"
#include "ui/EditingController.h"
#include "ui/ExportController.h"
#include "ui/LumoraV2.h"
#include "ui/PresetStrips.h"
#include "ui/SharpestImageSelection.h"
#include "ui/StepsController.h"
#include "ui/WorkerWait.h"
#include "ui/Workspace.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace lumora {
namespace {

// How often the progress bar follows the run.
constexpr int kPollMs = 50;

} // namespace

StackingController::StackingController(LumoraV2& window) : window_(window) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &StackingController::pollProgress);
    connect(window_.form().proParams->pushButton_DefineParamsNext, &QPushButton::clicked, this,
            &StackingController::PushButtonDefineParamsNextClicked);
}

StackingController::~StackingController() {
    // The worker's destructor cancels its run and joins it; the engine it reads is the workspace's.
    worker_.reset();
}

void StackingController::PushButtonDefineParamsNextClicked() {
    Workspace* ws = window_.workspace();
    if (!window_.hasMedium() || !ws->sequenceReady() || ws->state != DefiningParameters || worker_)
        return;
    ws->undo.clear();
    ws->state = Stacking;
    window_.steps().updateWindow();

    ws->setStackingEngine(std::make_unique<StackingEngine>());
    ImagesSequence* sequence = ws->sequence();
    const StackingParams params =
        stackingParamsFor(ws->stacking, sequence, ws->centreIndex, sequence->frameCount());
    frameTotal_ = params.frameCount;
    shownPercent_ = -1;
    shownFrame_ = -1;
    end_ = End::None;
    worker_ = std::make_unique<StackingComputingWorkerThread>(ws->stackingEngine(), params);
    connect(worker_.get(), &StackingComputingWorkerThread::processWellFinished, this,
            &StackingController::HDRprocessWellFinished);
    connect(worker_.get(), &StackingComputingWorkerThread::processStopped, this,
            &StackingController::HDRprocessWellFinished);
    connect(worker_.get(), &StackingComputingWorkerThread::processCanceled, this,
            &StackingController::HDRprocessCanceled);
    connect(worker_.get(), &StackingComputingWorkerThread::processFailed, this,
            &StackingController::HDRprocessFailed);
    pollProgress();
    worker_->start();
    poll_.start();
}

void StackingController::pollProgress() {
    const Workspace* ws = window_.workspace();
    const StackingEngine* engine = ws ? ws->stackingEngine() : nullptr;
    if (!worker_ || !engine)
        return;
    QProgressBar* bar = window_.form().progress->progressBar_Computing;
    const int percent = int(engine->progressPercent());
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        bar->setValue(percent);
    }
    const int frame = engine->currentFrame() + 1;
    if (frame != shownFrame_) {
        shownFrame_ = frame;
        bar->setFormat(formatIntegers(translatedText("ImageNumber"), {frame, frameTotal_}));
    }
}

void StackingController::stop(bool ask) {
    Workspace* ws = window_.workspace();
    StackingEngine* engine = ws ? ws->stackingEngine() : nullptr;
    if (!worker_ || !engine)
        return;
    if (!ask) {
        engine->cancel();
        return;
    }
    asking_ = true;
    const int choice = window_.messages().choose(
        MessageKind::Question, translatedText("StopComputingTitle"), translatedText("StopComputingText"),
        {translatedText("KeepHDRImage"), translatedText("ReturnToVideo"), translatedText("Cancel")}, 2);
    asking_ = false;
    // The run may have ended, or the medium been closed, while the question was open.
    engine = window_.workspace() ? window_.workspace()->stackingEngine() : nullptr;
    if (engine && end_ == End::None) {
        if (choice == 0)
            engine->stop();
        else if (choice == 1)
            engine->cancel();
    }
    window_.form().progress->Panel_ProgressBar->setEnabled(true);
    if (end_ != End::None)
        handleEnd();
}

void StackingController::HDRprocessWellFinished(int frameCount) {
    ended(End::Finished, frameCount, QString());
}

void StackingController::HDRprocessCanceled() {
    ended(End::Canceled, 0, QString());
}

void StackingController::HDRprocessFailed(const QString& reason) {
    ended(End::Failed, 0, reason);
}

void StackingController::ended(End end, int frameCount, const QString& reason) {
    if (!worker_ || end_ != End::None)
        return;
    end_ = end;
    endFrameCount_ = frameCount;
    endReason_ = reason;
    if (!asking_)
        handleEnd();
}

void StackingController::finishWorker() {
    poll_.stop();
    if (worker_)
        worker_->wait(); // the end signal comes just before the thread returns
    worker_.reset();
}

void StackingController::handleEnd() {
    const End end = end_;
    const cv::Mat light = worker_ ? worker_->result() : cv::Mat();
    finishWorker();
    end_ = End::None;
    Workspace* ws = window_.workspace();
    if (!ws)
        return;
    if (end == End::Finished && !light.empty()) {
        ws->lightImage = light;
        ws->ghostMap.release();
        if (const StackingEngine* engine = ws->stackingEngine()) {
            ws->lightWhite = diffuseWhiteLight(engine->lightOneMeans(),
                                               engine->lightTransfer() == VideoColour::Transfer::HLG);
            ws->ghostMap = engine->ghostMap().clone();
        }
        ws->stackedFrameCount = endFrameCount_;
        makeSelectionFromLightImage();
        return;
    }
    ws->releaseStackingEngine();
    ws->state = DefiningParameters;
    window_.steps().updateWindow();
    if (end == End::Failed || end == End::Finished)
        window_.messages().show(MessageKind::Error, translatedText("StackingFailedTitle"),
                                translatedText("StackingFailed").arg(endReason_));
}

void StackingController::makeSelectionFromLightImage() {
    Workspace* ws = window_.workspace();
    const quint64 session = window_.session();
    window_.editing().displayImage(ws->lightImage);
    // Each step below is short; the window repaints between them (user input waits until editing begins).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (window_.messages().ask(MessageKind::Question, translatedText("RecommendedSavingHDRimageTitle"),
                               translatedText("RecommendedSavingHDRimage")))
        window_.exports().saveHDRimage();
    // The question and the saving let events through: the medium may be gone.
    if (window_.session() != session)
        return;
    ws->state = Editing;
    auto* selection =
        new SharpestImageSelection(ws->lightImage, ws->exifSourceOf(ws->centreIndex),
                                   window_.form().proEditing->scrollAreaWidgetContents_ProEditingSelection);
    ws->selections.push_back(selection);
    connect(selection, &SharpestImageSelection::onClick, &window_.editing(),
            &EditingController::onClickSelectImage);
    connect(selection, &SharpestImageSelection::onExport, &window_.exports(),
            &ExportController::PushButtonEditingExportClicked);
    selection->setExportName(lightImageName());
    selection->setLightWhite(ws->lightWhite);
    selection->show();
    ws->ghostMapOwner = selection;
    ws->releaseStackingEngine();
    ws->lightImage.release();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (window_.session() != session)
        return;
    window_.editing().strips().build(window_.steps().mode() == 1);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (window_.session() != session)
        return;
    // The result just made is what the user wants to see, not an older one of the list.
    window_.editing().onClickSelectImage(selection);
}

QString StackingController::lightImageName() const {
    const Workspace* ws = window_.workspace();
    if (!ws)
        return {};
    ExportNameRequest request;
    request.mediumPath = ws->path();
    request.isSequence = ws->hasSequence();
    request.forLightImage = true;
    request.run.antighostingSlider = ws->stacking.antighostingPosition;
    request.run.movementSlider = ws->stacking.movementPosition;
    request.run.automaticMovement = ws->stacking.automaticMovement;
    request.run.qualityIndex = ws->stacking.quality;
    request.run.frameCount = ws->stackedFrameCount;
    return defaultExportName(request, [](const std::string& key) { return translatedText(key); });
}

void StackingController::cancelNow() {
    if (!worker_)
        return;
    // The run's end is handled here, not by its signals.
    worker_->disconnect(this);
    if (StackingEngine* engine = window_.workspace() ? window_.workspace()->stackingEngine() : nullptr)
        engine->cancel();
    waitForThreads({worker_.get()});
    finishWorker();
    end_ = End::None;
    if (Workspace* ws = window_.workspace())
        ws->releaseStackingEngine();
}

} // namespace lumora
