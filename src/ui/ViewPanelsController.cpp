#include "ui/ViewPanelsController.h"

#include "app/EventLog.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "imageio/ImageFile.h"
#include "tonemap/ToneMapEngine.h"
#include "ui/EditingController.h"
#include "ui/LumoraV2.h"
#include "ui/SharpestImageSelection.h"
#include "ui/ViewPanels.h"
#include "ui/Workspace.h"

#include <QAction>
#include <QDockWidget>
#include <QThread>

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

ViewPanelsController::ViewPanelsController(LumoraV2& window)
    : window_(window), histogram_(new HistogramView), curve_(new ToneCurveView), exif_(new ExifView) {
    const WindowForm& f = window_.form();
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
    refreshTexts();
    applyVisibility();
}

ViewPanelsController::~ViewPanelsController() {
    // The reading holds nothing of the window; it ends within the tool's time limit.
    if (exifThread_)
        exifThread_->wait();
}

QDockWidget* ViewPanelsController::makeDock(const char* objectName, QWidget* content) {
    auto* dock = new QDockWidget(&window_);
    dock->setObjectName(QString::fromLatin1(objectName));
    // The View menu is the one switch: a close button on the panel would leave it checked.
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(content);
    window_.addDockWidget(Qt::RightDockWidgetArea, dock);
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
    if (window_.hasMedium())
        window_.editing().displayImage();
}

void ViewPanelsController::applyVisibility() {
    const bool open = window_.hasMedium();
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
        const Workspace* ws = window_.workspace();
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
    const Workspace* ws = window_.workspace();
    if (!ws)
        return;
    // Once per medium: a burst's first photo speaks for the burst.
    const std::string source = ws->exifSourceOf(0);
    exifSession_ = window_.session();
    if (exifThread_)
        exifThread_->wait(); // an earlier medium's reading, within the tool's time limit
    auto result = std::make_shared<ExifSummary>();
    exifResult_ = result;
    exifThread_.reset(QThread::create([source, result] {
        try {
            *result = readExifSummary(source);
        } catch (const std::exception& e) {
            result->error = e.what();
        }
    }));
    connect(exifThread_.get(), &QThread::finished, this, [this, ticket = ++exifTicket_] {
        if (ticket == exifTicket_)
            exifRead();
    });
    exifThread_->start();
}

void ViewPanelsController::exifRead() {
    if (!exifThread_)
        return;
    exifThread_->wait();
    exifThread_.reset();
    if (!exifResult_->error.empty())
        logError("ViewPanelsController", "EXIF data not read: " + exifResult_->error);
    if (window_.workspace() && window_.session() == exifSession_)
        exif_->setSummary(*exifResult_);
}

} // namespace lumora
