#include "ui/SharpestSearchController.h"

#include "i18n/LanguageEngine.h"
#include "sharpness/SharpestImageSearcherWorkerThread.h"
#include "ui/FrameThumbnailsThread.h"
#include "ui/LumoraV2.h"
#include "ui/PlayerController.h"
#include "ui/ProSharpestImageSelection.h"
#include "ui/StepsController.h"
#include "ui/TimelineController.h"
#include "ui/WorkerWait.h"
#include "ui/Workspace.h"

#include <QLabel>
#include <QProgressBar>
#include <QSpacerItem>

namespace lumora {
namespace {

constexpr int kPollMs = 50;
constexpr int kThumbnailWidth = 240;

void deleteWidgets(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

} // namespace

SharpestSearchController::SharpestSearchController(LumoraV2& window) : window_(window) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &SharpestSearchController::pollProgress);
    connect(window_.form().proSelect->pushButton_FindSharpestImage, &QPushButton::clicked, this,
            &SharpestSearchController::PushButtonFindSharpestImageClicked);
}

SharpestSearchController::~SharpestSearchController() = default;

void SharpestSearchController::PushButtonFindSharpestImageClicked() {
    Workspace* ws = window_.workspace();
    if (!window_.hasMedium() || !ws->sequenceReady() || ws->state != SelectingFrame || running())
        return;
    stopRequested_ = false;
    completed_ = false;
    window_.player().pauseIfPlaying();
    window_.model().setState(SearchingSharpest);
    QProgressBar* bar = window_.form().progress->progressBar_Computing;
    bar->setValue(0);
    bar->setFormat(translatedText("LookingForSharperImages"));
    window_.steps().updateWindow();

    ImagesSequence* sequence = ws->sequence();
    const int radius = window_.form().proSelect->spinBox_FindSharpestImage->value();
    const int position = sequence->currentIndex();
    centre_ = sequence->getCvImageAt(position, false);
    search_ = std::make_unique<SharpestImageSearcherWorkerThread>(&centre_, position, sequence, radius);
    // The result is copied from the worker, which is deleted only after it ended.
    connect(search_.get(), &SharpestImageSearcherWorkerThread::processWellFinished, this,
            [this] { completed_ = true; });
    connect(search_.get(), &QThread::finished, this, &SharpestSearchController::searchEnded);
    search_->start();
    poll_.start();
}

void SharpestSearchController::pollProgress() {
    if (search_)
        window_.form().progress->progressBar_Computing->setValue(search_->progress());
}

void SharpestSearchController::stop() {
    stopRequested_ = true;
    if (search_)
        search_->requestCancel();
    if (thumbnails_)
        thumbnails_->requestCancel();
}

void SharpestSearchController::searchEnded() {
    if (!search_)
        return;
    poll_.stop();
    search_->wait(); // finished() comes just before the thread returns
    const bool done = completed_ && !stopRequested_;
    if (done)
        found_ = search_->candidates();
    search_.reset();
    Workspace* ws = window_.workspace();
    if (!done || !ws || !ws->sequenceReady()) {
        backToSelection();
        return;
    }
    std::vector<int> indices;
    for (const auto& candidate : found_)
        indices.push_back(candidate.second);
    thumbnails_ = std::make_unique<FrameThumbnailsThread>(ws->sequence(), indices, kThumbnailWidth);
    connect(thumbnails_.get(), &QThread::finished, this, &SharpestSearchController::thumbnailsEnded);
    thumbnails_->start();
}

void SharpestSearchController::thumbnailsEnded() {
    if (!thumbnails_)
        return;
    thumbnails_->wait();
    const bool done = !thumbnails_->canceled() && !stopRequested_;
    const std::vector<cv::Mat> pictures = thumbnails_->thumbnails();
    thumbnails_.reset();
    if (done && window_.hasMedium())
        showResults(pictures);
    backToSelection();
}

void SharpestSearchController::clearResults() {
    const WindowForm& f = window_.form();
    deleteWidgets(f.proSelect->verticalLayout_SelectedImage);
    deleteWidgets(f.proSelect->verticalLayout_ProSharpestImageSelection);
    f.proSelect->frame_SelectedImageTop->hide();
}

void SharpestSearchController::showResults(const std::vector<cv::Mat>& pictures) {
    clearResults();
    const WindowForm& f = window_.form();
    f.proSelect->frame_SelectedImageTop->show();
    QWidget* pinParent = f.timeline->Panel_LectureTop2;
    const float best = found_.empty() ? 0.f : found_.begin()->first;
    std::size_t i = 0;
    for (const auto& [sharpness, index] : found_) {
        const int percent = best > 0.f ? int(sharpness * 100.f / best) : 100;
        QWidget* area = i == 0 ? f.proSelect->frame_SelectedImage
                               : f.proSelect->scrollAreaWidgetContents_ProSharpestImageSelection;
        auto* entry =
            new ProSharpestImageSelection(area, pinParent, index, QStringLiteral("%1%").arg(percent));
        (i == 0 ? f.proSelect->verticalLayout_SelectedImage
                : f.proSelect->verticalLayout_ProSharpestImageSelection)
            ->addWidget(entry);
        if (i < pictures.size())
            entry->setThumbnail(pictures[i]);
        connect(entry, &ProSharpestImageSelection::onClick, &window_.player(),
                &PlayerController::showFrameIndex);
        connect(entry, &ProSharpestImageSelection::movePin, &window_.timeline(),
                &TimelineController::moveProSharpestPin);
        ++i;
    }
    if (found_.size() < 2) {
        auto* none = new QLabel(translatedText("NoProSharpenerImages"),
                                f.proSelect->scrollAreaWidgetContents_ProSharpestImageSelection);
        none->setObjectName(QStringLiteral("label_NoProSharpenerImages"));
        none->setWordWrap(true);
        f.proSelect->verticalLayout_ProSharpestImageSelection->addWidget(none);
    }
    f.proSelect->verticalLayout_ProSharpestImageSelection->addItem(
        new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
}

void SharpestSearchController::backToSelection() {
    if (Workspace* ws = window_.hasMedium() ? window_.workspace() : nullptr) {
        if (ws->state == SearchingSharpest)
            window_.model().setState(SelectingFrame);
        window_.steps().updateWindow();
    }
    stopRequested_ = false;
}

void SharpestSearchController::cancelNow() {
    std::vector<QThread*> running;
    if (search_) {
        search_->disconnect(this);
        search_->requestCancel();
        running.push_back(search_.get());
    }
    if (thumbnails_) {
        thumbnails_->disconnect(this);
        thumbnails_->requestCancel();
        running.push_back(thumbnails_.get());
    }
    poll_.stop();
    waitForThreads(running);
    search_.reset();
    thumbnails_.reset();
    stopRequested_ = false;
}

} // namespace lumora
