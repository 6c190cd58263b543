#pragma once
// The View menu's three panels (histogram, tone curve, EXIF), docked beside the picture: shown while a
// medium is open when their menu item is checked, as remembered in the settings; fed with every picture the
// window shows and with the source's EXIF facts, read once per medium off the window's thread.

#include "export/ExifSummary.h"

#include <QObject>
#include <array>
#include <memory>
#include <opencv2/core.hpp>

class QAction;
class QDockWidget;
class QThread;

namespace lumora {

class LumoraV2;
class HistogramView;
class ToneCurveView;
class ExifView;

class ViewPanelsController : public QObject {
    Q_OBJECT
public:
    explicit ViewPanelsController(LumoraV2& window);
    ~ViewPanelsController() override;

    HistogramView& histogram() { return *histogram_; }
    ToneCurveView& toneCurve() { return *curve_; }
    ExifView& exif() { return *exif_; }
    // The EXIF reading of the open medium is still running.
    bool readingExif() const { return exifThread_ != nullptr; }
    void refreshTexts();

public slots:
    // A picture just shown in the picture area, as given and as drawn at 8 bits.
    void pictureShown(const cv::Mat& source, const cv::Mat& shown);
    // A medium was opened or closed.
    void workspaceChanged();

private:
    struct Panel {
        QAction* action;
        QDockWidget* dock;
        const char* titleKey;
    };
    QDockWidget* makeDock(const char* objectName, QWidget* content);
    void applyVisibility();
    void toggled();
    void exifRead();

    LumoraV2& window_;
    HistogramView* histogram_;
    ToneCurveView* curve_;
    ExifView* exif_;
    std::array<Panel, 3> panels_;
    // The reading of the current medium's EXIF data: its thread and where it leaves its result.
    std::unique_ptr<QThread> exifThread_;
    std::shared_ptr<ExifSummary> exifResult_;
    quint64 exifSession_ = 0;
    // Tells the end of the current reading from the queued end of one it replaced.
    quint64 exifTicket_ = 0;
    // The tone values the drawn curve was made with (first: whether a picture was edited).
    std::array<float, 5> curveKey_{};
};

} // namespace lumora
