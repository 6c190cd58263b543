#include "ui/PresetStrips.h"

#include "presets/PresetFiles.h"
#include "tonemap/ToneMapEngine.h"
#include "ui/PresetImage.h"
#include "ui/WindowForm.h"

#include <QApplication>
#include <QBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace lumora {
namespace {

// Height of a thumbnail's picture, whatever the strip's height: the strips scroll sideways.
constexpr int kThumbnailHeight = 64;

} // namespace

PresetStrips::PresetStrips(const WindowForm& form) : form_(form) {
    usePresetFolders();
    const WindowForm& f = form_;
    for (QScrollArea* area : {f.presets->scrollArea_BottomPresets, f.presets->scrollArea_UserPresets})
        area->viewport()->installEventFilter(this);
}

PresetImage* PresetStrips::add(QBoxLayout* layout, const PresetRecord& preset,
                               std::vector<PresetImage*>& into) {
    auto* image = new PresetImage(preset, layout->parentWidget());
    connect(image, &PresetImage::onClick, this, &PresetStrips::presetClicked);
    // Before the closing stretch, when the strip has one.
    const int count = layout->count();
    const bool stretchLast = count > 0 && layout->itemAt(count - 1)->spacerItem();
    layout->insertWidget(stretchLast ? count - 1 : count, image);
    into.push_back(image);
    if (!small_.empty())
        image->setSource(small_);
    return image;
}

void PresetStrips::fill(QBoxLayout* layout, const std::vector<PresetRecord>& presets,
                        std::vector<PresetImage*>& into) {
    for (const PresetRecord& preset : presets)
        add(layout, preset, into);
    layout->addStretch(1);
}

void PresetStrips::build(bool builtInOnly) {
    clear();
    const WindowForm& f = form_;
    std::vector<PresetRecord> builtIn;
    if (builtInOnly) {
        builtIn = builtInPresets();
    } else {
        if (!defaultPresetsLoaded())
            loadDefaultPresets();
        builtIn = defaultPresets();
    }
    if (!userPresetsLoaded())
        loadUserPresets();
    fill(f.presets->horizontalLayout_BottomPresets, builtIn, builtIn_);
    fill(f.presets->horizontalLayout_UserPresets, userPresets(), user_);
}

void PresetStrips::setSource(const cv::Mat& image) {
    if (image.empty() || (image.data == source_.data && image.size == source_.size))
        return;
    source_ = image;
    const int height = kThumbnailHeight;
    const int width = std::max(1, int(double(image.cols) * height / image.rows));
    ToneMapEngine::setThumbnailSize(width, height);
    // One small copy serves every thumbnail; each engine renders it at the thumbnail size as it is.
    cv::resize(image, small_, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    for (PresetImage* p : builtIn_)
        p->setSource(small_);
    for (PresetImage* p : user_)
        p->setSource(small_);
}

void PresetStrips::appendUser(const PresetRecord& preset) {
    add(form_.presets->horizontalLayout_UserPresets, preset, user_);
}

void PresetStrips::replaceUser(int index, const PresetRecord& preset) {
    if (index >= 0 && std::size_t(index) < user_.size())
        user_[std::size_t(index)]->setPreset(preset);
}

void PresetStrips::removeUser(int index) {
    if (index < 0 || std::size_t(index) >= user_.size())
        return;
    PresetImage* image = user_[std::size_t(index)];
    user_.erase(user_.begin() + index);
    // Its destructor joins the render, cancelled here.
    image->stopWork();
    delete image;
}

void PresetStrips::stopWork() const {
    for (const auto* list : {&builtIn_, &user_})
        for (PresetImage* p : *list)
            p->stopWork();
}

void PresetStrips::clear() {
    // The thumbnails' destructors join their renders, cancelled here.
    stopWork();
    const WindowForm& f = form_;
    for (QLayout* layout : {static_cast<QLayout*>(f.presets->horizontalLayout_BottomPresets),
                            static_cast<QLayout*>(f.presets->horizontalLayout_UserPresets)}) {
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
    }
    builtIn_.clear();
    user_.clear();
    source_.release();
    small_.release();
}

bool PresetStrips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    // The strips are one row: the wheel moves along it.
    const WindowForm& f = form_;
    QScrollArea* area = watched == f.presets->scrollArea_BottomPresets->viewport()
                            ? f.presets->scrollArea_BottomPresets
                            : f.presets->scrollArea_UserPresets;
    const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
    const int notches = delta.y() != 0 ? delta.y() : delta.x();
    QScrollBar* bar = area->horizontalScrollBar();
    bar->setValue(bar->value() - notches * bar->singleStep() * QApplication::wheelScrollLines() / 120);
    return true;
}

} // namespace lumora
