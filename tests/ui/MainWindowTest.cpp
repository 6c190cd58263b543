// The main window's start-up duties, its texts in the chosen language, and the settings dialog, driven the
// way a user drives them (modal dialogs answered from a timer).

#include "WindowTestSupport.h"
#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "i18n/LanguageEngine.h"
#include "ui/FrameQualityController.h"
#include "ui/OpeningController.h"
#include "ui/QualityStripWidget.h"
#include "ui/ShowGeneralSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>

namespace {

using namespace lumora;
using namespace lumora::test;

QString shippedText(const char* language, const char* key) {
    LanguageEngine engine;
    const std::string dir = sourceDir() + "/resources/Lang/";
    engine.setApplicationLanguageDirectory(dir);
    engine.setUserLanguageDirectory(dir + "none/");
    engine.setLanguage(language);
    return engine.translatedText(key);
}

class MainWindowTest : public WindowTest {
protected:
    QString menuTitle(LumoraV2& w, const char* name) { return find<QMenu>(w, name)->title(); }
};

TEST_F(MainWindowTest, StartRecordsExportDefaultsLogsToTheUserFolderAndSpeaksTheStoredLanguage) {
    {
        auto w = makeWindow();
        EXPECT_TRUE(settings::contains(settings::SavingFilterIndexForHDRImage));
        EXPECT_TRUE(settings::contains(settings::SavingFilterIndexForTMImage));
        EXPECT_EQ(menuTitle(*w, "menuFile"), shippedText("English", "File"));
        EXPECT_NE(logPath().find(store_.root().toStdString()), std::string::npos);
    }
    settings::write(settings::ChosenLanguage, QStringLiteral("Francais"));
    auto w = makeWindow();
    EXPECT_EQ(menuTitle(*w, "menuFile"), shippedText("Francais", "File"));
    EXPECT_EQ(find<QAction>(*w, "actionShow_log")->text(), shippedText("Francais", "ShowLog"));
    EXPECT_NE(shippedText("Francais", "ShowLog"), shippedText("English", "ShowLog"));
    LanguageEngine::instance().setLanguage("English");
}

TEST_F(MainWindowTest, EveryButtonAndSliderHasWordsAScreenReaderCanAnnounceInEitherLanguage) {
    for (const char* language : {"English", "Francais"}) {
        SCOPED_TRACE(language);
        settings::write(settings::ChosenLanguage, QString::fromLatin1(language));
        auto w = makeWindow(1);
        // A grabbed frame's card brings symbol-only buttons of its own.
        ASSERT_TRUE(w->openMediaByPath(copyMedia("scene_180p.mp4", QString::fromLatin1(language) + ".mp4")));
        find<QPushButton>(*w, "pushButton_GrabFrame")->click();
        int iconOnly = 0;
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
            if (b->objectName().isEmpty() || b->objectName().startsWith(QLatin1String("qt_")))
                continue; // Qt's own parts of a widget (a tab bar's arrows), named by Qt
            const QString text = b->text();
            if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); }))
                continue; // words of its own; a lone symbol ("+", "×") is no word
            ++iconOnly;
            // Ours take their tooltip's words; Qt names its own (a tab bar's scroll arrows).
            EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
            if (!b->toolTip().isEmpty()) {
                EXPECT_EQ(b->accessibleName(), b->toolTip()) << b->objectName().toStdString();
            }
        }
        EXPECT_GE(iconOnly, 8) << "the player's five buttons and the card's three at least";
        const auto sliders = w->findChildren<QSlider*>();
        EXPECT_GE(sliders.size(), 30);
        for (QSlider* s : sliders)
            EXPECT_FALSE(s->accessibleName().isEmpty()) << s->objectName().toStdString();
        EXPECT_EQ(find<QSlider>(*w, "horizontalSlider_VideoSpeed")->accessibleName(),
                  shippedText(language, "VideoSpeed"));
        EXPECT_EQ(find<QSlider>(*w, "horizontalSlider_TMExposition")->accessibleName(),
                  shippedText(language, "Exposure"));
        EXPECT_EQ(find(*w, "pushButton_PlayPause")->accessibleName(), shippedText(language, "PlayPause"));
        EXPECT_EQ(find(*w, "pushButton_Close")->accessibleName(),
                  shippedText(language, "RemoveGrabbedFrame"));
    }
    LanguageEngine::instance().setLanguage("English");
}

