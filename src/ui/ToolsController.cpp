#include "ui/ToolsController.h"

#include "tonemap/RenderSteps.h"
#include "ui/EditingPanel.h"
#include "ui/SharpestImageSelection.h"
#include "ui/ToolOverlays.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"

#include <QSlider>

#include <cmath>

namespace lumora {
namespace {

cv::Rect toCv(const QRect& r) {
    return r.isEmpty() ? cv::Rect(-1, -1, -1, -1) : cv::Rect(r.x(), r.y(), r.width(), r.height());
}

// Degrees within -180..180, as the rotation slider holds them.
int wrapDegrees(int degrees) {
    while (degrees > 180)
        degrees -= 360;
    while (degrees < -180)
        degrees += 360;
    return degrees;
}

} // namespace

cv::Rect cropFromFrame(const QRect& frame, const QSize& label, const cv::Rect& shown) {
    if (label.width() <= 0 || label.height() <= 0)
        return shown;
    const auto mapX = [&](int x) { return shown.x + int(qint64(x) * shown.width / label.width()); };
    const auto mapY = [&](int y) { return shown.y + int(qint64(y) * shown.height / label.height()); };
    const int x0 = mapX(frame.x()), x1 = mapX(frame.x() + frame.width());
    const int y0 = mapY(frame.y()), y1 = mapY(frame.y() + frame.height());
    return {std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0)};
}

int levellingDegrees(const QPoint& a, const QPoint& b) {
    const double angle = std::atan2(double(b.y() - a.y()), double(b.x() - a.x()));
    int degrees = int(angle * -180.0 / 3.141592653589793);
    // A line has no direction: drawn from right to left it levels the same way, by the smaller turn.
    if (degrees > 90)
        degrees -= 180;
    else if (degrees < -90)
        degrees += 180;
    return degrees;
}

ToolsController::ToolsController(const WindowContext& context, EditingPanel& panel)
    : model_(context.model), form_(context.form), panel_(panel) {
    const WindowForm& f = form_;
    for (QPushButton* b : {f.basicClassic->pushButton_Crop, f.proEditing->pushButton_Crop_2})
        connect(b, &QPushButton::clicked, this, &ToolsController::PushButtonCropToolClicked);
    for (QPushButton* b : {f.basicClassic->pushButton_Horizon, f.proEditing->pushButton_Horizon_2})
        connect(b, &QPushButton::clicked, this, &ToolsController::PushButtonHorizonToolClicked);
    connect(f.presets->pushButton_ApplyTool, &QPushButton::clicked, this,
            &ToolsController::PushButtonApplyToolsClicked);
    connect(f.presets->pushButton_CancelTool, &QPushButton::clicked, this,
            &ToolsController::PushButtonCancelToolsClicked);
    frame_ = new ResizableFrame(f.video->label_VideoPreview);
    line_ = new ResizableLine(f.video->label_VideoPreview);
}

void ToolsController::hideOverlays() {
    frame_->hide();
    line_->hide();
}

void ToolsController::showOverlay(int tool) {
    // Each time from the middle of the picture as it is shown now (it may have been cropped or turned since).
    if (tool == CropTool) {
        frame_->reset();
        frame_->show();
        frame_->raise();
    } else if (tool == HorizonTool) {
        line_->reset();
        line_->show();
        line_->raise();
    }
}

void ToolsController::activate(int tool) {
    Workspace* ws = model_.workspace();
    if (!model_.hasMedium() || ws->state != Editing || !ws->edited)
        return;
    model_.setState(ToolActive);
    model_.setActiveTool(ActiveTool(tool));
    emit windowUpdateRequested();
}

void ToolsController::PushButtonCropToolClicked() {
    activate(CropTool);
}

void ToolsController::PushButtonHorizonToolClicked() {
    activate(HorizonTool);
}

void ToolsController::PushButtonApplyToolsClicked() {
    Workspace* ws = model_.workspace();
    if (!model_.hasMedium() || ws->state != ToolActive)
        return;
    const int tool = ws->activeTool;
    // Back to editing first: the change renders, and the layout of the editing step must not undo the
    // panels' waiting state.
    model_.setState(Editing);
    model_.setActiveTool(NoTool);
    emit windowUpdateRequested();
    if (tool == CropTool)
        applyCrop();
    else if (tool == HorizonTool)
        applyHorizon();
}

void ToolsController::applyCrop() {
    SharpestImageSelection* picture = model_.workspace()->edited;
    if (!picture)
        return;
    const ToneMapParams& p = picture->engine().params();
    // The frame selects part of what is shown: the current crop, or the whole turned picture.
    const cv::Rect shown =
        isValidCrop(p.cropRect)
            ? p.cropRect
            : cv::Rect(cv::Point(), rotatedSize(picture->engine().lightImage().size(), p.rotation));
    const cv::Rect crop = cropFromFrame(frame_->geometry(), form_.video->label_VideoPreview->size(), shown);
    setCrop(QRect(crop.x, crop.y, crop.width, crop.height));
}

void ToolsController::applyHorizon() {
    SharpestImageSelection* picture = model_.workspace()->edited;
    const QLabel* label = form_.video->label_VideoPreview;
    if (!picture || label->width() <= 0 || label->height() <= 0)
        return;
    // Into the preview's pixels, as the picture shown.
    const cv::Mat preview = picture->shownImage();
    const auto toImage = [&](const QPoint& q) {
        return QPoint(q.x() * preview.cols / label->width(), q.y() * preview.rows / label->height());
    };
    const int turn = levellingDegrees(toImage(line_->pointA()), toImage(line_->pointB()));
    const WindowForm& f = form_;
    QSlider* slider = model_.mode() == 3 ? f.proEditing->horizontalSlider_Rotation_2
                                         : f.basicClassic->horizontalSlider_Rotation;
    // The line lies on the picture as already turned: the slider turns it further.
    slider->setValue(wrapDegrees(picture->positions().rotation + turn));
}

void ToolsController::PushButtonCancelToolsClicked() {
    Workspace* ws = model_.workspace();
    if (!model_.hasMedium() || ws->state != ToolActive)
        return;
    model_.setState(Editing);
    model_.setActiveTool(NoTool);
    emit windowUpdateRequested();
}

void ToolsController::recordCrop(const QRect& crop) {
    Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    SharpestImageSelection* picture = ws ? ws->edited.data() : nullptr;
    if (!picture || picture->rendering())
        return;
    const cv::Rect old = picture->engine().params().cropRect;
    const cv::Rect now = toCv(crop);
    if (old == now || (!isValidCrop(old) && !isValidCrop(now)))
        return;
    if (!panel_.restoring())
        ws->undo.push(this, &ToolsController::setCrop, old.x, old.y, old.width, old.height, now.x, now.y,
                      now.width, now.height, QStringLiteral("Undo on crop"));
    picture->engine().setCropRect(now);
}

void ToolsController::setCrop(const QRect& crop) {
    const Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    SharpestImageSelection* picture = ws ? ws->edited.data() : nullptr;
    if (!picture || picture->rendering())
        return;
    recordCrop(crop);
    if (!panel_.restoring() && picture->engine().pendingStage() < ToneMapEngine::StageOutput)
        emit renderRequested(picture->engine().pendingStage());
}

} // namespace lumora
