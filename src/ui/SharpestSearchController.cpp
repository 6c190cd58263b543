#include "ui/SharpestSearchController.h"

#include "i18n/LanguageEngine.h"
#include "ui/FrameThumbnails.h"
#include "ui/ProSharpestImageSelection.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"
#include "ui/Workspace.h"

#include <QLabel>
#include <QProgressBar>
#include <QSpacerItem>

namespace lumora {
namespace {

constexpr int kThumbnailWidth = 240;

void deleteWidgets(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

} // namespace

SharpestSearchController::SharpestSearchController(const WindowContext& context)
    : model_(context.model), form_(context.form) {
    search_.onEnded(this, &SharpestSearchController::searchEnded);
    search_.onProgress([this] { showProgress(); });
    thumbnails_.onEnded(this, &SharpestSearchController::thumbnailsEnded);
    connect(form_.proSelect->pushButton_FindSharpestImage, &QPushButton::clicked, this,
            &SharpestSearchController::PushButtonFindSharpestImageClicked);
}

SharpestSearchController::~SharpestSearchController() {
    // Both runs read the workspace's sequence.
    search_.cancel();
    thumbnails_.cancel();
    search_.join();
    thumbnails_.join();
}

void SharpestSearchController::PushButtonFindSharpestImageClicked() {
    Workspace* ws = model_.workspace();
    if (!model_.hasMedium() || !ws->sequenceReady() || ws->state != SelectingFrame || running())
        return;
    stopRequested_ = false;
    emit pauseRequested();
    model_.setState(SearchingSharpest);
    QProgressBar* bar = form_.progress->progressBar_Computing;
    bar->setValue(0);
    bar->setFormat(translatedText("LookingForSharperImages"));
    emit windowUpdateRequested();

    ImagesSequence* sequence = ws->sequence();
    const int radius = form_.proSelect->spinBox_FindSharpestImage->value();
    const int position = sequence->currentIndex();
    const SharpestSearchRequest request{sequence->getCvImageAt(position, false), position,
                                        sequence->frameCount(), radius};
    searching_ = search_.start([sequence, request](RunControl& run) {
        return findSharpest(
            request, [sequence](int index) { return sequence->getCvImageAt(index, false); }, run);
    });
}

void SharpestSearchController::showProgress() {
    if (searching_)
        form_.progress->progressBar_Computing->setValue(search_.control().progress());
}

void SharpestSearchController::stop() {
    stopRequested_ = true;
    search_.cancel();
    thumbnails_.cancel();
}

void SharpestSearchController::searchEnded() {
    // A late end signal of a run already handled (cancelNow) may come while the next one runs.
    if (!searching_ || search_.running())
        return;
    searching_ = false;
    SharpestSearchResult result = search_.takeResult();
    const bool done = result.outcome == RunOutcome::Finished && !stopRequested_;
    if (done)
        found_ = std::move(result.candidates);
    Workspace* ws = model_.workspace();
    if (!done || !ws || !ws->sequenceReady()) {
        backToSelection();
        return;
    }
    std::vector<int> indices;
    for (const auto& candidate : found_)
        indices.push_back(candidate.second);
    ImagesSequence* sequence = ws->sequence();
    reading_ = thumbnails_.start([sequence, indices](RunControl& run) {
        return readFrameThumbnails(*sequence, indices, kThumbnailWidth, run);
    });
}

void SharpestSearchController::thumbnailsEnded() {
    if (!reading_ || thumbnails_.running())
        return;
    reading_ = false;
    const bool done = !thumbnails_.control().shouldEnd() && !stopRequested_;
    const std::vector<cv::Mat> pictures = thumbnails_.takeResult();
    if (done && model_.hasMedium())
        showResults(pictures);
    backToSelection();
}

void SharpestSearchController::clearResults() {
    const WindowForm& f = form_;
    deleteWidgets(f.proSelect->verticalLayout_SelectedImage);
    deleteWidgets(f.proSelect->verticalLayout_ProSharpestImageSelection);
    f.proSelect->frame_SelectedImageTop->hide();
}

void SharpestSearchController::showResults(const std::vector<cv::Mat>& pictures) {
    clearResults();
    const WindowForm& f = form_;
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
        connect(entry, &ProSharpestImageSelection::onClick, this, &SharpestSearchController::frameChosen);
        connect(entry, &ProSharpestImageSelection::movePin, this,
                &SharpestSearchController::pinMoveRequested);
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
    if (Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr) {
        if (ws->state == SearchingSharpest)
            model_.setState(SelectingFrame);
        emit windowUpdateRequested();
    }
    stopRequested_ = false;
}

void SharpestSearchController::cancelNow() {
    // The ends are handled here; end signals coming later find nothing pending.
    search_.cancel();
    thumbnails_.cancel();
    search_.join();
    thumbnails_.join();
    search_.takeResult();
    thumbnails_.takeResult();
    searching_ = false;
    reading_ = false;
    stopRequested_ = false;
}

} // namespace lumora
