#pragma once
// The image on screen: every frame, photo or preview is shown through displayImage (depth conversion, scaling
// to the display size, exposure highlight, centring), the exposure-highlight menu actions, the pixel read-out
// of the status bar; which selection is edited, its preview rendering and the preset strips that show it.

#include <QObject>
#include <QSize>
#include <opencv2/core.hpp>

#include <memory>

namespace lumora {

class LumoraV2;
class PresetStrips;
class SharpestImageSelection;

class EditingController : public QObject {
    Q_OBJECT
public:
    explicit EditingController(LumoraV2& window);
    ~EditingController() override;

    // Shows `image`, or the workspace's current image when `image` is empty.
    void displayImage(const cv::Mat& image = cv::Mat());
    void setDisplaySize(const QSize& size) { displaySize_ = size; }
    QSize displaySize() const { return displaySize_; }
    // Re-reads the exposure limits after the settings dialog changed them.
    void readExposureLimits();

    PresetStrips& strips() { return *strips_; }
    // Renders the edited selection's preview from `stage` on its thread and shows it when done; false when
    // nothing is edited or a rendering of it is still running.
    bool renderEditedSelection(int stage);
    // No selection is edited any more; `leaveEditing` also puts every selection back in selection mode.
    void dropEditedSelection(bool leaveEditing);

public slots:
    void onClickSelectImage(lumora::SharpestImageSelection* selection);
    void MenuActionHighlightOverExposedClicked();
    void MenuActionHighlightUnderExposedClicked();
    void MenuActionUndoClicked();
    void MenuActionRedoClicked();

private slots:
    // A render of a selection ended: shown when it is the edited one.
    void previewRendered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Form behaviour of the editing panels: number displays follow their sliders, the operator list its page.
    void wireEditingPanels();
    void repolishSelectionAreas();

    LumoraV2& window_;
    QSize displaySize_;
    cv::Mat lastShown_; // the picture on screen, before scaling
    bool highlightOver_ = false;
    bool highlightUnder_ = false;
    int overExposedLimit_ = 98;
    int underExposedLimit_ = 2;
    std::unique_ptr<PresetStrips> strips_;
};

} // namespace lumora
