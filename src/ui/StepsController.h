#pragma once
// Modes, steps and pages: the workflow mode and its choice, the step labels of the top menu, the layout of
// the window for the current workspace state (applied from the workflow tables), and the clicks on step
// labels.

#include "ui/WindowModel.h"

#include <QObject>

class QWidget;

namespace lumora {

class StepsController : public QObject {
    Q_OBJECT
public:
    explicit StepsController(const WindowContext& context);

    // The model's mode: 0 until a mode is chosen, then 1 Basic, 2 Classic, 3 Pro.
    int mode() const;
    // Takes a mode for this session (the settings keep theirs); the caller refreshes with updateMode().
    void setMode(int mode);
    // Runs the mode choice dialog until the user picks a mode; returns it (1 to 3).
    int askMode();

public slots:
    void updateMode();
    void updateWindow();
    void goToStep(int k);
    void PushButtonVersionBasicClicked();
    void PushButtonVersionClassicClicked();
    void PushButtonVersionProClicked();
    // Opening needs a mode: asks for one when none is chosen yet.
    void ensureMode();

signals:
    // The state's layout was applied: the editing page and the display follow it.
    void layoutApplied();
    void resizeRequested();
    void overlaysHideRequested();
    void overlayShowRequested(int tool);
    // What a click on a step label asks of the controllers that own those steps.
    void toolCancelRequested();
    void nextRequested();
    void exportAllRequested();
    void stackingRequested();
    void exportEditedRequested();
    // The edited picture is no longer edited; `dropSelections` also un-chooses the selections.
    void editedDropRequested(bool dropSelections);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseModeOnHomePage(int mode);
    void showModeIcon();
    void applyStateLayout();
    // Back to frame selection with the whole medium as trim range; `dropSelections` also un-chooses the
    // selections being edited.
    void backToSelection(bool dropSelections);
    // Tells the user that this step cannot be taken now.
    void refuseOperation();

    WindowContext ctx_;
};

} // namespace lumora
