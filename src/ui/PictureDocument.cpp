#include "ui/PictureDocument.h"

#include "tonemap/TMComputingWorkerThread.h"

namespace lumora {

PictureDocument::PictureDocument(const cv::Mat& image, std::string exifSource)
    : image_(image), exifSource_(std::move(exifSource)) {
    // Editing starts from the controls' designed positions, as lumora-cli does without options.
    applyEditPositions(engine_, positions_);
    engine_.setImage(image_);
}

PictureDocument::~PictureDocument() {
    if (render_) {
        engine_.cancel();
        render_->wait();
    }
}

void PictureDocument::replaceImage(const cv::Mat& image, std::string exifSource) {
    // A preview from the editing step may still be rendering from the engine about to change.
    if (render_) {
        engine_.cancel();
        render_->wait();
        settleRender();
    }
    image_ = image;
    exifSource_ = std::move(exifSource);
    engine_.setImage(image_, true);
    preview_.release();
}

void PictureDocument::setEdited(bool edited) {
    edited_ = edited;
    if (!edited_ && !render_)
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
    if (render_)
        return false;
    if (!fullSize)
        previewSizeUsed_ = ToneMapEngine::previewSize();
    render_ = std::make_unique<TMComputingWorkerThread>(&engine_, fullSize, fast, stage);
    connect(render_.get(), &QThread::finished, this, &PictureDocument::renderEnded);
    render_->start();
    return true;
}

bool PictureDocument::refreshPreview(int stage) {
    settleRender();
    if (render_ || preview_.empty())
        return false;
    engine_.computePreview(stage, true);
    if (!engine_.previewImage().empty())
        preview_ = engine_.previewImage();
    return true;
}

void PictureDocument::settleRender() {
    if (render_ && render_->isFinished())
        renderEnded();
}

QThread* PictureDocument::renderThread() const {
    return render_.get();
}

void PictureDocument::cancelRender() {
    if (render_)
        engine_.cancel();
}

QThread* PictureDocument::stopRender() {
    cancelRender();
    return render_.get();
}

void PictureDocument::renderEnded() {
    if (!render_)
        return;
    render_->wait(); // finished() comes just before the thread returns
    const bool canceled = render_->wasCanceled();
    const cv::Mat result = canceled ? cv::Mat() : render_->result();
    const bool fullSize = render_->fullSize();
    render_.reset();
    if (fullSize) {
        fullRender_ = result;
        fullRenderFailure_.clear();
        // The engine logged the details; an exception the worker caught was logged by the worker.
        if (result.empty() && !canceled)
            fullRenderFailure_ = engine_.lastOutcome() == RunOutcome::Failed && !engine_.lastError().empty()
                                     ? engine_.lastError()
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
