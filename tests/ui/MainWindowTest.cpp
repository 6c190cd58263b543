// The main window's start-up duties, its texts in the chosen language, and the settings and log dialogs,
// driven the way a user drives them (modal dialogs answered from a timer).

#include "ScriptedMessageService.h"
#include "TestEnvironment.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "ui/LumoraV2.h"
#include "ui/ShowGeneralSettings.h"
#include "ui/ShowLog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

// Runs `act` on the next modal dialog of type D as soon as it is shown.
template <typename D> void whenModal(std::function<void(D&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*d);
        }
    });
    timer->start();
}

QString shippedText(const char* language, const char* key) {
    LanguageEngine engine;
    const std::string dir = test::sourceDir() + "/resources/Lang/";
    engine.setApplicationLanguageDirectory(dir);
    engine.setUserLanguageDirectory(dir + "none/");
    engine.setLanguage(language);
    return engine.translatedText(key);
}

class MainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<LumoraV2> makeWindow() { return std::make_unique<LumoraV2>(messages_); }
    QString menuTitle(LumoraV2& w, const char* name) {
        auto* menu = w.findChild<QMenu*>(QString::fromLatin1(name));
        return menu ? menu->title() : QString();
    }
    QString actionText(LumoraV2& w, const char* name) {
        auto* action = w.findChild<QAction*>(QString::fromLatin1(name));
        return action ? action->text() : QString();
    }

    test::IsolatedUserStore store_;
    std::shared_ptr<test::ScriptedMessageService> messages_ =
        std::make_shared<test::ScriptedMessageService>();
};

TEST_F(MainWindowTest, FreshStartRecordsExportDefaultsAndShowsEnglishMenus) {
    auto w = makeWindow();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Lumora  -  "));
    EXPECT_TRUE(settings::contains(settings::SavingFilterIndexForHDRImage));
    EXPECT_EQ(settings::read(settings::SavingFilterIndexForHDRImage), 1);
    EXPECT_TRUE(settings::contains(settings::SavingFilterIndexForTMImage));
    EXPECT_EQ(settings::read(settings::SavingFilterIndexForTMImage), 0);
    EXPECT_EQ(menuTitle(*w, "menuFile"), shippedText("English", "File"));
    EXPECT_EQ(actionText(*w, "actionOpen"), shippedText("English", "OpenAVideo"));
    // The log goes to the per-user data directory from now on.
    EXPECT_NE(logPath().find(store_.root().toStdString()), std::string::npos);
    EXPECT_EQ(logPath().substr(logPath().size() - 13), "LumoraLog.txt");
}

TEST_F(MainWindowTest, ChosenLanguageFromTheStoreLabelsTheMenus) {
    settings::write(settings::ChosenLanguage, QStringLiteral("Francais"));
    auto w = makeWindow();
    EXPECT_EQ(menuTitle(*w, "menuFile"), shippedText("Francais", "File"));
    EXPECT_EQ(menuTitle(*w, "menuHelp"), shippedText("Francais", "Help"));
    EXPECT_EQ(actionText(*w, "actionShow_log"), shippedText("Francais", "ShowLog"));
    EXPECT_NE(shippedText("Francais", "ShowLog"), shippedText("English", "ShowLog"));
}

