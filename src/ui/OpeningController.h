#pragma once
// Opening media: the open actions and their file dialogs, opening by path with the dispatch by extension,
// photo bursts, the recent-files list, the window title and status text of the open medium, and closing the
// workspace with its questions.

#include "ui/WindowModel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QListWidgetItem;

namespace lumora {

class SharpestImageSelection;

class OpeningController : public QObject {
    Q_OBJECT
public:
    explicit OpeningController(const WindowContext& context);

    // How the edited pictures are exported before the workspace closes: it starts the exports and returns;
    // `ended` comes later, with true when every picture was written.
    using ExportAll = std::function<void(std::function<void(bool allWritten)> ended)>;
    void setExportAll(ExportAll exportAll) { exportAll_ = std::move(exportAll); }

    // Closes the current workspace first (asking), asks for a mode when none is chosen, then opens by
    // extension. False when nothing was opened.
    bool openByPath(const QString& path);
    // Opens several photos as one burst; a single photo is opened for tone mapping after telling the user.
    bool openBurst(const QStringList& paths);
    // Closes the workspace, asking first where work could be lost. True when it is closed now; false when
    // the user keeps it, or chose to export everything first: the workspace then closes once every picture
    // is written, and `afterLaterClose` runs after that (neither happens when an export fails or is
    // cancelled).
    bool closeWorkspace(std::function<void()> afterLaterClose = {});
    // Cancels every thread working on the medium and waits for them (the window keeps repainting).
    void stopAllWork();

    // Rebuilds the file-dialog filters in the current language.
    void rebuildFilters();
    const QString& videoFilter() const { return videoFilter_; }
    const QString& imageFilter() const { return imageFilter_; }
    // Most recent first, at most 20, paths with the platform's separators.
    const QStringList& recentFiles() const { return recentFiles_; }
    const QString& lastDirectory() const { return lastDirectory_; }

public slots:
    void MenuActionOpenClicked();
    void MenuActionOpenPhotoToTMClicked();
    void MenuActionOpenPhotosClicked();
    void ListItemRecentFilesClicked(QListWidgetItem* item);
    void MenuActionRecentClicked();
    void MenuActionCloseClicked();
    // Closes the medium at once, without asking: for callers that know nothing would be lost.
    void closeNow();

signals:
    // Opening needs a mode: one is to be asked for when none is chosen yet.
    void modeNeeded();
    void windowUpdateRequested();
    void modeUpdateRequested();
    void previewResetRequested();
    void pauseRequested();
    // The long operations on the medium are to be cancelled, and waited for.
    void workStopRequested();
    // A single photo was opened as one picture, to be edited at once (with the built-in presets only in
    // Basic).
    void photoOpened(lumora::SharpestImageSelection* picture, bool builtInPresetsOnly);
    // The medium was closed: what the window kept of it is to be cleared.
    void closed();

private:
    bool openVideo(const QString& path, bool report);
    bool openPhoto(const QString& path, bool report);
    void openRecent(const QString& path);
    void recordRecent(const QString& path);
    void rebuildRecentFiles();
    void showTitle(const QString& path, const char* kindKey);
    void showStatus();
    // The single photo becomes the one selection, edited at once.
    void editPhoto();

    WindowContext ctx_;
    ExportAll exportAll_;
    QString lastDirectory_;
    QStringList recentFiles_;
    QString videoFilter_;
    QString imageFilter_;
};

} // namespace lumora
