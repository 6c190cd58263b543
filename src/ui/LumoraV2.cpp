#include "ui/LumoraV2.h"

#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "net/AnalyticsManager.h"
#include "ui/EditingController.h"
#include "ui/ExportController.h"
#include "ui/FormIndex.h"
#include "ui/FrameQualityController.h"
#include "ui/MenuController.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/PresetsController.h"
#include "ui/QtMessageService.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestSearchController.h"
#include "ui/ShowGeneralSettings.h"
#include "ui/ShowLog.h"
#include "ui/StackingController.h"
#include "ui/StepsController.h"
#include "ui/TimelineController.h"
#include "ui/ToolsController.h"
#include "ui/UpdatesController.h"
#include "ui/ViewPanelsController.h"
#include "ui/Workspace.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

// The resources are compiled into a static library: the program must ask for them to be registered.
static void registerLumoraResources() {
    Q_INIT_RESOURCE(lumora);
}

namespace lumora {
namespace {

constexpr const char* kTitlePrefix = "Lumora  -  ";

QString loadStyleSheet() {
    QFile file(QStringLiteral(":/Lumora/Resources/lumora.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

LumoraV2::LumoraV2(std::shared_ptr<MessageService> messages, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::LumoraV2>()), messages_(std::move(messages)) {
    registerLumoraResources();
    if (!messages_)
        messages_ = std::make_shared<QtMessageService>(this);
    ui_->setupUi(this);
    form_ = makeWindowForm(*ui_);
    index_ = std::make_unique<FormIndex>(*this);
    setStyleSheet(loadStyleSheet());
    setWindowTitle(QString::fromLatin1(kTitlePrefix));
    statusText_ = new QLabel(this);
    statusText_->setObjectName(QStringLiteral("label_StatusMedium"));
    statusBar()->addPermanentWidget(statusText_);

    prepareUserDirectories();
    restoreWindowGeometry();
    // The export dialogs preselect these formats; record them now so a fresh store shows the intended choice.
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForHDRImage);
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForTMImage);

    // Controllers that others call into come first; the menus connect to all of them.
    steps_ = std::make_unique<StepsController>(*this);
    editing_ = std::make_unique<EditingController>(*this);
    timeline_ = std::make_unique<TimelineController>(*this);
    player_ = std::make_unique<PlayerController>(*this);
    flow_ = std::make_unique<SelectionFlowController>(*this);
    exports_ = std::make_unique<ExportController>(*this);
    stacking_ = std::make_unique<StackingController>(*this);
    search_ = std::make_unique<SharpestSearchController>(*this);
    tools_ = std::make_unique<ToolsController>(*this);
    presets_ = std::make_unique<PresetsController>(*this);
    updates_ = std::make_unique<UpdatesController>(*this);
    opening_ = std::make_unique<OpeningController>(*this);
    viewPanels_ = std::make_unique<ViewPanelsController>(*this);
    connect(editing_.get(), &EditingController::pictureShown, viewPanels_.get(),
            &ViewPanelsController::pictureShown);
    connect(this, &LumoraV2::workspaceChanged, viewPanels_.get(), &ViewPanelsController::workspaceChanged);
    frameQuality_ = std::make_unique<FrameQualityController>(*this);
    menus_ = std::make_unique<MenuController>(*this);

    menus_->loadLanguage();
    menus_->presentInitialState();
    steps_->updateMode();

    // Both only start network requests; the update check once the window is up, so start-up never waits.
    QTimer::singleShot(0, updates_.get(), &UpdatesController::startAutomaticCheck);
    reportFirstStartOfVersion();
}

LumoraV2::~LumoraV2() {
    // Threads reading the medium end before it goes, whichever way the window is destroyed.
    if (workspace_)
        opening_->stopAllWork();
}

void LumoraV2::prepareUserDirectories() {
    const QString dataDir = userDataDirectory();
    setLogDirectory(QDir::toNativeSeparators(dataDir).toStdString());
    QDir().mkpath(dataDir + QStringLiteral("Lang"));
    // user.xml is written there; without the folder no user preset could be kept.
    QDir().mkpath(dataDir + QStringLiteral("Presets"));
    auto& engine = LanguageEngine::instance();
    engine.setApplicationLanguageDirectory((applicationDirectory() + QStringLiteral("Lang/")).toStdString());
    engine.setUserLanguageDirectory((dataDir + QStringLiteral("Lang/")).toStdString());
}

void LumoraV2::restoreWindowGeometry() {
    resize(settings::read(settings::MainWindowWidth), settings::read(settings::MainWindowHeight));
    if (settings::read(settings::MainWindowMaximized))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void LumoraV2::storeWindowGeometry() {
    const bool maximized = isMaximized();
    settings::write(settings::MainWindowMaximized, maximized);
    if (maximized)
        return;
    settings::write(settings::MainWindowWidth, width());
    settings::write(settings::MainWindowHeight, height());
    settings::write(settings::MainWindowPosX, x());
    settings::write(settings::MainWindowPosY, y());
}

bool LumoraV2::openMediaByPath(const QString& path) {
    return opening_->openByPath(path);
}

void LumoraV2::setWorkspace(std::unique_ptr<Workspace> workspace) {
    workspace_ = std::move(workspace);
    currentIndex_ = workspace_ ? 0 : -1;
    ++session_;
    emit workspaceChanged();
}

void LumoraV2::discardWorkspace() {
    ++session_;
    // No flow may start on the medium while it is taken down.
    currentIndex_ = -1;
    workspace_.reset();
    emit workspaceChanged();
}

void LumoraV2::refuseOperation() {
    messages_->show(MessageKind::Error, translatedText("Error"), translatedText("OperationNotAllowed"));
}

void LumoraV2::showGeneralSettings() {
    ShowGeneralSettings dialog(this);
    if (dialog.exec() == QDialog::Accepted) {
        editing_->readExposureLimits();
        if (hasMedium())
            editing_->displayImage();
    }
    if (dialog.languageChanged()) {
        menus_->loadLanguage();
        // The step labels are texts too.
        steps_->updateMode();
    }
}

void LumoraV2::showLog() {
    ShowLog dialog(*messages_, this);
    dialog.exec();
}

void LumoraV2::about() {
    const QString version = QString::fromLatin1(kApplicationVersion);
    messages_->about(translatedText("AboutLumora").arg(version),
                     translatedText("AboutLumoraDetails").arg(version));
}

void LumoraV2::closeEvent(QCloseEvent* event) {
    if (!opening_->closeWorkspace()) {
        event->ignore();
        return;
    }
    storeWindowGeometry();
    updates_->abort();
    event->accept();
}

void LumoraV2::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (player_)
        player_->needResize();
}

void LumoraV2::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void LumoraV2::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (!url.toLocalFile().isEmpty())
            files << url.toLocalFile();
    event->acceptProposedAction();
    if (files.size() == 1)
        opening_->openByPath(files.first());
    else if (files.size() > 1)
        opening_->openBurst(files);
}

} // namespace lumora
