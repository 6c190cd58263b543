#pragma once
// The View menu's three panels (histogram, tone curve, EXIF), docked beside the picture: shown while a
// medium is open when their menu item is checked, as remembered in the settings; fed with every picture the
// window shows and with the source's EXIF facts, read once per medium off the window's thread.

#include "app/BackgroundRun.h"
#include "export/ExifSummary.h"

#include <QObject>
#include <array>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <string>

class QAction;
class QDockWidget;

namespace lumora {

class WindowModel;
struct WindowContext;
class HistogramView;
class ToneCurveView;
class ExifView;

class ViewPanelsController : public QObject {
    Q_OBJECT
public:
    explicit ViewPanelsController(const WindowContext& context);
    ~ViewPanelsController() override;

    HistogramView& histogram() { return *histogram_; }
    ToneCurveView& toneCurve() { return *curve_; }
    ExifView& exif() { return *exif_; }
    // The EXIF reading of the open medium is still running.
    bool readingExif() const { return exifPending_; }
    void refreshTexts();

signals:
    // A panel was just shown: the picture on screen is wanted again.
    void redisplayRequested();

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
    void startExifReading(const std::string& source);
    void exifRead();

    WindowModel& model_;
    QWidget* window_;
    HistogramView* histogram_;
    ToneCurveView* curve_;
    ExifView* exif_;
    std::array<Panel, 3> panels_;
    // The reading of the current medium's EXIF data. A medium opened while an earlier one's reading runs is
    // read once that has ended (the tool cannot be interrupted, and the window does not wait for it).
    BackgroundRun<ExifSummary> exifRun_{"ViewPanelsController"};
    bool exifPending_ = false; // from the start of a reading until its end has been handled
    std::optional<std::string> nextExifSource_;
    quint64 exifSession_ = 0;
    // The tone values the drawn curve was made with (first: whether a picture was edited).
    std::array<float, 5> curveKey_{};
};

} // namespace lumora
