#pragma once
// The image on screen: every frame, photo or preview is shown through displayImage (depth conversion, scaling
// to the display size, exposure highlight, centring), the exposure-highlight menu actions, the pixel read-out
// of the status bar, the comparison with the original (key O, hovering the before/after logo); which
// selection is edited, its preview rendering with the loading indicator, the controls that edit it
// (EditingPanel) and the preset strips that show it.

#include <QCheckBox>
#include <QObject>
#include <QSize>
#include <QTimer>
#include <opencv2/core.hpp>

#include <memory>

namespace lumora {

class EditingPanel;
class MessageService;
class WindowModel;
struct WindowContext;
struct WindowForm;
class PresetStrips;
class SharpestImageSelection;

class EditingController : public QObject {
    Q_OBJECT
public:
    // How long the original stays after the last press of O.
    static constexpr int kOriginalHoldMs = 500;

    // The strips and the panel are made by the window and handed over.
    EditingController(const WindowContext& context, std::unique_ptr<PresetStrips> strips,
                      std::unique_ptr<EditingPanel> panel);
    ~EditingController() override;

    // Shows `image`, or the workspace's current image when `image` is empty.
    void displayImage(const cv::Mat& image = cv::Mat());
    void setDisplaySize(const QSize& size) { displaySize_ = size; }
    QSize displaySize() const { return displaySize_; }
    // Re-reads the exposure limits after the settings dialog changed them.
    void readExposureLimits();

    PresetStrips& strips() { return *strips_; }
    EditingPanel& panel() { return *panel_; }
    // Renders the edited selection's preview from `stage` on its thread, with the editing panels waiting, and
    // shows it when done; false when nothing is edited or a rendering of it is still running.
    bool renderEditedSelection(int stage);
    // No selection is edited any more; `leaveEditing` also puts every selection back in selection mode.
    void dropEditedSelection(bool leaveEditing);
    // The size previews are rendered at, for the edited picture shown in the picture area: what it shows (its
    // crop, or the whole turned picture) fits the area, at most at full resolution.
    void updatePreviewSize();
    // After the window's layout for the current state: panels keep waiting for a render still running, and
    // Undo and Redo follow the history.
    void afterLayout();
    // Shows the edited picture as it was before any processing (key O, hovering the before/after logo).
    void showOriginal();
    bool originalShown() const { return originalShown_; }
    // The toggle that overlays the stack's ghost map on the picture it made; enabled only for that picture.
    QCheckBox* ghostToggle() const { return ghostToggle_; }
    void updateGhostToggle();

signals:
    // A picture was shown in the picture area: `source` as given (the edited picture's preview while
    // editing) and `shown`, the 8-bit picture drawn before any exposure marks. The original shown by key O
    // is not announced: it is not what will be exported.
    void pictureShown(const cv::Mat& source, const cv::Mat& shown);
    // The workflow state changed or a render ended: the window lays out its pages again.
    void windowUpdateRequested();
    // The picture area is sized and drawn again (a tool's render ended, the original was hidden).
    void resizeRequested();
    // The pixel read-out for the status bar.
    void statusMessageRequested(const QString& text);

public slots:
    // The texts this controller adds to the form, again in the current language.
    void refreshTexts();
    void onClickSelectImage(lumora::SharpestImageSelection* selection);
    void MenuActionHighlightOverExposedClicked();
    void MenuActionHighlightUnderExposedClicked();
    void MenuActionUndoClicked();
    void MenuActionRedoClicked();
    // Progress of the edited picture's render: the loading indicator at its tenth, hidden above 99.
    void setLoadingIconeAt(int percent);
    // The key O was last pressed kOriginalHoldMs ago: the preview comes back.
    void TimerTimeoutShowPreview();

private slots:
    // A render of a selection ended: shown when it is the edited one.
    void previewRendered();
    void previewProgressed(int percent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const cv::Mat& source, const QSize& size, bool announce = true);
    void repolishSelectionAreas();
    // The panels that change the edited picture wait while it renders.
    void lockPanels(bool locked);
    void hideOriginal();

    WindowModel& model_;
    const WindowForm& form_;
    MessageService& messages_;
    // The window the key O is watched in.
    QWidget* window_;
    QSize displaySize_;
    cv::Mat lastShown_; // the picture on screen, before scaling
    bool highlightOver_ = false;
    bool highlightUnder_ = false;
    int overExposedLimit_ = 98;
    int underExposedLimit_ = 2;
    bool originalShown_ = false;
    QCheckBox* ghostToggle_ = nullptr; // owned by the editing page
    QTimer originalTimer_;
    bool previewRendering_ = false; // from the start of a preview render until its end
    std::unique_ptr<QObject> keyWatcher_;
    std::unique_ptr<PresetStrips> strips_;
    std::unique_ptr<EditingPanel> panel_;
};

} // namespace lumora
