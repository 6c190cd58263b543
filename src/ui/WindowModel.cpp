#include "ui/WindowModel.h"

#include "ui/SharpestImageSelection.h"

#include <algorithm>

namespace lumora {

WindowModel::WindowModel(QObject* parent) : QObject(parent) {}

WindowModel::~WindowModel() = default;

void WindowModel::setWorkspace(std::unique_ptr<Workspace> workspace) {
    workspace_ = std::move(workspace);
    currentIndex_ = workspace_ ? 0 : -1;
    ++session_;
    emit workspaceChanged();
}

void WindowModel::discardWorkspace() {
    ++session_;
    // No flow may start on the medium while it is taken down.
    currentIndex_ = -1;
    workspace_.reset();
    emit workspaceChanged();
}

bool WindowModel::playable() const {
    if (!sequenceReady())
        return false;
    const WorkspaceState s = workspace_->state;
    return s == SelectingFrame || s == DefiningParameters;
}

void WindowModel::setMode(int mode) {
    if (mode == mode_)
        return;
    mode_ = mode;
    emit modeChanged(mode);
}

void WindowModel::setState(WorkspaceState state) {
    if (!workspace_ || workspace_->state_ == state)
        return;
    workspace_->state_ = state;
    emit stateChanged(state);
}

void WindowModel::setActiveTool(ActiveTool tool) {
    if (!workspace_ || workspace_->activeTool_ == tool)
        return;
    workspace_->activeTool_ = tool;
    emit activeToolChanged(tool);
}

void WindowModel::addSelection(SharpestImageSelection* selection) {
    if (!workspace_ || !selection)
        return;
    workspace_->selections_.emplace_back(selection);
    emit selectionsChanged();
}

void WindowModel::removeSelection(SharpestImageSelection* selection) {
    if (!workspace_ || !selection)
        return;
    auto& list = workspace_->selections_;
    list.erase(std::remove(list.begin(), list.end(), selection), list.end());
    emit selectionsChanged();
    if (workspace_->edited_ == selection)
        setEdited(nullptr);
}

SharpestImageSelection* WindowModel::edited() const {
    return workspace_ ? workspace_->edited_.data() : nullptr;
}

void WindowModel::setEdited(SharpestImageSelection* selection) {
    if (!workspace_ || workspace_->edited_ == selection)
        return;
    workspace_->edited_ = selection;
    emit editedChanged(selection);
}

} // namespace lumora
