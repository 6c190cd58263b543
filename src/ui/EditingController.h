#pragma once
// The image on screen: every frame, photo or preview is shown through displayImage (depth conversion, scaling
// to the display size, exposure highlight, centring), the exposure-highlight menu actions, the pixel read-out
// of the status bar, and the editing actions whose behaviour comes with the rendering (undo and redo).

#include <QObject>
#include <QSize>
#include <opencv2/core.hpp>

namespace lumora {

class LumoraV2;

class EditingController : public QObject {
    Q_OBJECT
public:
    explicit EditingController(LumoraV2& window);

    // Shows `image`, or the workspace's current image when `image` is empty.
    void displayImage(const cv::Mat& image = cv::Mat());
    void setDisplaySize(const QSize& size) { displaySize_ = size; }
    QSize displaySize() const { return displaySize_; }
    // Re-reads the exposure limits after the settings dialog changed them.
    void readExposureLimits();

public slots:
    void MenuActionHighlightOverExposedClicked();
    void MenuActionHighlightUnderExposedClicked();
    void MenuActionUndoClicked();
    void MenuActionRedoClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Form behaviour of the editing panels: number displays follow their sliders, the operator list its page.
    void wireEditingPanels();

    LumoraV2& window_;
    QSize displaySize_;
    bool highlightOver_ = false;
    bool highlightUnder_ = false;
    int overExposedLimit_ = 98;
    int underExposedLimit_ = 2;
};

} // namespace lumora
