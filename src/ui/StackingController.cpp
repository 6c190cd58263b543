#include "ui/StackingController.h"

#include "app/MessageService.h"
#include "export/ExportNames.h"
#include "export/HdrExport.h"
#include "i18n/LanguageEngine.h"
#include "stacking/StackingChoices.h"
#include "stacking/StackingEngine.h"
#include "ui/SharpestImageSelection.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"
#include "ui/WindowRecipe.h"
#include "ui/Workspace.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace lumora {

StackingController::StackingController(const WindowContext& context)
    : model_(context.model), form_(context.form), messages_(context.messages) {
    run_.onEnded(this, &StackingController::runEnded);
    run_.onProgress([this] { showProgress(); });
    connect(form_.proParams->pushButton_DefineParamsNext, &QPushButton::clicked, this,
            &StackingController::PushButtonDefineParamsNextClicked);
}

StackingController::~StackingController() {
    // The engine the run reads is the workspace's.
    run_.cancel();
    run_.join();
}

void StackingController::PushButtonDefineParamsNextClicked() {
    Workspace* ws = model_.workspace();
    if (!model_.hasMedium() || !ws->sequenceReady() || ws->state != DefiningParameters || pending_)
        return;
    ws->undo.clear();
    model_.setState(Stacking);
    emit windowUpdateRequested();

    ws->setStackingEngine(std::make_unique<StackingEngine>());
    ImagesSequence* sequence = ws->sequence();
    const StackingParams params =
        stackingParamsFor(ws->stacking, sequence, ws->centreIndex, sequence->frameCount());
    frameTotal_ = params.frameCount;
    shownPercent_ = -1;
    shownFrame_ = -1;
    end_ = End::None;
    StackingEngine* engine = ws->stackingEngine();
    pending_ = run_.start([engine, params](RunControl& run) { return runStacking(*engine, params, run); });
    showProgress();
}

void StackingController::showProgress() {
    const Workspace* ws = model_.workspace();
    const StackingEngine* engine = ws ? ws->stackingEngine() : nullptr;
    if (!pending_ || !engine)
        return;
    QProgressBar* bar = form_.progress->progressBar_Computing;
    const int percent = run_.control().progress();
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
    if (!pending_)
        return;
    if (!ask) {
        run_.cancel();
        return;
    }
    asking_ = true;
    const int choice = messages_.choose(
        MessageKind::Question, translatedText("StopComputingTitle"), translatedText("StopComputingText"),
        {translatedText("KeepHDRImage"), translatedText("ReturnToVideo"), translatedText("Cancel")}, 2);
    asking_ = false;
    // The run may have ended, or the medium been closed, while the question was open.
    if (pending_ && end_ == End::None) {
        if (choice == 0)
            run_.control().requestStop();
        else if (choice == 1)
            run_.cancel();
    }
    form_.progress->Panel_ProgressBar->setEnabled(true);
    if (end_ != End::None)
        handleEnd();
}

void StackingController::runEnded() {
    // A late end signal of a run already handled (cancelNow) may come while the next one runs.
    if (!pending_ || run_.running())
        return;
    StackingResult r = run_.takeResult();
    switch (r.outcome) {
    case RunOutcome::Finished:
    case RunOutcome::Stopped:
        endLight_ = std::move(r.light);
        HDRprocessWellFinished(r.frameCount);
        break;
    case RunOutcome::Canceled:
        HDRprocessCanceled();
        break;
    case RunOutcome::Failed:
        HDRprocessFailed(QString::fromStdString(r.reason));
        break;
    }
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
    if (!pending_ || end_ != End::None)
        return;
    end_ = end;
    endFrameCount_ = frameCount;
    endReason_ = reason;
    if (!asking_)
        handleEnd();
}

void StackingController::finishWorker() {
    pending_ = false;
    endLight_.release();
}

void StackingController::handleEnd() {
    const End end = end_;
    const cv::Mat light = endLight_;
    finishWorker();
    end_ = End::None;
    Workspace* ws = model_.workspace();
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
    model_.setState(DefiningParameters);
    emit windowUpdateRequested();
    if (end == End::Failed || end == End::Finished)
        messages_.show(MessageKind::Error, translatedText("StackingFailedTitle"),
                       translatedText("StackingFailed").arg(endReason_));
}

void StackingController::makeSelectionFromLightImage() {
    Workspace* ws = model_.workspace();
    const quint64 session = model_.session();
    emit lightImageShown(ws->lightImage);
    // Each step below is short; the window repaints between them (user input waits until editing begins).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (messages_.ask(MessageKind::Question, translatedText("RecommendedSavingHDRimageTitle"),
                      translatedText("RecommendedSavingHDRimage")))
        emit lightImageSaveRequested();
    // The question and the saving let events through: the medium may be gone.
    if (model_.session() != session)
        return;
    model_.setState(Editing);
    auto* selection =
        new SharpestImageSelection(ws->lightImage, ws->exifSourceOf(ws->centreIndex),
                                   form_.proEditing->scrollAreaWidgetContents_ProEditingSelection);
    model_.addSelection(selection);
    emit selectionMade(selection);
    selection->setExportName(lightImageName());
    selection->setLightWhite(ws->lightWhite);
    selection->document().setStackOrigin(lastStackOf(*ws));
    selection->show();
    ws->ghostMapOwner = selection;
    ws->releaseStackingEngine();
    ws->lightImage.release();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (model_.session() != session)
        return;
    emit presetStripsRequested(model_.mode() == 1);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (model_.session() != session)
        return;
    // The result just made is what the user wants to see, not an older one of the list.
    emit selectionChosen(selection);
}

QString StackingController::lightImageName() const {
    const Workspace* ws = model_.workspace();
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
    if (!pending_)
        return;
    // The run's end is handled here; its end signal, coming later, finds nothing pending.
    run_.cancel();
    run_.join();
    run_.takeResult();
    finishWorker();
    end_ = End::None;
    if (Workspace* ws = model_.workspace())
        ws->releaseStackingEngine();
}

} // namespace lumora
