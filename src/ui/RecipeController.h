#pragma once
// File > "Open recipe…": reads a NAME.lumora.json, tells the user what keeps it from being used or what they
// should know first (a changed source: go on or stop), then makes the picture again through the window's own
// flow: opens the source in the mode the recipe needs, goes to the recorded frame, grabs it or stacks the
// recorded run with the recorded choices, and once the picture is edited restores its control positions,
// rotation and crop, so that an export gives the same picture. The recipe's name and format become the
// export's proposals.

#include "recipe/Recipe.h"
#include "ui/WindowModel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace lumora {

class SharpestImageSelection;

class RecipeController : public QObject {
    Q_OBJECT
public:
    explicit RecipeController(const WindowContext& context);

    // How the open medium is closed first, asking the user; false when it is not closed now. When the user
    // exports everything first, `then` runs once the medium has closed after the exports.
    using CloseWorkspace = std::function<bool(std::function<void()> then)>;
    void setCloseWorkspace(CloseWorkspace close) { closeWorkspace_ = std::move(close); }
    // Opens the recipe at `path` as the menu does once a file is chosen; false when nothing was opened or
    // the recipe's frames cannot be reached.
    bool open(const QString& path);
    // An edit is still to be restored once its picture is edited and idle.
    bool restoring() const { return pending_.has_value(); }

public slots:
    void MenuActionOpenRecipeClicked();

signals:
    // The mode was changed for the recipe: the step labels follow.
    void modeUpdateRequested();
    void openRequested(const QString& path);
    void burstRequested(const QStringList& paths);
    // The player shows frame `index`, made current here.
    void frameRequested(int index);
    void grabRequested();
    // Leaves frame selection: to editing the grabbed frame, or in Pro to the stacking parameters.
    void nextRequested();
    void stackingRequested();
    // The edited picture's positions were set here: the panel shows them and the picture is rendered from
    // `stage`.
    void editLoadRequested(int stage);

private:
    // Tells why the recipe at `path` cannot be used.
    void refuse(const QString& path, const QString& reason);
    // The warnings of the reading, in one message; false when the user stops at a changed source.
    bool acceptWarnings(const QString& path, const RecipeReading& reading);
    // Closes the open medium, then makes the accepted recipe's picture again.
    bool proceed(const Recipe& recipe, const QString& exportName);
    bool openSource(const Recipe& recipe);
    // Sets the stacking parameter page to the recipe's choices, through its own controls.
    void showStackingChoices(const StackingChoices& choices);
    void editedChanged(SharpestImageSelection* picture);
    void restoreWhenIdle(SharpestImageSelection* picture);
    void restoreEdit(SharpestImageSelection* picture);
    void stateChanged(WorkspaceState state);

    struct Pending {
        Recipe recipe;
        QString exportName;
        // Set once the step that leads to editing was taken: leaving that way drops the restore.
        bool armed = false;
    };

    WindowContext ctx_;
    CloseWorkspace closeWorkspace_;
    std::optional<Pending> pending_;
    QMetaObject::Connection waitForRender_;
    QString lastDirectory_;
};

} // namespace lumora
