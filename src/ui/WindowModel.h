#pragma once
// The window's state in one place: the opened medium (its workspace, current index and session), the
// workflow mode and state, the active tool, the selections and the edited picture. Every change goes through
// a setter that announces it, so controllers read and write here instead of through the window or each
// other.

#include "ui/Workspace.h"

#include <QObject>
#include <memory>

class QLabel;
class QWidget;

namespace lumora {

class FormIndex;
class MessageService;
class SharpestImageSelection;
struct WindowForm;

class WindowModel : public QObject {
    Q_OBJECT
public:
    explicit WindowModel(QObject* parent = nullptr);
    ~WindowModel() override;

    // The open medium, or null. The workspace made current gets the current index 0.
    Workspace* workspace() const { return workspace_.get(); }
    void setWorkspace(std::unique_ptr<Workspace> workspace);
    void discardWorkspace();
    // -1 while nothing is open.
    int currentIndex() const { return currentIndex_; }
    // True with a workspace and a current index.
    bool hasMedium() const { return workspace_ && currentIndex_ != -1; }
    // Changes whenever a workspace is made current or discarded: flows that let events through check that
    // the medium they started on is still the one open.
    quint64 session() const { return session_; }

    // A sequence is open and ready.
    bool sequenceReady() const { return hasMedium() && workspace_->sequenceReady(); }
    // A ready sequence in a state where it can be played: frame selection or the Pro parameters.
    bool playable() const;

    // 0 until a mode is chosen, then 1 Basic, 2 Classic, 3 Pro.
    int mode() const { return mode_; }
    void setMode(int mode);

    // The open workspace's workflow state and tool; setting either without a workspace does nothing.
    void setState(WorkspaceState state);
    void setActiveTool(ActiveTool tool);

    // Selections are kept in making order; the model does not own the widgets (their panels do).
    void addSelection(SharpestImageSelection* selection);
    void removeSelection(SharpestImageSelection* selection);
    SharpestImageSelection* edited() const;
    void setEdited(SharpestImageSelection* selection);

signals:
    // A medium was made current, or the current one was closed.
    void workspaceChanged();
    void modeChanged(int mode);
    void stateChanged(lumora::WorkspaceState state);
    void activeToolChanged(lumora::ActiveTool tool);
    void selectionsChanged();
    void editedChanged(lumora::SharpestImageSelection* selection);

private:
    std::unique_ptr<Workspace> workspace_;
    int currentIndex_ = -1;
    quint64 session_ = 0;
    int mode_ = 0;
};

// What every controller is handed: the model it works on and the window's parts it may use. The window
// outlives its controllers, so plain references are safe.
struct WindowContext {
    WindowModel& model;
    const WindowForm& form;
    const FormIndex& index;
    MessageService& messages;
    // The label that the status bar keeps for the medium's size and rate.
    QLabel* statusText;
    // The window, as parent of dialogs and menus.
    QWidget* window;
};

} // namespace lumora