TEST_F(MainWindowTest, SettingsDialogStoresOnAcceptOnlyAndRelabelsTheWindowAtOnce) {
    settings::writeDialogGeometry(settings::kSettingsDialogGroup, QRect(-500, -500, 640, 480));
    auto w = makeWindow();
    QPoint openedAt;
    {
        ModalWatcher<ShowGeneralSettings> rejected([&openedAt](ShowGeneralSettings& d) {
            openedAt = d.pos();
            d.findChild<QSpinBox*>(QStringLiteral("spinBox_OverExposedLimit"))->setValue(90);
            d.findChild<QSpinBox*>(QStringLiteral("spinBox_JPEGQuality"))->setValue(80);
            d.reject();
        });
        w->showGeneralSettings();
    }
    EXPECT_EQ(openedAt, QPoint(100, 40)) << "a stored position off screen is brought back";
    EXPECT_FALSE(settings::contains(settings::OverExposedLimit));
    EXPECT_FALSE(settings::contains(settings::JPGQuality));

    ModalWatcher<ShowGeneralSettings> accepted([](ShowGeneralSettings& d) {
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_OverExposedLimit"))->setValue(90);
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_UnderExposedLimit"))->setValue(500); // clamps to 50
        d.findChild<QSpinBox*>(QStringLiteral("spinBox_JPEGQuality"))->setValue(80);
        d.findChild<QComboBox*>(QStringLiteral("ChoiceLanguageApplication"))
            ->setCurrentText(QStringLiteral("Francais"));
        d.accept();
    });
    w->showGeneralSettings();
    EXPECT_EQ(settings::read(settings::OverExposedLimit), 90);
    EXPECT_EQ(settings::read(settings::UnderExposedLimit), 50);
    EXPECT_EQ(settings::read(settings::JPGQuality), 80);
    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("Francais"));
    EXPECT_EQ(menuTitle(*w, "menuFile"), shippedText("Francais", "File"));
    EXPECT_EQ(find<QAction>(*w, "actionSettingsMenu")->text(), shippedText("Francais", "Settings"));
    EXPECT_EQ(find<QMenu>(*w, "menuRecent_videos")->title(), shippedText("Francais", "RecentVideos"));
    // The open dialogs' filters follow too.
    EXPECT_TRUE(w->opening().videoFilter().startsWith(shippedText("Francais", "VideoFiles") +
                                                      QStringLiteral(" (*.avi")));
    LanguageEngine::instance().setLanguage("English");

    ShowGeneralSettings reopened; // shows what was stored
    EXPECT_EQ(reopened.findChild<QSpinBox*>(QStringLiteral("spinBox_JPEGQuality"))->value(), 80);
    EXPECT_FALSE(reopened.languageChanged());
}

TEST_F(MainWindowTest, TheQualityStripAndGhostOverlayTextsFollowALanguageChange) {
    auto w = makeWindow(3);
    const auto* button = find<QPushButton>(*w, "pushButton_SharpestNearHere");
    const auto* strip = w->frameQuality().strip();
    const auto* overlay = find<QCheckBox>(*w, "checkBox_ShowGhostMap");
    for (const char* language : {"English", "Francais", "English"}) {
        SCOPED_TRACE(language);
        ModalWatcher<ShowGeneralSettings> dialog([language](ShowGeneralSettings& d) {
            d.findChild<QComboBox*>(QStringLiteral("ChoiceLanguageApplication"))
                ->setCurrentText(QString::fromLatin1(language));
            d.accept();
        });
        w->showGeneralSettings();
        EXPECT_EQ(button->text(), shippedText(language, "SharpestNearHere"));
        EXPECT_EQ(button->toolTip(), shippedText(language, "SharpestNearHereTooltip"));
        EXPECT_EQ(strip->toolTip(), shippedText(language, "FrameQualityStripTooltip"));
        EXPECT_EQ(strip->waitingText(), shippedText(language, "FrameQualityComputing"));
        EXPECT_EQ(overlay->text(), shippedText(language, "ShowGhostMap"));
        EXPECT_EQ(overlay->toolTip(), shippedText(language, "ShowGhostMapTooltip"));
    }
    EXPECT_NE(shippedText("Francais", "ShowGhostMap"), shippedText("English", "ShowGhostMap"));
    LanguageEngine::instance().setLanguage("English");
}

TEST_F(MainWindowTest, AboutShowsTheVersionAndClosingStoresTheWindowSize) {
    {
        auto w = makeWindow();
        w->about();
        ASSERT_EQ(messages_->calls.size(), 1u);
        EXPECT_TRUE((messages_->calls[0].title + messages_->calls[0].text)
                        .contains(QLatin1String(kApplicationVersion)));
        w->resize(700, 500);
        w->close();
    }
    EXPECT_EQ(settings::read(settings::MainWindowWidth), 700);
    EXPECT_EQ(settings::read(settings::MainWindowHeight), 500);
    EXPECT_FALSE(settings::read(settings::MainWindowMaximized));
    auto again = std::make_unique<LumoraV2>(messages_);
    EXPECT_EQ(again->size(), QSize(700, 500));
}

} // namespace
