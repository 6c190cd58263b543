#include "ui/PresetStrips.h"

#include "presets/PresetFiles.h"
#include "tonemap/ToneMapEngine.h"
#include "ui/LumoraV2.h"
#include "ui/PresetImage.h"
#include "ui/WorkerWait.h"

#include <QBoxLayout>
#include <QScrollArea>
#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace lumora {
namespace {

// Height of a thumbnail's picture, whatever the strip's height: the strips scroll sideways.
constexpr int kThumbnailHeight = 64;

} // namespace

PresetStrips::PresetStrips(LumoraV2& window) : window_(window) {
    usePresetFolders();
}

void PresetStrips::fill(QBoxLayout* layout, const std::vector<PresetRecord>& presets,
                        std::vector<PresetImage*>& into) {
    for (const PresetRecord& preset : presets) {
        auto* image = new PresetImage(preset, layout->parentWidget());
        connect(image, &PresetImage::onClick, this, &PresetStrips::presetClicked);
        layout->addWidget(image);
        into.push_back(image);
    }
    layout->addStretch(1);
}

void PresetStrips::build(bool builtInOnly) {
    clear();
    const WindowForm& f = window_.form();
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
    if (image.empty())
        return;
    const int height = kThumbnailHeight;
    const int width = std::max(1, int(double(image.cols) * height / image.rows));
    ToneMapEngine::setThumbnailSize(width, height);
    // One small copy serves every thumbnail; each engine renders it at the thumbnail size as it is.
    cv::Mat small;
    cv::resize(image, small, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    for (PresetImage* p : builtIn_)
        p->setSource(small);
    for (PresetImage* p : user_)
        p->setSource(small);
}

std::vector<QThread*> PresetStrips::stopWork() const {
    std::vector<QThread*> running;
    for (const auto* list : {&builtIn_, &user_})
        for (PresetImage* p : *list)
            if (QThread* t = p->stopWork())
                running.push_back(t);
    return running;
}

void PresetStrips::clear() {
    waitForThreads(stopWork());
    const WindowForm& f = window_.form();
    for (QLayout* layout : {static_cast<QLayout*>(f.presets->horizontalLayout_BottomPresets),
                            static_cast<QLayout*>(f.presets->horizontalLayout_UserPresets)}) {
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
    }
    builtIn_.clear();
    user_.clear();
}

} // namespace lumora
