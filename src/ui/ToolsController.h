#pragma once
// The crop and horizon tools of the editing step: their buttons, their overlays on the picture, and applying
// them. Both work on the picture as it is shown: a crop frame selects part of what is shown (a crop within
// the current crop), a horizon line turns the picture further by its slope.

#include <QObject>
#include <QRect>
#include <opencv2/core/types.hpp>

namespace lumora {

class EditingPanel;
class WindowModel;
struct WindowContext;
struct WindowForm;
class ResizableFrame;
class ResizableLine;

// The crop in image pixels that `frame` (in a label of `label` size showing `shown`, a region of the turned
// image in its pixels) selects. Edges map by integer division, so a frame over the whole label gives `shown`.
cv::Rect cropFromFrame(const QRect& frame, const QSize& label, const cv::Rect& shown);
// The rotation slider's change that levels a line from `a` to `b` (y down): -45 for a line falling 45 degrees
// to the right.
int levellingDegrees(const QPoint& a, const QPoint& b);

class ToolsController : public QObject {
    Q_OBJECT
public:
    // The panel tells whether an undo is being replayed; it outlives this.
    ToolsController(const WindowContext& context, EditingPanel& panel);

    // The window hides every overlay, then shows the active tool's (1 crop, 2 horizon) while a tool is
    // active.
    void hideOverlays();
    void showOverlay(int tool);
    ResizableFrame* cropFrame() const { return frame_; }
    ResizableLine* horizonLine() const { return line_; }

    // The edited picture's crop (x, y, width, height in pixels of the turned image; an empty rectangle for
    // none), recorded for undo, then rendered. Undo and redo replay crops through it.
    void setCrop(const QRect& crop);
    // The same without rendering: the caller renders after its own change.
    void recordCrop(const QRect& crop);

signals:
    // A tool was taken up or put down: the window lays out its pages again.
    void windowUpdateRequested();
    // The edited picture is to be rendered again from `stage`.
    void renderRequested(int stage);

public slots:
    void PushButtonCropToolClicked();
    void PushButtonHorizonToolClicked();
    void PushButtonApplyToolsClicked();
    void PushButtonCancelToolsClicked();

private:
    void activate(int tool);
    void applyCrop();
    void applyHorizon();

    WindowModel& model_;
    const WindowForm& form_;
    EditingPanel& panel_;
    ResizableFrame* frame_ = nullptr;
    ResizableLine* line_ = nullptr;
};

} // namespace lumora
