#include "ui/ViewPanelsController.h"

#include "app/EventLog.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "imageio/ImageFile.h"
#include "tonemap/ToneMapEngine.h"
#include "ui/SharpestImageSelection.h"
#include "ui/ViewPanels.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"
#include "ui/Workspace.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>

namespace lumora {
namespace {

const settings::Key<bool>* const kShown[] = {&settings::ShowHistogramPanel, &settings::ShowToneCurvePanel,
                                             &settings::ShowExifPanel};

// The tone curve of the edited picture's controls at each 8-bit level; straight when nothing is edited.
std::vector<float> currentCurve(const Workspace* ws) {
    std::vector<float> curve(PictureHistogram::kLevels);
    const SharpestImageSelection* edited = ws ? ws->edited.data() : nullptr;
    ToneCurve tone = edited ? edited->engine().params().toneCurve : ToneCurve();
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const float x = float(i) / float(curve.size() - 1);
        curve[i] = edited ? tone.evaluate(x) : x;
    }
    return curve;
}

} // namespace

ViewPanelsController::ViewPanelsController(const WindowContext& context)
    : model_(context.model), window_(context.window), histogram_(new HistogramView),
      curve_(new ToneCurveView), exif_(new ExifView) {
    const WindowForm& f = context.form;
    panels_ = {{{f.main->actionHide_Show_histogram_panel, makeDock("dockWidget_Histogram", histogram_),
                 "HistogramPanel"},
                {f.main->actionShow_tone_curve, makeDock("dockWidget_ToneCurve", curve_), "ToneCurvePanel"},
                {f.main->actionShow_EXIF, makeDock("dockWidget_Exif", exif_), "ExifPanel"}}};
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        QAction* action = panels_[i].action;
        action->setCheckable(true);
        action->setChecked(settings::read(*kShown[i]));
        connect(action, &QAction::toggled, this, &ViewPanelsController::toggled);
    }
    exifRun_.onEnded(this, &ViewPanelsController::exifRead);
    refreshTexts();
    applyVisibility();
}

// The reading holds nothing of the window; the background run joins it, within the tool's time limit.
ViewPanelsController::~ViewPanelsController() = default;

QDockWidget* ViewPanelsController::makeDock(const char* objectName, QWidget* content) {
    auto* dock = new QDockWidget(window_);
    dock->setObjectName(QString::fromLatin1(objectName));
    // The View menu is the one switch: a close button on the panel would leave it checked.
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(content);
    if (auto* main = qobject_cast<QMainWindow*>(window_))
        main->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    return dock;
}

void ViewPanelsController::refreshTexts() {
    for (const Panel& p : panels_)
        p.dock->setWindowTitle(translatedText(p.titleKey));
    histogram_->refreshTexts();
    exif_->refreshTexts();
}

void ViewPanelsController::toggled() {
    for (std::size_t i = 0; i < panels_.size(); ++i)
        settings::write(*kShown[i], panels_[i].action->isChecked());
    applyVisibility();
    // A panel just shown shows the picture already on screen.
    if (model_.hasMedium())
        emit redisplayRequested();
}

void ViewPanelsController::applyVisibility() {
    const bool open = model_.hasMedium();
    for (const Panel& p : panels_)
        p.dock->setVisible(open && p.action->isChecked());
}

void ViewPanelsController::pictureShown(const cv::Mat& source, const cv::Mat& shown) {
    const bool histogramShown = !panels_[0].dock->isHidden();
    const bool curveShown = !panels_[1].dock->isHidden();
    if (!histogramShown && !curveShown)
        return; // nothing to draw: a slider step costs nothing more
    // The picture itself where it is no larger than drawn (a preview is rendered at about the size shown):
    // enlarging it for the screen would invent levels. A larger frame is measured as drawn, which is cheaper.
    // Same size: what was drawn is that picture already converted.
    const bool own = source.size() != shown.size() && source.total() < shown.total();
    const PictureHistogram h = computeHistogram(own ? convertDepth(source, 8) : shown);
    if (histogramShown)
        histogram_->setHistogram(h);
    if (curveShown) {
        // The curve is rebuilt only when the tone controls moved.
        const Workspace* ws = model_.workspace();
        const SharpestImageSelection* edited = ws ? ws->edited.data() : nullptr;
        const ToneCurve* tone = edited ? &edited->engine().params().toneCurve : nullptr;
        const std::array<float, 5> key = {tone ? 1.f : 0.f, tone ? tone->whites() : 0.f,
                                          tone ? tone->blacks() : 0.f, tone ? tone->highlights() : 0.f,
                                          tone ? tone->shadows() : 0.f};
        if (key != curveKey_ || curve_->curve().empty()) {
            curveKey_ = key;
            curve_->setCurve(currentCurve(ws), h);
        } else {
            curve_->setCurve(curve_->curve(), h);
        }
    }
}

void ViewPanelsController::workspaceChanged() {
    applyVisibility();
    exif_->setSummary({});
    const Workspace* ws = model_.workspace();
    if (!ws) {
        nextExifSource_.reset();
        return;
    }
    // Once per medium: a burst's first photo speaks for the burst.
    const std::string source = ws->exifSourceOf(0);
    exifSession_ = model_.session();
    if (exifPending_)
        nextExifSource_ = source; // read once the earlier medium's reading has ended
    else
        startExifReading(source);
}

void ViewPanelsController::startExifReading(const std::string& source) {
    nextExifSource_.reset();
    exifPending_ = exifRun_.start([source](RunControl&) {
        ExifSummary summary;
        try {
            summary = readExifSummary(source);
        } catch (const std::exception& e) {
            summary.error = e.what();
        }
        return summary;
    });
}

void ViewPanelsController::exifRead() {
    if (!exifPending_ || exifRun_.running())
        return;
    exifPending_ = false;
    const ExifSummary summary = exifRun_.takeResult();
    if (nextExifSource_) {
        // This reading was for a medium closed since; the current one's starts now.
        startExifReading(*nextExifSource_);
        return;
    }
    if (!summary.error.empty())
        logError("ViewPanelsController", "EXIF data not read: " + summary.error);
    if (model_.workspace() && model_.session() == exifSession_)
        exif_->setSummary(summary);
}

} // namespace lumora
