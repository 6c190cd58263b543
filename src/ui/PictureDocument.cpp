#include "ui/PictureDocument.h"

namespace lumora {

PictureDocument::PictureDocument(const cv::Mat& image, std::string exifSource)
    : image_(image), exifSource_(std::move(exifSource)) {
    render_.onEnded(this, &PictureDocument::renderEnded);
    // The operator's progress reaches this thread through the background run's coalesced calls.
    engine_.setProgressListener([this] { render_.control().notifyProgress(); });
    render_.onProgress([this] {
        if (pending_)
            emit renderProgress(engine_.progress());
    });
    // Editing starts from the controls' designed positions, as lumora-cli does without options.
    applyEditPositions(engine_, positions_);
    engine_.setImage(image_);
}

PictureDocument::~PictureDocument() {
    engine_.cancel();
    render_.join();
}

void PictureDocument::replaceImage(const cv::Mat& image, std::string exifSource) {
    // A preview from the editing step may still be rendering from the engine about to change.
    stopRender();
    image_ = image;
    exifSource_ = std::move(exifSource);
    engine_.setImage(image_, true);
    preview_.release();
}

void PictureDocument::setEdited(bool edited) {
    edited_ = edited;
    if (!edited_ && !pending_)
        dropCaches();
}

void PictureDocument::dropCaches() {
    engine_.releaseRenderCaches();
    preview_.release();
    fullRender_.release();
}

void PictureDocument::proposeName(const QString& name) {
    if (proposedName_.isEmpty())
        proposedName_ = name;
    if (exportName_.isEmpty())
        exportName_ = name;
}

bool PictureDocument::startRender(bool fullSize, bool fast, int stage) {
    settleRender();
    if (pending_)
        return false;
    if (!fullSize)
        previewSizeUsed_ = ToneMapEngine::previewSize();
    ToneMapEngine* engine = &engine_;
    renderingFullSize_ = fullSize;
    pending_ = render_.start([engine, fullSize, fast, stage](RunControl&) {
        Rendered r;
        if (fullSize) {
            Result<cv::Mat> full = engine->renderFullSize();
            r.image = full.take();
            r.failure = full.reason();
        } else {
            engine->computePreview(stage, fast);
            r.image = engine->previewImage();
        }
        r.canceled = engine->isCanceled();
        return r;
    });
    return pending_;
}

bool PictureDocument::refreshPreview(int stage) {
    settleRender();
    if (pending_ || preview_.empty())
        return false;
    engine_.computePreview(stage, true);
    if (!engine_.previewImage().empty())
        preview_ = engine_.previewImage();
    return true;
}

void PictureDocument::settleRender() {
    if (pending_ && !render_.running())
        renderEnded();
}

void PictureDocument::cancelRender() {
    if (pending_)
        engine_.cancel();
}

void PictureDocument::joinRender() {
    render_.join();
    settleRender();
}

void PictureDocument::stopRender() {
    cancelRender();
    joinRender();
}

void PictureDocument::renderEnded() {
    // The end of a run already handled by settleRender comes here too, later.
    if (!pending_ || render_.running())
        return;
    pending_ = false;
    const Rendered r = render_.takeResult();
    const cv::Mat result = r.canceled ? cv::Mat() : r.image;
    if (renderingFullSize_) {
        fullRender_ = result;
        fullRenderFailure_.clear();
        // The engine logged the details; an exception the run caught was logged with the document's name.
        if (result.empty() && !r.canceled)
            fullRenderFailure_ = engine_.lastOutcome() == RunOutcome::Failed && !r.failure.empty()
                                     ? r.failure
                                     : std::string("the picture could not be rendered");
        // The engine keeps the full-size output it made; the caller has its own copy in fullRender_.
        engine_.releaseFullOutput();
    } else if (!result.empty())
        preview_ = result;
    if (!edited_) {
        // Left while it rendered: only what the caller takes now stays.
        engine_.releaseRenderCaches();
        preview_.release();
    }
    emit renderFinished(!result.empty());
}

} // namespace lumora
