#include "ui/LumoraV2.h"

#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "net/AnalyticsManager.h"
#include "ui/EditingController.h"
#include "ui/EditingPanel.h"
#include "ui/ExportController.h"
#include "ui/FormIndex.h"
#include "ui/FrameQualityController.h"
#include "ui/MenuController.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/PresetStrips.h"
#include "ui/PresetsController.h"
#include "ui/QtMessageService.h"
#include "ui/RecipeController.h"
#include "ui/SelectionFlowController.h"
#include "ui/SharpestImageSelection.h"
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

// A picture's clicks go to the editing, its export button to the export.
void connectPicture(SharpestImageSelection* picture, EditingController* editing, ExportController* exports) {
    QObject::connect(picture, &SharpestImageSelection::onClick, editing,
                     &EditingController::onClickSelectImage);
    QObject::connect(picture, &SharpestImageSelection::onExport, exports,
                     &ExportController::PushButtonEditingExportClicked);
}

// Every menu action goes to the controller that owns its behaviour.
void connectMenuActions(LumoraV2& w, const Ui::LumoraV2& m) {
    OpeningController* opening = &w.opening();
    PlayerController* player = &w.player();
    EditingController* editing = &w.editing();
    QObject::connect(m.actionOpen, &QAction::triggered, opening, &OpeningController::MenuActionOpenClicked);
    QObject::connect(m.actionOpen_photo_with_burst_mode, &QAction::triggered, opening,
                     &OpeningController::MenuActionOpenPhotosClicked);
    QObject::connect(m.actionOpen_photo_for_tone_mapping, &QAction::triggered, opening,
                     &OpeningController::MenuActionOpenPhotoToTMClicked);
    QObject::connect(m.actionOpen_recipe, &QAction::triggered, &w.recipes(),
                     &RecipeController::MenuActionOpenRecipeClicked);
    QObject::connect(m.actionClose, &QAction::triggered, opening, &OpeningController::MenuActionCloseClicked);
    QObject::connect(m.actionExit, &QAction::triggered, &w, &QWidget::close);
    QObject::connect(m.actionUndo, &QAction::triggered, editing, &EditingController::MenuActionUndoClicked);
    QObject::connect(m.actionRedo, &QAction::triggered, editing, &EditingController::MenuActionRedoClicked);
    QObject::connect(m.actionSettingsMenu, &QAction::triggered, &w, &LumoraV2::showGeneralSettings);
    QObject::connect(m.actionHighlight_over_exposed_pixels, &QAction::triggered, editing,
                     &EditingController::MenuActionHighlightOverExposedClicked);
    QObject::connect(m.actionHighlight_under_exposed_pixels, &QAction::triggered, editing,
                     &EditingController::MenuActionHighlightUnderExposedClicked);
    QObject::connect(m.actionPlay_Pause, &QAction::triggered, player, &PlayerController::playPauseVideo);
    QObject::connect(m.actionPrevious_frame, &QAction::triggered, player,
                     &PlayerController::showPreviousFrame);
    QObject::connect(m.actionNext_frame, &QAction::triggered, player, &PlayerController::showNextFrame);
    QObject::connect(m.actionSave_the_current_image, &QAction::triggered, &w.exports(),
                     &ExportController::saveCurrentFrame);
    QObject::connect(m.actionCheck_updates, &QAction::triggered, &w.updates(),
                     &UpdatesController::checkUpdates);
    QObject::connect(m.actionShow_log, &QAction::triggered, &w, &LumoraV2::showLog);
    QObject::connect(m.actionAbout, &QAction::triggered, &w, &LumoraV2::about);
    // The histogram, tone-curve and EXIF actions only follow the workflow's enabled states.
}

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
    model_ = std::make_unique<WindowModel>();
    context_ = std::unique_ptr<WindowContext>(
        new WindowContext{*model_, form_, *index_, *messages_, statusText_, this});

    prepareUserDirectories();
    restoreWindowGeometry();
    // The export dialogs preselect these formats; record them now so a fresh store shows the intended choice.
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForHDRImage);
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForTMImage);

    // The controllers know the model and the form only; connectControllers() routes their requests.
    steps_ = std::make_unique<StepsController>(*context_);
    editing_ = std::make_unique<EditingController>(*context_, std::make_unique<PresetStrips>(form()),
                                                   std::make_unique<EditingPanel>(*context_));
    timeline_ = std::make_unique<TimelineController>(*context_);
    player_ = std::make_unique<PlayerController>(*context_);
    flow_ = std::make_unique<SelectionFlowController>(*context_);
    exports_ = std::make_unique<ExportController>(*context_);
    stacking_ = std::make_unique<StackingController>(*context_);
    search_ = std::make_unique<SharpestSearchController>(*context_);
    connect(search_.get(), &SharpestSearchController::pauseRequested, player_.get(),
            &PlayerController::pauseIfPlaying);
    connect(search_.get(), &SharpestSearchController::windowUpdateRequested, steps_.get(),
            &StepsController::updateWindow);
    connect(search_.get(), &SharpestSearchController::frameChosen, player_.get(),
            &PlayerController::showFrameIndex);
    connect(search_.get(), &SharpestSearchController::pinMoveRequested, timeline_.get(),
            &TimelineController::moveProSharpestPin);
    tools_ = std::make_unique<ToolsController>(*context_, editing_->panel());
    connect(tools_.get(), &ToolsController::windowUpdateRequested, steps_.get(),
            &StepsController::updateWindow);
    connect(tools_.get(), &ToolsController::renderRequested, editing_.get(),
            &EditingController::renderEditedSelection);
    presets_ = std::make_unique<PresetsController>(*context_, editing_->strips(), editing_->panel());
    updates_ = std::make_unique<UpdatesController>(*context_);
    opening_ = std::make_unique<OpeningController>(*context_);
    viewPanels_ = std::make_unique<ViewPanelsController>(*context_);
    connect(viewPanels_.get(), &ViewPanelsController::redisplayRequested, editing_.get(),
            [this] { editing_->displayImage(); });
    frameQuality_ = std::make_unique<FrameQualityController>(*context_);
    menus_ = std::make_unique<MenuController>(*context_);
    recipes_ = std::make_unique<RecipeController>(*context_);
    connectControllers();

    menus_->loadLanguage();
    menus_->presentInitialState();
    steps_->updateMode();

    // Both only start network requests; the update check once the window is up, so start-up never waits.
    QTimer::singleShot(0, updates_.get(), &UpdatesController::startAutomaticCheck);
    reportFirstStartOfVersion();
}

