#pragma once
// The record of one opened medium: what it is, its workflow state, its frames (a sequence for a video or a
// burst, one image for a single photo) and the choices the later steps make on it. The window owns at most
// one.

#include "media/ImagesSequence.h"
#include "stacking/StackingChoices.h"
#include "undo/UndoRedoManager.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

namespace lumora {

enum WorkspaceState : std::int32_t {
    SelectingFrame = 1,
    SearchingSharpest = 2,
    DefiningParameters = 3,
    Editing = 4,
    ToolActive = 5,
    Exporting = 6,
    Stacking = 7,
};

enum ActiveTool : std::int32_t { NoTool = 0, CropTool = 1, HorizonTool = 2 };

class SharpestImageSelection;
class StackingEngine;
class WindowModel;

class Workspace {
    // Only the window's model changes the workflow state, the tool, the selections and the edited picture,
    // so that every change is announced.
    friend class WindowModel;
    WorkspaceState state_ = SelectingFrame;
    ActiveTool activeTool_ = NoTool;
    std::vector<QPointer<SharpestImageSelection>> selections_;
    QPointer<SharpestImageSelection> edited_;

public:
    enum class Kind { Video, Burst, Photo };
    ~Workspace();

    // Each returns a workspace whose opened() says whether the medium could be read.
    static std::unique_ptr<Workspace> openVideo(const QString& path);
    static std::unique_ptr<Workspace> openBurst(const QStringList& paths);
    static std::unique_ptr<Workspace> openPhoto(const QString& path);

    Kind kind() const { return kind_; }
    bool opened() const { return opened_; }
    // True for a video or a burst: frames can be selected and stacked.
    bool hasSequence() const { return sequence_ != nullptr; }
    // The video or photo path; for a burst its first file in frame order.
    const QString& path() const { return path_; }
    int width() const { return width_; }
    int height() const { return height_; }
    float aspectRatio() const { return width_ > 0 ? float(height_) / float(width_) : 0.0f; }
    // Frames per second of a video or burst, 0 for a photo.
    double fps() const;

    ImagesSequence* sequence() const { return sequence_.get(); }
    bool sequenceReady() const { return sequence_ && sequence_->ready(); }
    // The single photo (empty for a sequence).
    const cv::Mat& image() const { return image_; }
    // What the window shows now: the edited selection's preview while editing, else the sequence's display
    // frame or the photo.
    cv::Mat currentImage() const;
    // The whole medium becomes the trim range again.
    void resetTrimRange();
    // Where the EXIF data of frame `index` is: the video, the burst file of that frame, or the photo.
    std::string exifSourceOf(int index) const;

    // The engine of the stacking run in progress; a new one replaces (and destroys) the previous one. Only
    // the GUI thread touches the pointer, and only while no worker reads the engine it replaces.
    StackingEngine* stackingEngine() const { return stackingEngine_.get(); }
    void setStackingEngine(std::unique_ptr<StackingEngine> engine);
    void releaseStackingEngine();

    // Selections alive (a removed widget drops out of the list), in making order.
    std::vector<SharpestImageSelection*> liveSelections() const;

    // Read-only views of what the model changes.
    const WorkspaceState& state = state_;
    const ActiveTool& activeTool = activeTool_;
    // Grabbed frames, stacking results or the single photo, in making order; the widgets belong to their
    // panels, the window deletes them before the workspace (they read its sequence).
    const std::vector<QPointer<SharpestImageSelection>>& selections = selections_;
    // The selection being edited (also the only one chosen for editing), or null.
    const QPointer<SharpestImageSelection>& edited = edited_;

    int centreIndex = 0;
    int brightness = 0;
    int speed = 0; // the player's speed slider level, for its undo
    StackingChoices stacking;
    int stackedFrameCount = 0;
    // The last stacking's light image, until editing starts on it, and its level of diffuse white.
    cv::Mat lightImage;
    double lightWhite = 1.0;
    // Where the last stack took pixels from a displaced position, for the picture it made (ghostMapOwner).
    cv::Mat ghostMap;
    QPointer<SharpestImageSelection> ghostMapOwner;
    // Changes made through the window's controls on this medium.
    UndoRedoManager::Manager undo;

private:
    Workspace(Kind kind, QString path);
    void takeSequence(std::unique_ptr<ImagesSequence> sequence);

    Kind kind_;
    QString path_;
    bool opened_ = false;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<ImagesSequence> sequence_;
    cv::Mat image_;
    std::unique_ptr<StackingEngine> stackingEngine_;
};

} // namespace lumora