TEST_F(MainWindowTest, HelpMenuHasNoQuickGuideAndShortcutsAreSet) {
    auto w = makeWindow();
    auto* help = w->findChild<QMenu*>(QStringLiteral("menuHelp"));
    ASSERT_NE(help, nullptr);
    for (QAction* a : help->actions())
        EXPECT_NE(a->objectName(), QStringLiteral("actionQuick_guide"));
    EXPECT_EQ(w->findChild<QAction*>(QStringLiteral("actionOpen"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(w->findChild<QAction*>(QStringLiteral("actionClose"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+W")));
}

TEST_F(MainWindowTest, SettingsDialogLanguageChangeRelabelsTheMenusAtOnce) {
    auto w = makeWindow();
    whenModal<ShowGeneralSettings>([](ShowGeneralSettings& d) {
        d.findChild<QComboBox*>(QStringLiteral("ChoiceLanguageApplication"))
            ->setCurrentText(QStringLiteral("Francais"));
        d.accept();
    });
    w->showGeneralSettings();
    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("Francais"));
    EXPECT_EQ(menuTitle(*w, "menuFile"), shippedText("Francais", "File"));
    EXPECT_EQ(actionText(*w, "actionSettingsMenu"), shippedText("Francais", "Settings"));
}

TEST_F(MainWindowTest, SettingsDialogAcceptStoresValuesAndCancelStoresOnlyGeometry) {
    auto w = makeWindow();
    whenModal<ShowGeneralSettings>([](ShowGeneralSettings& d) {
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_OverExposedLimit"))->setValue(90);
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_JPEGQuality"))->setValue(80);
        d.reject();
    });
    w->showGeneralSettings();
    EXPECT_FALSE(settings::contains(settings::OverExposedLimit));
    EXPECT_FALSE(settings::contains(settings::JPGQuality));
    EXPECT_TRUE(settings::readDialogGeometry(settings::kSettingsDialogGroup).position.has_value());

    whenModal<ShowGeneralSettings>([](ShowGeneralSettings& d) {
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_OverExposedLimit"))->setValue(90);
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_UnderExposedLimit"))->setValue(500); // clamps to 50
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_JPEGQuality"))->setValue(80);
        d.accept();
    });
    w->showGeneralSettings();
    EXPECT_EQ(settings::read(settings::OverExposedLimit), 90);
    EXPECT_EQ(settings::read(settings::UnderExposedLimit), 50);
    EXPECT_EQ(settings::read(settings::JPGQuality), 80);
    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("English")); // language untouched
}

TEST_F(MainWindowTest, SettingsDialogShowsStoredValuesAndOpensOnScreen) {
    settings::write(settings::JPGQuality, 75);
    settings::write(settings::NbSharpenImages, 7);
    settings::writeDialogGeometry(settings::kSettingsDialogGroup, QRect(-500, -500, 640, 480));
    ShowGeneralSettings d;
    EXPECT_EQ(d.findChild<QSpinBox*>(QStringLiteral("spinBox_JPEGQuality"))->value(), 75);
    EXPECT_EQ(d.findChild<QSpinBox*>(QStringLiteral("spinBox_PNGQuality"))->value(), 3);
    EXPECT_EQ(d.findChild<QSpinBox*>(QStringLiteral("spinBox_NbSharpenImages"))->value(), 7);
    EXPECT_EQ(d.findChild<QSpinBox*>(QStringLiteral("spinBox_OverExposedLimit"))->suffix(),
              QStringLiteral("%"));
    EXPECT_EQ(d.pos(), QPoint(100, 40));
    EXPECT_FALSE(d.languageChanged());
}

TEST_F(MainWindowTest, LogViewerReportsAMissingOrEmptyLog) {
    auto w = makeWindow();
    QFile::remove(QString::fromStdString(logPath()));
    w->showLog();
    ASSERT_EQ(messages_->calls.size(), 1u);
    EXPECT_EQ(messages_->calls[0].kind, MessageKind::Information);
    EXPECT_EQ(messages_->calls[0].text, translatedText("EmptyLog"));
    EXPECT_EQ(messages_->calls[0].title, translatedText("ShowingLogFile"));

    QFile empty(QString::fromStdString(logPath()));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    w->showLog();
    ASSERT_EQ(messages_->calls.size(), 2u);
    EXPECT_EQ(messages_->calls[1].text, translatedText("EmptyLog"));
}

TEST_F(MainWindowTest, LogViewerShowsTheLogAndResetDeletesIt) {
    auto w = makeWindow();
    logError("main", "something went wrong");
    QString shown;
    whenModal<ShowLog>([&shown](ShowLog& d) {
        shown = d.findChild<QPlainTextEdit*>(QStringLiteral("plainTextEdit_Log"))->toPlainText();
        d.findChild<QPushButton*>(QStringLiteral("pushButton_ResetLog"))->click();
    });
    w->showLog();
    EXPECT_TRUE(shown.contains(QStringLiteral("ERROR at function main => something went wrong")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(logPath())));
    EXPECT_TRUE(messages_->calls.empty());

    w->showLog(); // reset: now empty
    ASSERT_EQ(messages_->calls.size(), 1u);
    EXPECT_EQ(messages_->calls[0].text, translatedText("EmptyLog"));
}

TEST_F(MainWindowTest, LogViewerCloseKeepsTheLogAndStoresGeometry) {
    auto w = makeWindow();
    logError("main", "keep me");
    settings::writeDialogGeometry(settings::kLogDialogGroup, QRect(20, 10, 500, 400));
    QPoint openedAt;
    whenModal<ShowLog>([&openedAt](ShowLog& d) {
        openedAt = d.pos();
        d.findChild<QPushButton*>(QStringLiteral("pushButton_Close"))->click();
    });
    w->showLog();
    EXPECT_EQ(openedAt, QPoint(100, 40));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(logPath())));
    const auto g = settings::readDialogGeometry(settings::kLogDialogGroup);
    ASSERT_TRUE(g.position.has_value());
    EXPECT_EQ(g.size, QSize(500, 400));
}

TEST_F(MainWindowTest, UnopenablePathReportsErrorFileWithItsSuffix) {
    settings::write(settings::WindowMode, 1); // with no mode, opening would ask for one first
    auto w = makeWindow();
    EXPECT_FALSE(w->openMediaByPath(QStringLiteral("-ii")));
    EXPECT_FALSE(w->openMediaByPath(store_.root() + QStringLiteral("/missing.xyz")));
    ASSERT_EQ(messages_->calls.size(), 2u);
    EXPECT_EQ(messages_->calls[0].kind, MessageKind::Error);
    EXPECT_EQ(messages_->calls[0].title, translatedText("ErrorFile"));
    EXPECT_TRUE(messages_->calls[1].text.contains(QStringLiteral("xyz")));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Lumora  -  "));
}

TEST_F(MainWindowTest, AboutShowsTheVersion) {
    auto w = makeWindow();
    w->about();
    ASSERT_EQ(messages_->calls.size(), 1u);
    EXPECT_EQ(messages_->calls[0].what, QStringLiteral("about"));
    EXPECT_TRUE(messages_->calls[0].title.contains(QStringLiteral("2.0.3")) ||
                messages_->calls[0].text.contains(QStringLiteral("2.0.3")));
}

TEST_F(MainWindowTest, ClosingStoresTheWindowSizeAndReopeningRestoresIt) {
    {
        auto w = makeWindow();
        w->show();
        w->resize(700, 500);
        w->close();
    }
    EXPECT_EQ(settings::read(settings::MainWindowWidth), 700);
    EXPECT_EQ(settings::read(settings::MainWindowHeight), 500);
    EXPECT_FALSE(settings::read(settings::MainWindowMaximized));
    auto again = makeWindow();
    EXPECT_EQ(again->size(), QSize(700, 500));
}

} // namespace
