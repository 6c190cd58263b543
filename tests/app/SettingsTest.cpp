// The settings store: values in their groups under the application's store, fallbacks for unreadable values,
// dialog placement, the command line and the install-time mode.

#include "app/Settings.h"
#include "TestEnvironment.h"
#include "app/AppIdentity.h"
#include "app/Startup.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

class SettingsTest : public ::testing::Test {
protected:
    test::IsolatedUserStore store_;
};

TEST_F(SettingsTest, ValuesLandInTheirGroupsAndUnreadableOnesReadAsTheDefault) {
    settings::write(settings::OverExposedLimit, 90);
    settings::write(settings::CurrentVersion, QStringLiteral("2.0.3"));
    settings::write(settings::RecentFiles, QStringList{QStringLiteral("/a.mp4"), QStringLiteral("/b.mp4")});
    {
        QSettings raw;
        EXPECT_TRUE(raw.fileName().contains(QStringLiteral("Tavrel")));
        EXPECT_EQ(raw.value(QStringLiteral("GeneralSettings/OverExposedLimit")).toInt(), 90);
        EXPECT_EQ(raw.value(QStringLiteral("currentVersion")).toString(), QStringLiteral("2.0.3"));
        EXPECT_EQ(raw.value(QStringLiteral("RecentFiles/recentFiles")).toStringList().size(), 2);
        raw.setValue(QStringLiteral("GeneralSettings/JPGQuality"), QStringLiteral("not a number"));
        raw.setValue(QStringLiteral("UserParameters/isFirstRunVersion"), QStringLiteral("maybe"));
        raw.setValue(QStringLiteral("UserParameters/DoNotShowUpdates"), QStringLiteral("true"));
    }
    EXPECT_EQ(settings::read(settings::OverExposedLimit), 90);
    EXPECT_EQ(settings::read(settings::JPGQuality), settings::JPGQuality.fallback);
    EXPECT_EQ(settings::read(settings::IsFirstRunVersion), settings::IsFirstRunVersion.fallback);
    EXPECT_TRUE(settings::read(settings::DoNotShowUpdates));

    settings::writeDefaultIfMissing(settings::SavingFilterIndexForHDRImage);
    EXPECT_TRUE(settings::contains(settings::SavingFilterIndexForHDRImage));
    settings::write(settings::SavingFilterIndexForTMImage, 3);
    settings::writeDefaultIfMissing(settings::SavingFilterIndexForTMImage);
    EXPECT_EQ(settings::read(settings::SavingFilterIndexForTMImage), 3);
}

TEST_F(SettingsTest, DialogsOpenOnScreenAndNoLargerThanIt) {
    struct Case {
        QPoint stored;
        QSize size, screen;
        QRect placed;
    };
    const Case cases[] = {
        {{-500, -500}, {800, 600}, {1920, 1080}, {100, 40, 800, 600}}, // raised to the minimum
        {{20, 10}, {800, 600}, {1920, 1080}, {100, 40, 800, 600}},
        {{5000, 3000}, {800, 600}, {1920, 1080}, {1820, 980, 800, 600}}, // kept on screen
        {{300, 200}, {800, 600}, {1920, 1080}, {300, 200, 800, 600}},
        {{300, 200}, {4000, 3000}, {1280, 720}, {300, 200, 1180, 620}}, // capped by the screen
    };
    for (const Case& c : cases) {
        settings::writeDialogGeometry(settings::kSettingsDialogGroup, QRect(c.stored, c.size));
        const settings::DialogGeometry g = settings::readDialogGeometry(settings::kSettingsDialogGroup);
        ASSERT_TRUE(g.position.has_value());
        EXPECT_EQ(*g.position, c.stored);
        EXPECT_EQ(settings::placeDialog(g, c.screen), c.placed) << c.stored.x() << "," << c.stored.y();
    }
}

TEST(CommandLine, ArgumentsChooseTheStartKind) {
    using K = StartupRequest::Kind;
    EXPECT_EQ(parseCommandLine({}).kind, K::Normal);
    const StartupRequest open = parseCommandLine({QStringLiteral("/videos/clip.mp4")});
    EXPECT_EQ(open.kind, K::OpenPath);
    EXPECT_EQ(open.argument, QStringLiteral("/videos/clip.mp4"));
    const StartupRequest install = parseCommandLine({QStringLiteral("-ii"), QStringLiteral("Francais")});
    EXPECT_EQ(install.kind, K::Install);
    EXPECT_EQ(install.argument, QStringLiteral("Francais"));
    EXPECT_EQ(parseCommandLine({QStringLiteral("-ii"), QStringLiteral("English"), QStringLiteral("x")}).kind,
              K::Install);
    // "-ii" alone is a path to open (which then fails), and the comparison is case-sensitive.
    EXPECT_EQ(parseCommandLine({QStringLiteral("-ii")}).kind, K::OpenPath);
    EXPECT_EQ(parseCommandLine({QStringLiteral("-II"), QStringLiteral("Francais")}).kind, K::Normal);
    EXPECT_EQ(parseCommandLine({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")}).kind, K::Normal);
}

TEST_F(SettingsTest, InstallModeRearmsTheNoticesOnlyForANewVersion) {
    settings::write(settings::DoNotShowUpdates, true);
    settings::write(settings::IsFirstRunVersion, false);
    settings::write(settings::CurrentVersion, QStringLiteral("0.0.1"));
    runInstallMode(QStringLiteral("Francais"));
    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("Francais"));
    EXPECT_EQ(settings::read(settings::CurrentVersion), QString::fromLatin1(kApplicationVersion));
    EXPECT_FALSE(settings::read(settings::DoNotShowUpdates));
    EXPECT_TRUE(settings::read(settings::IsFirstRunVersion));

    settings::write(settings::DoNotShowUpdates, true);
    settings::write(settings::IsFirstRunVersion, false);
    runInstallMode(QStringLiteral("English")); // the same version again: only the language changes
    EXPECT_EQ(settings::read(settings::ChosenLanguage), QStringLiteral("English"));
    EXPECT_TRUE(settings::read(settings::DoNotShowUpdates));
    EXPECT_FALSE(settings::read(settings::IsFirstRunVersion));
}

} // namespace
