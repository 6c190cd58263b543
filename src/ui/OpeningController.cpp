#include "ui/OpeningController.h"

#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "media/MediaFiles.h"
#include "ui/EditingController.h"
#include "ui/ExportController.h"
#include "ui/LumoraV2.h"
#include "ui/PlayerController.h"
#include "ui/PresetStrips.h"
#include "ui/SharpestImageSelection.h"
#include "ui/SharpestSearchController.h"
#include "ui/StackingController.h"
#include "ui/StepsController.h"
#include "ui/WaitCursor.h"
#include "ui/Workspace.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QPointer>

namespace lumora {
namespace {

constexpr const char* kTitlePrefix = "Lumora  -  ";

QString filterFor(const QString& name, const std::vector<std::string>& extensions) {
    QString filter = name + QStringLiteral(" (");
    for (size_t i = 0; i < extensions.size(); ++i)
        filter += (i ? QStringLiteral(" *.") : QStringLiteral("*.")) + QString::fromStdString(extensions[i]);
    return filter + QStringLiteral(");;All Files (*.*)");
}

QString lowerSuffix(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

} // namespace

OpeningController::OpeningController(LumoraV2& window) : window_(window), lastDirectory_(QDir::homePath()) {
    const WindowForm& f = window_.form();
    connect(f.home->pushButton_OpenVideo, &QPushButton::clicked, this,
            &OpeningController::MenuActionOpenClicked);
    connect(f.home->listWidget_RecentFiles, &QListWidget::itemClicked, this,
            &OpeningController::ListItemRecentFilesClicked);
    recentFiles_ = settings::read(settings::RecentFiles);
    rebuildFilters();
    rebuildRecentFiles();
}

void OpeningController::rebuildFilters() {
    videoFilter_ = filterFor(translatedText("VideoFiles"), videoExtensions());
    imageFilter_ = filterFor(translatedText("ImageFiles"), stillImageExtensions());
}

void OpeningController::MenuActionOpenClicked() {
    const QString file =
        window_.messages().openFileName(translatedText("OpenAVideo"), lastDirectory_, videoFilter_);
    if (!file.isEmpty())
        openByPath(file);
}

void OpeningController::MenuActionOpenPhotoToTMClicked() {
    const QString file =
        window_.messages().openFileName(translatedText("OpenImage"), lastDirectory_, imageFilter_);
    if (!file.isEmpty())
        openByPath(file);
}

void OpeningController::MenuActionOpenPhotosClicked() {
    const QStringList files = window_.messages().openFileNames(translatedText("OpenPhotosInBurstMode"),
                                                               lastDirectory_, imageFilter_);
    if (!files.isEmpty())
        openBurst(files);
}

void OpeningController::ListItemRecentFilesClicked(QListWidgetItem* item) {
    if (item)
        openRecent(item->text());
}

void OpeningController::MenuActionRecentClicked() {
    if (auto* action = qobject_cast<QAction*>(sender()))
        openRecent(action->data().toString());
}

void OpeningController::MenuActionCloseClicked() {
    closeWorkspace();
}

void OpeningController::ensureMode() {
    StepsController& steps = window_.steps();
    if (steps.mode() != 0)
        return;
    steps.setMode(steps.askMode());
    steps.updateMode();
}

bool OpeningController::openByPath(const QString& path) {
    if (!closeWorkspace())
        return false;
    ensureMode();
    lastDirectory_ = QFileInfo(path).absolutePath();
    const QString suffix = lowerSuffix(path);
    const std::string p = path.toStdString();
    if (hasStillImageExtension(p))
        return openPhoto(path, true);
    if (hasVideoExtension(p))
        return openVideo(path, true);
    // An unknown extension may still be something one of the readers understands.
    if (openVideo(path, false) || openPhoto(path, false))
        return true;
    window_.messages().show(MessageKind::Error, translatedText("ErrorFile"),
                            translatedText("ExplErrorFile").arg(suffix));
    return false;
}

bool OpeningController::openVideo(const QString& path, bool report) {
    std::unique_ptr<Workspace> ws;
    {
        WaitCursor decoding;
        ws = Workspace::openVideo(path);
    }
    if (!ws->opened()) {
        if (report) {
            const char* key = hasVideoExtension(path.toStdString()) ? "ExplanationErrorVideo"
                                                                    : "ExplanationErrorExtensionVideo";
            window_.messages().show(MessageKind::Error, translatedText("ErrorVideo"),
                                    translatedText(key).arg(lowerSuffix(path)));
        }
        return false;
    }
    WaitCursor wait;
    showTitle(path, "Video");
    window_.setWorkspace(std::move(ws));
    recordRecent(path);
    window_.player().resetPreview();
    window_.steps().updateWindow();
    showStatus();
    window_.steps().updateMode();
    return true;
}

bool OpeningController::openPhoto(const QString& path, bool report) {
    std::unique_ptr<Workspace> ws;
    {
        WaitCursor reading;
        ws = Workspace::openPhoto(path);
    }
    if (!ws->opened()) {
        if (report)
            window_.messages().show(MessageKind::Error, translatedText("ErrorOpenOneImage"),
                                    translatedText("ExplErrorOpenOneImage"));
        return false;
    }
    WaitCursor wait;
    showTitle(path, "Image");
    window_.setWorkspace(std::move(ws));
    recordRecent(path);
    window_.steps().updateWindow();
    showStatus();
    window_.steps().updateMode();
    editPhoto();
    return true;
}

void OpeningController::editPhoto() {
    Workspace* ws = window_.workspace();
    const WindowForm& f = window_.form();
    const int mode = window_.steps().mode();
    QWidget* area = mode == 3 ? f.proEditing->scrollAreaWidgetContents_ProEditingSelection
                              : f.basicClassic->scrollAreaWidgetContents_SharpestImageSelection;
    auto* selection = new SharpestImageSelection(ws->image(), ws->path().toStdString(), area);
    window_.model().addSelection(selection);
    EditingController& editing = window_.editing();
    connect(selection, &SharpestImageSelection::onClick, &editing, &EditingController::onClickSelectImage);
    connect(selection, &SharpestImageSelection::onExport, &window_.exports(),
            &ExportController::PushButtonEditingExportClicked);
    selection->setExportName(QFileInfo(ws->path()).completeBaseName());
    selection->show();
    editing.strips().build(mode == 1);
    editing.onClickSelectImage(selection);
}

bool OpeningController::openBurst(const QStringList& paths) {
    if (!closeWorkspace() || paths.isEmpty())
        return false;
    ensureMode();
    lastDirectory_ = QFileInfo(paths.first()).absolutePath();
    for (const QString& file : paths)
        if (!hasStillImageExtension(file.toStdString())) {
            window_.messages().show(MessageKind::Error, translatedText("ErrorImage"),
                                    translatedText("ExplanationErrorImage").arg(lowerSuffix(file)));
            return false;
        }
    if (paths.size() == 1) {
        window_.messages().show(MessageKind::Information, translatedText("SelectionBurstImages"),
                                translatedText("ExplanationSelectionBurstImages"));
        return openByPath(paths.first());
    }
    std::unique_ptr<Workspace> ws;
    {
        WaitCursor reading;
        ws = Workspace::openBurst(paths);
    }
    if (!ws->opened()) {
        window_.messages().show(MessageKind::Error, translatedText("ErrorOpenOneImage"),
                                translatedText("ExplErrorOpenOneImage"));
        return false;
    }
    WaitCursor wait;
    showTitle(ws->path(), "Images");
    window_.setWorkspace(std::move(ws));
    window_.steps().updateWindow();
    window_.player().resetPreview();
    showStatus();
    window_.steps().updateMode();
    return true;
}

void OpeningController::showTitle(const QString& path, const char* kindKey) {
    const QFileInfo info(path);
    window_.setWindowTitle(QString::fromLatin1(kTitlePrefix) + info.completeBaseName() +
                           QStringLiteral("[.") + info.suffix().toLower() + QLatin1Char(' ') +
                           translatedText(kindKey) + QLatin1Char(']'));
}

void OpeningController::showStatus() {
    const Workspace* ws = window_.workspace();
    QString text = QStringLiteral("%1x%2").arg(ws->width()).arg(ws->height());
    if (ws->hasSequence())
        text += QStringLiteral(", ") + QString::number(ws->fps(), 'g', 6) + QStringLiteral("fps");
    window_.statusText()->setText(text);
}

void OpeningController::openRecent(const QString& path) {
    if (!QFileInfo::exists(path)) {
        window_.messages().show(MessageKind::Error, translatedText("ErrOpenMedia"),
                                translatedText("ExplMediaAbsent").arg(path));
        recentFiles_.removeAll(path);
        rebuildRecentFiles();
        return;
    }
    openByPath(path);
}

void OpeningController::recordRecent(const QString& path) {
    const QString native = QDir::toNativeSeparators(path);
    recentFiles_.removeAll(native);
    recentFiles_.prepend(native);
    rebuildRecentFiles();
}

void OpeningController::rebuildRecentFiles() {
    const WindowForm& f = window_.form();
    QListWidget* list = f.home->listWidget_RecentFiles;
    QMenu* menu = f.main->menuRecent_videos;
    list->clear();
    // The menu owns the actions it created, and clear() deletes them.
    menu->clear();

    recentFiles_.removeDuplicates();
    while (recentFiles_.size() > settings::kMaxRecentFiles)
        recentFiles_.removeLast();
    for (const QString& path : recentFiles_) {
        QAction* action = menu->addAction(path);
        action->setData(path);
        connect(action, &QAction::triggered, this, &OpeningController::MenuActionRecentClicked);
        list->addItem(path);
        list->item(list->count() - 1)->setToolTip(path);
    }

    const bool any = !recentFiles_.isEmpty();
    f.home->label_RecentFilesTitle->setVisible(any);
    list->setVisible(any);
    if (any)
        list->setFixedHeight(list->sizeHintForRow(0) * list->count() + 2 * list->frameWidth());
    settings::write(settings::RecentFiles, recentFiles_);
}

bool OpeningController::closeWorkspace() {
    Workspace* ws = window_.workspace();
    if (!ws)
        return true;
    MessageService& messages = window_.messages();
    switch (ws->state) {
    case Editing:
    case ToolActive: {
        // Edited images that were not exported would be lost.
        const int choice = messages.choose(
            MessageKind::Warning, translatedText("ClosingWorkspace"), translatedText("ExplClosingWorkspace2"),
            {translatedText("ExportAll"), translatedText("Discard"), translatedText("Cancel")}, 0);
        if (choice == 0 && !window_.exports().exportAll())
            return false;
        if (choice != 0 && choice != 1)
            return false;
        break;
    }
    case Stacking:
    case SearchingSharpest:
        // Stopped without asking: closeNow cancels them and waits.
        break;
    case Exporting:
        if (!messages.ask(MessageKind::WarningQuestion, translatedText("ClosingWorkspace"),
                          translatedText("ExplClosingWorkspaceDuringExport")))
            return false;
        break;
    case SelectingFrame:
    case DefiningParameters:
        window_.player().pauseIfPlaying();
        break;
    }
    closeNow();
    return true;
}

void OpeningController::stopAllWork() {
    window_.player().pauseIfPlaying();
    window_.stacking().cancelNow();
    window_.search().cancelNow();
    window_.exports().cancelNow();
    const Workspace* ws = window_.workspace();
    if (!ws)
        return;
    // Renders first: their ends are handled at once, and what their listeners do may let events through.
    std::vector<QPointer<SharpestImageSelection>> pictures;
    for (SharpestImageSelection* s : ws->liveSelections())
        pictures.emplace_back(s);
    for (const QPointer<SharpestImageSelection>& s : pictures)
        if (s)
            s->document().stopRender();
    for (SharpestImageSelection* s : ws->liveSelections())
        s->stopWork();
}

void OpeningController::closeNow() {
    // Every thread that reads the medium or its pictures ends before they are deleted.
    stopAllWork();
    window_.player().resetPreview();
    window_.discardWorkspace();
    window_.setWindowTitle(QString::fromLatin1(kTitlePrefix));
    window_.statusText()->clear();
    window_.search().clearResults();
    window_.editing().strips().clear();
    window_.steps().updateWindow();
}

} // namespace lumora
