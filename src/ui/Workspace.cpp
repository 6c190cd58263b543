#include "ui/Workspace.h"

#include "imageio/ImageFile.h"
#include "stacking/StackingEngine.h"
#include "ui/SharpestImageSelection.h"

#include <algorithm>
#include <vector>

namespace lumora {

Workspace::Workspace(Kind kind, QString path) : kind_(kind), path_(std::move(path)) {}

Workspace::~Workspace() {
    // The window has stopped their work already; what is left must go before the sequence they read.
    for (const QPointer<SharpestImageSelection>& s : selections_)
        delete s.data();
}

std::unique_ptr<Workspace> Workspace::openVideo(const QString& path) {
    std::unique_ptr<Workspace> w(new Workspace(Kind::Video, path));
    w->takeSequence(std::make_unique<ImagesSequence>(path.toStdString()));
    return w;
}

std::unique_ptr<Workspace> Workspace::openBurst(const QStringList& paths) {
    std::vector<std::string> files;
    for (const QString& p : paths)
        files.push_back(p.toStdString());
    auto sequence = std::make_unique<ImagesSequence>(files);
    const QString first =
        sequence->files().empty() ? QString() : QString::fromStdString(sequence->files().front());
    std::unique_ptr<Workspace> w(new Workspace(Kind::Burst, first));
    w->takeSequence(std::move(sequence));
    return w;
}

std::unique_ptr<Workspace> Workspace::openPhoto(const QString& path) {
    std::unique_ptr<Workspace> w(new Workspace(Kind::Photo, path));
    w->image_ = readImage(path.toStdString());
    w->opened_ = !w->image_.empty();
    w->width_ = w->image_.cols;
    w->height_ = w->image_.rows;
    // A single photo goes straight to tone mapping.
    w->state_ = Editing;
    return w;
}

void Workspace::takeSequence(std::unique_ptr<ImagesSequence> sequence) {
    opened_ = sequence->ready();
    if (!opened_)
        return;
    width_ = sequence->width();
    height_ = sequence->height();
    sequence_ = std::move(sequence);
}

double Workspace::fps() const {
    return sequence_ ? double(sequence_->fps()) : 0.0;
}

cv::Mat Workspace::currentImage() const {
    const bool editing = state_ == Editing || state_ == ToolActive || state_ == Exporting;
    if (editing && edited_)
        return edited_->shownImage();
    if (sequence_)
        return sequence_->displayImage();
    return image_;
}

void Workspace::resetTrimRange() {
    if (!sequence_)
        return;
    sequence_->setFirstIndex(0);
    sequence_->setLastIndex(sequence_->frameCount() - 1);
}

} // namespace lumora

namespace lumora {

std::string Workspace::exifSourceOf(int index) const {
    return sequence_ ? sequence_->sourceFileOf(index) : path_.toStdString();
}

void Workspace::setStackingEngine(std::unique_ptr<StackingEngine> engine) {
    stackingEngine_ = std::move(engine);
}

void Workspace::releaseStackingEngine() {
    stackingEngine_.reset();
}

std::vector<SharpestImageSelection*> Workspace::liveSelections() const {
    std::vector<SharpestImageSelection*> live;
    for (const QPointer<SharpestImageSelection>& s : selections_)
        if (s)
            live.push_back(s.data());
    return live;
}

} // namespace lumora
