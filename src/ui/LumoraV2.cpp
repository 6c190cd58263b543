#include "ui/LumoraV2.h"

#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "media/MediaProbe.h"
#include "ui/QtMessageService.h"
#include "ui/ShowGeneralSettings.h"
#include "ui/ShowLog.h"
#include "ui/WindowTexts.h"
#include "ui_LumoraV2.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

namespace lumora {

LumoraV2::LumoraV2(std::shared_ptr<MessageService> messages, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::LumoraV2>()), messages_(std::move(messages)) {
    if (!messages_)
        messages_ = std::make_shared<QtMessageService>(this);
    ui_->setupUi(this);
    setWindowTitle(QStringLiteral("Lumora  -  "));
    ui_->menuHelp->removeAction(ui_->actionQuick_guide);
    ui_->menuPanels->menuAction()->setVisible(false);

    connect(ui_->actionExit, &QAction::triggered, this, &QWidget::close);
    connect(ui_->actionSettingsMenu, &QAction::triggered, this, &LumoraV2::showGeneralSettings);
    connect(ui_->actionShow_log, &QAction::triggered, this, &LumoraV2::showLog);
    connect(ui_->actionAbout, &QAction::triggered, this, &LumoraV2::about);

    prepareUserDirectories();
    restoreWindowGeometry();

    overExposedLimit_ = settings::read(settings::OverExposedLimit);
    underExposedLimit_ = settings::read(settings::UnderExposedLimit);
    ui_->actionHighlight_over_exposed_pixels->setChecked(settings::read(settings::HighlightOverExposed));
    ui_->actionHighlight_under_exposed_pixels->setChecked(settings::read(settings::HighlightUnderExposed));
    // The export dialogs preselect these formats; record them now so a fresh store shows the intended choice.
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForHDRImage);
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForTMImage);

    loadLanguage();
}

LumoraV2::~LumoraV2() = default;

void LumoraV2::prepareUserDirectories() {
    const QString dataDir = userDataDirectory();
    setLogDirectory(QDir::toNativeSeparators(dataDir).toStdString());
    QDir().mkpath(dataDir + QStringLiteral("Lang"));
    auto& engine = LanguageEngine::instance();
    engine.setApplicationLanguageDirectory((applicationDirectory() + QStringLiteral("Lang/")).toStdString());
    engine.setUserLanguageDirectory((dataDir + QStringLiteral("Lang/")).toStdString());
}

void LumoraV2::restoreWindowGeometry() {
    resize(settings::read(settings::MainWindowWidth), settings::read(settings::MainWindowHeight));
    if (settings::read(settings::MainWindowMaximized))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void LumoraV2::loadLanguage() {
    LanguageEngine::instance().setLanguage(settings::read(settings::ChosenLanguage).toStdString());
    refreshTexts();
}

void LumoraV2::refreshTexts() {
    for (const auto& e : windowtexts::kMenus)
        if (auto* menu = findChild<QMenu*>(QString::fromLatin1(e.objectName)))
            menu->setTitle(translatedText(e.key));
    for (const auto& e : windowtexts::kSubMenus)
        if (auto* menu = findChild<QMenu*>(QString::fromLatin1(e.objectName)))
            menu->setTitle(translatedText(e.key));
    for (const auto& e : windowtexts::kActions)
        if (auto* action = findChild<QAction*>(QString::fromLatin1(e.objectName)))
            action->setText(translatedText(e.key));
}

bool LumoraV2::openMediaByPath(const QString& path) {
    const QFileInfo info(path);
    const auto media = probeMedia(path.toStdString());
    if (!media) {
        logError("openMediaByPath", "cannot open " + path.toStdString());
        messages_->show(MessageKind::Error, translatedText("ErrorFile"),
                        translatedText("ExplErrorFile").arg(info.suffix()));
        return false;
    }
    setWindowTitle(QStringLiteral("Lumora  -  ") + info.fileName());
    statusBar()->showMessage(QStringLiteral("%1 x %2, %3 fps").arg(media->width).arg(media->height).arg(media->fps));
    return true;
}

void LumoraV2::showGeneralSettings() {
    ShowGeneralSettings dialog(this);
    if (dialog.exec() == QDialog::Accepted) {
        overExposedLimit_ = settings::read(settings::Key<int>{"GeneralSettings", "OverExposedLimit", overExposedLimit_});
        underExposedLimit_ =
            settings::read(settings::Key<int>{"GeneralSettings", "UnderExposedLimit", underExposedLimit_});
    }
    if (dialog.languageChanged())
        loadLanguage();
}

void LumoraV2::showLog() {
    ShowLog dialog(*messages_, this);
    dialog.exec();
}

void LumoraV2::about() {
    const QString version = QString::fromLatin1(kApplicationVersion);
    messages_->about(translatedText("AboutLumora").arg(version), translatedText("AboutLumoraDetails").arg(version));
}

void LumoraV2::closeEvent(QCloseEvent* event) {
    const bool maximized = isMaximized();
    settings::write(settings::MainWindowMaximized, maximized);
    if (!maximized) {
        settings::write(settings::MainWindowWidth, width());
        settings::write(settings::MainWindowHeight, height());
        settings::write(settings::MainWindowPosX, x());
        settings::write(settings::MainWindowPosY, y());
    }
    event->accept();
}

} // namespace lumora