void LumoraV2::connectControllers() {
    connectMenuActions(*this, *ui_);
    connect(menus_.get(), &MenuController::panelTextsRequested, viewPanels_.get(),
            &ViewPanelsController::refreshTexts);
    connect(menus_.get(), &MenuController::panelTextsRequested, frameQuality_.get(),
            &FrameQualityController::refreshTexts);
    connect(menus_.get(), &MenuController::panelTextsRequested, editing_.get(),
            &EditingController::refreshTexts);
    connect(frameQuality_.get(), &FrameQualityController::frameRequested, player_.get(),
            &PlayerController::showFrameIndex);
    connect(menus_.get(), &MenuController::textsRefreshed, opening_.get(),
            &OpeningController::rebuildFilters);
    connect(editing_.get(), &EditingController::pictureShown, viewPanels_.get(),
            &ViewPanelsController::pictureShown);
    connect(model_.get(), &WindowModel::workspaceChanged, viewPanels_.get(),
            &ViewPanelsController::workspaceChanged);

    PlayerController* player = player_.get();
    TimelineController* timeline = timeline_.get();
    EditingController* editing = editing_.get();
    connect(player, &PlayerController::frameShown, editing,
            [editing](const cv::Mat& frame) { editing->displayImage(frame); });
    connect(player, &PlayerController::displaySized, editing,
            [editing](const QSize& size, bool editedPicture) {
                editing->setDisplaySize(size);
                if (editedPicture)
                    editing->updatePreviewSize();
            });
    connect(player, &PlayerController::redisplayRequested, editing, [editing] { editing->displayImage(); });
    connect(player, &PlayerController::timelineLayoutRequested, timeline, &TimelineController::layoutBar);
    connect(player, &PlayerController::timelineMoved, timeline, &TimelineController::placeItems);
    connect(player, &PlayerController::saveFrameRequested, exports_.get(),
            &ExportController::saveCurrentFrame);

    connect(timeline, &TimelineController::barResized, player, [player] { player->updateTimeline(); });
    connect(timeline, &TimelineController::pauseRequested, player, &PlayerController::pauseIfPlaying);
    connect(timeline, &TimelineController::frameRequested, player, &PlayerController::showFrameIndex);
    SelectionFlowController* flow = flow_.get();
    connect(flow, &SelectionFlowController::pauseRequested, player, &PlayerController::pauseIfPlaying);
    connect(flow, &SelectionFlowController::frameRequested, player, &PlayerController::showFrameIndex);
    connect(flow, &SelectionFlowController::timelineRefreshRequested, player,
            [player] { player->updateTimeline(); });
    connect(flow, &SelectionFlowController::windowUpdateRequested, steps_.get(),
            &StepsController::updateWindow);
    connect(flow, &SelectionFlowController::frameGrabbed, this, [this](SharpestImageSelection* selection) {
        connect(selection, &SharpestImageSelection::selecting, player_.get(),
                &PlayerController::showFrameIndex);
        connectPicture(selection, editing_.get(), exports_.get());
    });
    connect(flow, &SelectionFlowController::editingRequested, editing,
            [editing](SharpestImageSelection* first, bool builtInPresetsOnly) {
                editing->strips().build(builtInPresetsOnly);
                editing->onClickSelectImage(first);
            });
    connect(flow, &SelectionFlowController::searchStopRequested, search_.get(),
            &SharpestSearchController::stop);
    connect(flow, &SelectionFlowController::exportStopRequested, exports_.get(),
            &ExportController::stopExport);
    connect(flow, &SelectionFlowController::stackingStopRequested, stacking_.get(),
            &StackingController::stop);

    StepsController* steps = steps_.get();
    ExportController* exports = exports_.get();
    ToolsController* tools = tools_.get();
    connect(steps, &StepsController::layoutApplied, editing, &EditingController::afterLayout);
    EditingPanel* panel = &editing->panel();
    connect(panel, &EditingPanel::renderRequested, editing, &EditingController::renderEditedSelection);
    connect(panel, &EditingPanel::displayRequested, editing, [editing] { editing->displayImage(); });
    connect(panel, &EditingPanel::cropRecordRequested, tools, &ToolsController::recordCrop);
    connect(editing, &EditingController::windowUpdateRequested, steps, &StepsController::updateWindow);
    connect(editing, &EditingController::resizeRequested, player, &PlayerController::needResize);
    connect(editing, &EditingController::statusMessageRequested, this,
            [this](const QString& text) { statusBar()->showMessage(text); });
    connect(steps, &StepsController::resizeRequested, player, &PlayerController::needResize);
    connect(steps, &StepsController::overlaysHideRequested, tools, &ToolsController::hideOverlays);
    connect(steps, &StepsController::overlayShowRequested, tools, &ToolsController::showOverlay);
    connect(steps, &StepsController::toolCancelRequested, tools,
            &ToolsController::PushButtonCancelToolsClicked);
    connect(steps, &StepsController::nextRequested, flow,
            &SelectionFlowController::PushButtonSelectImageNextClicked);
    connect(steps, &StepsController::exportAllRequested, exports,
            [exports] { exports->PushButtonEditingExportClicked(nullptr); });
    connect(steps, &StepsController::stackingRequested, stacking_.get(),
            &StackingController::PushButtonDefineParamsNextClicked);
    connect(steps, &StepsController::exportEditedRequested, exports,
            &ExportController::PushButtonProEditingExportClicked);
    connect(steps, &StepsController::editedDropRequested, editing, &EditingController::dropEditedSelection);

    OpeningController* opening = opening_.get();
    SharpestSearchController* search = search_.get();
    StackingController* stacking = stacking_.get();
    connect(stacking, &StackingController::windowUpdateRequested, steps, &StepsController::updateWindow);
    connect(stacking, &StackingController::lightImageShown, editing,
            [editing](const cv::Mat& light) { editing->displayImage(light); });
    connect(stacking, &StackingController::lightImageSaveRequested, exports, &ExportController::saveHDRimage);
    connect(stacking, &StackingController::selectionMade, editing,
            [editing, exports](SharpestImageSelection* selection) {
                connectPicture(selection, editing, exports);
            });
    connect(stacking, &StackingController::presetStripsRequested, editing,
            [editing](bool builtInPresetsOnly) { editing->strips().build(builtInPresetsOnly); });
    connect(stacking, &StackingController::selectionChosen, editing, &EditingController::onClickSelectImage);
    exports->setLightImageName([stacking] { return stacking->lightImageName(); });
    connect(exports, &ExportController::windowUpdateRequested, steps, &StepsController::updateWindow);
    connect(exports, &ExportController::stepRequested, steps, &StepsController::goToStep);
    connect(exports, &ExportController::exitRequested, this, [this] {
        opening_->closeNow();
        close();
    });
    opening->setExportAll(
        [exports](std::function<void(bool)> ended) { exports->exportAll(std::move(ended)); });
    connect(opening, &OpeningController::modeNeeded, steps, &StepsController::ensureMode);
    connect(opening, &OpeningController::windowUpdateRequested, steps, &StepsController::updateWindow);
    connect(opening, &OpeningController::modeUpdateRequested, steps, &StepsController::updateMode);
    connect(opening, &OpeningController::previewResetRequested, player, &PlayerController::resetPreview);
    connect(opening, &OpeningController::pauseRequested, player, &PlayerController::pauseIfPlaying);
    connect(opening, &OpeningController::workStopRequested, this, [stacking, search, exports] {
        stacking->cancelNow();
        search->cancelNow();
        exports->cancelNow();
    });
    connect(opening, &OpeningController::photoOpened, editing,
            [editing, exports](SharpestImageSelection* picture, bool builtInPresetsOnly) {
                connectPicture(picture, editing, exports);
                editing->strips().build(builtInPresetsOnly);
                editing->onClickSelectImage(picture);
            });
    connect(opening, &OpeningController::closed, this, [search, editing] {
        search->clearResults();
        editing->strips().clear();
    });

    connect(timeline, &TimelineController::centreFlagClicked, flow,
            [flow] { flow->fillParameterPage(false); });

    // A recipe is made again through the same flow as by hand.
    RecipeController* recipes = recipes_.get();
    recipes->setCloseWorkspace(
        [opening](std::function<void()> then) { return opening->closeWorkspace(std::move(then)); });
    connect(recipes, &RecipeController::modeUpdateRequested, steps, &StepsController::updateMode);
    connect(recipes, &RecipeController::openRequested, opening, &OpeningController::openByPath);
    connect(recipes, &RecipeController::burstRequested, opening, &OpeningController::openBurst);
    connect(recipes, &RecipeController::frameRequested, player, &PlayerController::showFrameIndex);
    connect(recipes, &RecipeController::grabRequested, flow, &SelectionFlowController::grabCurrentFrame);
    connect(recipes, &RecipeController::nextRequested, flow,
            &SelectionFlowController::PushButtonSelectImageNextClicked);
    connect(recipes, &RecipeController::stackingRequested, stacking,
            &StackingController::PushButtonDefineParamsNextClicked);
    connect(recipes, &RecipeController::editLoadRequested, editing, [editing](int stage) {
        editing->panel().load(false);
        editing->renderEditedSelection(stage);
    });
}

LumoraV2::~LumoraV2() {
    // Threads reading the medium end before it goes, whichever way the window is destroyed.
    if (model_->workspace())
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

void LumoraV2::showGeneralSettings() {
    ShowGeneralSettings dialog(this);
    if (dialog.exec() == QDialog::Accepted) {
        editing_->readExposureLimits();
        if (model_->hasMedium())
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
    // After exporting everything first, the window closes once the medium has.
    if (!opening_->closeWorkspace([this] { close(); })) {
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
