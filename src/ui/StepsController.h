#pragma once
// Modes, steps and pages: the workflow mode and its choice, the step labels of the top menu, the layout of
// the window for the current workspace state (applied from the workflow tables), and the clicks on step
// labels.

#include <QObject>

class QWidget;

namespace lumora {

class LumoraV2;

class StepsController : public QObject {
    Q_OBJECT
public:
    explicit StepsController(LumoraV2& window);

    // The model's mode: 0 until a mode is chosen, then 1 Basic, 2 Classic, 3 Pro.
    int mode() const;
    // Takes a mode for this session (the settings keep theirs); the caller refreshes with updateMode().
    void setMode(int mode);
    // Runs the mode choice dialog until the user picks a mode; returns it (1 to 3).
    int askMode();
    // Makes a changed dynamic property of `widget` or of a descendant take effect.
    static void repolish(QWidget* widget);

public slots:
    void updateMode();
    void updateWindow();
    void goToStep(int k);
    void PushButtonVersionBasicClicked();
    void PushButtonVersionClassicClicked();
    void PushButtonVersionProClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseModeOnHomePage(int mode);
    void showModeIcon();
    void applyStateLayout();
    // Back to frame selection with the whole medium as trim range; `dropSelections` also un-chooses the
    // selections being edited.
    void backToSelection(bool dropSelections);

    LumoraV2& window_;
};

} // namespace lumora
