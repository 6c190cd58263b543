#include "ui/OpeningController.h"

#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "media/MediaFiles.h"
#include "ui/SharpestImageSelection.h"
#include "ui/WaitCursor.h"
#include "ui/WindowForm.h"
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

OpeningController::OpeningController(const WindowContext& context)
    : ctx_(context), lastDirectory_(QDir::homePath()) {
    const WindowForm& f = ctx_.form;
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
        ctx_.messages.openFileName(translatedText("OpenAVideo"), lastDirectory_, videoFilter_);
    if (!file.isEmpty())
        openByPath(file);
}

void OpeningController::MenuActionOpenPhotoToTMClicked() {
    const QString file =
        ctx_.messages.openFileName(translatedText("OpenImage"), lastDirectory_, imageFilter_);
    if (!file.isEmpty())
        openByPath(file);
}

void OpeningController::MenuActionOpenPhotosClicked() {
    const QStringList files =
        ctx_.messages.openFileNames(translatedText("OpenPhotosInBurstMode"), lastDirectory_, imageFilter_);
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

bool OpeningController::openByPath(const QString& path) {
    if (!closeWorkspace([this, path] { openByPath(path); }))
        return false;
    emit modeNeeded();
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
    ctx_.messages.show(MessageKind::Error, translatedText("ErrorFile"),
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
            ctx_.messages.show(MessageKind::Error, translatedText("ErrorVideo"),
                               translatedText(key).arg(lowerSuffix(path)));
        }
        return false;
    }
    WaitCursor wait;
    showTitle(path, "Video");
    ctx_.model.setWorkspace(std::move(ws));
    recordRecent(path);
    emit previewResetRequested();
    emit windowUpdateRequested();
    showStatus();
    emit modeUpdateRequested();
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
            ctx_.messages.show(MessageKind::Error, translatedText("ErrorOpenOneImage"),
                               translatedText("ExplErrorOpenOneImage"));
        return false;
    }
    WaitCursor wait;
    showTitle(path, "Image");
    ctx_.model.setWorkspace(std::move(ws));
    recordRecent(path);
    emit windowUpdateRequested();
    showStatus();
    emit modeUpdateRequested();
    editPhoto();
    return true;
}

void OpeningController::editPhoto() {
    Workspace* ws = ctx_.model.workspace();
    const WindowForm& f = ctx_.form;
    const int mode = ctx_.model.mode();
    QWidget* area = mode == 3 ? f.proEditing->scrollAreaWidgetContents_ProEditingSelection
                              : f.basicClassic->scrollAreaWidgetContents_SharpestImageSelection;
    auto* selection = new SharpestImageSelection(ws->image(), ws->path().toStdString(), area);
    ctx_.model.addSelection(selection);
    selection->setExportName(QFileInfo(ws->path()).completeBaseName());
    selection->show();
    emit photoOpened(selection, mode == 1);
}

bool OpeningController::openBurst(const QStringList& paths) {
    if (!closeWorkspace([this, paths] { openBurst(paths); }) || paths.isEmpty())
        return false;
    emit modeNeeded();
    lastDirectory_ = QFileInfo(paths.first()).absolutePath();
    for (const QString& file : paths)
        if (!hasStillImageExtension(file.toStdString())) {
            ctx_.messages.show(MessageKind::Error, translatedText("ErrorImage"),
                               translatedText("ExplanationErrorImage").arg(lowerSuffix(file)));
            return false;
        }
    if (paths.size() == 1) {
        ctx_.messages.show(MessageKind::Information, translatedText("SelectionBurstImages"),
                           translatedText("ExplanationSelectionBurstImages"));
        return openByPath(paths.first());
    }
    std::unique_ptr<Workspace> ws;
    {
        WaitCursor reading;
        ws = Workspace::openBurst(paths);
    }
    if (!ws->opened()) {
        ctx_.messages.show(MessageKind::Error, translatedText("ErrorOpenOneImage"),
                           translatedText("ExplErrorOpenOneImage"));
        return false;
    }
    WaitCursor wait;
    showTitle(ws->path(), "Images");
    ctx_.model.setWorkspace(std::move(ws));
    emit windowUpdateRequested();
    emit previewResetRequested();
    showStatus();
    emit modeUpdateRequested();
    return true;
}

void OpeningController::showTitle(const QString& path, const char* kindKey) {
    const QFileInfo info(path);
    ctx_.window->setWindowTitle(QString::fromLatin1(kTitlePrefix) + info.completeBaseName() +
                                QStringLiteral("[.") + info.suffix().toLower() + QLatin1Char(' ') +
                                translatedText(kindKey) + QLatin1Char(']'));
}

void OpeningController::showStatus() {
    const Workspace* ws = ctx_.model.workspace();
    QString text = QStringLiteral("%1x%2").arg(ws->width()).arg(ws->height());
    if (ws->hasSequence())
        text += QStringLiteral(", ") + QString::number(ws->fps(), 'g', 6) + QStringLiteral("fps");
    ctx_.statusText->setText(text);
}

void OpeningController::openRecent(const QString& path) {
    if (!QFileInfo::exists(path)) {
        ctx_.messages.show(MessageKind::Error, translatedText("ErrOpenMedia"),
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
    const WindowForm& f = ctx_.form;
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

bool OpeningController::closeWorkspace(std::function<void()> afterLaterClose) {
    Workspace* ws = ctx_.model.workspace();
    if (!ws)
        return true;
    MessageService& messages = ctx_.messages;
    switch (ws->state) {
    case Editing:
    case ToolActive: {
        // Edited images that were not exported would be lost.
        const int choice = messages.choose(
            MessageKind::Warning, translatedText("ClosingWorkspace"), translatedText("ExplClosingWorkspace2"),
            {translatedText("ExportAll"), translatedText("Discard"), translatedText("Cancel")}, 0);
        if (choice == 0 && exportAll_) {
            // Closing goes on when the exports have ended, if every picture was written and the medium is
            // still the one they came from.
            exportAll_(
                [this, session = ctx_.model.session(), then = std::move(afterLaterClose)](bool allWritten) {
                    if (!allWritten || !ctx_.model.workspace() || ctx_.model.session() != session)
                        return;
                    closeNow();
                    if (then)
                        then();
                });
            return false;
        }
        if (choice != 1)
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
        emit pauseRequested();
        break;
    }
    closeNow();
    return true;
}

void OpeningController::stopAllWork() {
    emit pauseRequested();
    emit workStopRequested();
    const Workspace* ws = ctx_.model.workspace();
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
    emit previewResetRequested();
    ctx_.model.discardWorkspace();
    ctx_.window->setWindowTitle(QString::fromLatin1(kTitlePrefix));
    ctx_.statusText->clear();
    emit closed();
    emit windowUpdateRequested();
}

} // namespace lumora
